// Making sure that the folders and files we use belong to the administrators
// (install/ownership_verdict.h), before the installer writes into them and before the
// uninstaller reads INSTALL.LOG.
//
// Every level of ours ("Tarrowby", "Lumenvault", the screen saver's own folder) that exists is
// looked at through one handle opened on the level itself, never on where a link leads; a
// level's handle then stays open without delete sharing for the rest of the run, so that no one
// can rename or remove it meanwhile. A level owned by anyone else is refused: it is never used,
// and never taken over in place (a handle its owner opened earlier would keep its rights). A
// level of the administrators that others may still change gets our rules, written through the
// handle that was judged; every file already in it is looked at before and after, and one owned
// by anyone else is refused. The files the run will write or read in our folder (INSTALL.LOG,
// UNINSTAL.EXE, each destination) are judged the same way where they exist.
//
// The work comes in two steps. kCheck writes nothing, so that a refusal can say that nothing has
// been changed; kSecure, once the run is sure to go on, creates the missing levels with our
// rules (a level that "already exists" by then was made by someone else in between, and is
// judged like any other, never used unjudged) and writes our rules where they are wanting.
//
// Portable: the system's side comes in as SecurityAccess (install/folder_securing_win32.h on
// Windows; a made-up disk in the tests).
#pragma once

#include <cstddef>

// What one look at a path through a handle of its own finds.
enum class PathSecurity {
    kMissing,
    kOurs,     // owned by the trusted, changeable by no one else
    kLoose,    // owned by the trusted, changeable by others
    kForeign,  // owned by anyone else, or it could not be looked at
    kLink,     // a link (junction, symbolic link) or a file with other names
    kNoAccess, // our rules could not be written: the run lacks an administrator's rights
};

struct SecurityAccess {
    void* context;
    // Opens `path` as itself and judges it through that handle; with `protect`, writes our rules
    // through the same handle when others may change it (and answers kOurs once written). With
    // `hold`, the handle stays open for the rest of the run.
    PathSecurity (*look)(void* context, const char* path, bool protect, bool hold);
    // Calls `visit` with the path of each entry directly inside `folder` but its sub-folders;
    // stops and answers false when `visit` does. True as well when the folder cannot be listed:
    // a level the run cannot list is one it cannot write into either.
    bool (*for_each_file)(void* context, const char* folder,
                          bool (*visit)(void* visit_context, const char* path),
                          void* visit_context);
    // Creates the folder with our rules. Whatever is there already is left as it is. Null
    // where nothing is to be created (the uninstaller).
    void (*create_folder)(void* context, const char* path);
};

enum class SecuringStep { kCheck, kSecure };

enum class Securing {
    kSecured,
    kForeign,  // `refused` names a level or file of anyone else's
    kLink,     // `refused` names a link that appeared since the links were checked
    kNoAccess, // `refused` names what our rules could not be written to
};

// Calls `visit` with every folder level of `folder` (which ends in a backslash) that lies past
// its first `own_levels_start` characters, outermost first: the path up to, not including,
// the level's closing backslash. Stops and returns false when `visit` does; true otherwise.
bool ForEachOwnFolderLevel(const char* folder, size_t own_levels_start,
                           bool (*visit)(void* context, const char* level), void* context);

// The levels of `folder` past `own_levels_start`. kCheck stops at the first missing level (none
// below it exists yet); kSecure creates it and those below.
Securing SecureOwnLevels(const char* folder, size_t own_levels_start, SecuringStep step,
                         const SecurityAccess& access, char* refused, size_t size);

// One file that the run writes or reads inside our folder: missing is fine.
Securing SecureOwnFile(const char* path, SecuringStep step, const SecurityAccess& access,
                       char* refused, size_t size);
