// The checks and questions before the install dialog. Their texts, captions, buttons and
// owners are what the user sees and what the end-to-end tests look for: keep them exact.
#include "frontend/install_prompts.h"

#include "frontend/prompt_texts.h"
#include "frontend/windows_drive.h"
#include "install/installer_state.h"
#include "install/user_messages_win32.h"
#include "package/package_reading.h"
#include "platform/system_paths_win32.h"
#include "resources/resource_ids.h"

#include <cstring>

namespace {

using GetDiskFreeSpaceExProc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                             PULARGE_INTEGER);

constexpr uint32_t kFreeSpaceUnknown = 0xFFFFFFFFu;

bool FileOrFolderExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool CheckExistingScreenSaver() {
    char folder[kPathSize];
    if (!ReadWindowsDirectory(folder)) return true;

    // Tested with the name as the package gives it, blanks and all, before it is trimmed.
    char file_name[kPathSize] = "";
    AppendText(file_name, sizeof file_name, ScreenSaverName);
    if (!AppendText(file_name, sizeof file_name, ".SCR")) return true;
    char path[kPathSize];
    // A path longer than the system allows names no existing file.
    if (!JoinPath(folder, file_name, path, sizeof path) || !FileOrFolderExists(path)) return true;

    char message[kMessageSize];
    BuildReplaceMessage(file_name, message);
    if (InstallMode != kInteractiveMode) return true;
    return ShowUserMessage(nullptr, message, "Replace Screen Saver?", MB_YESNO | MB_ICONQUESTION,
                           kKeepExitStatus) != IDNO;
}

bool CheckDiskSpace(uint32_t* total_size) {
    *total_size = 0;
    // A package that cannot be read leaves 0 and asks nothing; the later steps meet it.
    if (!SumMemberSizes(total_size)) return true;
    InstalledSize = *total_size;

    char folder[kPathSize];
    if (!ReadWindowsDirectory(folder)) return true;
    const uint32_t free_kilobytes = FreeKilobytes(folder);
    const uint32_t needed_kilobytes = *total_size / 1024;
    if (free_kilobytes > needed_kilobytes) return true;

    char message[kMessageSize];
    BuildDiskFullMessage(needed_kilobytes, free_kilobytes, message);
    // Unattended, nobody can decide to go on with too little room: nothing is written.
    return ShowUserMessage(nullptr, message, "Disk Full", MB_OKCANCEL | MB_ICONINFORMATION,
                           kDiskFullExitStatus) != IDCANCEL;
}

uint32_t FreeKilobytes(const char* folder) {
    char root_text[kPathSize];
    FreeSpaceRoot(folder, root_text);
    // No usable root: ask about the current drive.
    const char* root = root_text[0] != '\0' ? root_text : nullptr;

    // The extended call copes with drives over 2 GB but is missing from the first Windows 95.
    const auto get_free_space_ex = KernelProc<GetDiskFreeSpaceExProc>("GetDiskFreeSpaceExA");
    ULARGE_INTEGER available, total, total_free;
    if (get_free_space_ex != nullptr && get_free_space_ex(root, &available, &total, &total_free))
        return KilobytesFromBytes(available.QuadPart);

    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &clusters))
        return kFreeSpaceUnknown;
    const uint64_t free_bytes = static_cast<uint64_t>(sectors_per_cluster) * bytes_per_sector *
                                static_cast<uint64_t>(free_clusters);
    return KilobytesFromBytes(free_bytes);
}

bool ConfirmInstallation(HWND window, const char* install_caption, uint32_t total_size) {
    char folder[kPathSize];
    const bool have_folder = ReadWindowsDirectory(folder);
    if (have_folder) UpperCaseAscii(folder);
    char message[kMessageSize];
    BuildConfirmMessage(ScreenSaverName, have_folder ? folder : nullptr, total_size, message);
    if (InstallMode != kInteractiveMode) return true;
    return ShowUserMessage(window, message, install_caption, MB_OKCANCEL | MB_ICONINFORMATION,
                           kKeepExitStatus) == IDOK;
}

bool AskAgreement() {
    // Whoever deploys with /UNATTENDED accepts the agreement for the machine's users.
    if (InstallUnattended != 0) return true;
    AgreementText agreement;
    if (!ReadAgreementText(&agreement)) return true;
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_AGREEMENT_DIALOG), nullptr,
                        AgreementDialogProc, reinterpret_cast<LPARAM>(agreement.text));
    ReleaseAgreementText(&agreement);
    // A dialog that could not be created (-1 or 0) counts as declined.
    return result == IDOK;
}

INT_PTR CALLBACK AgreementDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetDlgItemTextA(dialog, IDC_AGREEMENT_TEXT, reinterpret_cast<const char*>(lparam));
        RECT rect;
        GetWindowRect(dialog, &rect);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        MoveWindow(dialog, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
                   GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, width, height, FALSE);
        HWND text = GetDlgItem(dialog, IDC_AGREEMENT_TEXT);
        SetFocus(text);
        // Posted, not sent: the edit control selects all when the focus arrives, and this
        // clears that selection afterwards.
        PostMessageA(text, EM_SETSEL, static_cast<WPARAM>(-1), 0);
        return FALSE;
    }
    case WM_COMMAND:
        if (wparam == IDOK || wparam == IDCANCEL) {
            EndDialog(dialog, static_cast<INT_PTR>(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
