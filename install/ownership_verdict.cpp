#include "install/ownership_verdict.h"

#include <cstring>

namespace {

// A SID: revision 1, a count of sub-authorities, a 6-byte authority, then the sub-authorities.
constexpr size_t kSidHeaderSize = 8;
constexpr uint8_t kMaxSubAuthorities = 15;

// SIDs of the NT authority (S-1-5-...) by their sub-authorities: SYSTEM, the Administrators and
// TrustedInstaller's service SID.
struct NtSid {
    uint8_t count;
    uint32_t sub_authorities[6];
};
constexpr NtSid kTrustedSids[] = {
    {1, {18}},
    {2, {32, 544}},
    {6, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}},
};

// ACE types whose entry grants: ACCESS_ALLOWED and ACCESS_ALLOWED_CALLBACK, which share a
// layout (header, mask, SID); the object-specific allowed types (5, 11) carry GUIDs first.
constexpr uint8_t kAccessAllowed = 0, kAccessAllowedCallback = 9;
// Types that only take rights away.
constexpr uint8_t kDenyTypes[] = {1 /*DENIED*/, 6 /*DENIED_OBJECT*/, 10 /*DENIED_CALLBACK*/,
                                  12 /*DENIED_CALLBACK_OBJECT*/};
constexpr size_t kAclHeaderSize = 8, kAceHeaderSize = 4;

// The rights that let someone change a folder's contents or the folder itself: write data or
// add a file, append or add a folder, write extended attributes, delete a child, write
// attributes, delete, change the DACL, take ownership, and the generic rights that include
// them (GENERIC_ALL, GENERIC_WRITE, and MAXIMUM_ALLOWED, which asks for whatever there is).
constexpr uint32_t kChangingRights = 0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 | 0x00010000 |
                                     0x00040000 | 0x00080000 | 0x02000000 | 0x10000000 | 0x40000000;

uint16_t U16At(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t U32At(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The size of the SID at `sid`, or 0 when fewer than `available` bytes do not hold one.
size_t SidSize(const uint8_t* sid, size_t available) {
    if (sid == nullptr || available < kSidHeaderSize || sid[0] != 1 || sid[1] > kMaxSubAuthorities)
        return 0;
    const size_t size = kSidHeaderSize + 4u * sid[1];
    return size <= available ? size : 0;
}

// `sid` holds a whole SID (SidSize said so).
bool IsNtSid(const uint8_t* sid, const NtSid& known) {
    static constexpr uint8_t kNtAuthority[6] = {0, 0, 0, 0, 0, 5};
    if (sid[1] != known.count || std::memcmp(sid + 2, kNtAuthority, 6) != 0) return false;
    for (uint8_t i = 0; i < known.count; ++i)
        if (U32At(sid + kSidHeaderSize + 4u * i) != known.sub_authorities[i]) return false;
    return true;
}

bool IsTrusted(const uint8_t* sid, size_t available, SecurityBytes machine_owner) {
    const size_t size = SidSize(sid, available);
    if (size == 0) return false;
    for (const NtSid& known : kTrustedSids)
        if (IsNtSid(sid, known)) return true;
    const size_t machine_size = SidSize(machine_owner.data, machine_owner.size);
    return machine_size == size && std::memcmp(sid, machine_owner.data, size) == 0;
}

bool IsDenyType(uint8_t type) {
    for (const uint8_t deny : kDenyTypes)
        if (type == deny) return true;
    return false;
}

// Whether the DACL lets anyone but the trusted change the object, or will let them change
// what is made inside (entries for children count). Anything it cannot read counts as letting
// them: the answer then only asks for our rules to be written.
bool LetsOthersChange(SecurityBytes dacl, SecurityBytes machine_owner) {
    if (dacl.data == nullptr || dacl.size < kAclHeaderSize) return true;
    const size_t acl_size = U16At(dacl.data + 2);
    const uint16_t count = U16At(dacl.data + 4);
    if (acl_size < kAclHeaderSize || acl_size > dacl.size) return true;
    size_t at = kAclHeaderSize;
    for (uint16_t i = 0; i < count; ++i) {
        if (acl_size - at < kAceHeaderSize) return true;
        const uint8_t* ace = dacl.data + at;
        const uint16_t ace_size = U16At(ace + 2);
        if (ace_size < kAceHeaderSize || ace_size > acl_size - at) return true;
        at += ace_size;
        if (IsDenyType(ace[0])) continue;
        if (ace[0] != kAccessAllowed && ace[0] != kAccessAllowedCallback) return true;
        if (ace_size < kAceHeaderSize + 4 + kSidHeaderSize) return true;
        const uint32_t mask = U32At(ace + kAceHeaderSize);
        if ((mask & kChangingRights) == 0) continue;
        if (!IsTrusted(ace + kAceHeaderSize + 4, ace_size - kAceHeaderSize - 4, machine_owner))
            return true;
    }
    return false;
}

} // namespace

Ownership JudgeOwnership(SecurityBytes owner, SecurityBytes dacl, SecurityBytes machine_owner) {
    if (!IsTrusted(owner.data, owner.size, machine_owner)) return Ownership::kForeign;
    return LetsOthersChange(dacl, machine_owner) ? Ownership::kLoose : Ownership::kOurs;
}
