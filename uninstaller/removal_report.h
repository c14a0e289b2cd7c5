// What a removal left behind, and how the uninstaller tells it: one message in interactive
// mode, the exit status in every mode.
//
// Exit statuses (documented in docs/uninstaller.md):
//   0  everything was removed (the uninstaller's own file and folders follow right after it
//      ends, see self_removal_win32.h);
//   1  the user answered No: nothing was changed;
//   2  something remains: a file in use (scheduled for removal at the next restart), a log line
//      or file the uninstaller refused, or a failure; or it refused to act at all (its folder
//      is not where its installer puts it, is a link, or is not the administrators'), or
//      another installer or uninstaller of the screen saver is running.
#pragma once

#include "uninstaller/removal_rules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr int kRemovedEverything = 0;
constexpr int kUserDeclined = 1;
constexpr int kSomethingRemains = 2;

enum class Leftover {
    kScheduled,    // in use: it goes at the next restart
    kForeign,      // a log line naming a file that is not this screen saver's
    kLink,         // a symbolic link or junction in place of the file
    kHardLinked,   // the file has other names as well
    kNotAFile,     // a folder or device where a file was logged
    kFailed,       // the system refused to remove it
    kFolderIsLink, // the own folder is a link: nothing at all was removed
    kNotInstalled, // the uninstaller is not in a folder its installer made
    kEntryKept,    // the Uninstall registry entry could not be deleted
    // A level of the own folder, or INSTALL.LOG, that nothing is read from or removed from:
    kForeignOwner,  // owned by someone other than the administrators
    kUnprotected,   // others may change it, and the administrators' rules could not be given it
    kLinkInstead,   // a link (made since the folder was looked at)
    kBusyElsewhere, // another installer or uninstaller of the screen saver is running: nothing
                    // was changed
};

struct RemovalReport {
    // The first leftovers are kept to be named; the rest are only counted.
    static constexpr size_t kNamed = 12;
    struct Item {
        Leftover why;
        char path[kPathSize];
    };
    Item items[kNamed];
    size_t count; // every leftover, named or not
};

void NoteLeftover(RemovalReport* report, Leftover why, std::string_view path);

int RemovalExitStatus(const RemovalReport& report);

// The one message of an interactive removal that left something behind: a head line, one line
// per named leftover with what happened to it, and how many more there were. Always
// terminated; cut at a line's end when `size` is too small for the whole text.
void FormatLeftovers(const RemovalReport& report, const char* screen_saver_name, char* out,
                     size_t size);
