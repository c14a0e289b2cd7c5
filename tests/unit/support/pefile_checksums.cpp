#include "support/pefile_checksums.h"

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

PefileChecksums ChecksumsByPefile(const std::filesystem::path& file) {
    const std::string command = std::string("'") + LMV_PYTHON + "' '" + LMV_SOURCE_DIR +
                                "/tests/unit/support/pe_checksums.py' '" + file.string() + "' 2>&1";
    PefileChecksums result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        result.error = "cannot start " + command;
        return result;
    }
    std::string output;
    char buffer[256];
    while (const size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    std::istringstream fields(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        !(fields >> result.stored >> result.computed)) {
        result.error = command + ": " + output;
        return result;
    }
    result.read = true;
    return result;
}
