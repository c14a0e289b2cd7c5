// The kernel layer of lmvpack.exe. The installer's passes read "their own executable"; in the
// tool that is the installer file being read, named here (as PlatSetModuleFileName does on
// Linux, where file_api.h declares it).
#pragma once

#ifdef _WIN32
void PlatSetModuleFileName(const char* path);
#endif
