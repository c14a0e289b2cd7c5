#include "frontend/install_names.h"

#include "frontend/prompt_texts.h"
#include "install/installer_state.h"
#include "install/name_safety.h"
#include "platform/fixed_text.h"

bool PrepareInstallNames(char* install_caption) {
    ScreenSaverName[sizeof ScreenSaverName - 1] = '\0';
    RemoveTrailingBlanks(ScreenSaverName);
    BuildInstallCaption(ScreenSaverName, install_caption);

    // The name comes from the package and becomes a file in the Windows directory and a folder
    // level of the shared data folder; the installation sequence refuses an unusable one before
    // it asks anything, and nothing is built from it here either.
    ScreenSaverFile[0] = '\0';
    if (!IsUsableScreenSaverName(ScreenSaverName)) return false;
    AppendText(ScreenSaverFile, sizeof ScreenSaverFile, ScreenSaverName);
    AppendText(ScreenSaverFile, sizeof ScreenSaverFile, ".scr");
    return true;
}
