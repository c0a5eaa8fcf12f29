#include "ctl/record_command.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <mutex>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/status_window.h"
#include "ctl/delivery_console.h"
#include "ctl/note_outcome.h"
#include "platform/text.h"
#include "protocols/socket_layer.h"
#include "resources/status_dialog.h"
#include "settings/app_settings.h"
#include "toolkit/renderer.h"

namespace ctl {
namespace {

constexpr int kDefaultSeconds = 5;
constexpr int kMaxSeconds = 24 * 60 * 60;
// How long a session may take after the stop: encoding a long note plus a
// delivery whose connection steps each time out on their own.
constexpr auto kSessionEndLimit = std::chrono::minutes(30);
constexpr auto kStartLimit = std::chrono::seconds(20);

// Prints the status window's two lines whenever they change. It watches the
// text changes themselves, since a stop sets several texts in one go.
class StatusEcho : public platform::WindowObserver {
 public:
  explicit StatusEcho(std::ostream& out) : out_(out) { platform::AddWindowObserver(this); }
  ~StatusEcho() override { platform::RemoveWindowObserver(this); }
  StatusEcho(const StatusEcho&) = delete;
  StatusEcho& operator=(const StatusEcho&) = delete;

  void OnWindowTextChanged(platform::HWND hwnd) override {
    int id = platform::GetDlgCtrlID(hwnd);
    if (id != resources::kStatusTextControl && id != resources::kStatusDetailControl) return;
    bool detail = id == resources::kStatusDetailControl;
    std::u16string now = platform::GetWindowText(hwnd);
    std::lock_guard<std::mutex> lock(mutex_);
    std::u16string& last = detail ? detail_ : text_;
    if (now == last) return;
    last = now;
    if (now.empty()) return;
    out_ << (detail ? "  " : "") << platform::Utf16ToUtf8(now) << "\n";
    out_.flush();
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;
  std::u16string text_;
  std::u16string detail_;
};

}  // namespace

int RunRecordCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
  int seconds = kDefaultSeconds;
  bool save = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--save") {
      save = true;
    } else if (args[i] == "--seconds" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
      if (ec != std::errc() || end != v.data() + v.size() || seconds < 0 || seconds > kMaxSeconds) {
        err << "dictaloctl record: --seconds wants a whole number from 0 to " << kMaxSeconds << "\n";
        return 2;
      }
    } else {
      err << "usage: dictaloctl record [--seconds N] [--save]\n";
      return 2;
    }
  }

  protocols::ScopedSocketLayer socket_layer;  // the mail service connects from here
  resources::RegisterProgramResources();
  toolkit::InitRenderer();
  PrintingMessageBoxes boxes(err);
  settings::AppSettings settings;
  settings.Load(profile);

  NoteOutcome outcome(settings);
  int result = 1;
  {
    app::MainWindow window(settings, false, u"-record");
    if (!window.CreateMainWindow(u"Dictalo")) {
      err << "dictaloctl record: the main window could not be created\n";
      return 1;
    }
    StatusEcho echo(out);
    // A record-only main window starts its recording as it is created.
    bool started = PumpUntil([&] { return window.recording() && window.status_window(); }, kStartLimit);
    if (!started) {
      // The sound input has said on stderr why it could not be opened.
      PumpUntil([] { return false; }, std::chrono::milliseconds(100));
      err << "dictaloctl record: the recording could not be started\n";
      return 1;
    }
    PumpUntil([] { return false; }, std::chrono::seconds(seconds));
    platform::SendMessage(window.GetSafeHwnd(), app::UM_STOP_RECORDING, save ? app::kStopAndSave : app::kStopAndSend, 0);
    bool ended = PumpUntil([&] { return !window.recording() && !window.status_window(); }, kSessionEndLimit);
    if (!ended) {
      err << "dictaloctl record: the session did not end\n";
      return 1;
    }
  }
  result = outcome.Report(save, boxes.errors(), out, err);
  return result;
}

}  // namespace ctl
