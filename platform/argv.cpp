#include "platform/argv.h"

#include "platform/text.h"

namespace platform {

std::u16string JoinArguments(const std::vector<std::string>& args) {
  std::u16string line;
  for (std::size_t n = 0; n < args.size(); ++n) {
    if (n) line.push_back(u' ');
    std::u16string arg = Utf8ToUtf16(args[n]);
    bool needs_quotes = arg.empty() || arg.find_first_of(u" \t\"") != std::u16string::npos;
    if (!needs_quotes) {
      line += arg;
      continue;
    }
    line.push_back(u'"');
    std::size_t backslashes = 0;
    for (char16_t c : arg) {
      if (c == u'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes before a quote are doubled and the quote escaped.
      line.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
      backslashes = 0;
      line.push_back(c);
    }
    // Backslashes before the closing quote are doubled so that it stays a quote.
    line.append(backslashes * 2, u'\\');
    line.push_back(u'"');
  }
  return line;
}

std::vector<std::string> SplitArguments(std::u16string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size()) {
      char16_t c = line[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        std::size_t count = 0;
        while (i < line.size() && line[i] == u'\\') ++count, ++i;
        if (i < line.size() && line[i] == u'"') {
          arg.append(count / 2, u'\\');
          if (count % 2) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(count, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.push_back(c);
      ++i;
    }
    args.push_back(Utf16ToUtf8(arg));
  }
  return args;
}

}  // namespace platform
