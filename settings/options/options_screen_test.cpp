// The options screen inside a stand-in main window: the unsent-notes line and
// its buttons and menu entries, OK taking the screen's choices and offering
// the conversion, the notes actions and the recount, "…" and "Details…", and
// a hurried user: Details… tapped again while a page is open, the screen
// closing or going away while a page is open.

#include "settings/options/options_screen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "base/program_messages.h"
#include "resources/account_resources.h"
#include "resources/options_resources.h"
#include "settings/options/options_services_fake.h"
#include "settings/options/options_test_support.h"
#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/menu_bar.h"
#include "toolkit/renderer.h"

namespace settings {
namespace {

namespace pw = platform;
namespace rs = resources;
using options_testing::RecordingBoxes;
using options_testing::UserScript;

constexpr char16_t kHostClass[] = u"OptionsScreenTestHost";

class OptionsScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs::RegisterOptionsResources();
    rs::RegisterAccountResources();
    static const bool registered = [] {
      pw::WNDCLASS wc;
      wc.lpfnWndProc = pw::DefWindowProc;
      wc.lpszClassName = kHostClass;
      return pw::RegisterClass(wc);
    }();
    (void)registered;
    host_ = pw::CreateWindowEx(0, kHostClass, u"Dictalo", pw::WS_VISIBLE, 0, 0, 240, 320, nullptr, 0, nullptr);
    settings_ = AppSettings::WithDefaults();
    settings_.notes_send_mode = SendMode::MailServer;
    services_.hotkeys = {{20008, u"", u"None"}, {20009, u"F9", u"F9"}, {20010, u"Pause", u"Pause"}};
    services_.sounds = {{u"Alarm1", false}, {u"Chime", true}};
  }
  void TearDown() override {
    screen_.reset();
    pw::DestroyWindow(host_);
  }

  void Open(OptionsServices* services) {
    screen_ = std::make_unique<OptionsScreen>(settings_, services);
    ASSERT_NE(screen_->CreateScreen(host_), nullptr);
    Pump();
  }
  // Handles what is queued (the screen counts its notes from the queue).
  static void Pump() {
    pw::MSG msg;
    while (pw::PeekMessage(&msg, nullptr, 0, 0, pw::PM_REMOVE)) {
      pw::TranslateMessage(msg);
      pw::DispatchMessage(msg);
    }
  }
  // Taps a control and handles what follows, pages it opens included, until
  // the script has run.
  void TapAndRun(pw::HWND control) {
    // Pages a fault left open are closed, so it fails instead of hanging.
    for (int i = 0; i < 3; ++i)
      script_.Then([this] {
        if (pw::HWND open = pw::FindWindow(toolkit::kDialogClass))
          pw::PostMessage(open, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
      });
    toolkit::PostClick(control);
    script_.Start();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((!script_.done() || (screen_ && screen_->busy())) && std::chrono::steady_clock::now() < deadline) Pump();
    Pump();
    script_.Clear();
  }
  pw::HWND Item(int id) const { return screen_->GetDlgItem(id); }
  void Select(int id, int index) {
    toolkit::PostUserSelect(Item(id), index);
    Pump();
  }
  bool Shown(int id) const { return pw::IsWindowVisible(Item(id)); }

  ::testing_support::ScopedTestHome home_;
  AppSettings settings_;
  FakeOptionsServices services_;
  UserScript script_;
  RecordingBoxes boxes_;
  pw::HWND host_ = nullptr;
  std::unique_ptr<OptionsScreen> screen_;
};

TEST_F(OptionsScreenTest, UnsentNotesShowOnlyWhileTheChosenModeSendsThem) {
  services_.pending = {3, 700 + 300 + 100};
  Open(&services_);
  EXPECT_EQ(services_.CountOf("Count"), 1) << "counted once the screen is up";
  EXPECT_EQ(pw::GetWindowText(Item(rs::kUnsentLine)), u"3 unsent note(s), size 1KB");
  for (int id : {rs::kUnsentLine, rs::kViewNotesButton, rs::kDeleteAllButton, rs::kResendAllButton})
    EXPECT_TRUE(Shown(id)) << id;
  EXPECT_TRUE(screen_->notes_entries_enabled());

  struct Step {
    int mode_index;
    bool shown;
  } steps[] = {{2, false}, {3, false}, {1, true}, {0, true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.mode_index);
    Select(rs::kModeList, step.mode_index);
    for (int id : {rs::kUnsentLine, rs::kViewNotesButton, rs::kDeleteAllButton, rs::kResendAllButton})
      EXPECT_EQ(Shown(id), step.shown) << id;
    EXPECT_EQ(screen_->notes_entries_enabled(), step.shown);
  }

  // A delivery that changed the notes makes the screen count again.
  services_.pending = {1, 3000};
  pw::PostMessage(*screen_, base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  EXPECT_EQ(pw::GetWindowText(Item(rs::kUnsentLine)), u"1 unsent note(s), size 2KB");
  services_.pending = {1, 100};
  pw::PostMessage(*screen_, base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  EXPECT_EQ(pw::GetWindowText(Item(rs::kUnsentLine)), u"1 unsent note(s), size 1KB") << "never below 1KB";
  services_.pending = {};
  pw::PostMessage(*screen_, base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  EXPECT_FALSE(Shown(rs::kUnsentLine));
  EXPECT_FALSE(screen_->notes_entries_enabled());
}

TEST_F(OptionsScreenTest, TheMenuGreysTheNotesEntriesWhileNoneAreShown) {
  services_.pending = {3, 4096};
  Open(&services_);
  toolkit::CMenuBar bar;
  ASSERT_TRUE(bar.Create(host_, rs::kMainMenuBar));
  const pw::UINT entries[] = {rs::kViewNotesCommand, rs::kDeleteNotesCommand, rs::kResendNotesCommand};
  auto expect_entries = [&](bool enabled) {
    for (pw::UINT command : entries) EXPECT_EQ(bar.IsItemEnabled(command), enabled) << command;
  };
  // A bar made after the screen: greyed as the screen stands once it is given.
  ASSERT_TRUE(bar.EnableItem(rs::kResendNotesCommand, false));
  screen_->set_menu_bar(&bar);
  expect_entries(true);

  services_.pending = {};
  pw::PostMessage(*screen_, base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  expect_entries(false);
  EXPECT_TRUE(bar.IsItemEnabled(rs::kAboutCommand)) << "only the notes entries";
  // A greyed entry chosen anyway sends nothing to the screen.
  std::size_t menu_key = 0;
  while (menu_key < bar.GetKeyCount() && bar.GetKey(menu_key)->popup_id != rs::kMainMenuPopup) ++menu_key;
  ASSERT_LT(menu_key, bar.GetKeyCount());
  services_.calls.clear();
  EXPECT_FALSE(bar.ChoosePopupItem(menu_key, rs::kResendNotesCommand));
  EXPECT_TRUE(services_.calls.empty());

  services_.pending = {2, 4096};
  pw::PostMessage(*screen_, base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  expect_entries(true);
  struct Step {
    int mode_index;
    bool enabled;
  } steps[] = {{2, false}, {0, true}, {3, false}, {1, true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.mode_index);
    Select(rs::kModeList, step.mode_index);
    expect_entries(step.enabled);
  }
  screen_->set_menu_bar(nullptr);
}

TEST_F(OptionsScreenTest, NotesActionsRunFromButtonsAndMenuOnlyWhileNotesAreShown) {
  services_.pending = {2, 4096};
  Open(&services_);
  services_.calls.clear();
  TapAndRun(Item(rs::kViewNotesButton));
  pw::SendMessage(*screen_, pw::WM_COMMAND, rs::kResendNotesCommand, 0);
  EXPECT_EQ(services_.calls, (std::vector<std::string>{"View", "Count", "Resend", "Count"})) << "each recounts";
  services_.calls.clear();
  TapAndRun(Item(rs::kDeleteAllButton));
  EXPECT_EQ(services_.calls, (std::vector<std::string>{"DeleteAll", "Count"}));
  EXPECT_FALSE(Shown(rs::kUnsentLine));
  // Nothing waits now: the menu entries do nothing.
  services_.calls.clear();
  for (auto command : {rs::kViewNotesCommand, rs::kDeleteNotesCommand, rs::kResendNotesCommand})
    pw::SendMessage(*screen_, pw::WM_COMMAND, command, 0);
  EXPECT_TRUE(services_.calls.empty());
  // Notes of a mode that does not send them are not resent either.
  services_.pending = {2, 4096};
  Select(rs::kModeList, 2);
  pw::SendMessage(*screen_, pw::WM_COMMAND, rs::kResendNotesCommand, 0);
  EXPECT_EQ(services_.CountOf("Resend"), 0);
}

TEST_F(OptionsScreenTest, OkTakesTheChoicesAndOffersConversionOnlyForFilesAndActiveSync) {
  struct Case {
    int mode_index;
    std::uint32_t waiting;
    std::string offer;  // "" for none
  } cases[] = {
      {2, 3, "Offer:2"}, {3, 1, "Offer:3"}, {0, 3, ""}, {1, 3, ""}, {2, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode_index);
    settings_ = AppSettings::WithDefaults();
    settings_.notes_send_mode = SendMode::MailServer;
    settings_.launch_hotkey = u"F9";
    settings_.encoding_type = 1;
    settings_.play_sound = true;
    services_.pending = {c.waiting, 2048};
    services_.calls.clear();
    Open(&services_);
    EXPECT_EQ(pw::SendMessage(Item(20009), toolkit::BM_GETCHECK, 0, 0), toolkit::BST_CHECKED);
    Select(rs::kModeList, c.mode_index);
    Select(rs::kEncodingList, 1);  // "Wav"
    Select(rs::kSoundList, 1);     // "Chime", a MIDI file
    toolkit::PostClick(Item(rs::kPlaySoundCheck));
    toolkit::PostClick(Item(20010));  // "Pause"
    Pump();
    screen_->Apply();
    EXPECT_EQ(static_cast<int>(settings_.notes_send_mode), c.mode_index);
    EXPECT_EQ(settings_.encoding_type, 0);
    EXPECT_EQ(settings_.sound_name, u"Chime");
    EXPECT_TRUE(settings_.is_midi);
    EXPECT_FALSE(settings_.play_sound);
    EXPECT_EQ(settings_.launch_hotkey, u"Pause");
    int offers = services_.CountOf("Offer:2") + services_.CountOf("Offer:3");
    if (c.offer.empty()) {
      EXPECT_EQ(offers, 0);
    } else {
      EXPECT_EQ(services_.CountOf(c.offer), 1);
      EXPECT_EQ(offers, 1);
      EXPECT_EQ(static_cast<int>(services_.offered.notes_send_mode), c.mode_index) << "offered with the new mode";
    }
    screen_.reset();
  }
}

TEST_F(OptionsScreenTest, AScreenOpenedInAConvertingModeStillOffersTheWaitingNotes) {
  settings_.notes_send_mode = SendMode::SaveAsFile;
  services_.pending = {2, 2048};
  Open(&services_);
  EXPECT_FALSE(Shown(rs::kUnsentLine));
  screen_->Apply();
  EXPECT_EQ(services_.CountOf("Offer:2"), 1);
}

TEST_F(OptionsScreenTest, WithoutChoicesOkKeepsTheSoundAndTheHotkey) {
  settings_.sound_name = u"Custom";
  settings_.is_midi = true;
  settings_.launch_hotkey = u"F9";
  Open(nullptr);
  EXPECT_FALSE(pw::IsWindowEnabled(Item(rs::kPlayButton)));
  screen_->Apply();
  EXPECT_EQ(settings_.sound_name, u"Custom");
  EXPECT_TRUE(settings_.is_midi);
  EXPECT_EQ(settings_.launch_hotkey, u"F9");
  // A hotkey the list no longer offers is kept too.
  screen_.reset();
  settings_.launch_hotkey = u"<Super>q";
  Open(&services_);
  screen_->Apply();
  EXPECT_EQ(settings_.launch_hotkey, u"<Super>q");
}

TEST_F(OptionsScreenTest, AboutStartsTheUpdateUtilityWhenTheUserAsks) {
  Open(&services_);
  options_testing::RecordingBoxes boxes;
  boxes.answers = {toolkit::IDNO};
  pw::SendMessage(*screen_, pw::WM_COMMAND, rs::kAboutCommand, 0);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_NE(boxes.boxes[0].text.find(u"Version"), std::u16string::npos);
  EXPECT_EQ(services_.CountOf("StartUpdateUtility"), 0);

  boxes.answers = {toolkit::IDYES};
  pw::SendMessage(*screen_, pw::WM_COMMAND, rs::kAboutCommand, 0);
  EXPECT_EQ(services_.CountOf("StartUpdateUtility"), 1);
  EXPECT_EQ(boxes.boxes.size(), 2u) << "nothing more to say when it started";

  // A utility that cannot be started is said, not swallowed.
  services_.update_utility_starts = false;
  boxes.answers = {toolkit::IDYES};
  pw::SendMessage(*screen_, pw::WM_COMMAND, rs::kAboutCommand, 0);
  ASSERT_EQ(boxes.boxes.size(), 4u);
  EXPECT_NE(boxes.boxes[3].text.find(u"corvane-update"), std::u16string::npos);
}

TEST_F(OptionsScreenTest, PlayButtonPlaysTheChosenSoundOnce) {
  settings_.sound_name = u"Alarm1";
  Open(&services_);
  TapAndRun(Item(rs::kPlayButton));
  Select(rs::kSoundList, 1);
  TapAndRun(Item(rs::kPlayButton));
  EXPECT_EQ(services_.CountOf("Play:Alarm1.wav"), 1);
  EXPECT_EQ(services_.CountOf("Play:Chime.mid"), 1);
}

TEST_F(OptionsScreenTest, DetailsOpensThePageOfTheChosenModeAndOnlyOne) {
  const std::u16string titles[] = {u"Send Via SMTP Settings", u"Send Via Corvane Service Settings",
                                   u"Save As File Settings", u"Send Via ActiveSync Settings"};
  Open(&services_);
  for (int mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    Select(rs::kModeList, mode);
    std::u16string title;
    pw::HWND first = nullptr, after_second_tap = nullptr;
    script_.Then([&] {
      first = screen_->open_dialog();
      title = pw::GetWindowText(first);
      // A hurried second tap, and a menu entry, while the page is open.
      toolkit::PostClick(Item(rs::kDetailsButton));
      pw::PostMessage(*screen_, pw::WM_COMMAND, rs::kViewNotesCommand, 0);
    });
    script_.Then([&] {
      after_second_tap = screen_->open_dialog();
      pw::PostMessage(after_second_tap, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
    });
    TapAndRun(Item(rs::kDetailsButton));
    EXPECT_EQ(title, titles[mode]);
    EXPECT_EQ(after_second_tap, first) << "no second page over the first";
    EXPECT_EQ(screen_->open_dialog(), nullptr);
    EXPECT_FALSE(screen_->busy());
  }
}

TEST_F(OptionsScreenTest, APageEndsWithoutStoringWhenTheScreenGoes) {
  Open(&services_);
  const std::u16string subject = settings_.message_subject;
  pw::HWND page = nullptr;
  script_.Then([&] {
    page = screen_->open_dialog();
    toolkit::PostUserText(pw::GetDlgItem(page, rs::kSubjectEdit), u"Typed before the screen went");
  });
  script_.Then([&] { pw::DestroyWindow(*screen_); });
  // Had the page outlived the screen, this OK would store the subject.
  script_.Then([&] {
    if (pw::IsWindow(page)) pw::PostMessage(page, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  TapAndRun(Item(rs::kDetailsButton));
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(pw::IsWindow(page));
  EXPECT_EQ(settings_.message_subject, subject);

  // The screen object itself deleted while its page is open.
  screen_.reset();
  Open(&services_);
  script_.Then([&] {
    page = screen_->open_dialog();
    screen_.reset();
  });
  script_.Then([&] {
    if (pw::IsWindow(page)) pw::PostMessage(page, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  toolkit::PostClick(Item(rs::kDetailsButton));
  script_.Start();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!script_.done() && std::chrono::steady_clock::now() < deadline) Pump();
  Pump();
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(pw::IsWindow(page));
  EXPECT_EQ(settings_.message_subject, subject);
}

TEST_F(OptionsScreenTest, HotkeyButtonsAreKnownAndTheCurrentOneIsChosen) {
  settings_.launch_hotkey = u"";
  Open(&services_);
  EXPECT_EQ(pw::SendMessage(Item(20008), toolkit::BM_GETCHECK, 0, 0), toolkit::BST_CHECKED) << "\"none\"";
  EXPECT_EQ(pw::GetWindowText(Item(20010)), u"Pause");
  EXPECT_TRUE(screen_->IsHotkeyButton(Item(20009)));
  EXPECT_FALSE(screen_->IsHotkeyButton(Item(rs::kDetailsButton)));
  // The notes controls moved below the buttons.
  pw::RECT button{}, line{};
  pw::GetWindowRect(Item(20010), &button);
  pw::GetWindowRect(Item(rs::kUnsentLine), &line);
  EXPECT_GE(line.top, button.bottom);
}

}  // namespace
}  // namespace settings
