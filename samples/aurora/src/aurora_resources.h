// Resource ids of the Aurora screen saver.
#pragma once

#define IDD_AURORA_SETTINGS 100
#define IDC_AURORA_DATA_PATH 1001
#define IDC_AURORA_SWATCHES 1002
