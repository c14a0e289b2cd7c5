#include "decode/member_extraction.h"

#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"
#include "decode/write_failure.h"

#include <climits>
#include <cstdio>

namespace {

bool StoredBytesLieInFile(FILE* file, const MemberEntry& entry) {
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file);
    return size >= 0 &&
           uint64_t{entry.DataOffset} + entry.StoredSize <= static_cast<uint64_t>(size);
}

// The caller's poll for the compressed member being restored. Once the sink has failed
// nothing more reaches the file, so the decoder is stopped at its next poll.
bool (*member_poll)() = nullptr;

bool PollUnlessWriteFailed() {
    return SinkWriteFailed() || (member_poll != nullptr && member_poll());
}

ExtractResult ExtractCompressed(const MemberEntry& entry, const char* destination, bool (*poll)()) {
    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);

    // The file opened when the installer started, never the file now at its name. Without
    // it there is nothing to restore from, and nothing is created.
    FILE* executable = PlatOpenOwnStream();
    if (executable == nullptr) return kNoOwnFile;
    // An offset that the runtime's seek cannot reach (2^31 or more where a long has 32 bits)
    // is treated like data beyond the end of the file: nothing is read, never bytes from the
    // wrong place.
    uint32_t stored_size = entry.StoredSize;
    constexpr uint64_t kFarthestSeek = static_cast<uint64_t>(LONG_MAX);
    if (static_cast<uint64_t>(entry.DataOffset) > kFarthestSeek ||
        std::fseek(executable, static_cast<long>(entry.DataOffset), SEEK_SET) != 0) {
        stored_size = 0;
    }
    FILE* output = std::fopen(destination, "wb");
    if (output == nullptr) {
        std::fclose(executable);
        return kMemberHandled;
    }
    member_poll = poll;
    const int32_t produced =
        LzhDecoder(executable, output, entry.UnpackedSize, stored_size, PollUnlessWriteFailed);
    // A stream that cannot be closed cleanly did not take its last bytes either.
    const bool not_written = std::fclose(output) != 0 || SinkWriteFailed();
    if (not_written) {
        std::fclose(executable);
        return kMemberNotWritten;
    }
    // Zero bits past the end of a truncated package decode to bytes all the same, so whether
    // the member came out whole is a question for the file: do all its stored bytes lie in
    // it? A member stopped by the poll is not judged.
    const bool stopped = produced < static_cast<int32_t>(entry.UnpackedSize);
    const bool whole =
        stopped || (stored_size == entry.StoredSize && StoredBytesLieInFile(executable, entry));
    std::fclose(executable);
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
