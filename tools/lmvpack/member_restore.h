// Restores one member's bytes from an installer held in memory, stored or compressed, and
// says what is wrong when they cannot come out whole.
#pragma once

#include "tools/lmvpack/installer_reader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// lmvpack restores members in memory; larger unpacked sizes are refused as damage rather
// than allocated.
constexpr uint32_t kMaxRestoredSize = 1u << 30;

// The most a coded stream can restore per stored byte: 30-byte matches at 10 bits each.
constexpr uint64_t kMaxBytesPerStoredByte = 24;

struct RestoredMember {
    std::vector<uint8_t> data;
    std::string problem; // empty when the member came out whole
};

struct LoadedInstaller {
    InstallerListing listing;
    std::vector<uint8_t> bytes; // the whole file
};

// The listing and the bytes of an installer, or nothing after a one-line error on stderr
// that starts with "lmvpack <command>: ".
std::optional<LoadedInstaller> LoadInstaller(const std::string& path, const char* command);

RestoredMember RestoreMember(std::span<const uint8_t> installer, const InstallerListing& listing,
                             const ListedMember& member);
