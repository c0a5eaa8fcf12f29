#include "delivery/kept_notes.h"

#include "platform/text.h"

namespace delivery {

std::u16string NoteFileNameFromSubject(std::u16string_view subject) {
  std::u16string name(subject);
  for (auto& c : name)
    if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) c = u'.';
  return name;
}

std::filesystem::path FirstFreeName(const std::filesystem::path& folder, const std::u16string& name,
                                    const std::string& extension) {
  std::string base = platform::Utf16ToUtf8(name);
  auto candidate = folder / (base + extension);
  std::error_code ec;
  for (int n = 1; std::filesystem::exists(candidate, ec); ++n)
    candidate = folder / (base + "." + std::to_string(n) + extension);
  return candidate;
}

std::filesystem::path KeepNoteCopy(const std::filesystem::path& note, const std::filesystem::path& folder,
                                   std::u16string_view subject) {
  std::error_code ec;
  std::string extension = note.extension().string();
  if (!folder.empty()) {
    std::filesystem::create_directories(folder, ec);
    auto target = FirstFreeName(folder, NoteFileNameFromSubject(subject), extension);
    ec.clear();
    if (std::filesystem::copy_file(note, target, ec) && !ec) return target;
  }
  auto target = FirstFreeName(note.parent_path(), u"Dictalo unsent note", extension);
  ec.clear();
  if (std::filesystem::copy_file(note, target, ec) && !ec) return target;
  return {};
}

}  // namespace delivery
