// The member loop of the installation run: walks the member table, gives every member its
// destination, has it extracted and logged, registers the uninstaller when it comes to it and
// probes the extra media files. The Windows-only steps (registry, install log, media devices)
// come in as hooks, so the walk itself is the same code in the installer and in the tests.
#pragma once

#include "install/install_paths.h"
#include "platform/file_api.h"

#include <cstdint>

struct MemberWalkHooks {
    void* context;
    // The package handle is given up around compressed members and obtained again here.
    FileHandle (*locate_package)();
    // Called for member 2 once its destination is known, before it is extracted.
    void (*register_uninstaller)(void* context, const char* uninstaller_path);
    // Called for every member that is given to extraction, just before it is written.
    void (*log_member)(void* context, const char* destination);
    // Called for members 3 and on, after the next entry is read, unless an abort was asked.
    void (*probe_media)(void* context, const char* destination);
    // The progress poll of extraction: true stops the member being written.
    bool (*poll)();
};

struct MemberWalkResult {
    // The handle to close when the run ends: the one the walk started with, or the one it
    // last obtained; kNoFile when there is none.
    FileHandle package;
    // True when the walk reached the terminating entry. False when the package could not be
    // located (at the start or after a compressed member), an entry could not be read whole,
    // or the package ended inside a member's data: the walk then stops where it is, and what
    // was written so far is logged.
    bool reached_end;
    // How many members were passed over because their destination could not be built.
    uint32_t passed_over;
    // True when a member's destination did not take all that was written to it (a full disk):
    // the walk stopped at that member, `last_member`, and reached_end is false.
    bool write_failed;
    uint32_t last_member;
};

// `package` stands at the first entry (or is kNoFile); `copy_buffer` holds kCopyBufferSize
// bytes. A member whose destination cannot be built (too long, or its folder unknown) is
// passed over: nothing is registered, extracted, logged or probed for it.
MemberWalkResult WalkMemberTable(FileHandle package, uint16_t first_media_number,
                                 uint8_t* copy_buffer, const InstallNames& names,
                                 const MemberWalkHooks& hooks);

// Calls `visit` with the destination of every member from the first to `last_member`, as the
// walk gives them (a member without one is passed over): the files that a walk which stopped at
// `last_member` may have written. Reads the member table through a pass of its own and stops
// where it cannot be read.
void ForEachMemberDestination(uint32_t last_member, const InstallNames& names,
                              void (*visit)(void* context, const char* destination), void* context);
