// The recording session with the real delivery in the mail server mode: the
// note goes into the local Outbox, and a send to a server that is down ends
// with the connection error box while the notes wait for the next time. In
// the ActiveSync mode the note goes to the ActiveSync store.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/main_window.h"
#include "app/status_window.h"
#include "delivery/activesync_maildir.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/wave_in_scripted_fake.h"
#include "protocols/socket_layer.h"
#include "resources/status_dialog.h"
#include "settings/app_settings.h"
#include "storage/delivery_volume.h"
#include "tests/support/test_environment.h"
#include "toolkit/message_box.h"
#include "toolkit/renderer.h"

namespace app {
namespace {

using testing_support::ReadFileBytes;

template <typename Cond>
void Pump(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  platform::MSG msg;
  while (!cond() && std::chrono::steady_clock::now() < deadline) {
    while (platform::PeekMessage(&msg)) {
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    }
    platform::MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
  }
}

// Answers every box with its default button and remembers it.
class FakeMessageBoxPresenter : public toolkit::MessageBoxPresenter {
 public:
  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override {
    boxes.push_back(platform::Utf16ToUtf8(request.caption) + "|" + platform::Utf16ToUtf8(request.text));
    return {request.default_button, false};
  }
  std::vector<std::string> boxes;
};

class MailDeliverySessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resources::RegisterProgramResources();
    toolkit::InitRenderer();
    previous_ = toolkit::SetMessageBoxPresenter(&boxes_);
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    platform::ScriptedWaveInBehaviour device;
    device.bytes_per_second = 11025;
    device.silence_after_sound = true;
    device.sound.assign(4096, 100);
    platform::InstallScriptedWaveInFake(device);
    settings_.Load();
    settings_.play_sound = false;
    settings_.show_save_info = false;
    settings_.note_file_path = platform::Utf8ToUtf16((home_.root() / "notes").string());
    settings_.notes_send_mode = settings::SendMode::MailServer;
    settings_.send_to_address = u"someone@example.org";
    settings_.smtp_host = "127.0.0.1";
    settings_.smtp_port = 24998;  // nothing listens here
  }
  void TearDown() override {
    window_.reset();
    platform::RemoveScriptedWaveInFake();
    toolkit::SetMessageBoxPresenter(previous_);
    unsetenv("DICTALO_AUDIO_OUTPUT");
  }
  void RecordAndStop(platform::WPARAM mode) {
    // A session takes the settings from disk when it starts.
    ASSERT_TRUE(settings_.Save());
    window_ = std::make_unique<MainWindow>(settings_, false, u"-record");
    ASSERT_TRUE(window_->CreateMainWindow(u"Dictalo"));
    Pump([&] { return window_->status_window() && window_->status_window()->dialog(); });
    ASSERT_TRUE(window_->recording());
    Pump([] { return false; }, std::chrono::milliseconds(300));
    platform::SendMessage(*window_, UM_STOP_RECORDING, mode, 0);
    Pump([&] { return !window_->recording() && !window_->status_window(); });
    ASSERT_FALSE(window_->status_window());
    window_.reset();
  }
  std::size_t OutboxCount() {
    std::unique_ptr<storage::MailStorage> loaded;
    if (storage::MailStorage::Load(Volume(), nullptr, &loaded) != storage::kStorageOk) return 0;
    return loaded->GetFolder(storage::FolderType::kOutbox)->Count();
  }
  std::filesystem::path Volume() const {
    return storage::DeliveryVolumePath(platform::Utf16ToUtf8(settings_.install_dir));
  }
  std::size_t TemporaryNotes() {
    std::size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(home_.root() / "tmp"))
      n += e.path().filename().string().rfind("Dictalo-", 0) == 0;
    return n;
  }

  testing_support::ScopedTestHome home_;
  protocols::ScopedSocketLayer layer_;
  settings::AppSettings settings_;
  std::unique_ptr<MainWindow> window_;
  FakeMessageBoxPresenter boxes_;
  toolkit::MessageBoxPresenter* previous_ = nullptr;
};

TEST_F(MailDeliverySessionTest, SavedAndFailedNotesWaitInTheOutbox) {
  RecordAndStop(kStopAndSave);
  EXPECT_EQ(OutboxCount(), 1u);
  EXPECT_EQ(TemporaryNotes(), 0u);  // committed, so the temporary file is gone
  EXPECT_TRUE(boxes_.boxes.empty());

  RecordAndStop(kStopAndSend);
  EXPECT_EQ(OutboxCount(), 2u);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0], "Connection Error|Please check your internet connection and mail server settings.");
  std::string log = ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  EXPECT_NE(log.find("*** Critical Error: 0x80C00013"), std::string::npos) << log;
  EXPECT_NE(log.find("\t OnProgressMailServiceEvent, code 1000"), std::string::npos);
  EXPECT_NE(log.find("\t Message saved"), std::string::npos);
}

TEST_F(MailDeliverySessionTest, ActiveSyncNotesGoToTheStore) {
  std::filesystem::path root = home_.root() / "sync" / "ActiveSync";
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, delivery::kActiveSyncKeyPath);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString(delivery::kActiveSyncStoreValue, platform::Utf8ToUtf16(root.string())));
  settings_.notes_send_mode = settings::SendMode::ActiveSync;
  auto count = [](const std::filesystem::path& folder) {
    std::error_code ec;
    return std::distance(std::filesystem::directory_iterator(folder, ec), std::filesystem::directory_iterator());
  };

  RecordAndStop(kStopAndSave);
  EXPECT_EQ(count(root / ".Drafts" / "cur"), 1);
  RecordAndStop(kStopAndSend);
  EXPECT_EQ(count(root / ".Outbox" / "new"), 1);
  EXPECT_EQ(TemporaryNotes(), 0u);  // both are in the store
  EXPECT_FALSE(std::filesystem::exists(Volume()));
  EXPECT_EQ(count(home_.root() / "notes"), 0);  // nothing was set aside
  EXPECT_TRUE(boxes_.boxes.empty());
}

}  // namespace
}  // namespace app
