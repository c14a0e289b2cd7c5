// The layout of the install package that the authoring tool places at the end of the
// installer. All integers are little-endian; both the installer (i686) and the hosts we
// build for are little-endian, so member entries are read straight into MemberEntry. The
// header is read field by field into a copy, which reaches the caller only when it is whole.
//
//   u16        AgreementLength (N)
//   N bytes    AgreementText, CR LF line ends, no terminator
//   260 bytes  ScreenSaverName, NUL-terminated, zero-padded
//   u32        NeedsDirectX
//   u32        TopColor     (0x00BBGGRR)
//   u32        BottomColor  (0x00BBGGRR)
//   u16        reserved
//   u16        FirstMediaNumber
//   MemberEntry[]  ended by an all-zero entry (StoredSize 0)
//   member data, each where its DataOffset (counted from the start of the file) says
#pragma once

#include "platform/fixed_text.h" // kPathSize

#include <cstdint>

constexpr uint32_t kScreenSaverNameSize = 260;
constexpr uint32_t kNameSuffixSize = 15;
// Bytes between the end of the name and the member table: NeedsDirectX, the two colours,
// the reserved field and FirstMediaNumber.
constexpr uint32_t kHeaderFieldsSize = 4 + 4 + 4 + 2 + 2;
constexpr uint32_t kMaxAgreementLength = 65535;

// Fixed roles of the members by table index.
enum MemberRole : uint32_t {
    kScreenSaverMember = 0,
    kDataFileMember = 1,
    kUninstallerMember = 2,
    kFirstMediaMember = 3,
};

struct MemberEntry {
    uint32_t DataOffset;   // from the start of the installer file
    uint32_t StoredSize;   // 0 only in the terminating entry
    uint32_t UnpackedSize; // 0: stored as is; otherwise the decoded size
    char NameSuffix[kNameSuffixSize];
    uint8_t PrefixKind;
};
static_assert(sizeof(MemberEntry) == 28, "member records are 28 bytes on disk");

// Header fields that the title window keeps.
struct PackageHeader {
    char ScreenSaverName[kScreenSaverNameSize];
    uint32_t NeedsDirectX;
    uint32_t TopColor;
    uint32_t BottomColor;
};

inline bool IsCompressed(const MemberEntry& entry) {
    return entry.UnpackedSize != 0;
}
