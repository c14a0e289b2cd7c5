// The title window's procedure and the installation sequence that its start timer runs.
#include "frontend/title_window.h"

#include "frontend/finish_installation.h"
#include "frontend/install_names.h"
#include "frontend/install_prompts.h"
#include "frontend/package_checks.h"
#include "frontend/prompt_texts.h"
#include "install/install_dialog.h"
#include "install/installer_state.h"
#include "install/user_messages_win32.h"
#include "package/package_reading.h"
#include "platform/instance_lock.h"
#include "resources/resource_ids.h"

#include <cstring>

namespace {

// Whether the header was read when the window was created; the sequence refuses the package
// when it was not, instead of judging the empty default name.
bool package_header_read = false;

// Reads the header into the title's state. Whatever the pass cannot read keeps its default,
// so an unreadable package shows " Screen Saver" over blue to black.
void LoadPackageHeader() {
    PackageHeader header;
    std::memcpy(header.ScreenSaverName, ScreenSaverName, sizeof header.ScreenSaverName);
    header.NeedsDirectX = NeedsDirectX;
    header.TopColor = TopColor;
    header.BottomColor = BottomColor;
    package_header_read = ReadPackageHeader(&header);
    std::memcpy(ScreenSaverName, header.ScreenSaverName, sizeof ScreenSaverName);
    ScreenSaverName[sizeof ScreenSaverName - 1] = '\0';
    NeedsDirectX = header.NeedsDirectX;
    TopColor = header.TopColor;
    BottomColor = header.BottomColor;
}

} // namespace

void InstallSequence(HWND window) {
    // Killed first: the prompts below run nested message loops, and a second WM_TIMER must
    // not start the sequence again.
    KillTimer(window, kStartTimer);
    SetClassLongA(window, GCL_HCURSOR,
                  static_cast<LONG>(reinterpret_cast<LONG_PTR>(LoadCursorA(nullptr, IDC_ARROW))));

    char install_caption[kInstallCaptionSize] = "";
    uint32_t total_size = 0;
    // Before any question: asking to replace a file, or for disk space, on behalf of a
    // package that will be refused anyway would only mislead.
    const PackageRefusal refusal = CheckPackageBeforeAsking(package_header_read, GetACP());
    if (refusal != PackageRefusal::kNone) {
        // Shown in silent mode too: the installation stops, and the user must know why.
        InstallExitStatus = kRefusedExitStatus;
        ShowUserMessage(nullptr, RefusalText(refusal), kRefusalCaption, MB_OK | MB_ICONHAND,
                        kRefusedExitStatus);
    } else if (TakeInstanceLock(ScreenSaverName) == InstanceLock::kHeldElsewhere) {
        // Another installer or uninstaller of this screen saver runs: asking anything, or
        // writing the same files beside it, would only spoil both.
        // Unattended, a status of its own: a deployment tool tries the same run again later.
        char message[kMessageSize];
        BuildAlreadyRunningMessage(ScreenSaverName, message);
        InstallExitStatus = kRefusedExitStatus;
        ShowUserMessage(nullptr, message, kRefusalCaption, MB_OK | MB_ICONHAND,
                        kAlreadyRunningExitStatus);
    } else if (CheckExistingScreenSaver() && CheckDiskSpace(&total_size) &&
               PrepareInstallNames(install_caption) &&
               ConfirmInstallation(window, install_caption, total_size) && AskAgreement()) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        const INT_PTR result =
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INSTALL_DIALOG), window,
                            InstallDialogProc, 0);
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        // Everything of ours is written: the uninstaller that an abort starts must not find
        // the screen saver taken.
        ReleaseInstanceLock();
        // The dialog ends with 1 after every run and with 2 when there is nothing to finish
        // (the run did not begin, or it was taken back after a failed write);
        // anything else (-1, 0) means it could not even be created, and reporting
        // completion then would announce an installation that never happened.
        if (result == 1) FinishInstallation(window, install_caption);
    }
    DestroyWindow(window);
}

LRESULT CALLBACK TitleWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        LoadPackageHeader();
        SetWindowTextA(window, ScreenSaverName);
        SetTimer(window, kStartTimer, kStartTimerPeriod, nullptr);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(InstallExitStatus);
        return 0;
    case WM_PAINT:
        PaintTitle(window);
        return 0;
    case WM_TIMER:
        InstallSequence(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
