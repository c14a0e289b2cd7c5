#include "install/ownership_verdict.h"

#include "install/folder_security.h"
#include "support/sddl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001"; // a standard user
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// The rules the installer gives its folders.
constexpr char kOurRules[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// What a folder made under C:\ProgramData inherits from it: full control for its creator
// (CREATOR OWNER, handed down to what is made inside), and Users may add files and folders.
constexpr char kProgramDataInherited[] =
    "D:AI(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"
    "(A;CIID;DCLCRPCR;;;BU)";

Ownership Judge(const std::string& sddl, const std::string& machine_owner = "") {
    const SddlBytes bytes = ParseSddl(sddl);
    const std::vector<uint8_t> machine =
        machine_owner.empty() ? std::vector<uint8_t>{} : SidBytes(machine_owner);
    const auto span = [](const std::vector<uint8_t>& v) {
        return SecurityBytes{v.empty() ? nullptr : v.data(), v.size()};
    };
    return JudgeOwnership(span(bytes.owner), span(bytes.dacl), span(machine));
}

std::string Owned(const std::string& owner, const std::string& dacl) {
    return "O:" + owner + dacl;
}

TEST(OwnershipVerdict, OurRulesUnderTheSystemOrTheAdministratorsAreOurs) {
    for (const std::string owner : {"SY", "BA", kTrustedInstaller})
        EXPECT_EQ(Judge(Owned(owner, kOurRules)), Ownership::kOurs) << owner;
    // Rights to change given to the trusted alone, and any rights to read or run to others.
    EXPECT_EQ(Judge(Owned("BA", std::string("D:(A;;FA;;;") + kTrustedInstaller +
                                    ")(A;;GA;;;SY)(A;;FR;;;WD)(A;;FX;;;AU)(A;OICIIO;GR;;;CO)")),
              Ownership::kOurs);
}

// A folder made by another user before the installation stays theirs, whatever its rules say:
// the installer must neither use it nor take it over (a handle they opened keeps its rights).
TEST(OwnershipVerdict, AFolderOwnedByAnyoneElseIsForeign) {
    EXPECT_EQ(Judge(Owned(kUser, kOurRules)), Ownership::kForeign);
    // Made by a standard user under C:\ProgramData: theirs through CREATOR OWNER.
    EXPECT_EQ(Judge(Owned(kUser, std::string("D:AI(A;ID;FA;;;") + kUser + ")" +
                                     (kProgramDataInherited + 4))),
              Ownership::kForeign);
    for (const std::string owner : {"BU", "AU", "WD", "AN", "CO", "OW"})
        EXPECT_EQ(Judge(Owned(owner, kOurRules)), Ownership::kForeign) << owner;
    EXPECT_EQ(Judge(Owned(kUser, "D:NO_ACCESS_CONTROL")), Ownership::kForeign);
    EXPECT_EQ(Judge(kOurRules), Ownership::kForeign) << "no owner";
}

// Owned by the administrators, but others may change it: an installation made before the
// protected rules existed inherits C:\ProgramData's, which let Users add files.
TEST(OwnershipVerdict, OursButChangeableByOthersNeedsOurRules) {
    EXPECT_EQ(Judge(Owned("BA", kProgramDataInherited)), Ownership::kLoose);
    // The inherited CREATOR OWNER entry alone: it hands whoever adds something full control.
    EXPECT_EQ(Judge(Owned("BA", "D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)")),
              Ownership::kLoose);
    const std::vector<std::string> changing = {"FW",
                                               "GW",
                                               "GA",
                                               "FA",
                                               "0x2" /*add a file*/,
                                               "0x4" /*add a folder*/,
                                               "DT" /*delete a child*/,
                                               "SD" /*delete*/,
                                               "WD" /*change the rules*/,
                                               "WO" /*take it*/,
                                               "0x10" /*write extended attributes*/,
                                               "0x100" /*write attributes*/};
    for (const std::string& rights : changing)
        for (const std::string who : {"BU", "AU", "WD", kUser})
            EXPECT_EQ(Judge(Owned("SY", "D:(A;;FA;;;SY)(A;;" + rights + ";;;" + who + ")")),
                      Ownership::kLoose)
                << rights << " for " << who;
    // Only handed down to what is made inside: the next file made there would be theirs.
    EXPECT_EQ(Judge(Owned("BA", "D:(A;;FA;;;BA)(A;OICIIO;GA;;;BU)")), Ownership::kLoose);
    // A NULL DACL lets everyone do everything.
    EXPECT_EQ(Judge(Owned("BA", "D:NO_ACCESS_CONTROL")), Ownership::kLoose);
    EXPECT_EQ(Judge("O:BA"), Ownership::kLoose) << "no DACL";
}

TEST(OwnershipVerdict, DenyingEntriesTakeRightsAwayAndNeverCount) {
    EXPECT_EQ(Judge(Owned("BA", std::string(kOurRules) + "(D;OICI;FA;;;WD)(D;;GA;;;BU)")),
              Ownership::kOurs);
    EXPECT_EQ(Judge(Owned("BA", "D:(D;;FW;;;BU)(A;;FW;;;BU)")), Ownership::kLoose)
        << "the allowing entry still counts";
}

// What the installer cannot read it does not trust: an entry of a kind it does not know, or an
// ACL cut short, asks for our rules; an owner that is no SID is nobody's.
TEST(OwnershipVerdict, WhatCannotBeReadIsNotTrusted) {
    EXPECT_EQ(Judge(Owned("BA", "D:(OA;;RP;;;BU)")), Ownership::kLoose);
    EXPECT_EQ(Judge(Owned("BA", "D:(XA;;FW;;;BU)")), Ownership::kLoose) << "a callback entry";
    SddlBytes ours = ParseSddl(Owned("BA", kOurRules));
    const SecurityBytes owner = {ours.owner.data(), ours.owner.size()};
    EXPECT_EQ(JudgeOwnership(owner, {ours.dacl.data(), ours.dacl.size() - 1}, {}),
              Ownership::kLoose)
        << "an ACL longer than its bytes";
    std::vector<uint8_t> counted_too_many = ours.dacl;
    counted_too_many[4] = 4;
    EXPECT_EQ(JudgeOwnership(owner, {counted_too_many.data(), counted_too_many.size()}, {}),
              Ownership::kLoose)
        << "more entries counted than the ACL holds";
    EXPECT_EQ(JudgeOwnership({ours.owner.data(), ours.owner.size() - 1},
                             {ours.dacl.data(), ours.dacl.size()}, {}),
              Ownership::kForeign)
        << "an owner cut short";
    std::vector<uint8_t> bad_revision = ours.owner;
    bad_revision[0] = 2;
    EXPECT_EQ(JudgeOwnership({bad_revision.data(), bad_revision.size()},
                             {ours.dacl.data(), ours.dacl.size()}, {}),
              Ownership::kForeign);
}

// Whoever owns the system directory controls the machine anyway. On a system that keeps no
// owners (Wine: every file reads as its one user's, and a file of another Unix user as
// ANONYMOUS LOGON's), that user is the one the judgement trusts.
TEST(OwnershipVerdict, TheSystemDirectorysOwnerIsTrustedToo) {
    constexpr char kWineUser[] = "S-1-5-21-0-0-0-1000";
    const std::string wine_folder = std::string("O:") + kWineUser +
                                    "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + kWineUser +
                                    ")(A;OICI;0x1200a9;;;WD)";
    EXPECT_EQ(Judge(wine_folder, kWineUser), Ownership::kOurs);
    EXPECT_EQ(Judge(wine_folder), Ownership::kForeign);
    EXPECT_EQ(Judge(wine_folder, kUser), Ownership::kForeign);
    EXPECT_EQ(Judge("O:AND:(A;OICI;FA;;;SY)(A;OICI;FA;;;AN)(A;OICI;0x1200a9;;;WD)", kWineUser),
              Ownership::kForeign);
    // A folder anyone may write: Wine's reading of mode 0777.
    EXPECT_EQ(Judge(std::string("O:") + kWineUser + "D:(A;OICI;FA;;;" + kWineUser +
                        ")(A;OICI;0x1301ff;;;WD)",
                    kWineUser),
              Ownership::kLoose);
}

// The descriptor the installer gives the folders it makes: the rules judged ours, and the
// Administrators as owner where asked for (after the DACL, its offset in the header).
TEST(OwnershipVerdict, TheInstallersOwnDescriptorIsOurs) {
    const FolderSecurity security = MakeFolderSecurity(true);
    const uint8_t* dacl = security.bytes + kFolderRulesOffset;
    const uint8_t* owner = security.bytes + kFolderSecuritySize;
    EXPECT_EQ(security.bytes[4], kFolderSecuritySize);
    EXPECT_EQ(JudgeOwnership({owner, kOwnedFolderSecuritySize - kFolderSecuritySize},
                             {dacl, kFolderRulesSize}, {}),
              Ownership::kOurs);
    const SddlBytes written = ParseSddl(std::string("O:BA") + kOurRules);
    EXPECT_EQ(std::vector<uint8_t>(dacl, dacl + kFolderRulesSize), written.dacl);
    EXPECT_EQ(std::vector<uint8_t>(owner, security.bytes + kOwnedFolderSecuritySize),
              written.owner);
    EXPECT_EQ(MakeFolderSecurity().bytes[4], 0) << "no owner unless asked for";
}

} // namespace
