#include "install/uninstall_values.h"

#include "install/publisher_block.h"
#include "platform/format_text.h"

#include <cstring>

namespace {

UninstallValue Text(const char* name, uint32_t type, const char* text) {
    return {name, type, text, static_cast<uint32_t>(std::strlen(text) + 1)};
}

UninstallValue Number(const char* name, const uint32_t* value) {
    return {name, kRegDword, value, sizeof *value};
}

} // namespace

void BuildUninstallValues(const char* screen_saver_base_name, const char* uninstaller_path,
                          const char* screen_saver_path, UninstallValues* out) {
    // The buffers are sized for the longest inputs the run produces (259-character paths), so
    // these never cut; FormatText keeps them bounded all the same.
    FormatText(out->display_name, sizeof out->display_name, "%s Screen Saver",
               screen_saver_base_name);
    FormatText(out->uninstall_string, sizeof out->uninstall_string, "\"%s\"", uninstaller_path);
    FormatText(out->install_location, sizeof out->install_location, "%s", uninstaller_path);
    if (char* last_backslash = std::strrchr(out->install_location, '\\')) *last_backslash = '\0';
    FormatText(out->display_icon, sizeof out->display_icon, "%s,-0", screen_saver_path);
    RestorePublisherText(PublisherBlock, out->publisher);
    out->version_major = 8;
    out->version_minor = 1;

    out->values[0] = Text("DisplayName", kRegSz, out->display_name);
    out->values[1] = Text("UninstallString", kRegExpandSz, out->uninstall_string);
    out->values[2] = Text("InstallLocation", kRegExpandSz, out->install_location);
    out->values[3] = Text("DisplayIcon", kRegSz, out->display_icon);
    out->values[4] = Text("Publisher", kRegSz, out->publisher);
    out->values[5] = Number("VersionMajor", &out->version_major);
    out->values[6] = Number("VersionMinor", &out->version_minor);
}
