#include "app/note_delivery.h"

#include "base/activity_log.h"
#include "app/messages.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace app {

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

void KeepNotesForLater::DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) {
  auto log = base::OpenActivityLog(platform::Utf16ToUtf8(settings_.install_dir));
  std::filesystem::path folder = platform::Utf16ToUtf8(settings_.note_file_path);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  auto target = FirstFreeName(folder, NoteFileNameFromSubject(settings_.ExpandSubject()), note.extension().string());
  std::filesystem::copy_file(note, target, ec);
  if (ec) {
    // The session deletes the handed-over file; keep a copy of it beside it instead.
    target = FirstFreeName(note.parent_path(), u"Dictalo unsent note", note.extension().string());
    std::filesystem::copy_file(note, target, ec);
  }
  base::WriteLogLine(log.get(), ec ? "Note could not be kept: " + ec.message()
                             : "Sending is not available yet; the note is kept as " + target.string());
  if (send_now) platform::PostMessage(main_window, UM_SESSION_DONE, 0, 0);
}

}  // namespace app
