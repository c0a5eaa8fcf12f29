#pragma once
// One command line as text and the argument list a program receives, converted
// both ways with the handheld shell's quoting rules: blanks and tabs separate
// arguments, double quotes group, a backslash escapes a quote, and backslashes
// before a quote are halved.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Joins arguments (UTF-8) into one line: arguments holding blanks, tabs or quotes,
// and empty ones, are quoted, with quotes and the backslashes before them escaped.
std::u16string JoinArguments(const std::vector<std::string>& args);

// Splits a line into arguments (UTF-8); the inverse of JoinArguments.
std::vector<std::string> SplitArguments(std::u16string_view line);

}  // namespace platform
