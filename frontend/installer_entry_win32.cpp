// The program's entry: the silent switch, the title window over the work area and the
// process's only message loop. The exit status (platform/exit_status.h) says how the run
// ended: finished, incomplete, refused, stopped by a failed write, or never started for want
// of a title window.
#include "frontend/install_switch.h"
#include "frontend/title_window.h"
#include "install/installer_state.h"
#include "platform/exit_status.h"
#include "platform/file_api.h"
#include "platform/library_search_win32.h"

namespace {

// The show command that a GUI program is asked to use: the starter's choice when it gave one,
// else the platform default.
int StartupShowCommand() {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

bool RegisterTitleClass(HINSTANCE instance) {
    WNDCLASSA window_class;
    ZeroMemory(&window_class, sizeof window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = TitleWindowProc;
    window_class.hInstance = instance;
    // No background brush: the paint covers every pixel.
    window_class.hCursor = LoadCursorA(nullptr, IDC_WAIT);
    window_class.lpszClassName = kTitleWindowClass;
    return RegisterClassA(&window_class) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    // Before any window exists: creating one makes the system load libraries by bare name.
    RestrictLibrarySearch();
    // Before anything else reads it: from here on no one can change, rename or replace the
    // file that every pass over the package reads.
    PlatHoldOwnFile();
    InstallMode = InstallModeFromArguments(arguments);
    InstallUnattended = UnattendedRequested(arguments) ? 1 : 0;
    // Unattended, not even the system may show a box: no "insert a disk" question, no crash
    // dialog. A crash then ends the process with its exception code, which the deployment
    // tool reads as a failure.
    if (InstallUnattended != 0)
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (!RegisterTitleClass(instance)) return kNoTitleWindowExitStatus;

    RECT work_area;
    ZeroMemory(&work_area, sizeof work_area);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work_area, 0);
    // Silent runs create it visible and hide it at once; an unattended run never lets it show,
    // not even for that moment.
    const DWORD style = InstallUnattended != 0 ? WS_POPUP : WS_POPUP | WS_VISIBLE;
    HWND window =
        CreateWindowExA(0, kTitleWindowClass, "TITLE", style, work_area.left, work_area.top,
                        work_area.right - work_area.left, work_area.bottom - work_area.top, nullptr,
                        nullptr, instance, nullptr);
    if (window == nullptr) return kNoTitleWindowExitStatus;

    ShowWindow(window, InstallMode == kInteractiveMode ? StartupShowCommand() : SW_HIDE);
    UpdateWindow(window);

    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The quit message's wParam: InstallExitStatus, as the title window posts it. A loop that
    // failed never let the installation finish, whatever it had reached.
    return got == 0 ? static_cast<int>(message.wParam) : kNoTitleWindowExitStatus;
}
