// The installer's exit statuses: what a silent run tells the program that started it.
#pragma once

#include <cstdint>

enum InstallerExitStatus : int32_t {
    // A complete installation, and every end the user chose (No, Cancel, Decline).
    kFinishedExitStatus = 0,
    // A write that the destination file did not take in full (decode/write_failure.h): the
    // run stopped there, and nothing after it was installed, activated or started.
    kWriteFailureExitStatus = 3,
    // An installation that could not install every member: the package broke off, or a
    // member had nowhere to go.
    kIncompleteExitStatus = 4,
    // A package that could not be read, or whose names cannot be installed; a folder or file
    // of ours that is a link or another user's; another installer or uninstaller of the same
    // screen saver running: nothing was written.
    kRefusedExitStatus = 5,
    // No title window (no desktop to show it on, as in a session without a display) or a
    // message loop that failed: the installation never ran, so nothing was asked or written.
    // A program that started the installer must not take that for an installation.
    kNoTitleWindowExitStatus = 6,
};
