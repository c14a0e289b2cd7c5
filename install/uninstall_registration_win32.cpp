#include "install/installation_run.h"
#include "install/uninstall_values.h"

void RegisterUninstallEntry(const char* uninstall_key_path, const char* screen_saver_base_name,
                            const char* uninstaller_path, const char* screen_saver_path) {
    char no_class[] = "";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstall_key_path, 0, no_class,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    UninstallValues values;
    BuildUninstallValues(screen_saver_base_name, uninstaller_path, screen_saver_path, &values);
    // Every value is attempted: one that cannot be written does not keep the others out.
    for (const UninstallValue& value : values.values)
        RegSetValueExA(key, value.name, 0, value.type, static_cast<const BYTE*>(value.data),
                       value.length);
    RegCloseKey(key);
}
