// Resource ids of the Aurora screen saver. The control ids stay clear of the installer's own
// (1001, 1009): tools that tell the installer's dialogs by those ids must not take these for
// them.
#pragma once

#define IDD_AURORA_SETTINGS 100
#define IDC_AURORA_DATA_PATH 1101
#define IDC_AURORA_SWATCHES 1102
