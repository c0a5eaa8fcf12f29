#include "app/hotkey_binding.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/desktop_hotkey.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/registry.h"
#include "settings/app_settings.h"
#include "tests/support/test_environment.h"

namespace app {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

std::optional<RegistryKey> Key(std::u16string_view name) {
  return RegistryKey::Open(RegistryRoot::LocalMachine, std::u16string(kShellKeysPath) + u"\\" + std::u16string(name));
}

class HotkeyBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // GNOME's settings in a file of the test home (a real gsettings, no desktop).
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    settings_ = settings::AppSettings::WithDefaults();
    auto f9 = RegistryKey::Create(RegistryRoot::LocalMachine, std::u16string(kShellKeysPath) + u"\\F9");
    f9->WriteString(u"", u"calculator");
    f9->WriteString(u"Icon", u"keys.png,2");
    auto pause = RegistryKey::Create(RegistryRoot::LocalMachine, std::u16string(kShellKeysPath) + u"\\Pause");
    pause->WriteString(u"", u"player");
    pause->WriteString(u"Icon", u"keys.png");
    auto hidden = RegistryKey::Create(RegistryRoot::LocalMachine, std::u16string(kShellKeysPath) + u"\\NoIcon");
    hidden->WriteString(u"", u"x");
  }
  void TearDown() override { unsetenv("GSETTINGS_BACKEND"); }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
};

TEST(HotkeyIconTest, IconValuesAndResolutionVariants) {
  auto ref = ParseIconValue(u"keys.png,12");
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->file, u"keys.png");
  EXPECT_EQ(ref->index, 12);
  EXPECT_EQ(ParseIconValue(u"keys.png,")->index, 0);
  EXPECT_FALSE(ParseIconValue(u"keys.png"));
  EXPECT_EQ(ResolutionVariant(u"a.b/keys.png", true), u"a.b/keys.192.png");
  EXPECT_EQ(ResolutionVariant(u"keys.png", false), u"keys.96.png");
}

TEST_F(HotkeyBindingTest, ListOffersOnlyKeysWithAnIconAfterTheNoneButton) {
  auto buttons = ListHotkeyButtons();
  ASSERT_EQ(buttons.size(), 3u);
  EXPECT_EQ(buttons[0].control_id, kNoHotkeyButtonId);
  EXPECT_EQ(buttons[1].key_name, u"F9");
  EXPECT_EQ(buttons[1].control_id, kFirstHotkeyButtonId);
  EXPECT_EQ(buttons[1].icon->index, 2);
  EXPECT_EQ(buttons[2].key_name, u"Pause");
  EXPECT_FALSE(buttons[2].icon) << "an Icon value without a comma gives no icon";
  EXPECT_EQ(SelectedHotkeyButton(buttons, u"Pause"), kFirstHotkeyButtonId + 1);
  EXPECT_EQ(SelectedHotkeyButton(buttons, u""), kNoHotkeyButtonId);
}

TEST_F(HotkeyBindingTest, TakingSwitchingAndGivingBackAKey) {
  const std::string command = "/opt/dictalo/bin/dictalo-record";
  // The desktop binds the key where it can; elsewhere the command comes back to
  // be shown to the user. Either way something is checked.
  const bool desktop = platform::DesktopHotkeysAvailable();
  std::string unbound;
  auto expect_bound = [&](const std::optional<std::string>& key) {
    if (desktop) {
      EXPECT_EQ(platform::GetDesktopHotkey(), key);
      EXPECT_EQ(unbound, "");
    } else {
      EXPECT_EQ(unbound, key ? command : "") << "without the desktop's keybindings the command is handed back";
    }
  };
  settings_.launch_hotkey = u"F9";
  EXPECT_TRUE(ApplyHotkey(settings_, u"", command, &unbound));
  EXPECT_EQ(settings_.launch_key_value, u"calculator");
  EXPECT_EQ(Key(u"F9")->ReadString(u""), RecordShortcutValue());
  EXPECT_EQ(Key(u"F9")->ReadDword(u"Flags"), kFlagsTaken);
  EXPECT_EQ(RecordShortcutValue().front(), u'"');
  expect_bound("F9");

  // The same key again writes nothing.
  Key(u"F9")->WriteDword(u"Flags", 99);
  EXPECT_FALSE(ApplyHotkey(settings_, u"F9", command));
  EXPECT_EQ(Key(u"F9")->ReadDword(u"Flags"), 99u);
  Key(u"F9")->WriteDword(u"Flags", kFlagsTaken);

  // Another key: the old one gets its value back, the new one's value is kept.
  settings_.launch_hotkey = u"Pause";
  EXPECT_TRUE(ApplyHotkey(settings_, u"F9", command, &unbound));
  EXPECT_EQ(Key(u"F9")->ReadString(u""), u"calculator");
  EXPECT_EQ(Key(u"F9")->ReadDword(u"Flags"), kFlagsGivenBack);
  EXPECT_EQ(settings_.launch_key_value, u"player");
  expect_bound("Pause");

  // None: the old key is given back and nothing new is written.
  settings_.launch_hotkey = u"";
  EXPECT_TRUE(ApplyHotkey(settings_, u"Pause", command, &unbound));
  EXPECT_EQ(Key(u"Pause")->ReadString(u""), u"player");
  EXPECT_EQ(Key(u"Pause")->ReadDword(u"Flags"), kFlagsGivenBack);
  EXPECT_EQ(Key(u"F9")->ReadString(u""), u"calculator");
  expect_bound(std::nullopt);
}

TEST(HotkeyCommandTest, LauncherPathIsOneWordForTheDesktop) {
  EXPECT_EQ(platform::ShellQuote("/usr/bin/dictalo-record"), "/usr/bin/dictalo-record");
  EXPECT_EQ(platform::ShellQuote("/home/a b/bin/dictalo-record"), "'/home/a b/bin/dictalo-record'");
  EXPECT_EQ(platform::ShellQuote("/it's/x"), "'/it'\\''s/x'");
  EXPECT_EQ(platform::ShellQuote("/a$b`c\"d"), "'/a$b`c\"d'");
  EXPECT_EQ(platform::ShellQuote(""), "''");
}

// A launcher in a folder with a blank: the desktop gets it as one word, and a key
// the desktop cannot bind is reported with the command to bind by hand.
TEST_F(HotkeyBindingTest, TheDesktopGetsAQuotedCommandOrTheUserGetsIt) {
  const std::string launcher = "/opt/my apps/dictalo-record";
  settings_.launch_hotkey = u"F9";
  std::string unbound = "stale";
  if (platform::DesktopHotkeysAvailable()) {
    EXPECT_TRUE(ApplyHotkey(settings_, u"", launcher, &unbound));
    EXPECT_EQ(unbound, "");
    auto stored = platform::RunProcess(
        "gsettings", {"get",
                      "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:/org/gnome/settings-daemon/"
                      "plugins/media-keys/custom-keybindings/dictalo-record/",
                      "command"});
    ASSERT_TRUE(stored);
    EXPECT_NE(stored->output.find("'/opt/my apps/dictalo-record'"), std::string::npos) << stored->output;
  }
  // No gsettings to be found: the binding fails.
  const char* path = std::getenv("PATH");
  std::string saved = path ? path : "";
  setenv("PATH", home_.root().c_str(), 1);
  settings_.launch_hotkey = u"Pause";
  EXPECT_TRUE(ApplyHotkey(settings_, u"F9", launcher, &unbound));
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(unbound, "'/opt/my apps/dictalo-record'");
  // Choosing no key binds nothing and reports nothing.
  settings_.launch_hotkey = u"";
  EXPECT_TRUE(ApplyHotkey(settings_, u"Pause", launcher, &unbound));
  EXPECT_EQ(unbound, "");
}

TEST_F(HotkeyBindingTest, AKeyWithoutAReadableValueKeepsTheOldLaunchKeyValue) {
  RegistryKey::Create(RegistryRoot::LocalMachine, std::u16string(kShellKeysPath) + u"\\Fresh");
  settings_.launch_key_value = u"kept";
  settings_.launch_hotkey = u"Fresh";
  EXPECT_TRUE(ApplyHotkey(settings_, u"", "cmd"));
  EXPECT_EQ(settings_.launch_key_value, u"kept");
}

TEST_F(HotkeyBindingTest, SeedsTheTableOnlyWhenMissing) {
  SeedShellKeys();
  EXPECT_FALSE(Key(u"<Super>r")) << "an existing table is left alone";
  ASSERT_TRUE(RegistryKey::DeleteKey(RegistryRoot::LocalMachine, kShellKeysPath));
  SeedShellKeys();
  auto buttons = ListHotkeyButtons();
  EXPECT_GE(buttons.size(), 4u);
  EXPECT_EQ(buttons[1].key_name, u"<Super>r");
  // Every seeded key shows one 16x16 icon of the strip shipped in the share folder.
  for (std::size_t b = 1; b < buttons.size(); ++b) {
    ASSERT_TRUE(buttons[b].icon.has_value());
    const auto file = platform::folders::WindowsDir() / platform::Utf16ToUtf8(buttons[b].icon->file);
    const std::string png = testing_support::ReadFileBytes(file);
    ASSERT_GE(png.size(), 24u) << file;
    ASSERT_EQ(png.substr(1, 3), "PNG");
    const auto byte = [&](int at) { return static_cast<unsigned>(static_cast<unsigned char>(png[at])); };
    const unsigned width = byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19);
    EXPECT_GE(width, 16u * (buttons[b].icon->index + 1)) << platform::Utf16ToUtf8(buttons[b].key_name);
  }
}

TEST(DesktopHotkeyTest, KeepsOtherCustomBindings) {
  testing_support::ScopedTestHome home;
  setenv("GSETTINGS_BACKEND", "keyfile", 1);
  if (!platform::DesktopHotkeysAvailable()) GTEST_SKIP() << "no gsettings schema for keybindings";
  auto gs = [](std::vector<std::string> args) { return platform::RunProcess("gsettings", args)->output; };
  const std::string schema = "org.gnome.settings-daemon.plugins.media-keys";
  gs({"set", schema, "custom-keybindings", "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']"});
  ASSERT_TRUE(platform::SetDesktopHotkey("<Super>r", "/usr/bin/dictalo-record"));
  EXPECT_NE(gs({"get", schema, "custom-keybindings"}).find("custom0"), std::string::npos);
  EXPECT_NE(gs({"get", schema, "custom-keybindings"}).find("dictalo-record"), std::string::npos);
  ASSERT_TRUE(platform::SetDesktopHotkey("", ""));
  EXPECT_NE(gs({"get", schema, "custom-keybindings"}).find("custom0"), std::string::npos);
  EXPECT_EQ(gs({"get", schema, "custom-keybindings"}).find("dictalo-record"), std::string::npos);
  unsetenv("GSETTINGS_BACKEND");
}

}  // namespace
}  // namespace app
