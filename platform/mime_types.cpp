#include "platform/mime_types.h"

#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace platform {

std::optional<std::string> ContentTypeForExtension(std::string_view ext) {
  return ContentTypeForExtension(ext, kSystemMimeTypesPath);
}

std::optional<std::string> ContentTypeForExtension(std::string_view ext, const std::filesystem::path& table) {
  if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
  if (ext.empty()) return std::nullopt;
  const std::string wanted = AsciiLower(ext);
  std::ifstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    if (std::size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream fields(line);
    std::string type, candidate;
    if (!(fields >> type) || type.find('/') == std::string::npos) continue;
    while (fields >> candidate) {
      if (AsciiLower(candidate) == wanted) return type;
    }
  }
  return std::nullopt;
}

}  // namespace platform
