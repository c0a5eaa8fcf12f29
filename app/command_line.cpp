#include "app/command_line.h"

#include "platform/argv.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr std::u16string_view kRecordSwitch = u"-record";
constexpr std::u16string_view kProfileSwitch = u"-profile ";

// "-record" counts only as an argument of its own: a file name such as
// ~/voice-records.ini must not start a hidden recorder.
bool HasRecordSwitch(std::u16string_view text) {
  for (const std::string& arg : platform::SplitArguments(text)) {
    std::u16string wide = platform::Utf8ToUtf16(arg);
    if (wide.size() == kRecordSwitch.size() && platform::FindIgnoreAsciiCase(wide, kRecordSwitch) == 0) return true;
  }
  return false;
}

}  // namespace

std::u16string ExtractProfile(std::u16string_view text) {
  std::size_t at = platform::FindIgnoreAsciiCase(text, kProfileSwitch);
  if (at == std::u16string_view::npos) return {};
  std::u16string value;
  bool escaped = false;
  std::size_t quotes = 0;
  for (std::size_t i = at + kProfileSwitch.size(); i < text.size(); ++i) {
    char16_t c = text[i];
    if ((c == u' ' || c == u'\t') && quotes % 2 == 0) break;
    if (c == u'\\') {
      escaped = !escaped;
    } else if (c == u'"') {
      if (escaped)
        escaped = false;
      else
        ++quotes;
    } else {
      escaped = false;
    }
    value.push_back(c);
  }
  if (!value.empty() && value.front() == u'"') {
    // Drop the opening quote and the last character, whatever it is.
    value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::u16string();
  }
  return value;
}

CommandLine ParseCommandLine(std::u16string_view text) {
  CommandLine line;
  line.text = std::u16string(text);
  line.interactive = !HasRecordSwitch(text);
  line.profile = ExtractProfile(text);
  return line;
}

std::u16string JoinArguments(const std::vector<std::string>& args) { return platform::JoinArguments(args); }

}  // namespace app
