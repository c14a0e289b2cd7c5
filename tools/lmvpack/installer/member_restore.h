// Restores one member of an installer, stored or compressed, a piece at a time from the file,
// and says what is wrong when it cannot come out whole.
#pragma once

#include "tools/lmvpack/codec/stream_codec.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/pe/signature_info.h"

#include <cstdint>
#include <optional>
#include <string>

// The most a coded stream can restore per stored byte: 30-byte matches at 10 bits each.
constexpr uint64_t kMaxBytesPerStoredByte = 24;

// The listing of an installer, or nothing after a one-line error on stderr that starts with
// "lmvpack <command>: ".
std::optional<InstallerListing> LoadInstaller(const std::string& path, const char* command);

// Hands the member's restored bytes to `write`, in order, and returns what keeps the member
// from coming out whole, or an empty text when it does. Some bytes may have gone to `write`
// before a problem shows: on a problem the caller throws away what it got. An exception from
// `write` reaches the caller.
std::string RestoreMember(const InstallerListing& listing, const ListedMember& member,
                          const ByteWriter& write);

// Whether a member is a Windows program, and who signed it.
struct MemberProgram {
    bool program = false;
    SignatureInfo signature;
};

// Restores the member as far as it takes to tell: a member whose first bytes rule out a
// program costs a few bytes of decoding. A member that does not restore whole is no program
// here (verify reports it).
MemberProgram ReadMemberProgram(const InstallerListing& listing, const ListedMember& member);

// What verify finds in an installer: each member restored as the installer would restore it,
// with its problem (empty when it comes out whole and its installed name is usable) and, for
// a program, its signer; and what keeps the package as a whole from installing.
struct MemberFinding {
    const ListedMember* member = nullptr;
    std::string problem;
    MemberProgram program;
};
struct PackageFindings {
    std::vector<MemberFinding> members;
    size_t failures = 0;         // members with a problem
    std::string package_problem; // empty when the package can install
};

PackageFindings CheckPackage(const InstallerListing& listing);
