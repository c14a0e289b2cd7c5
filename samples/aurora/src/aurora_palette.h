// The colours of the Aurora screen saver, read from its data file (aurora.dat, installed as
// <name>.dat).
//
// The file is text: every line whose first word is a colour written #RRGGBB adds that colour;
// everything else (the rest of such a line, other lines) is commentary. The first colour is the
// night sky, the next ones (up to seven) are the curtains of light, drawn from the horizon up.
// A file without at least a sky and one curtain colour gives the default palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct AuroraColour {
    uint8_t red, green, blue;
    bool operator==(const AuroraColour&) const = default;
};

struct AuroraPalette {
    static constexpr size_t kMaxCurtains = 7;
    AuroraColour sky;
    AuroraColour curtains[kMaxCurtains];
    size_t curtain_count;
};

AuroraPalette DefaultAuroraPalette();

// The palette of a data file's text; the default one when the text holds too few colours.
AuroraPalette ParseAuroraPalette(std::string_view text);
