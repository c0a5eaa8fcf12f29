// Feeds arbitrary UTF-16 text to the command-line parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  auto line = app::ParseCommandLine(text);
  // The profile is always a piece of the line, never longer than it.
  if (line.profile.size() > text.size()) __builtin_trap();
  std::string narrow(reinterpret_cast<const char*>(data), size);
  auto joined = app::JoinArguments({"-profile", narrow.substr(0, narrow.find('\0'))});
  (void)app::ParseCommandLine(joined);
  return 0;
}
