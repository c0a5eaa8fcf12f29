#include "ctl/outbox_command.h"

#include <charconv>

#include "delivery/pending_notes.h"
#include "platform/text.h"
#include "protocols/socket_layer.h"
#include "settings/app_settings.h"

namespace ctl {
namespace {

constexpr char kUsage[] =
    "usage: dictaloctl outbox list | resend | delete N | delete-all | save N PATH | convert files|activesync\n";

// The connection-status window of a resend or account test, on a terminal.
class ConsoleStatusView : public delivery::ConnectionStatusView {
 public:
  ConsoleStatusView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void SetStatusLine(const std::u16string& text) override {
    out_ << platform::Utf16ToUtf8(text) << "\n";
    out_.flush();
  }
  void ShowErrorReport(const std::u16string& text) override {
    ++reports_;
    err_ << platform::Utf16ToUtf8(text) << "\n";
    err_.flush();
  }
  int reports() const { return reports_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  int reports_ = 0;
};

// The record id of list position `text` (1 is the oldest); 0 when there is none.
storage::RecordId NoteAt(const settings::AppSettings& settings, const std::string& text) {
  std::size_t position = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), position);
  if (ec != std::errc() || end != text.data() + text.size() || position == 0) return 0;
  auto notes = delivery::ListPendingNotes(settings);
  return position <= notes.size() ? notes[position - 1].id : 0;
}

int Resend(const settings::AppSettings& settings, bool send, std::ostream& out, std::ostream& err) {
  protocols::ScopedSocketLayer socket_layer;
  ConsoleStatusView view(out, err);
  delivery::PendingNotesOptions options;
  options.status_view = &view;
  delivery::ResendResult r = delivery::ResendPendingNotes(settings, send, options);
  if (!r.storage_available) {
    err << "The unsent notes could not be opened\n";
    return 1;
  }
  if (send) out << r.sent << " sent, " << r.remaining << " left\n";
  if (r.web_upload && r.upload_result != 0) err << "The web service refused a note: " << r.upload_result << "\n";
  return r.succeeded ? 0 : 1;
}

}  // namespace

int RunOutboxCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  settings::AppSettings settings;
  settings.Load(profile);
  const std::string& what = args[0];

  if (what == "list" && args.size() == 1) {
    auto notes = delivery::ListPendingNotes(settings);
    std::size_t n = 0;
    for (const auto& note : notes) {
      out << ++n << "  " << platform::Utf16ToUtf8(delivery::PendingNoteDateText(note.date)) << "  "
          << platform::Utf16ToUtf8(delivery::PendingNoteSizeText(note.size)) << "  "
          << platform::Utf16ToUtf8(note.recipient) << "  " << platform::Utf16ToUtf8(note.subject) << "\n";
    }
    auto count = delivery::CountPendingNotes(settings);
    if (!count.storage_available) {
      err << "The unsent notes could not be opened\n";
      return 1;
    }
    out << platform::Utf16ToUtf8(delivery::PendingNotesStatusLine(count)) << "\n";
    return 0;
  }
  if (what == "resend" && args.size() == 1) return Resend(settings, true, out, err);
  if (what == "delete-all" && args.size() == 1) {
    if (delivery::DeleteAllPendingNotes(settings)) return 0;
    err << "Not every unsent note could be deleted\n";
    return 1;
  }
  if (what == "delete" && args.size() == 2) {
    storage::RecordId id = NoteAt(settings, args[1]);
    if (id == 0) {
      err << "There is no unsent note " << args[1] << "\n";
      return 1;
    }
    if (delivery::DeletePendingNote(settings, id)) return 0;
    err << "The note could not be deleted\n";
    return 1;
  }
  if (what == "save" && args.size() == 3) {
    storage::RecordId id = NoteAt(settings, args[1]);
    if (id == 0) {
      err << "There is no unsent note " << args[1] << "\n";
      return 1;
    }
    if (delivery::SavePendingNoteRecording(settings, id, args[2])) {
      out << "Recording saved as " << args[2] << "\n";
      return 0;
    }
    err << "The recording could not be saved as " << args[2] << "\n";
    return 1;
  }
  if (what == "convert" && args.size() == 2 && (args[1] == "files" || args[1] == "activesync")) {
    auto mode = args[1] == "files" ? settings::SendMode::SaveAsFile : settings::SendMode::ActiveSync;
    delivery::ConversionResult r = delivery::ConvertPendingNotes(settings, mode);
    if (!r.storage_available) {
      err << "The unsent notes could not be opened\n";
      return 1;
    }
    for (const auto& f : r.files) out << "Note saved as " << f.string() << "\n";
    out << r.converted << " converted, " << r.failed << " failed\n";
    return r.failed == 0 ? 0 : 1;
  }
  err << kUsage;
  return 2;
}

int RunTestAccountCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err) {
  if (!args.empty()) {
    err << "usage: dictaloctl test-account\n";
    return 2;
  }
  settings::AppSettings settings;
  settings.Load(profile);
  return Resend(settings, false, out, err);
}

}  // namespace ctl
