// lmvuninst.exe, installed as UNINSTAL.EXE beside a screen saver's files: removes that screen
// saver. The command line is described in uninstaller_arguments.h, the exit statuses in
// removal_report.h.
#include "platform/library_search_win32.h"
#include "uninstaller/removal_run_win32.h"
#include "uninstaller/self_removal_win32.h"
#include "uninstaller/uninstaller_arguments.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    RestrictLibrarySearch();
    static UninstallArguments parsed;
    parsed = ParseUninstallArguments(arguments != nullptr ? arguments : "");
    if (parsed.mode == UninstallMode::kFinishRemoval) {
        FinishSelfRemoval(parsed);
        return 0;
    }
    return RunRemoval(parsed.mode == UninstallMode::kInteractive);
}
