#include "install/display_version.h"
#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/uninstall_values.h"

namespace {

// The version that the author gave this installer ([version] in lmvpack's manifest), from the
// version information the system loaded with the program; empty when there is none.
void ReadDisplayVersion(char (&version)[kDisplayVersionSize]) {
    version[0] = '\0';
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(1), RT_VERSION);
    HGLOBAL loaded = resource != nullptr ? LoadResource(self, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data != nullptr)
        DisplayVersionFromVersionInfo(static_cast<const uint8_t*>(data),
                                      SizeofResource(self, resource), version);
}

} // namespace

void RegisterUninstallEntry(const char* uninstall_key_path, const char* screen_saver_base_name,
                            const char* uninstaller_path, const char* screen_saver_path) {
    char no_class[] = "";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstall_key_path, 0, no_class,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    char display_version[kDisplayVersionSize];
    ReadDisplayVersion(display_version);
    UninstallValues values;
    BuildUninstallValues(screen_saver_base_name, uninstaller_path, screen_saver_path,
                         display_version, InstalledSize, &values);
    // Every value is attempted: one that cannot be written does not keep the others out.
    for (int at = 0; at < values.count; ++at)
        RegSetValueExA(key, values.values[at].name, 0, values.values[at].type,
                       static_cast<const BYTE*>(values.values[at].data), values.values[at].length);
    RegCloseKey(key);
}
