// What a file is, judged from its first bytes: a Windows program (a PE file) and for which
// processor, or what else it holds. The screen saver and an author's uninstaller must be
// programs that 32-bit Windows runs; an empty placeholder, a text file or a version-control
// pointer file put in their place would install, and fail only on the user's machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

struct ProgramKind {
    bool windows_program = false; // "MZ", a PE signature and an optional header
    bool runs_on_32_bit = false;  // a 32-bit image for x86 processors
    // For a Windows program that 32-bit Windows cannot run: what it is ("a 64-bit Windows
    // program (x64)"). For any other file: what it is ("a text file", "a Git LFS pointer
    // file", ...). Empty for a 32-bit Windows program.
    std::string description;
};

// The bytes a judgement needs: the start of the file, headers included in any usual program.
constexpr size_t kProgramHeadSize = 4096;

// `head` is the start of the file (up to kProgramHeadSize bytes), `file_size` its whole size.
ProgramKind JudgeProgram(std::span<const uint8_t> head, uint64_t file_size);

// Reads what it needs of the file; a file that cannot be read is judged as empty.
ProgramKind JudgeProgramFile(const std::filesystem::path& path);
