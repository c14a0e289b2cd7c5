// Writes the security descriptor that the installer gives its data folder's levels
// (install/folder_security.cpp) in the system's own string form to
// C:\e2e\markers\folder_security.log, as the system's security functions decode it. The Wine
// of the tests keeps no security of files, so the rules cannot be read back from a folder
// the installer made; this reads them from the very bytes it gives CreateDirectoryA.
#include "install/folder_security.h"

#include <windows.h>

#include <sddl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CreateDirectoryA("C:\\e2e", nullptr);
    CreateDirectoryA("C:\\e2e\\markers", nullptr);
    HANDLE log = CreateFileA("C:\\e2e\\markers\\folder_security.log", GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    FolderSecurity security = MakeFolderSecurity();
    char* text = nullptr;
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    const bool valid = IsValidSecurityDescriptor(security.bytes) &&
                       ConvertSecurityDescriptorToStringSecurityDescriptorA(
                           security.bytes, SDDL_REVISION_1, parts, &text, nullptr);
    DWORD written = 0;
    const char* result = valid ? text : "not a valid security descriptor";
    WriteFile(log, result, lstrlenA(result), &written, nullptr);
    if (text != nullptr) LocalFree(text);
    CloseHandle(log);
    return valid ? 0 : 2;
}
