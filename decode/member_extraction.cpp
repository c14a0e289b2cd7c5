#include "decode/member_extraction.h"

#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/installer_decoder.h"
#include "decode/write_failure.h"

#include <climits>

namespace {

bool StoredBytesLieInFile(FileHandle file, const MemberEntry& entry) {
    const int32_t size = PlatSeek(file, 0, kFromEnd);
    return size >= 0 &&
           uint64_t{entry.DataOffset} + entry.StoredSize <= static_cast<uint64_t>(size);
}

// The decoder's ends for a compressed member: the same handle calls the stored copy makes.
struct HandleEnds {
    FileHandle executable;
    FileHandle destination;
    bool (*poll)();
};

// A failed read ends the member's input as the end of the file does: the rest decodes from
// zero bits, and the member is judged cut short.
size_t ReadHandle(void* context, uint8_t* into, size_t size) {
    const uint32_t got =
        PlatRead(static_cast<HandleEnds*>(context)->executable, into, static_cast<uint32_t>(size));
    return got == kIoFailed ? 0 : got;
}

size_t WriteHandle(void* context, const uint8_t* bytes, size_t size) {
    const uint32_t put = PlatWrite(static_cast<HandleEnds*>(context)->destination, bytes,
                                   static_cast<uint32_t>(size));
    return put == kIoFailed ? 0 : put;
}

// The caller's poll for the compressed member being restored. Once the sink has failed
// nothing more reaches the file, so the decoder is stopped at its next poll.
bool PollUnlessWriteFailed(void* context) {
    bool (*const poll)() = static_cast<HandleEnds*>(context)->poll;
    return SinkWriteFailed() || (poll != nullptr && poll());
}

ExtractResult ExtractCompressed(const MemberEntry& entry, const char* destination, bool (*poll)()) {
    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);

    // The file opened when the installer started, never the file now at its name. Without
    // it there is nothing to restore from, and nothing is created.
    const FileHandle executable = PlatOpenOwnFile();
    if (executable == kNoFile) return kNoOwnFile;
    // An offset that the seek cannot reach (2^31 or more) is treated like data beyond the end
    // of the file: nothing is read, never bytes from the wrong place.
    uint32_t stored_size = entry.StoredSize;
    if (entry.DataOffset > static_cast<uint32_t>(INT32_MAX) ||
        PlatSeek(executable, static_cast<int32_t>(entry.DataOffset), kFromStart) !=
            static_cast<int32_t>(entry.DataOffset)) {
        stored_size = 0;
    }
    const FileHandle output = PlatCreateFile(destination);
    if (output == kNoFile) {
        PlatClose(executable);
        return kMemberHandled;
    }
    HandleEnds ends{executable, output, poll};
    const int32_t produced =
        LzhDecoder(installer_decoder, {ReadHandle, WriteHandle, PollUnlessWriteFailed, &ends},
                   entry.UnpackedSize, stored_size);
    PlatClose(output);
    // The handle calls write through at once: a write not taken in full is the only sign of a
    // full disk, and the sink has seen it.
    if (SinkWriteFailed()) {
        PlatClose(executable);
        return kMemberNotWritten;
    }
    // Zero bits past the end of a truncated package decode to bytes all the same, so whether
    // the member came out whole is a question for the file: do all its stored bytes lie in
    // it? A member stopped by the poll is not judged.
    const bool stopped = produced < static_cast<int32_t>(entry.UnpackedSize);
    const bool whole =
        stopped || (stored_size == entry.StoredSize && StoredBytesLieInFile(executable, entry));
    PlatClose(executable);
    return whole ? kMemberHandled : kMemberCutShort;
}

ExtractResult CopyStored(FileHandle package, uint8_t* copy_buffer, const MemberEntry& entry,
                         const char* destination, bool (*poll)()) {
    uint32_t next_poll_mark = 0;
    uint32_t total = 0;
    // An offset the seek cannot reach would leave the handle where it was, amid the member
    // table: such a member reads as empty instead.
    const bool reachable = entry.DataOffset <= static_cast<uint32_t>(INT32_MAX) &&
                           PlatSeek(package, static_cast<int32_t>(entry.DataOffset), kFromStart) ==
                               static_cast<int32_t>(entry.DataOffset);
    const FileHandle output = PlatCreateFile(destination);
    bool stopped = false;
    bool not_written = false;
    for (;;) {
        uint32_t got = reachable ? PlatRead(package, copy_buffer, kCopyBufferSize) : 0;
        // A failed read ends the copy as the end of the file does.
        if (got == kIoFailed) got = 0;
        total += got;
        uint32_t count = got;
        if (total > entry.StoredSize) count -= total - entry.StoredSize;
        // A write that the file does not take in full ends the copy, as on the compressed
        // path: a cut-short file must never pass as installed.
        if (count != 0 && output != kNoFile && PlatWrite(output, copy_buffer, count) != count) {
            not_written = true;
            break;
        }
        if (total > next_poll_mark) {
            if (poll != nullptr && poll()) {
                stopped = true;
                break;
            }
            next_poll_mark += kPollInterval;
        }
        if (got == 0 || total > entry.StoredSize) break;
    }
    if (output != kNoFile) PlatClose(output);
    if (not_written) return kMemberNotWritten;
    // A member stopped on request is not judged.
    return stopped || total >= entry.StoredSize ? kMemberHandled : kMemberCutShort;
}

} // namespace

ExtractResult ExtractMember(FileHandle package, uint8_t* copy_buffer, const MemberEntry& entry,
                            const char* destination, bool (*poll)()) {
    SetWriteTarget(destination);
    if (IsCompressed(entry)) return ExtractCompressed(entry, destination, poll);
    return CopyStored(package, copy_buffer, entry, destination, poll);
}
