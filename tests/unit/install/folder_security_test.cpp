// Decodes the data folder's security descriptor as Windows reads one and checks what it
// grants. (Reading the rules back from a folder the installer made needs a system that keeps
// them; the Wine of the end-to-end tests does not store file security.)
#include "install/folder_security.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

struct Rule {
    uint8_t type, flags;
    uint32_t mask;
};

class Descriptor {
  public:
    explicit Descriptor(const FolderSecurity& security) : security_(security) {}

    uint8_t U8(uint32_t at) const {
        EXPECT_LT(at, kFolderSecuritySize);
        return at < kFolderSecuritySize ? security_.bytes[at] : 0;
    }
    uint16_t U16(uint32_t at) const { return static_cast<uint16_t>(U8(at) | U8(at + 1) << 8); }
    uint32_t U32(uint32_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }

    // "S-1-5-32-544" and the like.
    std::string Sid(uint32_t at, uint32_t* size) const {
        const uint8_t count = U8(at + 1);
        uint64_t authority = 0;
        for (int i = 2; i < 8; ++i)
            authority = authority << 8 | U8(at + i);
        std::string text = "S-" + std::to_string(U8(at)) + "-" + std::to_string(authority);
        for (uint8_t i = 0; i < count; ++i)
            text += "-" + std::to_string(U32(at + 8 + 4 * i));
        *size = 8 + 4 * count;
        return text;
    }

  private:
    FolderSecurity security_;
};

constexpr uint16_t kDaclPresent = 0x0004, kDaclProtected = 0x1000, kSelfRelative = 0x8000;
constexpr uint8_t kObjectInherit = 0x01, kContainerInherit = 0x02, kInheritOnly = 0x08;
constexpr uint32_t kFileAllAccess = 0x001F01FF;
// Every right that changes a folder, its files or its rules.
constexpr uint32_t kAnyChange =
    0x0002 /* add file, write data */ | 0x0004 /* add folder, append */ |
    0x0010 /* write extended attributes */ | 0x0040 /* delete child */ |
    0x0100 /* write attributes */ | 0x00010000 /* delete */ | 0x00040000 /* write DAC */ |
    0x00080000 /* write owner */ | 0x40000000 /* generic write */ | 0x10000000 /* generic all */;

TEST(FolderSecurity, IsAProtectedSelfRelativeDescriptorWithoutOwnerOrGroup) {
    const Descriptor d(MakeFolderSecurity());
    EXPECT_EQ(d.U8(0), 1); // revision
    const uint16_t control = d.U16(2);
    EXPECT_EQ(control & kSelfRelative, kSelfRelative);
    EXPECT_EQ(control & kDaclPresent, kDaclPresent);
    // Protected: nothing inherited from the common application-data folder, where users may
    // create files.
    EXPECT_EQ(control & kDaclProtected, kDaclProtected);
    EXPECT_EQ(d.U32(4), 0u) << "owner: the creator's default";
    EXPECT_EQ(d.U32(8), 0u) << "group";
    EXPECT_EQ(d.U32(12), 0u) << "system ACL";
    EXPECT_EQ(d.U32(16) % 4, 0u) << "the DACL is aligned";
}

TEST(FolderSecurity, AdministratorsAndSystemMayChangeUsersMayOnlyReadAndRun) {
    const Descriptor d(MakeFolderSecurity());
    const uint32_t acl = d.U32(16);
    EXPECT_EQ(d.U8(acl), 2); // ACL revision
    const uint16_t acl_size = d.U16(acl + 2), count = d.U16(acl + 4);
    EXPECT_EQ(acl + acl_size, kFolderSecuritySize) << "the ACL ends the descriptor";
    std::map<std::string, Rule> rules;
    uint32_t at = acl + 8;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t ace_size = d.U16(at + 2);
        uint32_t sid_size = 0;
        const std::string sid = d.Sid(at + 8, &sid_size);
        EXPECT_EQ(ace_size, 8 + sid_size) << sid;
        EXPECT_EQ(ace_size % 4, 0) << sid;
        EXPECT_TRUE(rules.emplace(sid, Rule{d.U8(at), d.U8(at + 1), d.U32(at + 4)}).second) << sid;
        at += ace_size;
    }
    EXPECT_EQ(at, acl + acl_size) << "the entries fill the ACL";
    ASSERT_EQ(rules.size(), 3u);

    for (const char* sid : {"S-1-5-18", "S-1-5-32-544"}) {
        ASSERT_TRUE(rules.count(sid)) << sid;
        EXPECT_EQ(rules[sid].mask, kFileAllAccess) << sid;
    }
    ASSERT_TRUE(rules.count("S-1-5-32-545"));
    const uint32_t users = rules["S-1-5-32-545"].mask;
    EXPECT_EQ(users & kAnyChange, 0u);
    EXPECT_EQ(users & 0x0001, 0x0001u) << "list the folder, read a file";
    EXPECT_EQ(users & 0x0020, 0x0020u) << "traverse, run a program";
    for (const auto& [sid, rule] : rules) {
        EXPECT_EQ(rule.type, 0) << sid << ": an allowing entry";
        // Handed down to files and folders made inside, and in force on the folder itself.
        EXPECT_EQ(rule.flags, kObjectInherit | kContainerInherit) << sid;
        EXPECT_EQ(rule.flags & kInheritOnly, 0) << sid;
    }
}

} // namespace
