// The program's desktop presence as the headless renderer records it: the tray
// icon follows recordings and waiting notes, a tap raises the options screen
// only in the interactive mode, and notifications carry one clean line.

#include "app/desktop_presence.h"

#include <gtest/gtest.h>

#include "delivery/error_report.h"
#include "platform/text.h"
#include "tests/support/test_environment.h"
#include "toolkit/headless_renderer.h"
#include "toolkit/tray.h"

namespace app {
namespace {

using namespace platform;

LRESULT PlainWindow(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

class DesktopPresenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkit::SetRenderer(&renderer_);
    WNDCLASS wc;
    wc.lpfnWndProc = PlainWindow;
    wc.lpszClassName = u"DesktopPresenceTestOwner";
    RegisterClass(wc);
    owner_ = CreateWindowEx(0, wc.lpszClassName, u"Dictalo", 0, 0, 0, 240, 320, nullptr, 0, nullptr);
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override {
    if (owner_) DestroyWindow(owner_);
    toolkit::SetRenderer(nullptr);
  }

  // The one tray icon, or nullptr.
  std::optional<toolkit::TrayIconState> Icon() const {
    auto icons = renderer_.TrayIcons();
    EXPECT_LE(icons.size(), 1u);
    if (icons.empty()) return std::nullopt;
    return icons.front();
  }
  std::string Tooltip() const { return Icon() ? Utf16ToUtf8(Icon()->tooltip) : ""; }
  std::string IconName() const { return Icon() ? Utf16ToUtf8(Icon()->icon) : ""; }

  // Handles what is queued for the owner as the main window does: the
  // presence first.
  int Pump(DesktopPresence& presence) {
    int handled = 0;
    MSG msg;
    while (PeekMessage(&msg, owner_)) {
      if (presence.HandleMessage(msg.message, msg.wParam, msg.lParam))
        ++handled;
      else
        DispatchMessage(msg);
    }
    return handled;
  }

  testing_support::ScopedTestHome home_;
  toolkit::HeadlessRenderer renderer_;
  HWND owner_ = nullptr;
};

TEST_F(DesktopPresenceTest, TheIconFollowsRecordingsAndWaitingNotes) {
  {
    DesktopPresence presence(owner_, true);
    EXPECT_FALSE(Icon()) << "nothing to show at start";
    presence.OnPendingCount(0);
    presence.OnRecordingStopped();  // a stop without a start changes nothing
    EXPECT_FALSE(Icon());

    presence.OnRecordingStarted();
    EXPECT_EQ(IconName(), "dictalo-recording");
    EXPECT_EQ(Tooltip(), "Dictalo: recording");
    EXPECT_EQ(Icon()->callback_message, DesktopPresence::kTrayMessage);

    // A recording stays what the icon shows while notes wait too.
    presence.OnPendingCount(2);
    EXPECT_EQ(IconName(), "dictalo-recording");
    EXPECT_EQ(Tooltip(), "Dictalo: recording, 2 notes waiting to be sent");

    presence.OnRecordingStopped();
    EXPECT_EQ(IconName(), "dictalo-pending");
    EXPECT_EQ(Tooltip(), "Dictalo: 2 notes waiting to be sent");
    presence.OnPendingCount(1);
    EXPECT_EQ(Tooltip(), "Dictalo: 1 note waiting to be sent");
    presence.OnPendingCount(12);
    EXPECT_EQ(Tooltip(), "Dictalo: 12 notes waiting to be sent");

    presence.OnPendingCount(0);
    EXPECT_FALSE(Icon()) << "no recording and nothing waiting: no icon";
    EXPECT_FALSE(presence.icon_shown());

    // Someone else took the icon away (a restarted tray): the next change brings it back.
    presence.OnPendingCount(3);
    ASSERT_TRUE(toolkit::TrayIconDelete(owner_, DesktopPresence::kTrayIconId));
    presence.OnRecordingStarted();
    EXPECT_EQ(IconName(), "dictalo-recording");
  }
  EXPECT_FALSE(Icon()) << "the icon goes with the presence";
}

TEST_F(DesktopPresenceTest, ATapRaisesTheOptionsScreenOnlyInTheInteractiveMode) {
  {
    DesktopPresence record_only(owner_, false);
    record_only.OnRecordingStarted();
    ASSERT_TRUE(renderer_.ClickTrayIcon(owner_, DesktopPresence::kTrayIconId));
    EXPECT_EQ(Pump(record_only), 1) << "the tap is the presence's to handle";
    EXPECT_FALSE(IsWindowVisible(owner_)) << "the resident recorder's window stays hidden";
  }
  DesktopPresence interactive(owner_, true);
  interactive.OnPendingCount(1);
  ASSERT_TRUE(renderer_.ClickTrayIcon(owner_, DesktopPresence::kTrayIconId));
  EXPECT_EQ(Pump(interactive), 1);
  EXPECT_TRUE(IsWindowVisible(owner_));
  EXPECT_EQ(GetForegroundWindow(), owner_);

  // Other messages, and the same number for another icon, are not the presence's.
  EXPECT_FALSE(interactive.HandleMessage(DesktopPresence::kTrayMessage, DesktopPresence::kTrayIconId + 1,
                                         WM_LBUTTONUP));
  EXPECT_FALSE(interactive.HandleMessage(WM_APP, DesktopPresence::kTrayIconId, WM_LBUTTONUP));
}

TEST_F(DesktopPresenceTest, NotificationsSayWhereTheNoteWentInOneCleanLine) {
  DesktopPresence presence(owner_, false);
  using Shown = std::pair<std::string, std::string>;  // title, text
  auto last = [&] {
    auto all = renderer_.Notifications();
    return all.empty() ? Shown{} : Shown{Utf16ToUtf8(all.back().title), Utf16ToUtf8(all.back().text)};
  };

  presence.OnNoteOutcome(NoteOutcomeKind::kSent, u"");
  EXPECT_EQ(last(), (Shown{"Note sent", "Your voice note was sent."}));
  presence.OnNoteOutcome(NoteOutcomeKind::kSaved, u"Saved as Memo 12.05 10.30.ogg");
  EXPECT_EQ(last(), (Shown{"Note saved", "Saved as Memo 12.05 10.30.ogg"}));

  // A failure shows the report's first line only.
  std::string report = delivery::FormatErrorReport(0x80C3021Du, "535 5.7.8 Authentication failed", "127.0.0.1",
                                                   "SMTP", 28650, false);
  ASSERT_NE(report.find('\n'), std::string::npos);
  presence.OnNoteOutcome(NoteOutcomeKind::kNotSent, Utf8ToUtf16(report));
  EXPECT_EQ(last().first, "Note could not be sent");
  EXPECT_EQ(last().second, report.substr(0, report.find('\n')));
  presence.OnNoteOutcome(NoteOutcomeKind::kNotSent, u"");
  EXPECT_EQ(last().second, "Your voice note is kept with the unsent notes.");

  // What a hostile server put into its reply: control characters become blanks,
  // and a very long line is cut, never inside a character.
  presence.OnNoteOutcome(NoteOutcomeKind::kNotSent, u"550 \x1b[31mred\x07\tbell\rhidden second line");
  EXPECT_EQ(last().second, "550  [31mred  bell");
  std::u16string long_line(DesktopPresence::kMaxLineLength - 2, u'x');
  long_line += u"\U0001F399\U0001F399 and more";
  presence.OnNoteOutcome(NoteOutcomeKind::kNotSent, long_line);
  std::u16string shown = Utf8ToUtf16(last().second);
  EXPECT_LE(shown.size(), DesktopPresence::kMaxLineLength);
  EXPECT_EQ(shown.back(), u'\u2026');
  EXPECT_EQ(shown, std::u16string(DesktopPresence::kMaxLineLength - 2, u'x') + u"\u2026")
      << "the pair that does not fit whole is left out whole";
}

}  // namespace
}  // namespace app
