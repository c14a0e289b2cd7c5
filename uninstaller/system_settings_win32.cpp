#include "uninstaller/system_settings_win32.h"

#include "install/install_layout.h"
#include "platform/format_text.h"

#include <windows.h>

namespace {

// UninstallString, whether written as REG_SZ or REG_EXPAND_SZ; empty when missing or too long.
void ReadUninstallString(HKEY key, char* out, DWORD size) {
    DWORD type = 0;
    DWORD length = size - 1;
    out[0] = '\0';
    if (RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(out),
                         &length) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        out[0] = '\0';
        return;
    }
    out[length < size ? length : size - 1] = '\0';
}

} // namespace

void ClearScreenSaverSetting(const char* long_path, const char* short_path) {
    char setting[kPathSize + 1];
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", setting, sizeof setting, "system.ini");
    if (!SettingNamesScreenSaver(setting, long_path, short_path)) return;
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini");
    // A "boot" section that held nothing but the setting was made by the installer: it goes
    // too. Where it holds anything else (always on Windows 95 and 98) it stays.
    char section[4];
    if (GetPrivateProfileSectionA("boot", section, sizeof section, "system.ini") == 0)
        WritePrivateProfileStringA("boot", nullptr, nullptr, "system.ini");
}

bool DeleteUninstallEntry(const OwnFolder& own) {
    char path[sizeof kUninstallKeyRoot + kPathSize + 1];
    if (!FormatText(path, sizeof path, "%s\\%s", kUninstallKeyRoot, own.base_name)) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return true; // no entry: nothing to delete
    DWORD values = 0;
    const bool counted =
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    char command[1024];
    ReadUninstallString(key, command, sizeof command);
    RegCloseKey(key);
    const bool ours = UninstallCommandRunsFrom(command, own) || (counted && values == 0);
    if (!ours) return true; // another program's entry of the same name: not ours to delete
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}
