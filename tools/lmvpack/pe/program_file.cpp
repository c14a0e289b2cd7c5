#include "tools/lmvpack/pe/program_file.h"

#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/pe/pe_constants.h"
#include "tools/lmvpack/support/file_streams.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMachineArmThumb = 0x1C4;
constexpr uint16_t kPe32PlusMagic = 0x20B;

bool StartsWith(std::span<const uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

bool Contains(std::span<const uint8_t> bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// Printable ASCII, blanks and line ends, and the bytes of UTF-8 sequences: what an editor
// writes.
bool LooksLikeText(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) {
        return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    });
}

// What a file that is no Windows program holds, as far as its first bytes tell.
std::string DescribeOther(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size == 0) return "an empty file";
    if (StartsWith(head, "version https://git-lfs.github.com/spec/"))
        return "a Git LFS pointer file, not the file itself (git lfs pull fetches it)";
    if (LooksLikeText(head) && Contains(head, "annex/objects/"))
        return "a git-annex pointer file, not the file itself (git annex get fetches it)";
    if (StartsWith(head, "MZ")) return "a DOS program or a damaged file: it has no PE header";
    if (StartsWith(head, "\x7F"
                         "ELF"))
        return "a Linux program (ELF)";
    if (StartsWith(head, "\xCF\xFA\xED\xFE") || StartsWith(head, "\xCE\xFA\xED\xFE") ||
        StartsWith(head, "\xCA\xFE\xBA\xBE"))
        return "a macOS program";
    if (StartsWith(head, "PK\x03\x04")) return "a ZIP archive";
    if (StartsWith(head, "\x89PNG")) return "a PNG image";
    if (StartsWith(head, "\xFF\xD8\xFF")) return "a JPEG image";
    if (StartsWith(head, "RIFF")) return "a RIFF file (a sound or a video)";
    if (StartsWith(head, "#!")) return "a script";
    if (LooksLikeText(head)) return "a text file";
    return "not a Windows program (it does not start with \"MZ\")";
}

std::string DescribeMachine(uint16_t machine, bool pe32_plus) {
    switch (machine) {
    case kMachineAmd64:
        return "a 64-bit Windows program (x64)";
    case kMachineArm64:
        return "a 64-bit Windows program for ARM processors";
    case kMachineArmThumb:
        return "a Windows program for ARM processors";
    case kMachineI386:
        if (pe32_plus) return "a 64-bit Windows program";
        return {};
    default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", machine);
        return std::string("a Windows program for another processor (machine 0x") + hex + ")";
    }
    }
}

} // namespace

ProgramKind JudgeProgram(std::span<const uint8_t> head, uint64_t file_size) {
    ProgramKind kind;
    const uint64_t lfanew = head.size() >= 64 && StartsWith(head, "MZ") ? LoadU32(head, 60) : 0;
    // The signature, the file header's machine and the optional header's magic.
    if (lfanew == 0 || lfanew + 26 > head.size() || LoadU32(head, lfanew) != kPeSignature) {
        kind.description = DescribeOther(head, file_size);
        return kind;
    }
    kind.windows_program = true;
    const uint16_t machine = LoadU16(head, lfanew + 4);
    const uint16_t magic = LoadU16(head, lfanew + 24);
    kind.description = DescribeMachine(machine, magic == kPe32PlusMagic);
    kind.runs_on_32_bit = kind.description.empty() && magic == kPe32Magic;
    if (!kind.runs_on_32_bit && kind.description.empty())
        kind.description = "a Windows program of an unknown kind (optional header magic " +
                           std::to_string(magic) + ")";
    return kind;
}

ProgramKind JudgeProgramFile(const std::filesystem::path& path) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(path, error);
    std::vector<uint8_t> head(std::min<uint64_t>(error ? 0 : size, kProgramHeadSize));
    const StreamCloser stream(OpenStream(path, "rb"));
    if (stream.get() != nullptr)
        head.resize(std::fread(head.data(), 1, head.size(), stream.get()));
    else
        head.clear();
    // A program whose PE header lies further in than usual: its DOS header followed directly
    // by the bytes found at its e_lfanew.
    if (head.size() >= 64 && StartsWith(head, "MZ") && LoadU32(head, 60) + 26ull > head.size() &&
        LoadU32(head, 60) + 26ull <= size && SeekStream(stream.get(), LoadU32(head, 60))) {
        std::vector<uint8_t> near(head.begin(), head.begin() + 64);
        StoreU32(near, 60, 64);
        near.resize(64 + 26);
        if (std::fread(near.data() + 64, 1, 26, stream.get()) == 26)
            return JudgeProgram(near, size);
    }
    return JudgeProgram(head, error ? 0 : size);
}
