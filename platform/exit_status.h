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

    // Only a run started with /UNATTENDED ends with these: it shows nothing, so where a
    // question or a message would have told the user, the status does. Every other end of such
    // a run has the status a silent run would have.
    //
    // The package needs more room than the Windows directory's drive has free, where the
    // "Disk Full" question would have asked: nothing was written.
    kDiskFullExitStatus = 7,
    // The machine-wide Uninstall key or our folders' access rules may not be written (the
    // installer runs without administrator rights): nothing was written.
    kNoAdministratorRightsExitStatus = 8,
    // Every file was installed and registered, but some media files are of types that no
    // media device of this Windows plays, so the screen saver was not made the system's (the
    // "Missing support codecs" notice). Not a success: the screen saver cannot run as made.
    kUnsupportedMediaExitStatus = 9,
    // Another installer or uninstaller of the same screen saver is running (a silent run ends
    // with kRefusedExitStatus there): nothing was written; the same run later can succeed.
    kAlreadyRunningExitStatus = 10,
};
