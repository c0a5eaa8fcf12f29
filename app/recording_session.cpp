// The recording session: one pass from the start of a recording to a note that is
// saved, handed to delivery, or thrown away. It runs on the UI thread, driven by
// the main window's private messages.

#include <cstdio>

#include "base/activity_log.h"
#include "app/desktop_presence.h"
#include "app/main_window.h"
#include "app/status_window.h"
#include "audio/cue_player.h"
#include "audio/note_file.h"
#include "audio/recorder.h"
#include "delivery/pending_notes.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace app {

using platform::LPARAM;
using platform::WPARAM;

namespace {

constexpr char16_t kPressAgainText[] = u"Press the hotkey again to stop the recording";
constexpr char16_t kEncodingText[] = u"Encoding...";
constexpr char16_t kSavingText[] = u"Saving...";
constexpr char16_t kConnectingText[] = u"Connecting...";
constexpr unsigned kSavingNoteTitle = 50630;
constexpr unsigned kSavingNoteText = 50631;
constexpr unsigned kDontShowAgain = 50632;

std::filesystem::path InstallDir(const settings::AppSettings& s) { return platform::Utf16ToUtf8(s.install_dir); }

// The encoder's progress goes to the main window as UM_ENCODE_PROGRESS, sent
// (not posted), so that the status window follows between chunks.
class EncodeProgressToWindow : public audio::EncodeProgress {
 public:
  explicit EncodeProgressToWindow(platform::HWND window) : window_(window) {}
  void Encoded(std::size_t done, std::size_t total) override {
    platform::SendMessage(window_, UM_ENCODE_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
  }

 private:
  platform::HWND window_;
};

// Captured bytes and seconds go to the main window as UM_RECORD_PROGRESS,
// posted from the capture thread, so the status window shows time and size.
class CaptureProgressToWindow : public audio::CaptureProgress {
 public:
  explicit CaptureProgressToWindow(platform::HWND window) : window_(window) {}
  void OnCaptured(std::uint32_t bytes, std::uint32_t seconds) override {
    platform::PostMessage(window_, UM_RECORD_PROGRESS, static_cast<WPARAM>(bytes), static_cast<LPARAM>(seconds));
  }

 private:
  platform::HWND window_;
};

// The recorder's stop steps go into this stop's activity log, each flushed.
class ActivityStopLog : public audio::StopLog {
 public:
  explicit ActivityStopLog(base::ActivityLog* log) : log_(log) {}
  void Line(std::string_view message) override {
    base::WriteLogLine(log_, message);
    log_->Flush();
  }

 private:
  base::ActivityLog* log_;
};

}  // namespace

void MainWindow::PlayCueIfWanted() {
  if (!settings_.play_sound) return;
  if (!cue_player_) cue_player_ = std::make_unique<audio::CuePlayer>();
  cue_player_->PlayCue(settings_.sound_name, settings_.is_midi);
}

void MainWindow::OnStartRecording() {
  if (recorder_ || stopping_) return;  // one recording at a time
  // A resident recorder lives for days: each session takes the settings as they
  // are on disk now (`dictaloctl settings set`, the options screen).
  settings_.Reload();
  recorder_ = std::make_unique<audio::Recorder>();
  status_window_ = std::make_unique<StatusWindow>(GetSafeHwnd(), settings_);
  PlayCueIfWanted();
  if (recorder_->Start(std::make_shared<CaptureProgressToWindow>(GetSafeHwnd()))) {
    status_window_->SetText(kPressAgainText);
    if (presence_) presence_->OnRecordingStarted();
    return;
  }
  // The sound input has said on stderr why it could not be opened.
  status_window_.reset();
  recorder_.reset();
  platform::PostQuitMessage(0);
}

void MainWindow::OnHotkeyToggle() {
  // A press while the note is being stopped, written or handed on belongs to that
  // session, which ends on its own; the next press starts a new one.
  if (stopping_) return;
  recorder_close_code_ = 0;
  if (!recorder_) {
    PostMessageW(UM_START_RECORDING);
    return;
  }
  OnStopRecording(settings_.send_immediately ? kStopAndSend : kStopAndSave);
}

void MainWindow::OnRecordProgress(WPARAM bytes, LPARAM seconds) {
  if (!recorder_ || !recorder_->recording() || !status_window_) return;
  char text[64];
  std::snprintf(text, sizeof text, "Recording: %.2d:%.2d, %dKB", static_cast<int>(seconds / 60),
                static_cast<int>(seconds % 60), static_cast<int>(bytes / 1024));
  status_window_->SetDetail(platform::Utf8ToUtf16(text));
}

void MainWindow::OnEncodeProgress(WPARAM done, LPARAM total) {
  if (!recorder_ || !status_window_) return;
  if (done == 0) {
    status_window_->SetText(kEncodingText);
    status_window_->EnableButtons(false);
    status_window_->ShowProgress(0, static_cast<std::int32_t>(total));
  }
  status_window_->SetProgress(static_cast<std::int32_t>(done));
}

void MainWindow::AskAboutSavedNote() {
  bool checked = true;
  toolkit::CheckedNoticeBox(GetSafeHwnd(), toolkit::LoadStringW(kSavingNoteText), toolkit::LoadStringW(kSavingNoteTitle),
                            toolkit::MB_OK | toolkit::MB_ICONINFORMATION, toolkit::LoadStringW(kDontShowAgain), checked);
  settings_.show_save_info = !checked;
  settings_.Save();
}

std::filesystem::path MainWindow::NotePathForMode() const {
  if (settings_.notes_send_mode != settings::SendMode::SaveAsFile) return {};
  std::filesystem::path folder = platform::Utf16ToUtf8(settings_.note_file_path);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder / platform::Utf16ToUtf8(NoteFileNameFromSubject(settings_.ExpandSubject()));
}

void MainWindow::ReportNoteWrite(const audio::NoteWriteResult& result, const std::filesystem::path& written) {
  const bool as_wav = result.status == audio::NoteWriteStatus::kWrittenAsWav;
  if (result.status != audio::NoteWriteStatus::kFailed && !result.fell_back() && !as_wav) return;
  auto log = base::OpenActivityLog(InstallDir(settings_));
  std::u16string message;
  if (result.status == audio::NoteWriteStatus::kFailed || result.fell_back()) {
    std::string line = "Note file " + result.failed_path.string() + " could not be written: " + result.failure;
    if (result.status == audio::NoteWriteStatus::kFailed) {
      base::WriteLogLine(log.get(), line + "; the recording could not be saved anywhere");
      message = u"The recording could not be saved: " + platform::Utf8ToUtf16(result.failure);
    } else {
      base::WriteLogLine(log.get(), line + "; it was saved as " + written.string());
      message = u"The note could not be saved as " + platform::Utf8ToUtf16(result.failed_path.string()) + u" (" +
                platform::Utf8ToUtf16(result.failure) + u"). It was saved as " +
                platform::Utf8ToUtf16(written.string()) + u" instead.";
    }
  }
  if (as_wav) {
    base::WriteLogLine(log.get(), "Note could not be encoded as asked (" + result.encoder_error + "); it was saved as WAV: " +
                                      written.string());
    if (!message.empty()) message += u" ";
    message += u"The note could not be encoded as Ogg Vorbis (" + platform::Utf8ToUtf16(result.encoder_error) +
               u"). It was saved as WAV: " + platform::Utf8ToUtf16(written.string());
  }
  toolkit::MessageBoxW(GetSafeHwnd(), message, toolkit::LoadStringW(90), toolkit::MB_OK | toolkit::MB_ICONERROR);
}

void MainWindow::StopRecording(WPARAM mode, bool ask_about_saving) {
  // The stop sends messages (progress, the save notice) and the UI thread handles
  // sends from other threads and processes while it waits, so a second toggle can
  // arrive in the middle of it; it must not stop, encode or free the recorder again.
  if (!recorder_ || stopping_) return;
  stopping_ = true;
  {
    auto log = base::OpenActivityLog(InstallDir(settings_));
    ActivityStopLog stop_log(log.get());
    recorder_->Stop(log ? &stop_log : nullptr);
  }
  recorder_->Stop(nullptr);
  PlayCueIfWanted();

  if (mode == kStopCancel) {
    recorder_.reset();
    PostMessageW(UM_SESSION_DONE);
    return;
  }
  send_pending_ = false;
  if (mode == kStopAndSave && ask_about_saving && settings_.show_save_info) AskAboutSavedNote();
  if (status_window_) status_window_->EnableButtons(false);

  std::filesystem::path path = NotePathForMode();
  EncodeProgressToWindow progress(GetSafeHwnd());
  auto result = recorder_->WriteNoteFile(path, settings_.encoding_type, &progress);
  ReportNoteWrite(result, path);
  recorder_done_ = recorder_->GetResult(&recorder_close_code_);
  recorder_.reset();
  bool written = result.status != audio::NoteWriteStatus::kFailed;

  if (settings_.notes_send_mode == settings::SendMode::SaveAsFile || !written) {
    if (written && presence_) presence_->OnNoteOutcome(NoteOutcomeKind::kSaved, u"");
    PostMessageW(UM_SESSION_DONE);
    return;
  }
  if (!delivery_) delivery_ = std::make_unique<MailNoteDelivery>(settings_, *this);
  delivery_->SetRecorderOutcome(recorder_done_, recorder_close_code_);
  std::error_code ec;
  if (mode == kStopAndSave) {
    if (status_window_) {
      status_window_->SetText(kSavingText);
      status_window_->SetDetail(u"");
    }
    if (delivery_->DeliverNote(path, false, GetSafeHwnd())) std::filesystem::remove(path, ec);
    if (presence_) presence_->OnNoteOutcome(NoteOutcomeKind::kSaved, u"");
    PostMessageW(UM_SESSION_DONE);
    return;
  }
  if (status_window_) {
    status_window_->SetText(u"Sending to " + settings_.SendToAddress() + u"...");
    status_window_->SetDetail(kConnectingText);
  }
  send_pending_ = true;
  delivery_->TakeFailure();  // a failure of an earlier note is no news of this one
  if (delivery_->DeliverNote(path, true, GetSafeHwnd())) std::filesystem::remove(path, ec);
}

void MainWindow::OnSessionDone() {
  if (delivery_) delivery_->ReleaseMailService();
  status_window_.reset();
  recorder_.reset();
  stopping_ = false;
  if (presence_) {
    presence_->OnRecordingStopped();
    if (send_pending_) {
      std::optional<std::u16string> failure = delivery_ ? delivery_->TakeFailure() : std::nullopt;
      presence_->OnNoteOutcome(failure ? NoteOutcomeKind::kNotSent : NoteOutcomeKind::kSent, failure.value_or(u""));
    }
    RefreshPendingCount();
  }
  send_pending_ = false;
  platform::SetForegroundWindow(platform::GetDesktopWindow());
  if (recorder_close_code_ != 0) platform::PostQuitMessage(0);
}

void MainWindow::RefreshPendingCount() {
  if (!presence_) return;
  // The resident recorder in a files mode has no Outbox to count.
  auto mode = settings_.notes_send_mode;
  bool outbox_mode = mode != settings::SendMode::SaveAsFile;
  presence_->OnPendingCount(outbox_mode ? delivery::CountPendingNotes(settings_).count : 0);
}

}  // namespace app
