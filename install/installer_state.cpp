#include "install/installer_state.h"

int32_t InstallMode = kInteractiveMode;
int32_t InstallUnattended = 0;

char ScreenSaverName[kScreenSaverNameSize] = "";
uint32_t NeedsDirectX = 0;
uint32_t TopColor = 0x00FF0000;  // pure blue
uint32_t BottomColor = 0x000000; // black

uint32_t InstalledSize = 0;

char ScreenSaverFile[kPathSize] = "";

int32_t AbortRequested = 0;
int32_t ProtectedMember = 0;
void* InstallDialogWindow = nullptr;

int32_t InstallIncomplete = 0;
int32_t InstallExitStatus = kFinishedExitStatus;

char SharedDataFolder[kPathSize] = "";
char UnsupportedTypes[256] = "";
