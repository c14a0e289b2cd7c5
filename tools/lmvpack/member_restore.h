// Restores one member of an installer, stored or compressed, a piece at a time from the file,
// and says what is wrong when it cannot come out whole.
#pragma once

#include "tools/lmvpack/installer_reader.h"
#include "tools/lmvpack/stream_codec.h"

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
