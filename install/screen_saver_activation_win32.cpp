#include "install/installation_run.h"
#include "install/installer_state.h"

void ActivateScreenSaver(const char* screen_saver_path) {
    // Older systems read "system.ini" with 8.3 names only. A path whose short form cannot be
    // had names no file we wrote (the screen saver is missing or the name is unusable), and a
    // screen saver that cannot be found must not become the system's: nothing changes then.
    char short_path[kPathSize];
    const DWORD length = GetShortPathNameA(screen_saver_path, short_path, sizeof short_path);
    if (length == 0 || length >= sizeof short_path) return;
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", short_path, "system.ini");
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_UPDATEINIFILE);
}
