// TOML syntax errors in the words of someone writing a manifest rather than of the parser.
#pragma once

#include <string>
#include <string_view>

// What is wrong with `line` (the text of the line the parser stopped on) and how to write it,
// from the parser's `description`; the description itself when there is nothing plainer to say.
std::string PlainTomlError(std::string_view description, std::string_view line);
