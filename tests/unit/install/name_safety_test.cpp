#include "install/name_safety.h"

#include "platform/file_api.h"
#include "support/synthetic_pe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

MemberEntry WithSuffix(const char* suffix) {
    MemberEntry entry{};
    std::memset(entry.NameSuffix, ' ', sizeof entry.NameSuffix);
    std::memcpy(entry.NameSuffix, suffix, std::min(std::strlen(suffix), sizeof entry.NameSuffix));
    return entry;
}

TEST(NameSafety, BaseNamesThatClimbOrChangeDriveAreRefused) {
    for (const char* name : {"Aurora", "Star.Field 2", "a..b", ".hidden", "x."})
        EXPECT_TRUE(IsSafeBaseName(name)) << name;
    for (const char* name :
         {"", "..", ".", "...", ". .", "..\\..\\WINDOWS\\system32", "a/b", "C:evil", "sub\\name"})
        EXPECT_FALSE(IsSafeBaseName(name)) << name;
}

TEST(NameSafety, SuffixesWithSeparatorsOrColonsAreRefused) {
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix(".MID")));
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix("..MID")));
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix("")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix("\\..\\..\\x.exe")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix("/x")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix(".wav:stream")));
    // All fifteen bytes count when no zero byte ends them early, and nothing after one does.
    MemberEntry last = WithSuffix("ABCDEFGHIJKLMN\\");
    last.PrefixKind = '/'; // the prefix byte is no part of the name
    EXPECT_FALSE(IsSafeNameSuffix(last));
    MemberEntry ended = WithSuffix(".MID");
    ended.NameSuffix[4] = '\0';
    ended.NameSuffix[5] = '\\';
    EXPECT_TRUE(IsSafeNameSuffix(ended));
}

TestPackage Package(const char* media_suffix, size_t media_index) {
    TestPackage package;
    for (size_t index = 0; index < 5; ++index) {
        TestMember member;
        member.data.assign(10, static_cast<uint8_t>(index));
        member.suffix = index == media_index ? media_suffix : ".MID";
        package.members.push_back(member);
    }
    return package;
}

TEST(NameSafety, TableIsCheckedForEveryMediaMember) {
    PlatSetModuleFileName(WriteSyntheticInstaller("good.exe", Package(".MID", 4)).c_str());
    EXPECT_TRUE(MemberNamesAreSafe());
    PlatSetModuleFileName(WriteSyntheticInstaller("bad.exe", Package("\\..\\x.exe", 4)).c_str());
    EXPECT_FALSE(MemberNamesAreSafe());
    // The fixed-role members take no name from their suffix.
    PlatSetModuleFileName(WriteSyntheticInstaller("fixed.exe", Package("\\..\\x.exe", 2)).c_str());
    EXPECT_TRUE(MemberNamesAreSafe());
    PlatSetModuleFileName("/nonexistent/installer.exe");
    EXPECT_TRUE(MemberNamesAreSafe()); // nothing will be walked, so nothing will be written
}

} // namespace
