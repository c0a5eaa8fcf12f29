#include "setup/shortcut.h"

#include "platform/file_io.h"
#include "platform/text.h"

namespace setup {

std::string DesktopExecValue(const std::filesystem::path& program) {
  std::string path = program.string();
  if (path.find_first_of("\r\n") != std::string::npos || path.empty()) return {};
  // Quoting for the Exec line: inside double quotes " ` $ \ take a backslash,
  // and a field code's % is doubled.
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  // The value is a string of the entry file, where a backslash is itself escaped.
  std::string value;
  for (char c : quoted) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

bool WriteShortcut(const std::filesystem::path& shortcut, std::u16string_view name,
                   const std::filesystem::path& program) {
  std::string exec = DesktopExecValue(program);
  std::string title = platform::Utf16ToUtf8(name);
  if (exec.empty() || title.find_first_of("\r\n") != std::string::npos) return false;
  std::error_code ec;
  std::filesystem::create_directories(shortcut.parent_path(), ec);
  std::string entry = "[Desktop Entry]\nType=Application\nName=" + title + "\nExec=" + exec + "\nTerminal=false\n";
  return platform::ReplaceFileAtomically(shortcut, entry, 0644) == 0;
}

}  // namespace setup
