// The command line as a GUI program's WinMain receives it.
#pragma once

// What follows the program's own name, which comes first on the command line (in double
// quotes when it holds blanks), and the blanks after it: the text WinMain is given. A pointer
// into `command_line`.
char* ArgumentsAfterProgramName(char* command_line);
