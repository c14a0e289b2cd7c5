// How much work one fuzz input may ask for. A file of a few KB can declare a member that
// restores 2 GB from zero bits, or a member table of a thousand entries; under the sanitizers
// the decoder restores a byte in some 70 ns, so one such input takes minutes where a target
// must run thousands a second to get anywhere. The targets therefore cut what an input claims
// down to what its own bytes can pay for, before the code under test sees it:
//
// - a compressed member may restore at most 8 bytes per stored byte that the input holds for
//   it, plus 1 KiB of zero bits past its end (a stream cut short); a stream of 4 KB and more
//   thus reaches the model's first rebuild (32485 symbols) and the sink's second block;
// - the compressed members of one member table restore 16 KiB together at most, and the
//   table ends after 8 members: the three with fixed roles and five media files. The walk,
//   the handles and the names are what the table targets look for; long members are the
//   decoder target's business.
//
// Claims within the bounds are left exactly as they are, so seeds keep their meaning, and a
// claim above them is folded into range rather than clipped, so that every value stays
// reachable by mutation. Claims of 2^31 and more are kept: the installer restores nothing
// for them at once, which is a path worth fuzzing and costs nothing. Sizes that cost no work
// (the size sum, the agreement) are not touched.
#pragma once

#include "package/package_format.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzz {

constexpr uint32_t kUnpackedPerStoredByte = 8;
constexpr uint32_t kUnpackedPastStream = 1024;
constexpr uint32_t kMaxUnpacked = 64 * 1024;
constexpr uint32_t kTableBudget = 16 * 1024;
constexpr uint32_t kMaxMembers = 8;

// The unpacked size a target lets a member claim when `stored_bytes` of its stream are in the
// input, and at most `most`. 0 stays 0 (a stored member, or nothing to restore), and a
// folded claim is never 0.
inline uint32_t BoundUnpackedSize(uint32_t claimed, uint64_t stored_bytes,
                                  uint32_t most = kMaxUnpacked) {
    if (claimed == 0 || claimed >= 0x80000000u) return claimed;
    const uint64_t affordable = stored_bytes * kUnpackedPerStoredByte + kUnpackedPastStream;
    const uint32_t cap =
        std::max<uint32_t>(1, static_cast<uint32_t>(std::min<uint64_t>(most, affordable)));
    return claimed <= cap ? claimed : 1 + (claimed - 1) % cap;
}

// Bounds the member table that starts at `table` in the installer `bytes` (where the
// installer finds it: OpenMemberTable's position), in place: each compressed member's
// UnpackedSize by BoundUnpackedSize over the bytes of its stream that lie in the file and
// what is left of `budget`, and the table cut after `max_members` entries by turning the
// next one into the terminating entry (StoredSize 0). Entries past the end of the input are
// left to the code under test. True when anything changed.
inline bool BoundMemberTable(std::vector<uint8_t>& bytes, size_t table,
                             uint32_t max_members = kMaxMembers, uint32_t budget = kTableBudget) {
    bool changed = false;
    for (uint32_t index = 0; table + sizeof(MemberEntry) <= bytes.size();
         ++index, table += sizeof(MemberEntry)) {
        MemberEntry entry;
        std::memcpy(&entry, bytes.data() + table, sizeof entry);
        if (entry.StoredSize == 0) break;
        if (index == max_members) {
            entry.StoredSize = 0;
        } else {
            const uint64_t in_file =
                entry.DataOffset < bytes.size()
                    ? std::min<uint64_t>(entry.StoredSize, bytes.size() - entry.DataOffset)
                    : 0;
            const uint32_t bounded = BoundUnpackedSize(entry.UnpackedSize, in_file, budget);
            if (bounded < 0x80000000u) budget -= std::min(budget, bounded);
            if (bounded == entry.UnpackedSize) continue;
            entry.UnpackedSize = bounded;
        }
        std::memcpy(bytes.data() + table, &entry, sizeof entry);
        changed = true;
        if (entry.StoredSize == 0) break;
    }
    return changed;
}

} // namespace fuzz
