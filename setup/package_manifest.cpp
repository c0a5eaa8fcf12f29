#include "setup/package_manifest.h"

#include <algorithm>
#include <system_error>

namespace setup {

namespace fs = std::filesystem;

bool IsSafeEntry(std::string_view entry) {
  if (entry.empty() || entry.front() == '/') return false;
  for (unsigned char c : entry) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  std::size_t start = 0;
  while (start <= entry.size()) {
    std::size_t end = entry.find('/', start);
    if (end == std::string_view::npos) end = entry.size();
    std::string_view part = entry.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::optional<std::vector<std::string>> ParseManifest(std::string_view text, std::string* error) {
  std::vector<std::string> entries;
  bool header = true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    if (header) {
      if (line != kManifestHeader) {
        if (error) *error = "not a package manifest";
        return std::nullopt;
      }
      header = false;
      continue;
    }
    if (line.empty()) continue;
    if (!IsSafeEntry(line)) {
      if (error) *error = "manifest entry leaves the installation folder: " + std::string(line);
      return std::nullopt;
    }
    entries.emplace_back(line);
  }
  if (header) {
    if (error) *error = "not a package manifest";
    return std::nullopt;
  }
  return entries;
}

std::vector<std::string> ListBuiltTree(const fs::path& root) {
  std::vector<std::string> entries;
  std::error_code ec;
  for (fs::directory_iterator it(root / "bin", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) entries.push_back("bin/" + it->path().filename().string());
  }
  // The setup library and the toolkit library that it and the installer share.
  for (const char* library : {"lib/libdcsetup.so", "lib/libdictalo-ui.so"}) {
    if (fs::is_regular_file(root / library, ec)) entries.push_back(library);
  }
  // The program's files, and the pictures its windows show (the desktop's icon theme folders).
  for (const char* folder : {"share/dictalo", "share/icons"}) {
    for (fs::recursive_directory_iterator it(root / folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) entries.push_back(fs::relative(it->path(), root, ec).generic_string());
    }
    ec.clear();
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace setup
