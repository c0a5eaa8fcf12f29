#include "setup/setup_hooks.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "resources/setup_resources.h"
#include "setup/license_dialog.h"
#include "toolkit/gdi.h"
#include "toolkit/renderer.h"
#include "toolkit/resources.h"
#include "tests/support/test_environment.h"

namespace setup {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryRoot;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

// Taps a soft key of the licence dialog once it shows, as a user would.
class LicenseTapper {
 public:
  explicit LicenseTapper(platform::UINT command) {
    thread_ = std::thread([this, command] {
      while (!stop_) {
        platform::HWND dialog = platform::FindWindow(u"Dialog", u"DictaloSetup");
        platform::HWND bar = dialog ? platform::GetDlgItem(dialog, resources::kLicenseMenuBar) : nullptr;
        platform::HWND key = bar ? platform::GetDlgItem(bar, command) : nullptr;
        if (key) {
          shown_ = true;
          text_ = platform::GetWindowText(platform::GetDlgItem(dialog, resources::kLicenseText));
          product_line_ = platform::GetWindowText(platform::GetDlgItem(dialog, resources::kLicenseProductLine));
          notice_ = platform::GetWindowText(platform::GetDlgItem(dialog, resources::kLicenseNotice));
          // Read through the dialog's own thread, as a renderer would.
          heading_look_ = toolkit::ReadStaticLook(platform::GetDlgItem(dialog, resources::kLicenseHeading));
          product_look_ = toolkit::ReadStaticLook(platform::GetDlgItem(dialog, resources::kLicenseProductLine));
          notice_look_ = toolkit::ReadStaticLook(platform::GetDlgItem(dialog, resources::kLicenseNotice));
          platform::GetWindowRect(platform::GetDlgItem(dialog, resources::kLicenseText), &text_rect_);
          toolkit::PostClick(key);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  ~LicenseTapper() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool shown() const { return shown_; }
  const std::u16string& text() const { return text_; }
  const std::u16string& product_line() const { return product_line_; }
  const std::u16string& notice() const { return notice_; }
  const toolkit::StaticLook& heading_look() const { return heading_look_; }
  const toolkit::StaticLook& product_look() const { return product_look_; }
  const toolkit::StaticLook& notice_look() const { return notice_look_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> shown_{false};
  std::u16string text_;
  std::u16string product_line_;
  std::u16string notice_;
  toolkit::StaticLook heading_look_;
  toolkit::StaticLook product_look_;
  toolkit::StaticLook notice_look_;
  platform::RECT text_rect_{};
  std::thread thread_;
};

class SetupHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkit::InitRenderer();
    places_.windows_dir = home_.root() / "share";
    places_.personal_dir = home_.root() / "Documents";
    places_.programs_dir = home_.data_home() / "applications";
    places_.start_menu_dir = places_.windows_dir / "Start Menu";
    install_dir_ = home_.root() / "prefix" / "bin";
    fs::create_directories(install_dir_);
    fs::create_directories(places_.windows_dir);
  }

  SetupSession Session(int major = 5) { return SetupSession(platform::OsVersion{major, 1, 0}, places_); }
  std::u16string Dir(const fs::path& p) { return platform::Utf8ToUtf16(p.string()); }

  std::uint32_t Dword(std::u16string_view key, std::u16string_view name) {
    auto k = RegistryKey::Open(RegistryRoot::LocalMachine, key);
    return k ? k->ReadDword(name).value_or(0xFFFFFFFF) : 0xFFFFFFFF;
  }

  testing_support::ScopedTestHome home_;
  SetupPlaces places_;
  fs::path install_dir_;
};

TEST_F(SetupHooksTest, InstallInOrderWritesTheValuesCountsAndMovesTheUpdateUtility) {
  WriteFileBytes(install_dir_ / "corvane-update", "utility v2");
  {
    SetupSession session = Session();
    LicenseTapper accept(resources::kLicenseAcceptCommand);
    EXPECT_EQ(session.InstallInit(nullptr, true, false, Dir(install_dir_)), kContinue);
    accept.Stop();
    EXPECT_TRUE(accept.shown());
    EXPECT_EQ(accept.text(), toolkit::LoadStringW(resources::kLicenseTextString));
    // "Dictalo", the build date as "Mmm dd yyyy", and the systems it is for.
    ASSERT_EQ(accept.product_line().size(), 8u + 11u + 23u) << platform::Utf16ToUtf8(accept.product_line());
    EXPECT_EQ(accept.product_line().substr(0, 8), u"Dictalo\r");
    EXPECT_EQ(accept.product_line().substr(19), u"\rfor Windows Mobile 5/6");
    EXPECT_EQ(accept.notice(), toolkit::LoadStringW(resources::kSetupNoticeString));
    EXPECT_EQ(session.InstallExit(nullptr, Dir(install_dir_)), kContinue);
  }
  EXPECT_EQ(Dword(kProductKey, u"ProdID"), 10226u);
  EXPECT_EQ(Dword(kProductKey, u"MajorVersion"), 2u);
  EXPECT_EQ(Dword(kProductKey, u"MinorVersion"), 3514u);
  EXPECT_EQ(Dword(kProductKey, u"LangID"), 0u);
  EXPECT_EQ(Dword(kSharedKey, kSharedCounterValue), 1u);
  auto config = RegistryKey::Open(RegistryRoot::LocalMachine, kUpdateConfigKey);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->ReadString(u"ListFile"), u"/install/corvane_wmproductlist.txt");
  EXPECT_EQ(config->ReadString(u"AppTitle"), u"Corvane Update");
  EXPECT_EQ(config->ReadDword(u"Options"), 0u);
  EXPECT_EQ(config->ReadString(u"FmtImage"), u"%s%d.bmp");
  EXPECT_EQ(config->ReadString(u"FmtName"), u"%s %d.%d ");
  EXPECT_TRUE(config->ReadString(u"Domain").has_value());
  // Moved into the Windows folder, with its shortcut.
  EXPECT_EQ(ReadFileBytes(places_.windows_dir / "corvane-update"), "utility v2");
  EXPECT_FALSE(fs::exists(install_dir_ / "corvane-update"));
  std::string shortcut = ReadFileBytes(places_.programs_dir / "Corvane Update.desktop");
  EXPECT_NE(shortcut.find("Name=Corvane Update\n"), std::string::npos);
  EXPECT_NE(shortcut.find((places_.windows_dir / "corvane-update").string()), std::string::npos);

  // A second installation (no licence on a later call) counts once more.
  SetupSession again = Session();
  EXPECT_EQ(again.InstallInit(nullptr, false, true, Dir(install_dir_)), kContinue);
  EXPECT_EQ(again.InstallExit(nullptr, Dir(install_dir_)), kContinue);
  EXPECT_EQ(Dword(kSharedKey, kSharedCounterValue), 2u);
}

TEST_F(SetupHooksTest, NewerCopyRuleBothWays) {
  using namespace std::chrono_literals;
  fs::path target = places_.windows_dir / "corvane-update";
  fs::path source = install_dir_ / "corvane-update";
  // The copy in the Windows folder is newer: it stays, the installed one goes.
  WriteFileBytes(target, "newer");
  WriteFileBytes(source, "older");
  fs::last_write_time(source, fs::last_write_time(target) - 1h);
  EXPECT_EQ(Session().InstallExit(nullptr, Dir(install_dir_)), kContinue);
  EXPECT_EQ(ReadFileBytes(target), "newer");
  EXPECT_FALSE(fs::exists(source));
  // The installed one is newer: it replaces the copy there.
  WriteFileBytes(source, "newest");
  fs::last_write_time(target, fs::last_write_time(source) - 1h);
  EXPECT_EQ(Session().InstallExit(nullptr, Dir(install_dir_)), kContinue);
  EXPECT_EQ(ReadFileBytes(target), "newest");
  EXPECT_FALSE(fs::exists(source));
  // An installation that brings no copy keeps the one already there.
  EXPECT_EQ(Session().InstallExit(nullptr, Dir(install_dir_)), kContinue);
  EXPECT_EQ(ReadFileBytes(target), "newest");
  EXPECT_TRUE(fs::exists(places_.programs_dir / "Corvane Update.desktop"));
}

TEST_F(SetupHooksTest, InstallingIntoTheWindowsFolderSkipsTheMoveAndTheShortcut) {
  WriteFileBytes(places_.windows_dir / "corvane-update", "in place");
  EXPECT_EQ(Session().InstallExit(nullptr, Dir(places_.windows_dir)), kContinue);
  EXPECT_EQ(ReadFileBytes(places_.windows_dir / "corvane-update"), "in place");
  EXPECT_FALSE(fs::exists(places_.programs_dir / "Corvane Update.desktop"));
  EXPECT_EQ(Dword(kProductKey, u"ProdID"), 10226u);
}

TEST_F(SetupHooksTest, DeclineCancelsAndAnotherSystemIsRefused) {
  auto old = RegistryKey::Create(RegistryRoot::CurrentUser, kPredecessorKey);
  ASSERT_TRUE(old);
  WriteFileBytes(install_dir_ / "dictalo", "old");
  {
    SetupSession session = Session();
    LicenseTapper decline(resources::kLicenseDeclineCommand);
    EXPECT_EQ(session.InstallInit(nullptr, true, false, Dir(install_dir_)), kCancel);
    decline.Stop();
    EXPECT_TRUE(decline.shown());
  }
  // Nothing was cleared out.
  EXPECT_TRUE(RegistryKey::Open(RegistryRoot::CurrentUser, kPredecessorKey));
  EXPECT_TRUE(fs::exists(install_dir_ / "dictalo"));

  LicenseTapper never(resources::kLicenseAcceptCommand);
  EXPECT_EQ(Session(6).InstallInit(nullptr, true, false, Dir(install_dir_)), kCancel);
  EXPECT_EQ(Session(4).InstallInit(nullptr, false, false, Dir(install_dir_)), kCancel);
  never.Stop();
  EXPECT_FALSE(never.shown());
  EXPECT_TRUE(fs::exists(install_dir_ / "dictalo"));
}

TEST_F(SetupHooksTest, CleanOutTakesOneMatchPerPlaceAndTheOldShortcuts) {
  RegistryKey::Create(RegistryRoot::CurrentUser, kPredecessorKey);
  fs::path personal = places_.personal_dir / "Corvane" / "Dictalo";
  fs::create_directories(personal);
  WriteFileBytes(install_dir_ / "dictalo", "x");
  WriteFileBytes(install_dir_ / "echomark.exe", "x");
  WriteFileBytes(install_dir_ / "Echomark-Record.bin", "x");
  WriteFileBytes(install_dir_ / "dictalo-notes.txt", "not ours");  // another name
  WriteFileBytes(places_.windows_dir / "dictalo.a", "x");
  WriteFileBytes(places_.windows_dir / "dictalo.b", "second match stays");
  fs::create_directories(places_.windows_dir / "emstp.d");  // a folder is never deleted
  WriteFileBytes(personal / "libdcsetup.so", "x");
  WriteFileBytes(personal / "note.ogg", "the user's");
  for (const char* name : {"Echomark Setup.desktop", "Dictalo Record.desktop", "Other.desktop"}) {
    WriteFileBytes(places_.programs_dir / name, "x");
    WriteFileBytes(places_.start_menu_dir / name, "x");
  }
  EXPECT_EQ(Session().InstallInit(nullptr, false, false, Dir(install_dir_)), kContinue);
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, kPredecessorKey));
  EXPECT_FALSE(fs::exists(install_dir_ / "dictalo"));
  EXPECT_FALSE(fs::exists(install_dir_ / "echomark.exe"));
  EXPECT_FALSE(fs::exists(install_dir_ / "Echomark-Record.bin"));
  EXPECT_TRUE(fs::exists(install_dir_ / "dictalo-notes.txt"));
  EXPECT_FALSE(fs::exists(places_.windows_dir / "dictalo.a"));
  EXPECT_TRUE(fs::exists(places_.windows_dir / "dictalo.b"));
  EXPECT_TRUE(fs::is_directory(places_.windows_dir / "emstp.d"));
  EXPECT_FALSE(fs::exists(personal / "libdcsetup.so"));
  EXPECT_TRUE(fs::exists(personal / "note.ogg"));
  for (const fs::path& folder : {places_.programs_dir, places_.start_menu_dir}) {
    EXPECT_FALSE(fs::exists(folder / "Echomark Setup.desktop"));
    EXPECT_FALSE(fs::exists(folder / "Dictalo Record.desktop"));
    EXPECT_TRUE(fs::exists(folder / "Other.desktop"));
  }
}

TEST_F(SetupHooksTest, UninstallInitActsOnlyUnderTheRemovalWindow) {
  platform::WNDCLASS wc;
  wc.lpfnWndProc = platform::DefWindowProc;
  wc.lpszClassName = u"SetupHooksTestParent";
  platform::RegisterClass(wc);
  platform::HWND other = platform::CreateWindowEx(0, u"SetupHooksTestParent", u"Some Installer", platform::WS_POPUP,
                                                  0, 0, 0, 0, nullptr, 0, nullptr);
  platform::HWND remover = platform::CreateWindowEx(0, u"SetupHooksTestParent", u"removeWorker",
                                                    platform::WS_POPUP, 0, 0, 0, 0, nullptr, 0, nullptr);
  ASSERT_TRUE(other && remover);
  RegistryKey::Create(RegistryRoot::CurrentUser, kPredecessorKey);
  WriteFileBytes(install_dir_ / "dictalo", "x");

  EXPECT_EQ(Session().UninstallInit(other, Dir(install_dir_)), kContinue);
  EXPECT_EQ(Session().UninstallInit(nullptr, Dir(install_dir_)), kContinue);
  EXPECT_TRUE(RegistryKey::Open(RegistryRoot::CurrentUser, kPredecessorKey));
  EXPECT_TRUE(fs::exists(install_dir_ / "dictalo"));

  EXPECT_EQ(Session().UninstallInit(remover, Dir(install_dir_)), kContinue);
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, kPredecessorKey));
  EXPECT_FALSE(fs::exists(install_dir_ / "dictalo"));
  EXPECT_EQ(Session().UninstallExit(remover), kContinue);
  platform::DestroyWindow(other);
  platform::DestroyWindow(remover);
}

TEST_F(SetupHooksTest, MissingLicenceTextShowsLicenseErrorAndCanStillBeAccepted) {
  resources::RegisterSetupResources();
  ASSERT_TRUE(toolkit::RemoveString(resources::kLicenseTextString));
  {
    LicenseTapper accept(resources::kLicenseAcceptCommand);
    EXPECT_EQ(LicenseDialog::Run(nullptr), 0);
    accept.Stop();
    ASSERT_TRUE(accept.shown());
    EXPECT_EQ(accept.text(), u"License error");
  }
  // With the text back the agreement shows again.
  resources::RegisterSetupResources();
  LicenseTapper decline(resources::kLicenseDeclineCommand);
  EXPECT_EQ(LicenseDialog::Run(nullptr), 1);
  decline.Stop();
  EXPECT_NE(decline.text().find(u"LICENCE AGREEMENT"), std::u16string::npos);
}

TEST_F(SetupHooksTest, HeadingAndProductLineInTheBoldFaceAndTheHeadingHighlighted) {
  resources::RegisterSetupResources();
  toolkit::SetSysColor(toolkit::COLOR_HIGHLIGHT, 0x123456);
  toolkit::SetSysColor(toolkit::COLOR_WINDOW, 0xFAFBFC);
  LicenseTapper accept(resources::kLicenseAcceptCommand);
  EXPECT_EQ(LicenseDialog::Run(nullptr), 0);
  accept.Stop();
  ASSERT_TRUE(accept.shown());
  toolkit::LOGFONTW bold = LicenseHeadingFont(96);
  ASSERT_TRUE(accept.heading_look().font);
  EXPECT_EQ(*accept.heading_look().font, bold);
  ASSERT_TRUE(accept.product_look().font);
  EXPECT_EQ(*accept.product_look().font, bold);
  EXPECT_FALSE(accept.notice_look().font);
  EXPECT_EQ(accept.heading_look().text_color, std::optional<toolkit::COLORREF>(0x123456));
  EXPECT_EQ(accept.heading_look().back_color, std::optional<toolkit::COLORREF>(0xFAFBFC));
  EXPECT_FALSE(accept.product_look().text_color);
  EXPECT_FALSE(accept.notice_look().back_color);
}

TEST(LicenseLayoutTest, HeadingFontIsBoldTahomaElevenPixelsAtNinetySixDpi) {
  toolkit::LOGFONTW at96 = LicenseHeadingFont(96);
  EXPECT_EQ(at96.lfFaceName, u"Tahoma");
  EXPECT_EQ(at96.lfWeight, 700);
  EXPECT_EQ(at96.lfHeight, -11);
  EXPECT_EQ(LicenseHeadingFont(192).lfHeight, -22);
  EXPECT_EQ(LicenseHeadingFont(131).lfHeight, -15);  // 15.01 rounds to 15
  EXPECT_EQ(LicenseHeadingFont(144).lfHeight, -17);  // 16.5 rounds up
}

TEST(LicenseLayoutTest, TextBoxFollowsTheScreenShape) {
  auto size = [](platform::RECT r) { return std::make_pair(r.right - r.left, r.bottom - r.top); };
  EXPECT_EQ(size(LicenseTextRect(240, 320)), std::make_pair(220, 127));
  EXPECT_EQ(size(LicenseTextRect(320, 240)), std::make_pair(290, 60));
  EXPECT_EQ(size(LicenseTextRect(240, 240)), std::make_pair(220, 60));
  EXPECT_EQ(size(LicenseTextRect(480, 640)), std::make_pair(440, 254));
  EXPECT_EQ(size(LicenseTextRect(640, 480)), std::make_pair(580, 120));
  EXPECT_EQ(size(LicenseTextRect(480, 480)), std::make_pair(440, 120));
  EXPECT_EQ(LicenseTextRect(480, 640).left, 16);
  EXPECT_EQ(LicenseTextRect(480, 640).top, 210);
  EXPECT_EQ(LicenseTextRect(800, 600).top, 105);  // not VGA-class: not doubled
}

}  // namespace
}  // namespace setup
