#include "ctl/note_outcome.h"

#include <algorithm>

#include "ctl/delivery_console.h"
#include "delivery/activesync_maildir.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace ctl {
namespace {

constexpr char kLogName[] = "Dictalo.log";

// The messages of a Maildir folder of the ActiveSync store, read or not.
std::size_t StoreMessages(const char* folder) {
  std::size_t count = 0;
  for (const char* part : {"new", "cur"}) count += FilesIn(delivery::ActiveSyncStoreRoot() / folder / part).size();
  return count;
}

bool MailMode(settings::SendMode mode) {
  return mode == settings::SendMode::MailServer || mode == settings::SendMode::WebService;
}

}  // namespace

NoteOutcome::NoteOutcome(const settings::AppSettings& settings)
    : settings_(settings),
      install_dir_(platform::Utf16ToUtf8(settings.install_dir)),
      notes_dir_(platform::Utf16ToUtf8(settings.note_file_path)),
      outbox_before_(CountOutbox(install_dir_)),
      notes_before_(FilesIn(notes_dir_)),
      log_before_(FileSizeOrZero(install_dir_ / kLogName)),
      store_outgoing_before_(StoreMessages(".Outbox")),
      store_drafts_before_(StoreMessages(".Drafts")) {}

int NoteOutcome::Report(bool save, std::size_t error_boxes, std::ostream& out, std::ostream& err) const {
  std::vector<std::filesystem::path> new_files;
  for (const auto& f : FilesIn(notes_dir_))
    if (std::find(notes_before_.begin(), notes_before_.end(), f) == notes_before_.end()) new_files.push_back(f);
  long outbox = CountOutbox(install_dir_);
  int code = 1;

  if (settings_.notes_send_mode == settings::SendMode::ActiveSync) {
    const char* folder = save ? ".Drafts" : ".Outbox";
    const std::size_t before = save ? store_drafts_before_ : store_outgoing_before_;
    const std::size_t now = StoreMessages(folder);
    if (!new_files.empty()) {
      for (const auto& f : new_files) out << "Note could not be handed to the messaging store; it was kept as " << f.string() << "\n";
    } else if (now == before + 1 && error_boxes == 0) {
      const std::string where = (delivery::ActiveSyncStoreRoot() / folder).string();
      if (save)
        out << "Note saved in the Drafts of the messaging store (" << where << ")\n";
      else
        out << "Note sent to " << platform::Utf16ToUtf8(settings_.SendToAddress()) << " through the messaging store ("
            << where << ", for the next sync)\n";
      code = 0;
    } else {
      out << "No note was saved\n";
    }
  } else if (!MailMode(settings_.notes_send_mode)) {
    for (const auto& f : new_files) out << "Note saved as " << f.string() << "\n";
    code = new_files.size() == 1 && error_boxes == 0 ? 0 : 1;
    if (new_files.empty()) out << "No note was saved\n";
  } else if (!new_files.empty()) {
    // The storage could not take it, so the delivery kept it as a file.
    for (const auto& f : new_files) out << "Note could not be stored; it was kept as " << f.string() << "\n";
  } else if (outbox < 0) {
    out << "The Outbox could not be read\n";
  } else if (save) {
    code = outbox == outbox_before_ + 1 && error_boxes == 0 ? 0 : 1;
    if (code == 0)
      out << "Note saved in the Outbox (" << outbox << " waiting)\n";
    else
      out << "Note not saved in the Outbox (" << outbox << " waiting)\n";
  } else if (outbox == 0 && error_boxes == 0) {
    out << "Note sent to " << platform::Utf16ToUtf8(settings_.SendToAddress()) << "\n";
    code = 0;
  } else {
    out << "Note not sent; it waits in the Outbox (" << outbox << " waiting)\n";
  }
  if (code != 0) {
    std::string log = LogSince(install_dir_ / kLogName, log_before_);
    if (!log.empty()) err << "Activity log of this attempt:\n" << log;
  }
  out.flush();
  return code;
}

}  // namespace ctl
