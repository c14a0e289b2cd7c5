// The first instruction of our Windows programs (the installer, the uninstaller and the
// sample screen saver), in place of the C runtime's start-up code. They need almost none of its
// services: no exit handlers, no thread-local storage, no command line split into arguments,
// no floating-point set-up; the C library calls they make (formatting, file streams) are the
// system's MSVCRT.DLL, which sets itself up when it is loaded. Leaving the runtime's start-up
// out takes its code, its unwind tables and two sections of its own out of every download.
// Constructors of globals are still run, should a program ever have one.
//
// What WinMain receives is what the runtime would hand it: the module, the command line after
// the program's own name, and the show command the starter asked for.
#include "platform/command_line.h"

#include <windows.h>

// The table of constructors that the linker builds from every object: a count or -1, the
// functions, and a null at the end.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// Last to first, as the C runtime runs them.
void RunGlobalConstructors() {
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (; count > 0; --count)
        __CTOR_LIST__[count]();
}

} // namespace

// The linker's entry point of a GUI program. Windows calls it with a stack aligned to four
// bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup() {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    RunGlobalConstructors();
    const int show =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr,
                                          ArgumentsAfterProgramName(GetCommandLineA()), show)));
}
