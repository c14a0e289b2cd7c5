// Takes the right to change a machine-wide registry key away from everyone, as a policy or a
// standard user's token would have it for the installer:
//   deny_key.exe KEY
// creates HKEY_LOCAL_MACHINE\KEY if need be and gives it a protected DACL that lets everyone
// read it and no one change it, then opens it again for all access, as the installer's
// administrator probe does, and appends "KEY<TAB>probe:E" to C:\e2e\markers\deny_key.log, E being
// what that open returned (5, access denied, when the key is locked). Exit status: 0 when it
// is, 1 otherwise. The rules hold for the rest of the Wine session.
#include "marker.h"

#include <windows.h>

#include <sddl.h>
#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 100;
    const char* path = __argv[1];
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 2;
    PSECURITY_DESCRIPTOR rules = nullptr;
    // Protected (no inherited entries), Everyone (WD) may read (KR).
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                              &rules, nullptr))
        return 3;
    const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, rules);
    LocalFree(rules);
    RegCloseKey(key);
    if (set != ERROR_SUCCESS) return 4;

    HKEY probe = nullptr;
    const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &probe, nullptr);
    if (result == ERROR_SUCCESS) RegCloseKey(probe);
    char field[32];
    snprintf(field, sizeof field, "probe:%ld", static_cast<long>(result));
    const char* const line[] = {path, field};
    AppendMarker("deny_key", line, 2);
    return result == ERROR_ACCESS_DENIED ? 0 : 1;
}
