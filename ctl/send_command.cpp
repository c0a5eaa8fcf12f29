#include "ctl/send_command.h"

#include <atomic>
#include <chrono>
#include <filesystem>

#include "app/note_delivery.h"
#include "ctl/delivery_console.h"
#include "ctl/note_outcome.h"
#include "delivery/delivery_job.h"
#include "delivery/network_connection.h"
#include "platform/text.h"
#include "protocols/socket_layer.h"
#include "settings/app_settings.h"

namespace ctl {
namespace {

// A run ends on its own (each connection step has its time-out); this only
// keeps a wedged peer from holding a script for ever.
constexpr auto kRunLimit = std::chrono::minutes(30);

// The delivery's windows on a terminal.
class ConsoleDeliveryUi : public delivery::DeliveryUi, public delivery::DeliveryNotices {
 public:
  ConsoleDeliveryUi(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void PostSessionDone() override { done_ = true; }
  void ShowSendProgress(std::uint32_t count, std::uint32_t index, std::uint32_t, std::uint32_t) override {
    Status("Sending note " + std::to_string(index) + " of " + std::to_string(count) + "...");
  }
  void ShowStatusText(std::u16string_view text) override { Status(platform::Utf16ToUtf8(text)); }
  void ShowConnectionError(std::u16string_view title, std::u16string_view text) override {
    ++errors_;
    err_ << platform::Utf16ToUtf8(title) << ": " << platform::Utf16ToUtf8(text) << "\n";
  }
  void ShowNotice(std::u16string_view title, std::u16string_view text) override {
    err_ << platform::Utf16ToUtf8(title) << ": " << platform::Utf16ToUtf8(text) << "\n";
  }

  bool done() const { return done_; }
  std::size_t errors() const { return errors_; }
  void Status(const std::string& text) {
    if (text == last_) return;
    last_ = text;
    out_ << text << "\n";
    out_.flush();
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::atomic<bool> done_{false};
  std::size_t errors_ = 0;
  std::string last_;
};

bool MailMode(settings::SendMode mode) {
  return mode == settings::SendMode::MailServer || mode == settings::SendMode::WebService;
}

// The messaging store takes the note itself: submitted (sent now) or left in
// Drafts; a note it refused is kept as a file and the run fails.
int SendViaActiveSync(const settings::AppSettings& settings, const std::filesystem::path& file, bool save,
                      std::ostream& out, std::ostream& err) {
  ConsoleDeliveryUi ui(out, err);
  delivery::AlwaysConnected connector;
  delivery::DeliveryJob job(settings, &ui, &ui, &connector);
  job.SetRecorderOutcome(true, 0);
  delivery::DeliveryResult result = job.DeliverNote(file, !save);
  if (!result.kept_note.empty()) {
    out << "Note could not be stored; it was kept as " << result.kept_note.string() << "\n";
    return 1;
  }
  if (!result.note_safe || ui.errors() != 0) {
    out << "The note could not be handed to the messaging store\n";
    return 1;
  }
  if (save)
    out << "Note saved in Drafts\n";
  else
    out << "Note sent to " << platform::Utf16ToUtf8(settings.SendToAddress()) << "\n";
  return 0;
}

}  // namespace

int RunSendCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err) {
  std::filesystem::path file;
  bool save = false;
  for (const auto& a : args) {
    if (a == "--save") {
      save = true;
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    err << "usage: dictaloctl send FILE [--save]\n";
    return 2;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    err << "dictaloctl send: " << file.string() << " is no readable file\n";
    return 2;
  }

  protocols::ScopedSocketLayer socket_layer;  // the mail service connects from here
  settings::AppSettings settings;
  settings.Load(profile);
  NoteOutcome outcome(settings);
  ConsoleDeliveryUi ui(out, err);

  if (settings.notes_send_mode == settings::SendMode::ActiveSync) return SendViaActiveSync(settings, file, save, out, err);
  if (!MailMode(settings.notes_send_mode)) {
    app::KeepNotesForLater keep(settings);
    (void)keep.DeliverNote(file, false, nullptr);  // the outcome below looks at the notes folder itself
    return outcome.Report(save, 0, out, err);
  }

  delivery::AlwaysConnected connector;
  {
    delivery::DeliveryJob job(settings, &ui, &ui, &connector);
    // The note was written and closed before it got here.
    job.SetRecorderOutcome(true, 0);
    if (!save) {
      ui.Status("Sending to " + platform::Utf16ToUtf8(settings.SendToAddress()) + "...");
      ui.Status("Connecting...");
    } else {
      ui.Status("Saving...");
    }
    delivery::DeliveryResult result = job.DeliverNote(file, !save);
    if (!save && !PumpUntil([&] { return ui.done(); }, kRunLimit)) err << "dictaloctl send: the delivery did not end\n";
    job.ReleaseMailService();
    if (!result.note_safe) err << "dictaloctl send: the note could not be stored\n";
  }
  return outcome.Report(save, ui.errors(), out, err);
}

}  // namespace ctl
