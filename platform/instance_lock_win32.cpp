#include "platform/instance_lock.h"

#include <windows.h>

#include <initializer_list>

namespace {
HANDLE lock = nullptr;
} // namespace

InstanceLock TakeInstanceLock(const char* name) {
    // Systems without the machine-wide namespace (before Windows 2000) take the plain name.
    for (const bool global : {true, false}) {
        char lock_name[kInstanceLockNameSize];
        if (!BuildInstanceLockName(name, global, lock_name, sizeof lock_name))
            return InstanceLock::kUnavailable;
        const HANDLE mutex = CreateMutexA(nullptr, FALSE, lock_name);
        const DWORD error = GetLastError();
        // It exists while a program holds it: made by another one, it is theirs (an elevated
        // program's may not even be opened by this one).
        if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return InstanceLock::kHeldElsewhere;
        }
        if (mutex != nullptr) {
            ReleaseInstanceLock();
            lock = mutex;
            return InstanceLock::kTaken;
        }
        if (error != ERROR_ACCESS_DENIED) continue;
        // Refused: either it exists and is not ours to open, or this program may not create
        // objects in the machine-wide namespace (a user without the privilege to), and then
        // the session's own is the one to go by.
        const HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, lock_name);
        if (existing != nullptr) CloseHandle(existing);
        if (existing != nullptr || GetLastError() != ERROR_FILE_NOT_FOUND)
            return InstanceLock::kHeldElsewhere;
    }
    return InstanceLock::kUnavailable;
}

void ReleaseInstanceLock() {
    if (lock != nullptr) CloseHandle(lock);
    lock = nullptr;
}
