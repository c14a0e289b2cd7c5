#include "aurora_palette.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "#RRGGBB" as the first word of a line (blanks before it allowed).
bool ParseColour(std::string_view line, AuroraColour* colour) {
    size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    if (line.size() - start < 7 || line[start] != '#') return false;
    if (line.size() - start > 7 && line[start + 7] != ' ' && line[start + 7] != '\t' &&
        line[start + 7] != '\r')
        return false;
    uint8_t channels[3];
    for (int i = 0; i < 3; ++i) {
        const int high = HexDigit(line[start + 1 + 2 * i]);
        const int low = HexDigit(line[start + 2 + 2 * i]);
        if (high < 0 || low < 0) return false;
        channels[i] = static_cast<uint8_t>(high * 16 + low);
    }
    *colour = AuroraColour{channels[0], channels[1], channels[2]};
    return true;
}

} // namespace

AuroraPalette DefaultAuroraPalette() {
    AuroraPalette palette{};
    palette.sky = {0x04, 0x0A, 0x22};
    palette.curtains[0] = {0x20, 0xE0, 0x80};
    palette.curtains[1] = {0x40, 0xF0, 0xC0};
    palette.curtains[2] = {0x90, 0x50, 0xE0};
    palette.curtain_count = 3;
    return palette;
}

AuroraPalette ParseAuroraPalette(std::string_view text) {
    AuroraPalette palette{};
    size_t colours = 0;
    size_t start = 0;
    while (start < text.size() && colours < 1 + AuroraPalette::kMaxCurtains) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        AuroraColour colour;
        if (ParseColour(std::string_view(text.data() + start, end - start), &colour)) {
            if (colours == 0)
                palette.sky = colour;
            else
                palette.curtains[colours - 1] = colour;
            ++colours;
        }
        start = end + 1;
    }
    if (colours < 2) return DefaultAuroraPalette();
    palette.curtain_count = colours - 1;
    return palette;
}
