#include "platform/desktop_hotkey.h"

#include <vector>

#include "platform/process.h"

namespace platform {
namespace {

constexpr char kSchema[] = "org.gnome.settings-daemon.plugins.media-keys";
constexpr char kListKey[] = "custom-keybindings";
constexpr char kOurPath[] = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/dictalo-record/";

std::string OurSchema() { return std::string(kSchema) + ".custom-keybinding:" + kOurPath; }

std::optional<std::string> Gsettings(const std::vector<std::string>& args) {
  auto r = RunProcess("gsettings", args, std::chrono::seconds(5));
  if (!r || r->exit_status != 0) return std::nullopt;
  std::string out = r->output;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// A GVariant string literal.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

std::string Unquote(const std::string& literal) {
  if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return literal;
  std::string out;
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    if (literal[i] == '\\' && i + 2 < literal.size()) ++i;
    out.push_back(literal[i]);
  }
  return out;
}

// Parses "['/a/', '/b/']" or "@as []" into paths.
std::vector<std::string> ParsePathList(const std::string& text) {
  std::vector<std::string> paths;
  std::size_t i = 0;
  while ((i = text.find('\'', i)) != std::string::npos) {
    auto end = text.find('\'', i + 1);
    if (end == std::string::npos) break;
    paths.push_back(text.substr(i + 1, end - i - 1));
    i = end + 1;
  }
  return paths;
}

std::string FormatPathList(const std::vector<std::string>& paths) {
  std::string out = "[";
  for (std::size_t i = 0; i < paths.size(); ++i) out += (i ? ", " : "") + Quote(paths[i]);
  return out + "]";
}

}  // namespace

std::string ShellQuote(std::string_view word) {
  constexpr std::string_view kSafe =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@%=";
  if (!word.empty() && word.find_first_not_of(kSafe) == std::string_view::npos) return std::string(word);
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

bool DesktopHotkeysAvailable() {
  auto schemas = Gsettings({"list-schemas"});
  return schemas && schemas->find(kSchema) != std::string::npos;
}

bool SetDesktopHotkey(const std::string& accelerator, const std::string& command) {
  if (!DesktopHotkeysAvailable()) return false;
  auto list = Gsettings({"get", kSchema, kListKey});
  if (!list) return false;
  auto paths = ParsePathList(*list);
  bool listed = false;
  for (const auto& p : paths) listed |= p == kOurPath;

  if (accelerator.empty()) {
    if (!listed) return true;
    std::erase(paths, std::string(kOurPath));
    bool ok = Gsettings({"set", kSchema, kListKey, FormatPathList(paths)}).has_value();
    Gsettings({"reset", OurSchema(), "binding"});
    return ok;
  }
  bool ok = Gsettings({"set", OurSchema(), "name", Quote("Dictalo Record")}).has_value() &&
            Gsettings({"set", OurSchema(), "command", Quote(command)}).has_value() &&
            Gsettings({"set", OurSchema(), "binding", Quote(accelerator)}).has_value();
  if (ok && !listed) {
    paths.push_back(kOurPath);
    ok = Gsettings({"set", kSchema, kListKey, FormatPathList(paths)}).has_value();
  }
  return ok;
}

std::optional<std::string> GetDesktopHotkey() {
  if (!DesktopHotkeysAvailable()) return std::nullopt;
  auto list = Gsettings({"get", kSchema, kListKey});
  if (!list) return std::nullopt;
  bool listed = false;
  for (const auto& p : ParsePathList(*list)) listed |= p == kOurPath;
  if (!listed) return std::nullopt;
  auto binding = Gsettings({"get", OurSchema(), "binding"});
  if (!binding) return std::nullopt;
  std::string value = Unquote(*binding);
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace platform
