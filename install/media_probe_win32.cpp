#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/unsupported_types.h"
#include "platform/system_paths_win32.h"

#include <mmsystem.h>

namespace {

// The short form keeps the media devices away from long names and blanks. When it cannot be
// had, the full path is what is opened.
const char* ShortPathOr(const char* path, char (&short_path)[kPathSize]) {
    const DWORD length = GetShortPathNameA(path, short_path, sizeof short_path);
    return length > 0 && length < sizeof short_path ? short_path : path;
}

} // namespace

MediaDevices OpenMediaDevices() {
    MediaDevices devices = {LoadSystemLibrary("WINMM.DLL"), nullptr};
    if (devices.library != nullptr)
        devices.send_command = LookUpProc<MciSendCommandProc>(devices.library, "mciSendCommandA");
    return devices;
}

void CloseMediaDevices(const MediaDevices& devices) {
    if (devices.library != nullptr) FreeLibrary(devices.library);
}

void ProbeMedia(const MediaDevices& devices, const char* destination) {
    char short_path[kPathSize];
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "MPEGVideo";
    open.lpstrElementName = ShortPathOr(destination, short_path);
    const auto parameters = reinterpret_cast<DWORD_PTR>(&open);
    MCIERROR result = MCIERR_DEVICE_NOT_INSTALLED;
    if (devices.send_command != nullptr) {
        // First the device that the system picks by the file's extension, then the MPEG player.
        result = devices.send_command(0, MCI_OPEN, MCI_OPEN_ELEMENT, parameters);
        if (result != 0)
            result =
                devices.send_command(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, parameters);
    }
    if (result == 0) {
        MCI_GENERIC_PARMS close = {};
        devices.send_command(open.wDeviceID, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close));
        return;
    }
    char type[kPathSize];
    MediaTypeOf(destination, type, sizeof type);
    AddUnsupportedType(UnsupportedTypes, sizeof UnsupportedTypes, type);
}
