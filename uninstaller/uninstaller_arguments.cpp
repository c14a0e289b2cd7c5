#include "uninstaller/uninstaller_arguments.h"

#include "platform/format_text.h"

#include <cstring>

namespace {

constexpr char kFinishSwitch[] = "/finish-removal";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next argument: a run of non-blanks, or the text between two quotes.
bool NextArgument(std::string_view* rest, std::string_view* argument) {
    while (!rest->empty() && IsBlank(rest->front()))
        rest->remove_prefix(1);
    if (rest->empty()) return false;
    if (rest->front() == '"') {
        const size_t close = rest->find('"', 1);
        const size_t end = close == std::string_view::npos ? rest->size() : close;
        *argument = Part(*rest, 1, end - 1);
        rest->remove_prefix(close == std::string_view::npos ? rest->size() : close + 1);
        return true;
    }
    size_t end = 0;
    while (end < rest->size() && !IsBlank((*rest)[end]))
        ++end;
    *argument = Part(*rest, 0, end);
    rest->remove_prefix(end);
    return true;
}

bool ParseNumber(std::string_view text, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

} // namespace

UninstallArguments ParseUninstallArguments(std::string_view arguments) {
    UninstallArguments result{};
    result.mode = UninstallMode::kInteractive;
    std::string_view rest = arguments;
    std::string_view argument;
    bool first = true;
    while (NextArgument(&rest, &argument)) {
        if (first && EqualIgnoringAsciiCase(argument, kFinishSwitch)) {
            result.mode = UninstallMode::kFinishRemoval;
            std::string_view handle, path;
            if (NextArgument(&rest, &handle) && ParseNumber(handle, &result.ended_process) &&
                NextArgument(&rest, &path) && !path.empty() && path.size() < kPathSize) {
                std::memcpy(result.original, path.data(), path.size());
                result.original[path.size()] = '\0';
            }
            return result;
        }
        first = false;
        if (EqualIgnoringAsciiCase(argument, "/s") || EqualIgnoringAsciiCase(argument, "-s"))
            result.mode = UninstallMode::kSilent;
    }
    return result;
}

bool BuildFinishCommand(const char* copy, uint32_t ended_process, const char* original, char* out,
                        size_t size) {
    if (std::strchr(copy, '"') != nullptr || std::strchr(original, '"') != nullptr) return false;
    if (!FormatText(out, size, "\"%s\" %s %lu \"%s\"", copy, kFinishSwitch,
                    static_cast<unsigned long>(ended_process), original)) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}
