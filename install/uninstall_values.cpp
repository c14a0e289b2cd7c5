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
                          const char* screen_saver_path, const char* display_version,
                          uint32_t installed_size, UninstallValues* out) {
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
    // A plain string, unlike UninstallString: nothing in it is to be expanded, and a "%" in a
    // screen saver's name stays as it is.
    FormatText(out->quiet_uninstall_string, sizeof out->quiet_uninstall_string, "\"%s\" /s",
               uninstaller_path);
    FormatText(out->display_version, sizeof out->display_version, "%s",
               display_version != nullptr ? display_version : "");
    out->estimated_size = installed_size / 1024 + (installed_size % 1024 != 0 ? 1 : 0);
    out->no_modify = 1;
    out->no_repair = 1;

    int count = 0;
    out->values[count++] = Text("DisplayName", kRegSz, out->display_name);
    out->values[count++] = Text("UninstallString", kRegExpandSz, out->uninstall_string);
    out->values[count++] = Text("InstallLocation", kRegExpandSz, out->install_location);
    out->values[count++] = Text("DisplayIcon", kRegSz, out->display_icon);
    out->values[count++] = Text("Publisher", kRegSz, out->publisher);
    out->values[count++] = Number("VersionMajor", &out->version_major);
    out->values[count++] = Number("VersionMinor", &out->version_minor);
    out->values[count++] = Text("QuietUninstallString", kRegSz, out->quiet_uninstall_string);
    if (out->display_version[0] != '\0')
        out->values[count++] = Text("DisplayVersion", kRegSz, out->display_version);
    out->values[count++] = Number("EstimatedSize", &out->estimated_size);
    out->values[count++] = Number("NoModify", &out->no_modify);
    out->values[count++] = Number("NoRepair", &out->no_repair);
    out->count = count;
}
