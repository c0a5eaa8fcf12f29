// The recording session in one process: the main window of a record-only
// instance, a scripted capture device, the status window on its own thread and
// the headless message boxes.

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <string>
#include <thread>

#include "base/activity_log.h"
#include "delivery/activesync_maildir.h"
#include "app/main_window.h"
#include "app/status_window.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "platform/wave_in_scripted_fake.h"
#include "resources/desktop_resources.h"
#include "resources/status_dialog.h"
#include "settings/app_settings.h"
#include "tests/support/test_environment.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace app {
namespace {

using testing_support::ReadFileBytes;

// Handles this thread's messages until cond holds or the time is up; reports
// whether the quit message came.
template <typename Cond>
bool Pump(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  platform::MSG msg;
  bool quit = false;
  while (!cond() && std::chrono::steady_clock::now() < deadline) {
    while (platform::PeekMessage(&msg)) {
      if (msg.message == platform::WM_QUIT) quit = true;
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return quit;
}

void PumpFor(std::chrono::milliseconds time) {
  auto until = std::chrono::steady_clock::now() + time;
  Pump([&] { return std::chrono::steady_clock::now() >= until; });
}

class RecordingSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resources::RegisterProgramResources();
    toolkit::InitRenderer();
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    platform::ScriptedWaveInBehaviour device;
    device.bytes_per_second = 11025;
    device.silence_after_sound = true;
    device.sound.assign(4096, 100);
    Install(device);
    settings_.Load();
    settings_.play_sound = false;
    settings_.note_file_path = platform::Utf8ToUtf16((home_.root() / "notes").string());
    settings_.message_subject = u"Memo 12/05 10:30";
  }
  void TearDown() override {
    window_.reset();
    platform::RemoveScriptedWaveInFake();
    unsetenv("DICTALO_AUDIO_OUTPUT");
    unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  }
  void Install(const platform::ScriptedWaveInBehaviour& b) {
    platform::RemoveScriptedWaveInFake();
    platform::InstallScriptedWaveInFake(b);
  }
  // A record-only main window: it starts recording as soon as messages flow.
  // Each session reads the settings file as it starts: what a test sets goes there.
  void StartRecording() {
    ASSERT_TRUE(settings_.Save());
    window_ = std::make_unique<MainWindow>(settings_, false, u"-record");
    ASSERT_TRUE(window_->CreateMainWindow(u"Dictalo"));
    ASSERT_FALSE(Pump([&] { return window_->status_window() && window_->status_window()->dialog(); }));
    ASSERT_TRUE(window_->recording());
  }
  std::u16string StatusText(int id) {
    return platform::GetWindowText(platform::GetDlgItem(window_->status_window()->dialog(), id));
  }
  // Stops as the status window's buttons do and handles messages until the session is over.
  bool StopAndFinish(platform::WPARAM mode) {
    platform::SendMessage(*window_, UM_STOP_RECORDING, mode, 0);
    return Pump([&] { return !window_->recording() && !window_->status_window(); });
  }
  std::vector<std::filesystem::path> Notes() {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(home_.root() / "notes", ec)) found.push_back(e.path());
    return found;
  }
  std::vector<std::filesystem::path> TemporaryNotes() {
    std::vector<std::filesystem::path> found;
    for (auto& e : std::filesystem::directory_iterator(platform::folders::PrivateTempDir()))
      if (e.path().filename().string().rfind("Dictalo-", 0) == 0) found.push_back(e.path());
    return found;
  }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(RecordingSessionTest, SaveAsFileNamesTheNoteAfterTheSubject) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  StartRecording();
  EXPECT_EQ(StatusText(resources::kStatusTextControl), u"Press the hotkey again to stop the recording");
  EXPECT_FALSE(platform::IsWindowEnabled(platform::GetDlgItem(window_->status_window()->dialog(),
                                                               resources::kStopSendButton)))
      << "Stop & Send is disabled when notes are saved as files";
  PumpFor(std::chrono::milliseconds(400));
  EXPECT_FALSE(StopAndFinish(kStopAndSave)) << "a normal session keeps the instance";
  auto notes = Notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].filename(), "Memo 12.05 10.30.wav");
  EXPECT_GT(std::filesystem::file_size(notes[0]), 44u);
  EXPECT_TRUE(TemporaryNotes().empty());
}

TEST_F(RecordingSessionTest, EscapeInTheStatusWindowStopsLikeTheHotkeyAndKeepsTheNote) {
  // Escape is a key like any other there: it must not close the window, which
  // would cancel the recording and lose it.
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  settings_.send_immediately = false;
  settings_.show_save_info = false;
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  platform::HWND dialog = window_->status_window()->dialog();
  ASSERT_TRUE(toolkit::PostKey(dialog, platform::VK_ESCAPE));
  EXPECT_FALSE(Pump([&] { return !window_->recording() && !window_->status_window(); }));
  EXPECT_EQ(Notes().size(), 1u) << "the recording was thrown away";
}

TEST_F(RecordingSessionTest, TheStatusWindowsButtonsCarryTheirPictures) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  StartRecording();
  platform::HWND dialog = window_->status_window()->dialog();
  auto picture = [&](int id) {
    char16_t name[toolkit::kMaxButtonImageName + 1] = {};
    platform::SendMessage(platform::GetDlgItem(dialog, id), toolkit::BM_GETIMAGE, std::size(name),
                          reinterpret_cast<platform::LPARAM>(name));
    return std::u16string(name);
  };
  EXPECT_EQ(picture(resources::kStopSendButton), u"dictalo-stop-send");
  EXPECT_EQ(picture(resources::kStopSaveButton), u"dictalo-stop-save");
  EXPECT_EQ(picture(resources::kCancelButton), u"dictalo-cancel");
  // Disabled when notes are only saved; its disabled picture is the same name
  // with "-disabled", which the renderer picks by itself.
  EXPECT_FALSE(platform::IsWindowEnabled(platform::GetDlgItem(dialog, resources::kStopSendButton)));
  EXPECT_EQ(resources::BitmapIconName(resources::kStopSendDisabledBitmap), picture(resources::kStopSendButton) + u"-disabled");
  EXPECT_FALSE(StopAndFinish(kStopCancel));
}

TEST_F(RecordingSessionTest, CancelWritesNoFileAnywhere) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_FALSE(StopAndFinish(kStopCancel));
  EXPECT_TRUE(Notes().empty());
  EXPECT_TRUE(TemporaryNotes().empty());
}

TEST_F(RecordingSessionTest, ProgressShowsWhileRecordingAndNotAfterTheStop) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  StartRecording();
  ASSERT_FALSE(Pump([&] { return StatusText(resources::kStatusDetailControl).rfind(u"Recording: 00:0", 0) == 0; }));
  platform::SendMessage(*window_, UM_RECORD_PROGRESS, 2048 * 60, 75);
  EXPECT_EQ(StatusText(resources::kStatusDetailControl), u"Recording: 01:15, 120KB");
  // The session is stopped but its status window stays up while the note is handed on.
  settings_.notes_send_mode = settings::SendMode::ActiveSync;
  platform::SendMessage(*window_, UM_STOP_RECORDING, kStopAndSend, 0);
  ASSERT_NE(window_->status_window(), nullptr) << "the session-done message has not been handled yet";
  platform::SendMessage(*window_, UM_RECORD_PROGRESS, 999999, 5);
  EXPECT_NE(StatusText(resources::kStatusDetailControl), u"Recording: 00:05, 976KB");
  Pump([&] { return !window_->status_window(); });
}

TEST_F(RecordingSessionTest, StopAndSaveAsksOnceAndKeepsTheNote) {
  settings_.notes_send_mode = settings::SendMode::ActiveSync;
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDOK:checked", 1);
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_FALSE(StopAndFinish(kStopAndSave));
  EXPECT_FALSE(settings_.show_save_info) << "the box starts checked";
  settings::AppSettings reread;
  reread.Load();
  EXPECT_FALSE(reread.show_save_info) << "the choice is saved";
  // Saved in ActiveSync mode, the note waits as a draft in the store, and the temporary file is gone.
  std::size_t drafts = 0;
  const auto drafts_folder = delivery::ActiveSyncStoreRoot() / ".Drafts" / "cur";
  if (std::filesystem::is_directory(drafts_folder)) {
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(drafts_folder)) ++drafts;
  }
  EXPECT_EQ(drafts, 1u);
  EXPECT_TRUE(Notes().empty());
  EXPECT_TRUE(TemporaryNotes().empty());
}

TEST_F(RecordingSessionTest, AForcedStopEndsARecordOnlyInstanceAfterTheSession) {
  platform::ScriptedWaveInBehaviour hanging;
  hanging.bytes_per_second = 11025;
  hanging.silence_after_sound = true;
  hanging.hang_in_reset = true;
  Install(hanging);
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  platform::SendMessage(*window_, UM_STOP_RECORDING, kStopAndSave, 0);
  bool quit = Pump([&] { return !window_->status_window(); });
  EXPECT_TRUE(quit) << "close code 65535 ends the instance";
  platform::ReleaseScriptedWaveInFake();
  std::string log = ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  EXPECT_NE(log.find("Terminating thread"), std::string::npos);
}

TEST_F(RecordingSessionTest, ANoteThatCannotBeWrittenWhereAskedIsReportedAndKeptElsewhere) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  // The notes folder is a file: nothing can be written into it.
  testing_support::WriteFileBytes(home_.root() / "notes", "not a folder");
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  testing::internal::CaptureStderr();
  StopAndFinish(kStopAndSave);
  std::string box = testing::internal::GetCapturedStderr();
  EXPECT_NE(box.find("could not be saved"), std::string::npos) << box;
  auto kept = TemporaryNotes();
  ASSERT_EQ(kept.size(), 1u) << "kept under its temporary name";
  EXPECT_GT(std::filesystem::file_size(kept[0]), 44u);
  std::string log = ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  EXPECT_NE(log.find("could not be written"), std::string::npos) << log;
}

TEST_F(RecordingSessionTest, WithoutTheOggEncoderTheNoteIsKeptAsWavAndTheUserIsTold) {
  settings_.notes_send_mode = settings::SendMode::SaveAsFile;
  settings_.encoding_type = 1;
  setenv("DICTALO_VORBIS_LIBS", ":/nowhere/libvorbis.so.0:", 1);
  StartRecording();
  PumpFor(std::chrono::milliseconds(300));
  testing::internal::CaptureStderr();
  StopAndFinish(kStopAndSave);
  std::string box = testing::internal::GetCapturedStderr();
  unsetenv("DICTALO_VORBIS_LIBS");
  EXPECT_NE(box.find("saved as WAV"), std::string::npos) << box;
  auto notes = Notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].filename(), "Memo 12.05 10.30.wav");
  EXPECT_GT(std::filesystem::file_size(notes[0]), 44u) << "the samples are kept";
  std::string log = ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  EXPECT_NE(log.find("/nowhere/libvorbis.so.0"), std::string::npos) << log;
}

}  // namespace
}  // namespace app
