// The end of the installation: roll back, report missing codecs, or complete and launch.
#include "frontend/finish_installation.h"

#include "frontend/download_pages.h"
#include "frontend/prompt_texts.h"
#include "frontend/windows_drive.h"
#include "install/install_paths.h"
#include "install/installer_state.h"
#include "install/user_messages_win32.h"
#include "platform/system_paths_win32.h"

#include <shellapi.h>

#include <cstring>

namespace {

static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the shell execution block of 32-bit Windows");
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version block of 32-bit Windows");

// IID_IDirectDraw7. Defined here rather than taken from a DirectX import library, which the
// installer does not link: DirectDraw is looked up at run time and may be missing.
constexpr GUID kDirectDraw7Id = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

using DirectDrawCreateExProc = HRESULT(WINAPI*)(GUID*, void**, const GUID*, void*);
// Release is the third entry of every COM interface's function table.
using ReleaseProc = ULONG(STDMETHODCALLTYPE*)(void*);
constexpr int kReleaseSlot = 2;

void ReleaseComObject(void* object) {
    void** functions = *static_cast<void***>(object);
    reinterpret_cast<ReleaseProc>(functions[kReleaseSlot])(object);
}

// The uninstaller, already installed, undoes the cut-short installation on its own. Where the
// shared folder is unknown it was never installed, and a bare "UNINSTAL.EXE" would have the
// shell search the current folder and the path for some other program of that name.
void StartUninstaller() {
    char uninstaller[kPathSize];
    const InstallNames names{"", "", SharedDataFolder};
    if (!MemberDestination(kUninstallerMember, MemberEntry{}, 0, names, uninstaller,
                           sizeof uninstaller))
        return;
    SHELLEXECUTEINFOA execute;
    ZeroMemory(&execute, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.lpVerb = "open";
    execute.lpFile = uninstaller;
    execute.lpParameters = "/s";
    execute.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&execute);
}

void MakeFullScreenSaverPath() {
    char folder[kPathSize];
    if (!ReadWindowsDirectory(folder)) return;
    char path[kPathSize];
    // A full path that does not fit keeps the bare name, which then names no file to start.
    if (JoinPath(folder, ScreenSaverFile, path, sizeof path))
        std::memcpy(ScreenSaverFile, path, sizeof ScreenSaverFile);
}

// The DirectX test and the pages it may open run from the root of the Windows drive rather
// than from wherever the installer was started, typically a downloads folder.
void MoveToWindowsDrive() {
    char folder[kPathSize];
    if (!ReadWindowsDirectory(folder)) return;
    char root[kPathSize];
    if (DriveRootOf(folder, root)) SetCurrentDirectoryA(root);
}

void OfferDirectX(HWND window, const char* install_caption) {
    MoveToWindowsDrive();
    if (HasDirectX7()) return;
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (!ShouldOfferDirectX(version.dwPlatformId, version.dwMajorVersion)) return;
    const int answer = ShowUserMessage(
        window,
        "You do not have DirectX 7 or higher installed. To get the best performance out of this "
        "software, you will need to install this Windows component. Would you like to do "
        "download it now?",
        install_caption, MB_YESNO | MB_ICONQUESTION, kKeepExitStatus);
    if (answer == IDYES)
        OpenWebPage(window, DirectXPageFor(version.dwPlatformId, version.dwMajorVersion,
                                           version.dwMinorVersion));
}

} // namespace

void FinishInstallation(HWND window, const char* install_caption) {
    if (AbortRequested != 0) {
        StartUninstaller();
        return;
    }
    if (InstallIncomplete != 0) {
        // Shown in silent mode as well: the user must learn that nothing usable was installed.
        char message[kMessageSize];
        BuildIncompleteMessage(ScreenSaverName, message);
        InstallExitStatus = kIncompleteExitStatus;
        ShowUserMessage(window, message, install_caption, MB_OK | MB_ICONHAND,
                        kIncompleteExitStatus);
        return;
    }
    if (UnsupportedTypes[0] != '\0') {
        char message[kMessageSize];
        BuildCodecMessage(UnsupportedTypes, kMediaPlayerPage, message);
        // Unattended: no page is opened, and the status tells that the screen saver was
        // installed but not made the system's.
        if (ShowUserMessage(window, message, "Missing support codecs", MB_OKCANCEL,
                            kUnsupportedMediaExitStatus) == IDOK)
            OpenWebPage(window, kMediaPlayerPage);
        return;
    }
    if (InstallMode != kInteractiveMode) return;

    ShowUserMessage(window, "Installation Complete!", install_caption, MB_ICONEXCLAMATION,
                    kKeepExitStatus);
    MakeFullScreenSaverPath();
    if (NeedsDirectX != 0) OfferDirectX(window, install_caption);
    LaunchScreenSaver();
}

void OpenWebPage(HWND window, const char* address) {
    SHELLEXECUTEINFOA execute;
    ZeroMemory(&execute, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.lpVerb = "open";
    execute.lpFile = address;
    execute.nShow = SW_SHOWMAXIMIZED;
    if (!ShellExecuteExA(&execute))
        ShowUserMessage(window, "Could not connect to this site.", address, MB_ICONHAND,
                        kKeepExitStatus);
}

bool HasDirectX7() {
    HMODULE ddraw = LoadSystemLibrary("DDRAW.DLL");
    if (ddraw == nullptr) return false;
    const auto create = LookUpProc<DirectDrawCreateExProc>(ddraw, "DirectDrawCreateEx");
    if (create == nullptr) {
        FreeLibrary(ddraw);
        return false;
    }
    void* direct_draw = nullptr;
    const bool created = SUCCEEDED(create(nullptr, &direct_draw, &kDirectDraw7Id, nullptr));
    if (created && direct_draw != nullptr) ReleaseComObject(direct_draw);
    FreeLibrary(ddraw);
    return created;
}

void LaunchScreenSaver() {
    char short_path[kPathSize];
    const DWORD length = GetShortPathNameA(ScreenSaverFile, short_path, sizeof short_path);
    if (length == 0 || length >= sizeof short_path) return;
    WinExec(short_path, SW_SHOW);
}
