#include "tools/lmvpack/manifest/toml_error_text.h"

#include <algorithm>
#include <cctype>

namespace {

bool Has(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// The key and the value of a `key = value` line, as written.
struct Assignment {
    std::string key;
    std::string value;
};

Assignment SplitAssignment(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return {Trimmed(line), ""};
    std::string value = Trimmed(line.substr(equals + 1));
    if (const size_t comment = value.find(" #"); comment != std::string::npos)
        value = Trimmed(value.substr(0, comment));
    return {Trimmed(line.substr(0, equals)), value};
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A value that is not a TOML value: most often a text without its quotes, or a yes/no.
std::string UnknownValue(const Assignment& assignment) {
    const std::string lower = Lower(assignment.value);
    if (lower == "yes" || lower == "no" || lower == "on" || lower == "off" || lower == "true" ||
        lower == "false")
        return "write true or false, in lower case and without quotes";
    if (assignment.value.empty())
        return "the value after = is missing; write a text in double quotes, a number, or true "
               "or false";
    if (assignment.value.starts_with("#"))
        return "a colour is a text: write it in double quotes, " + assignment.key + " = \"" +
               assignment.value + "\" (a # outside quotes starts a comment)";
    return "a text must be in double quotes: " + assignment.key + " = \"" + assignment.value + "\"";
}

} // namespace

std::string PlainTomlError(std::string_view description, std::string_view line) {
    const Assignment assignment = SplitAssignment(line);
    if (Has(description, "escape sequence"))
        return "a \\ inside double quotes starts an escape such as \\n; write paths with / "
               "(\"music/theme.mid\"), which works on every system, or write \\\\ for one \\";
    if (Has(description, "parsing string") &&
        (Has(description, "control characters") || Has(description, "end-of-file")))
        return "a text in quotes is not closed; end it with the same quote it starts with, on "
               "the same line";
    if (Has(description, "parsing boolean")) return "write true or false, in lower case";
    if (Has(description, "could not determine value type") ||
        Has(description, "expected value, saw") || Has(description, "encountered end-of-file"))
        return Has(description, "parsing array") ? "a list [ ... ] is not closed with ]"
                                                 : UnknownValue(assignment);
    if (Has(description, "cannot redefine existing table")) {
        const std::string header = Trimmed(line);
        return header.empty() ? "a table appears twice; keep one and put all its keys under it"
                              : header + " appears twice; keep one and put all its keys under it";
    }
    if (Has(description, "cannot redefine existing"))
        return assignment.key.empty() ? "this key is given twice; keep one"
                                      : assignment.key + " is given twice; keep one";
    if (Has(description, "parsing table header"))
        return "a table header is written [name], or [[media]] for a media file, on a line of "
               "its own";
    if (Has(description, "leading zero")) return "write whole numbers without leading zeros";
    if (Has(description, "expected '='"))
        return "write one key, an = and its value on each line, for example name = \"Aurora\"";
    if (Has(description, "expected a comment or whitespace"))
        return "something follows the value on this line; write one key = value per line, "
               "comments after a #" +
               std::string(Has(line, "'") ? ", and a text holding ' in double quotes" : "");
    if (Has(description, "expected keys, tables"))
        return "a line must start with a key (name = ...), a table header ([name]) or a comment "
               "(#)";
    return std::string(description);
}
