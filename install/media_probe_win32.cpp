#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/unsupported_types.h"

#include <mmsystem.h>

namespace {

// The short form keeps the media devices away from long names and blanks. When it cannot be
// had, the full path is what is opened.
const char* ShortPathOr(const char* path, char (&short_path)[kPathSize]) {
    const DWORD length = GetShortPathNameA(path, short_path, sizeof short_path);
    return length > 0 && length < sizeof short_path ? short_path : path;
}

} // namespace

void ProbeMedia(const char* destination) {
    char short_path[kPathSize];
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "MPEGVideo";
    open.lpstrElementName = ShortPathOr(destination, short_path);
    // First the device that the system picks by the file's extension, then the MPEG player.
    MCIERROR result =
        mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (result != 0)
        result = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                                 reinterpret_cast<DWORD_PTR>(&open));
    if (result == 0) {
        MCI_GENERIC_PARMS close = {};
        mciSendCommandA(open.wDeviceID, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close));
        return;
    }
    char type[kPathSize];
    MediaTypeOf(destination, type, sizeof type);
    AddUnsupportedType(UnsupportedTypes, sizeof UnsupportedTypes, type);
}
