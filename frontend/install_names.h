// The names the installation is made under, worked out once the package has been accepted.
#pragma once

// Trims ScreenSaverName, fills install_caption (kInstallCaptionSize bytes) with
// "<name> Screen Saver Installation" and ScreenSaverFile with "<name>.scr". False, with
// ScreenSaverFile left empty, when the name is not a plain file name or is too long to make
// one in ScreenSaverFile; the caption is filled all the same.
bool PrepareInstallNames(char* install_caption);
