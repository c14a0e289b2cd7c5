#include "platform/command_line.h"

char* ArgumentsAfterProgramName(char* command_line) {
    char* at = command_line;
    // A blank inside double quotes belongs to the name, as Windows splits command lines.
    bool quoted = false;
    for (; *at != '\0'; ++at) {
        if (*at == '"')
            quoted = !quoted;
        else if (!quoted && (*at == ' ' || *at == '\t'))
            break;
    }
    while (*at == ' ' || *at == '\t')
        ++at;
    return at;
}
