#pragma once
// The main program's command line: "-record" and "-profile <name>".
//
// Switches are searched anywhere in the whole command line, ignoring ASCII case.
// On Linux the arguments arrive split; JoinArguments puts them back into one line
// the way the handheld's shell passed it, so the same rules apply.

#include <string>
#include <string_view>
#include <vector>

namespace app {

struct CommandLine {
  std::u16string text;     // the whole command line
  bool interactive = true;  // false when "-record" occurs
  std::u16string profile;  // value of "-profile ", empty when absent or empty
};

// Applies the switch rules to a whole command line.
CommandLine ParseCommandLine(std::u16string_view text);

// The value that follows "-profile " (the blank included) in text: read up to a
// blank or tab outside quotes; backslashes escape quotes; characters are kept as
// they are, and a value that begins with a quote loses its first and last
// character. Empty when the switch is absent or has no value.
std::u16string ExtractProfile(std::u16string_view text);

// Joins argv[1..] into one command line: arguments holding blanks, tabs or quotes,
// and empty ones, are quoted, with quotes and the backslashes before them escaped.
std::u16string JoinArguments(const std::vector<std::string>& args);

}  // namespace app
