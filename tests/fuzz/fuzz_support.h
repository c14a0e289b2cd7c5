// Shared plumbing of the fuzz targets. The installer reads its package from its own file, so
// most targets write the input to a scratch file and name it as "our own executable"; the
// scratch lives in memory (/dev/shm when there is one) so that a run costs no disk I/O.
#pragma once

#include "input_bounds.h"
#include "package/package_reading.h"
#include "platform/file_api.h"
#include "support/file_api_test_hooks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fuzz {

// The scratch folder's path, kept in plain storage so that the exit handler can still use it
// after static strings are gone.
inline char scratch_path[128] = "";

inline void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_path, ignored);
}

// A folder of this process's own, made once and removed when the process exits (libFuzzer
// ends a timed run through exit), so runs leave nothing behind in memory.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = std::string(base) + "/lmv-fuzz-" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        std::snprintf(scratch_path, sizeof scratch_path, "%s", path.c_str());
        std::atexit(RemoveScratchFolder);
        return path;
    }();
    return folder;
}

// Writes `size` bytes to `path` (created or truncated). False when the file system refuses,
// which a target treats as "nothing to test" rather than as a finding.
inline bool WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool whole = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && whole;
}

// Writes `bytes` to `path` as the installer under test (the module file name of the code
// under test) and bounds the member table where the installer finds one (input_bounds.h);
// `bytes` then holds what the file holds. False when the file system refuses.
inline bool WriteBoundedInstaller(const std::string& path, std::vector<uint8_t>& bytes) {
    if (!WriteWholeFile(path, bytes.data(), bytes.size())) return false;
    PlatSetModuleFileName(path.c_str());
    uint16_t first_media_number = 0;
    const FileHandle table = OpenMemberTable(&first_media_number);
    if (table == kNoFile) return true;
    const int32_t position = PlatSeek(table, 0, kFromCurrent);
    PlatClose(table);
    if (position < 0 || !BoundMemberTable(bytes, static_cast<size_t>(position))) return true;
    return WriteWholeFile(path, bytes.data(), bytes.size());
}

// Reads a little-endian u32 from the front of the input and advances past it; 0 when the
// input is shorter.
inline uint32_t TakeU32(const uint8_t*& data, size_t& size) {
    if (size < 4) return 0;
    const uint32_t value =
        data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    data += 4;
    size -= 4;
    return value;
}

} // namespace fuzz
