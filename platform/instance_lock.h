// One installer or uninstaller of a screen saver at a time. Two installers of the same screen
// saver (a second double-click during a slow elevation prompt) would write the same files
// over each other, and an uninstaller running beside an installer would remove what it
// writes. So both programs hold a named mutex per screen saver while they work, in the
// machine-wide namespace (every session's programs see it; a standard user may not create an
// object there, so no one else can hold it to keep us out), and the second to come says that
// one is running already and changes nothing.
#pragma once

#include <cstddef>

constexpr size_t kInstanceLockNameSize = 300;

// The mutex's name for the screen saver `name`: its trailing blanks are not part of it (as in
// the installed names), ASCII letters are upper-cased (the files it guards are named without
// regard to case), and a backslash, which a mutex name may not hold, becomes a slash. `global`
// puts it into the machine-wide namespace. False, with `out` empty, when it does not fit.
bool BuildInstanceLockName(const char* name, bool global, char* out, size_t size);

#ifdef _WIN32
enum class InstanceLock {
    kTaken,         // held by this program until it ends or lets go
    kHeldElsewhere, // another installer or uninstaller of the screen saver is running
    kUnavailable,   // the system has no such objects, or refused one: nothing to go by
};

InstanceLock TakeInstanceLock(const char* name);
void ReleaseInstanceLock();
#endif
