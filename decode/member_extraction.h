// ExtractMember writes one member of the install package to a destination file: a stored
// member (UnpackedSize 0) is copied through the caller's 2048-byte buffer, a compressed one
// is restored by LzhDecoder. Both paths run `poll` right after their first chunk or symbol
// and then every 102400 bytes, and stop at once when it answers true; the installer passes
// PumpMessages, which answers true after a confirmed Cancel unless the member is protected.
//
// What a member stopped by `poll` leaves: a stored one, the 2048-byte chunks copied so far; a
// compressed one, whole 16384-byte blocks. Both are correct leading bytes of the member. A
// cut-short member (kMemberCutShort: the installer file ends before its stored data does)
// leaves, when stored, every byte the file still held; when compressed, its whole unpacked
// size, the part past the file's end decoded from zero bits.
//
// Handles: both paths read and write through the same handle calls, the decoder's ends being
// plain reads and writes (decode/decoder_ends.h). The stored path reads through `package` (the
// installation run's handle) and leaves it somewhere after the member; the compressed path
// reads the installer's own file through a handle of its own on the file held since the start
// (PlatOpenOwnFile) and closes it again, so the run may close its handle around the call. The
// compressed path restores with the installer's one decoder (decode/installer_decoder.h). The
// destination is always closed on return.
//
// The result is an ExtractResult. A destination that cannot be opened is not reported: the
// member is skipped and the run goes on.
#pragma once

#include "package/package_format.h"
#include "platform/file_api.h"

#include <cstdint>

constexpr uint32_t kCopyBufferSize = 2048;

enum ExtractResult : int {
    // The compressed path has no installer file to read: the installer could not open its own
    // file when it started. Nothing was created.
    kNoOwnFile = 0,
    // The member was written whole, stopped on request, or skipped.
    kMemberHandled = 1,
    // The installer file ended (or could not be read) before the member's stored data did: the
    // file written holds only what could be read, padded on the compressed path with what zero
    // bits decode to. Every member after it is lost too.
    kMemberCutShort = 2,
    // The destination did not take all that was written to it (a full disk): the copy or the
    // decoder stopped there, and the file holds only a part of the member. Named for the
    // message by SetWriteTarget (decode/write_failure.h).
    kMemberNotWritten = 3,
};

ExtractResult ExtractMember(FileHandle package, uint8_t* copy_buffer, const MemberEntry& entry,
                            const char* destination, bool (*poll)());
