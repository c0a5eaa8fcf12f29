#pragma once
// MainWindow: the program's top-level window, class "CorvaneEMMainWnd". Hidden in
// the record-only mode; in the interactive mode it hosts the options screen. It
// owns the recording session and answers the record launcher and later instances:
//   WM_COPYDATA           reply 0 when the received text occurs in our command
//                         line (case-sensitive), else 1
//   UM_QUERY_RECORD_ONLY  record-only: quit and reply 1; interactive: reply 0
//   UM_HOTKEY_TOGGLE      start a recording, or stop it as the hotkey does
//   UM_INVOKE             run a call record on the UI thread
//   WM_HELP               open the help page
// In the interactive mode the window holds the options screen and the menu bar
// (OK, and a menu with About…, View Notes…, Delete Notes, Resend Notes,
// Cancel); OK applies the options screen, the hotkey and saves, Cancel quits
// without saving, and the other entries go to the options screen.
// All of it runs on the UI thread.

#include <cstdint>
#include <memory>
#include <string>

#include "app/messages.h"
#include "app/note_delivery.h"
#include "toolkit/ce_wnd.h"

namespace settings {
class AppSettings;
class OptionsScreen;
class OptionsServices;
}
namespace toolkit {
class CMenuBar;
}
namespace audio {
class Recorder;
class CuePlayer;
struct NoteWriteResult;
}

namespace app {

class StatusWindow;
class DesktopPresence;

class MainWindow : public toolkit::CeWnd {
 public:
  // settings: the process's settings record, which outlives the window.
  MainWindow(settings::AppSettings& settings, bool interactive, std::u16string command_line);
  ~MainWindow() override;

  // Registers the class and creates the window (visible when interactive).
  bool CreateMainWindow(std::u16string_view title);

  bool interactive() const { return interactive_; }
  bool recording() const { return recorder_ != nullptr; }
  StatusWindow* status_window() const { return status_window_.get(); }
  // Replaces what notes are handed to in the sending modes.
  void set_delivery(std::unique_ptr<NoteDelivery> delivery) { delivery_ = std::move(delivery); }
  const std::u16string& launch_hotkey_at_start() const { return launch_hotkey_at_start_; }
  // What the options screen asks of the program (unsent notes, account test,
  // hotkeys, sounds). Set it before CreateMainWindow; without it the screen
  // leaves out what needs it. Not owned; it outlives the window.
  void set_options_services(settings::OptionsServices* services) { options_services_ = services; }
  settings::OptionsScreen* options_screen() const { return options_screen_.get(); }
  toolkit::CMenuBar* menu_bar() const { return menu_bar_.get(); }
  // Whether hwnd is a hotkey button of the options screen (the message loop
  // hands their messages to them directly).
  bool IsHotkeyButton(platform::HWND hwnd) const;

  // The WM_COPYDATA reply for a received text: 0 when it occurs in command_line.
  static platform::LRESULT CopyDataReply(std::u16string_view received, std::u16string_view command_line);

 protected:
  void OnCreate(platform::CREATESTRUCT* create, bool& handled) override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;
  void OnEnable(bool enabled, bool& handled) override;
  void OnSize(platform::UINT type, int width, int height, bool& handled) override;
  void OnSettingChange(platform::UINT flag, platform::LPARAM lparam, bool& handled) override;
  platform::LRESULT OnMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam,
                              bool& handled) override;
  void OnClose(bool& handled) override;

 private:
  platform::LRESULT OnCopyData(const platform::COPYDATASTRUCT* data);
  void TrackFocus();
  // Quits, saving the options first when save is true. Ignored while a delivery runs.
  void EndOptions(bool save);
  // Tells the user (log and message) the command to bind by hand.
  void ReportUnboundHotkey(const std::string& command);
  bool DeliveryRunning() const { return delivery_ && delivery_->IsBusy(); }

  // The recording session (recording_session.cpp).
  void OnStartRecording();
  void OnStopRecording(platform::WPARAM mode) { StopRecording(mode, true); }
  // ask_about_saving: show the save notice when the settings want it.
  void StopRecording(platform::WPARAM mode, bool ask_about_saving);
  void OnSessionDone();
  void OnHotkeyToggle();
  void OnRecordProgress(platform::WPARAM bytes, platform::LPARAM seconds);
  void OnEncodeProgress(platform::WPARAM done, platform::LPARAM total);
  void PlayCueIfWanted();
  void AskAboutSavedNote();
  std::filesystem::path NotePathForMode() const;
  void ReportNoteWrite(const audio::NoteWriteResult& result, const std::filesystem::path& written);
  // Tells the desktop presence how many notes wait in the Outbox now.
  void RefreshPendingCount();

  settings::AppSettings& settings_;
  bool interactive_;
  std::u16string command_line_;
  std::u16string launch_hotkey_at_start_;
  platform::HWND last_focused_control_ = nullptr;
  std::uint8_t setting_change_info_[12] = {};
  std::unique_ptr<StatusWindow> status_window_;
  std::unique_ptr<audio::Recorder> recorder_;
  // From the start of a stop until UM_SESSION_DONE: toggles and stops are ignored.
  bool stopping_ = false;
  bool recorder_done_ = false;
  std::uint32_t recorder_close_code_ = 0;  // also the quit-after-session flag
  std::unique_ptr<NoteDelivery> delivery_;
  std::unique_ptr<audio::CuePlayer> cue_player_;
  settings::OptionsServices* options_services_ = nullptr;
  std::unique_ptr<settings::OptionsScreen> options_screen_;
  std::unique_ptr<toolkit::CMenuBar> menu_bar_;
  // The tray icon and the notifications of what became of each note.
  std::unique_ptr<DesktopPresence> presence_;
  // A Stop & Send handed to the delivery: at UM_SESSION_DONE the user is told
  // whether it went.
  bool send_pending_ = false;
  // Set by the OK that saves and ends the program: a second one (a double tap,
  // a queued key) must not apply the options again: the hotkey would take our
  // own shortcut for the key's previous assignment, and the conversion of the
  // unsent notes would be offered twice.
  bool saved_ = false;
};

}  // namespace app
