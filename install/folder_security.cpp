#include "install/folder_security.h"

namespace {

// Windows' numbers for what the descriptor says.
constexpr uint8_t kSecurityDescriptorRevision = 1;
constexpr uint16_t kDaclPresent = 0x0004;   // SE_DACL_PRESENT
constexpr uint16_t kDaclProtected = 0x1000; // SE_DACL_PROTECTED: nothing inherited from above
constexpr uint16_t kSelfRelative = 0x8000;  // SE_SELF_RELATIVE
constexpr uint8_t kAclRevision = 2;
constexpr uint8_t kAccessAllowedAce = 0;
constexpr uint8_t kInheritedByFilesAndFolders = 0x01 | 0x02; // OBJECT_ | CONTAINER_INHERIT_ACE
constexpr uint32_t kFileAllAccess = 0x001F01FF;
constexpr uint32_t kFileGenericReadAndExecute = 0x00120089 | 0x001200A0;
constexpr uint32_t kLocalSystem = 18;     // S-1-5-18
constexpr uint32_t kBuiltinDomain = 32;   // S-1-5-32-...
constexpr uint32_t kAdministrators = 544; // S-1-5-32-544
constexpr uint32_t kUsers = 545;          // S-1-5-32-545
constexpr uint8_t kNtAuthority = 5;

class Writer {
  public:
    explicit Writer(uint8_t* out) : out_(out) {}
    void U8(uint8_t value) { out_[at_++] = value; }
    void U16(uint16_t value) {
        U8(static_cast<uint8_t>(value));
        U8(static_cast<uint8_t>(value >> 8));
    }
    void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    // An NT-authority SID: revision 1, its sub-authorities, the authority big-endian.
    void Sid(const uint32_t* sub_authorities, uint8_t count) {
        U8(1);
        U8(count);
        for (int i = 0; i < 5; ++i)
            U8(0);
        U8(kNtAuthority);
        for (uint8_t i = 0; i < count; ++i)
            U32(sub_authorities[i]);
    }
    void AllowedAce(uint32_t mask, const uint32_t* sub_authorities, uint8_t count) {
        U8(kAccessAllowedAce);
        U8(kInheritedByFilesAndFolders);
        U16(static_cast<uint16_t>(AceSize(count)));
        U32(mask);
        Sid(sub_authorities, count);
    }
    static constexpr uint32_t AceSize(uint8_t count) { return 8 + 8 + 4 * count; }

  private:
    uint8_t* out_;
    uint32_t at_ = 0;
};

constexpr uint32_t kHeaderSize = 20, kAclHeaderSize = 8;
static_assert(kHeaderSize + kAclHeaderSize + Writer::AceSize(1) + 2 * Writer::AceSize(2) ==
              kFolderSecuritySize);
static_assert(kFolderSecuritySize + 8 + 4 * 2 == kOwnedFolderSecuritySize);

} // namespace

FolderSecurity MakeFolderSecurity(bool administrators_own) {
    FolderSecurity security{};
    Writer out(security.bytes);
    out.U8(kSecurityDescriptorRevision);
    out.U8(0);
    out.U16(kDaclPresent | kDaclProtected | kSelfRelative);
    out.U32(administrators_own ? kFolderSecuritySize : 0); // owner, after the DACL
    out.U32(0);                                            // group
    out.U32(0);                                            // no system ACL
    out.U32(kHeaderSize);

    out.U8(kAclRevision);
    out.U8(0);
    out.U16(static_cast<uint16_t>(kFolderSecuritySize - kHeaderSize));
    out.U16(3);
    out.U16(0);
    const uint32_t system[] = {kLocalSystem};
    const uint32_t administrators[] = {kBuiltinDomain, kAdministrators};
    const uint32_t users[] = {kBuiltinDomain, kUsers};
    out.AllowedAce(kFileAllAccess, system, 1);
    out.AllowedAce(kFileAllAccess, administrators, 2);
    out.AllowedAce(kFileGenericReadAndExecute, users, 2);
    if (administrators_own) out.Sid(administrators, 2);
    return security;
}
