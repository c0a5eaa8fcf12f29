// The program's services to the options screen on real parts: the shell's
// key table, the share folder's cue files, the unsent notes of a real volume
// file and the desktop viewer (a recording script in its place).

#include "app/options_services_impl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/hotkey_binding.h"
#include "delivery/delivery_job_test_support.h"
#include "delivery/peer_test_support.h"
#include "platform/registry.h"
#include "storage/delivery_volume.h"
#include "tests/support/test_environment.h"

namespace app {
namespace {

namespace fs = std::filesystem;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramOptionsServices, HotkeyChoicesAreTheShellKeysAfterNone) {
  testing_support::ScopedTestHome home;
  auto f9 = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine,
                                          std::u16string(kShellKeysPath) + u"\\F9");
  ASSERT_TRUE(f9);
  f9->WriteString(u"", u"calculator");
  f9->WriteString(u"Icon", u"keys.png,2");
  ProgramOptionsServices services;
  auto choices = services.HotkeyChoices();
  ASSERT_EQ(choices.size(), 2u);
  EXPECT_EQ(choices[0].control_id, kNoHotkeyButtonId);
  EXPECT_EQ(choices[0].key_name, u"");
  EXPECT_EQ(choices[0].label, u"None");
  EXPECT_EQ(choices[1].control_id, kFirstHotkeyButtonId);
  EXPECT_EQ(choices[1].key_name, u"F9");
  EXPECT_EQ(choices[1].label, u"F9");
}

TEST(ProgramOptionsServices, CueSoundsAreTheShareFolderFiles) {
  testing_support::ScopedTestHome home;
  fs::path share = home.root() / "share";
  fs::create_directories(share);
  for (const char* name : {"chime.wav", "bell.mid", "readme.txt"}) std::ofstream(share / name) << "x";
  ScopedEnv env("DICTALO_SHARE_DIR", share.string());
  ProgramOptionsServices services;
  auto sounds = services.CueSounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].name, u"bell");
  EXPECT_TRUE(sounds[0].is_midi);
  EXPECT_EQ(sounds[1].name, u"chime");
  EXPECT_FALSE(sounds[1].is_midi);
}

TEST(ProgramOptionsServices, CountAndDeleteAllOnARealVolume) {
  testing_support::ScopedTestHome home;
  settings::AppSettings settings = delivery::test::JobSettings(home.root());
  {
    auto opened = storage::OpenDeliveryStorage(home.root() / "install", nullptr);
    ASSERT_TRUE(opened.storage);
    delivery::test::AddOutboxNote(*opened.storage, home.root(), u"alice@localhost", 3000);
  }
  ProgramOptionsServices services;
  settings::PendingNotesSummary summary = services.CountPendingNotes(settings);
  EXPECT_EQ(summary.count, 1u);
  EXPECT_GT(summary.size, 3000u);
  services.DeleteAllPendingNotes(nullptr, settings);
  EXPECT_EQ(services.CountPendingNotes(settings).count, 0u);
  EXPECT_FALSE(fs::exists(storage::DeliveryVolumePath(home.root() / "install")));
}

TEST(ProgramOptionsServices, OnlyWebAddressesReachTheViewer) {
  testing_support::ScopedTestHome home;
  fs::path log = home.root() / "opened.txt";
  fs::path viewer = home.root() / "viewer.sh";
  std::ofstream(viewer) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n";
  fs::permissions(viewer, fs::perms::owner_all);
  ScopedEnv env("DICTALO_OPEN_COMMAND", viewer.string());
  ProgramOptionsServices services;
  // A file, an option for the viewer, a command-line scheme: none is opened.
  for (const char* refused : {"file:///etc/passwd", "--help", "javascript:alert(1)", "http://", "http://a b",
                              "https://example.org/\nsecond"})
    services.OpenAddress(refused);
  services.OpenAddress("https://www.example.org/products/dictalo/DK_Signup.php");
  ASSERT_TRUE(testing_support::WaitUntil([&] { return fs::exists(log); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // any late viewer would have written by now
  EXPECT_EQ(testing_support::ReadFileBytes(log), "https://www.example.org/products/dictalo/DK_Signup.php\n");
  EXPECT_TRUE(IsOpenableAddress("http://example.org"));
  EXPECT_FALSE(IsOpenableAddress("HTTP://example.org x"));
}

}  // namespace
}  // namespace app
