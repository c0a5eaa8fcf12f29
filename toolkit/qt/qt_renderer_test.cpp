// The desktop renderer with a dialog on a program thread: what the user does in
// the widgets arrives in the dialog procedure as the messages a user's action
// makes, what the program changes shows in the widgets without coming back as
// input, and typing never loses a character to a late report.

#include "toolkit/qt/qt_renderer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/ce_icon_button.h"
#include "toolkit/ce_label_edit.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/display.h"
#include "toolkit/menu_bar.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"
#include "toolkit/qt/tray_area.h"
#include "toolkit/resources.h"

namespace toolkit::qt {
namespace {

using namespace platform;
using testing::ProgramThread;
using testing::ScopedQtRenderer;
using testing::WaitFor;

constexpr UINT kDialog = 9301;
constexpr int kLabel = 11, kLink = 12, kOwnerDrawn = 13, kAutoCheck = 14, kPlainCheck = 15, kProgress = 16,
              kEdit = 17, kCombo = 18, kSlider = 19, kMemo = 20;

// What reached the dialog procedure, readable from the test thread.
struct Log {
  std::mutex mu;
  std::vector<std::pair<int, int>> commands;  // (id, notification)
  std::vector<int> scroll_positions;
  std::atomic<int> closes{0};
  // Blocks the EN_CHANGE of this text until released (the typing race).
  std::u16string hold_text;
  bool holding = false;
  bool released = false;
  std::condition_variable cv;

  int Count(int id, int code) {
    std::lock_guard lock(mu);
    int n = 0;
    for (auto& c : commands) n += c.first == id && c.second == code;
    return n;
  }
};
Log* g_log = nullptr;

LRESULT RecordingProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return 1;
    case WM_COMMAND: {
      int id = LOWORD(wparam), code = HIWORD(wparam);
      std::unique_lock lock(g_log->mu);
      g_log->commands.emplace_back(id, code);
      if (id == kEdit && code == static_cast<int>(EN_CHANGE) && !g_log->hold_text.empty() &&
          GetWindowText(GetDlgItem(dialog, kEdit)) == g_log->hold_text) {
        g_log->holding = true;
        g_log->cv.notify_all();
        g_log->cv.wait(lock, [] { return g_log->released; });
      }
      return 1;
    }
    case WM_HSCROLL: {
      std::lock_guard lock(g_log->mu);
      if (LOWORD(wparam) == TB_THUMBPOSITION) g_log->scroll_positions.push_back(HIWORD(wparam));
      return 1;
    }
    case WM_CLOSE:
      ++g_log->closes;
      return 1;  // the dialog stays: the program decides
    default:
      return 0;
  }
}

void AddDialog() {
  DialogTemplate d;
  d.title = u"Mirror";
  d.x = 10;
  d.y = 20;
  d.width = 240;
  d.height = 200;
  d.style = WS_POPUP | WS_VISIBLE;
  auto c = [](std::u16string_view cls, int id, std::u16string text, RECT r, DWORD style) {
    return ControlTemplate{std::u16string(cls), id, std::move(text), r, style | WS_VISIBLE, 0};
  };
  d.controls = {
      c(kStaticClass, kLabel, u"Status", RECT{4, 4, 236, 20}, SS_LEFT),
      c(kStaticClass, kLink, u"Details", RECT{4, 22, 100, 38}, SS_NOTIFY),
      c(kEditClass, kEdit, u"", RECT{4, 40, 236, 60}, WS_TABSTOP),
      c(kComboBoxClass, kCombo, u"", RECT{4, 62, 236, 82}, CBS_DROPDOWNLIST | WS_TABSTOP),
      c(kButtonClass, kAutoCheck, u"Auto", RECT{4, 84, 120, 100}, BS_AUTOCHECKBOX | WS_TABSTOP),
      c(kButtonClass, kPlainCheck, u"Plain", RECT{120, 84, 236, 100}, BS_CHECKBOX | WS_TABSTOP),
      c(kTrackbarClass, kSlider, u"", RECT{4, 102, 236, 122}, WS_TABSTOP),
      c(kProgressClass, kProgress, u"", RECT{4, 124, 236, 134}, 0),
      c(kButtonClass, kOwnerDrawn, u"Stop && Send", RECT{4, 140, 80, 190}, BS_OWNERDRAW | WS_TABSTOP),
      c(kButtonClass, IDOK, u"OK", RECT{90, 160, 160, 190}, BS_DEFPUSHBUTTON | WS_TABSTOP),
      c(kButtonClass, IDCANCEL, u"Cancel", RECT{166, 160, 236, 190}, BS_PUSHBUTTON | WS_TABSTOP),
      c(kEditClass, kMemo, u"", RECT{90, 136, 236, 158}, ES_MULTILINE | WS_TABSTOP),
  };
  AddDialogTemplate(kDialog, d);
}

class QtRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log_;
    AddDialog();
    dialog_ = program_.Call([this] {
      HWND d = CreateDialogParamW(kDialog, nullptr, RecordingProc, 0);
      program_.AddDialog(d);
      HWND combo = GetDlgItem(d, kCombo);
      for (const char16_t* item : {u"Work", u"The Internet", u"None"})
        SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      SendMessage(GetDlgItem(d, kSlider), TBM_SETRANGE, 0, MAKELPARAM(0, 10));
      return d;
    });
    ASSERT_NE(dialog_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Widget<QWidget>(IDCANCEL) && Widget<QWidget>(0)->isVisible(); }));
  }
  void TearDown() override {
    program_.Call([this] { return IsWindow(dialog_) && DestroyWindow(dialog_); });
    g_log = nullptr;
  }

  // The widget of a control (0: the dialog's own).
  template <typename W>
  W* Widget(int id) {
    HWND hwnd = id ? program_.Call([&] { return GetDlgItem(dialog_, id); }) : dialog_;
    return qobject_cast<W*>(qt_.renderer().WidgetFor(hwnd));
  }
  LRESULT SendToControl(int id, UINT msg, WPARAM wparam, LPARAM lparam) {
    return program_.Call([&] { return SendMessage(GetDlgItem(dialog_, id), msg, wparam, lparam); });
  }
  std::u16string ProgramText(int id) {
    return program_.Call([&] { return GetWindowText(GetDlgItem(dialog_, id)); });
  }
  // Lets queued reports from the program reach the widgets.
  void Settle() {
    program_.Call([] { return 0; });
    QCoreApplication::processEvents();
  }

  testing_support::ScopedTestHome home_;
  Log log_;
  ScopedQtRenderer qt_;
  ProgramThread program_;
  HWND dialog_ = nullptr;
};

TEST_F(QtRendererTest, ClicksComeBackAsTheCommandsOfTheClickedControls) {
  QTest::mouseClick(Widget<QPushButton>(kOwnerDrawn), Qt::LeftButton);
  emit Widget<QLabel>(kLink)->linkActivated(QStringLiteral("#"));
  ASSERT_TRUE(WaitFor([&] { return log_.Count(kOwnerDrawn, BN_CLICKED) == 1 && log_.Count(kLink, STN_CLICKED) == 1; }));

  // A check box the program checks itself shows what the program makes of a
  // click, not Qt's own toggle.
  auto* plain = Widget<QCheckBox>(kPlainCheck);
  QTest::mouseClick(plain, Qt::LeftButton, {}, QPoint(4, plain->height() / 2));
  ASSERT_TRUE(WaitFor([&] { return log_.Count(kPlainCheck, BN_CLICKED) == 1; }));
  Settle();
  EXPECT_FALSE(plain->isChecked());
  SendToControl(kPlainCheck, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_TRUE(WaitFor([&] { return plain->isChecked(); }));

  auto* automatic = Widget<QCheckBox>(kAutoCheck);
  QTest::mouseClick(automatic, Qt::LeftButton, {}, QPoint(4, automatic->height() / 2));
  ASSERT_TRUE(WaitFor([&] { return log_.Count(kAutoCheck, BN_CLICKED) == 1; }));
  EXPECT_EQ(SendToControl(kAutoCheck, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
  Settle();
  EXPECT_TRUE(automatic->isChecked());
  EXPECT_EQ(log_.Count(kAutoCheck, BN_CLICKED), 1);
}

TEST_F(QtRendererTest, ProgramChangesShowWithoutComingBackAsInput) {
  program_.Call([&] {
    SetWindowText(GetDlgItem(dialog_, kLabel), u"Recording: 00:05, 12KB");
    SetWindowText(GetDlgItem(dialog_, kEdit), u"smtp.example.org");
    SendMessage(GetDlgItem(dialog_, kCombo), CB_SETCURSEL, 2, 0);
    SendMessage(GetDlgItem(dialog_, kSlider), TBM_SETPOS, 1, 7);
    SendMessage(GetDlgItem(dialog_, kProgress), PBM_SETRANGE32, 0, 4096);
    SendMessage(GetDlgItem(dialog_, kProgress), PBM_SETPOS, 512, 0);
    ShowWindow(GetDlgItem(dialog_, kLink), SW_HIDE);
    EnableWindow(GetDlgItem(dialog_, IDOK), false);
    MoveWindow(GetDlgItem(dialog_, IDCANCEL), 100, 50, 60, 30, true);
    SendMessage(GetDlgItem(dialog_, kEdit), EM_SETREADONLY, 1, 0);
    return 0;
  });
  Settle();
  EXPECT_EQ(Widget<QLabel>(kLabel)->text(), QStringLiteral("Recording: 00:05, 12KB"));
  EXPECT_EQ(Widget<QLineEdit>(kEdit)->text(), QStringLiteral("smtp.example.org"));
  EXPECT_TRUE(Widget<QLineEdit>(kEdit)->isReadOnly());
  EXPECT_EQ(Widget<QComboBox>(kCombo)->currentText(), QStringLiteral("None"));
  EXPECT_EQ(Widget<QSlider>(kSlider)->value(), 7);
  EXPECT_EQ(Widget<QProgressBar>(kProgress)->maximum(), 4096);
  EXPECT_EQ(Widget<QProgressBar>(kProgress)->value(), 512);
  EXPECT_FALSE(Widget<QLabel>(kLink)->isVisibleTo(Widget<QWidget>(0)));
  EXPECT_FALSE(Widget<QPushButton>(IDOK)->isEnabled());
  double scale = qt_.renderer().DpiScale();
  EXPECT_EQ(Widget<QPushButton>(IDCANCEL)->geometry(),
            QRect(qRound(100 * scale), qRound(50 * scale), qRound(160 * scale) - qRound(100 * scale),
                  qRound(80 * scale) - qRound(50 * scale)));

  // Only the program's own text change notified; nothing came back from the widgets.
  Settle();
  EXPECT_EQ(log_.Count(kEdit, EN_CHANGE), 1);
  EXPECT_EQ(log_.Count(kCombo, CBN_SELCHANGE), 0);
  std::lock_guard lock(log_.mu);
  EXPECT_TRUE(log_.scroll_positions.empty());
}

TEST_F(QtRendererTest, TypingChoosingAndSlidingComeBackOnceEach) {
  auto* edit = Widget<QLineEdit>(kEdit);
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("25"));
  ASSERT_TRUE(WaitFor([&] { return ProgramText(kEdit) == u"25"; }));
  EXPECT_EQ(log_.Count(kEdit, EN_CHANGE), 2);

  auto* combo = Widget<QComboBox>(kCombo);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  ASSERT_TRUE(WaitFor([&] { return SendToControl(kCombo, CB_GETCURSEL, 0, 0) == 0; }));
  Settle();
  EXPECT_EQ(log_.Count(kCombo, CBN_SELCHANGE), 1);
  EXPECT_EQ(combo->currentIndex(), 0);

  auto* slider = Widget<QSlider>(kSlider);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  ASSERT_TRUE(WaitFor([&] { return SendToControl(kSlider, TBM_GETPOS, 0, 0) == 1; }));
  Settle();
  std::lock_guard lock(log_.mu);
  EXPECT_EQ(log_.scroll_positions, std::vector<int>{1});
}

// The report of "a" reaches the field after "ab" was typed: the field must keep
// "ab", so the "c" typed next makes "abc", not "ac".
TEST_F(QtRendererTest, ALateReportOfTypedTextLosesNoCharacter) {
  {
    std::lock_guard lock(log_.mu);
    log_.hold_text = u"ab";
  }
  auto* edit = Widget<QLineEdit>(kEdit);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A);
  QTest::keyClick(edit, Qt::Key_B);
  {
    // Not processing Qt events meanwhile: the program holds inside "ab".
    std::unique_lock lock(log_.mu);
    ASSERT_TRUE(log_.cv.wait_for(lock, std::chrono::seconds(10), [&] { return log_.holding; }));
  }
  QCoreApplication::processEvents();  // the report of "a" arrives
  QTest::keyClick(edit, Qt::Key_C);
  {
    std::lock_guard lock(log_.mu);
    log_.released = true;
    log_.cv.notify_all();
  }
  ASSERT_TRUE(WaitFor([&] { return ProgramText(kEdit) == u"abc"; }, std::chrono::seconds(5)))
      << "program has \"" << QString::fromStdU16String(ProgramText(kEdit)).toStdString() << "\"";
  Settle();
  EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

// Enter in a multi-line field makes a line break there, and typing goes on
// after it, not at the start of the field.
TEST_F(QtRendererTest, TypingGoesOnAfterALineBreakTheFieldMade) {
  auto* memo = Widget<QPlainTextEdit>(kMemo);
  memo->setFocus(Qt::MouseFocusReason);
  HWND memo_hwnd = program_.Call([&] { return GetDlgItem(dialog_, kMemo); });
  ASSERT_TRUE(WaitFor([&] { return program_.Call([&] { return GetDialogFocus(dialog_); }) == memo_hwnd; }));
  QTest::keyClicks(memo, QStringLiteral("ab"));
  ASSERT_TRUE(WaitFor([&] { return ProgramText(kMemo) == u"ab"; }));
  QTest::keyClick(memo, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return ProgramText(kMemo) == u"ab\r\n"; }));
  Settle();
  QTest::keyClick(memo, Qt::Key_C);
  ASSERT_TRUE(WaitFor([&] { return ProgramText(kMemo) == u"ab\r\nc"; }, std::chrono::seconds(3)))
      << QString::fromStdU16String(ProgramText(kMemo)).toStdString();
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("ab\nc"));
}

TEST_F(QtRendererTest, EnterEscapeAndClosingGoToTheDialog) {
  auto* edit = Widget<QLineEdit>(kEdit);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return log_.Count(IDOK, BN_CLICKED) == 1; }));
  QTest::keyClick(edit, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return log_.Count(IDCANCEL, BN_CLICKED) == 1; }));

  // The focus the user moves is the dialog's focus, so Enter presses the
  // focused push button rather than the default one.
  auto* cancel = Widget<QPushButton>(IDCANCEL);
  cancel->setFocus(Qt::TabFocusReason);
  HWND cancel_hwnd = program_.Call([&] { return GetDlgItem(dialog_, IDCANCEL); });
  ASSERT_TRUE(WaitFor([&] { return program_.Call([&] { return GetDialogFocus(dialog_); }) == cancel_hwnd; }));
  QTest::keyClick(cancel, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return log_.Count(IDCANCEL, BN_CLICKED) == 2; }));
  EXPECT_EQ(log_.Count(IDOK, BN_CLICKED), 1);

  QWidget* window = Widget<QWidget>(0);
  window->close();
  ASSERT_TRUE(WaitFor([&] { return log_.closes.load() == 1; }));
  // The program kept its dialog, so the window stays.
  Settle();
  EXPECT_TRUE(window->isVisible());

  program_.Call([&] { return DestroyWindow(dialog_); });
  EXPECT_TRUE(WaitFor([&] { return qt_.renderer().WidgetFor(dialog_) == nullptr; }));
}

// ---- soft keys and the tray, on a window of their own ----

constexpr UINT kBar = 9310, kPopupKey = 9311, kSendKey = 9312, kChoiceOne = 9313, kChoiceTwo = 9314;
constexpr UINT kTrayMessage = WM_APP + 7;

struct OwnerLog {
  std::mutex mu;
  std::vector<std::pair<UINT, WPARAM>> seen;  // (message, wParam)
  std::vector<LPARAM> tray_lparams;
};
OwnerLog* g_owner = nullptr;

LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_COMMAND || msg == kTrayMessage) {
    std::lock_guard lock(g_owner->mu);
    g_owner->seen.emplace_back(msg, wparam);
    if (msg == kTrayMessage) g_owner->tray_lparams.push_back(lparam);
    return 0;
  }
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

TEST(QtRendererWindowTest, SoftKeysSendTheirCommandsAndAPopupKeyOpensItsMenu) {
  testing_support::ScopedTestHome home;
  OwnerLog log;
  g_owner = &log;
  ScopedQtRenderer qt;
  ProgramThread program;
  MenuBarResource bar;
  bar.keys = {SoftKeyResource{u"Send", kSendKey, 0, {}},
              SoftKeyResource{u"Menu", 0, kPopupKey, {{u"One", kChoiceOne}, {u"", 0}, {u"Two", kChoiceTwo}}}};
  AddMenuBar(kBar, bar);
  auto menu_bar = std::make_shared<CMenuBar>();
  HWND owner = program.Call([&] {
    WNDCLASS wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"QtSoftKeyOwner";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtSoftKeyOwner", u"Keys", WS_POPUP | WS_VISIBLE, 0, 0, 240, 120, nullptr, 0, nullptr);
    menu_bar->Create(w, kBar);
    return w;
  });
  HWND send_key = program.Call([&] { return menu_bar->GetKeyWindow(0); });
  HWND popup_key = program.Call([&] { return menu_bar->GetKeyWindow(1); });
  auto* send = qobject_cast<QPushButton*>(qt.WaitForWidget(send_key));
  auto* popup = qobject_cast<QPushButton*>(qt.WaitForWidget(popup_key));
  ASSERT_TRUE(send && popup);
  // The bar sits along the bottom of its window.
  QWidget* window = qt.WaitForWidget(owner);
  EXPECT_EQ(send->mapTo(window, QPoint(0, send->height())).y(), window->height());

  QTest::mouseClick(send, Qt::LeftButton);
  QTest::mouseClick(popup, Qt::LeftButton);
  QMenu* menu = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }));
  ASSERT_EQ(menu->actions().size(), 3);
  EXPECT_TRUE(menu->actions()[1]->isSeparator());
  menu->actions()[2]->trigger();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(log.mu);
    return log.seen.size() == 2;
  }));
  {
    std::lock_guard lock(log.mu);
    EXPECT_EQ(log.seen[0], std::make_pair(static_cast<UINT>(WM_COMMAND), static_cast<WPARAM>(kSendKey)));
    EXPECT_EQ(log.seen[1], std::make_pair(static_cast<UINT>(WM_COMMAND), static_cast<WPARAM>(kChoiceTwo)));
  }

  // A click on the tray icon tells the owner, with the icon's id.
  qt.renderer().OnTrayIcon(TrayIconState{owner, 3, kTrayMessage, u"dictalo-recording", u"Recording"});
  QSystemTrayIcon* icon = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (icon = qt.renderer().Tray().IconFor(owner, 3)) != nullptr; }));
  EXPECT_EQ(icon->toolTip(), QStringLiteral("Recording"));
  emit icon->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(log.mu);
    return log.seen.size() == 3;
  }));
  {
    std::lock_guard lock(log.mu);
    EXPECT_EQ(log.seen[2], std::make_pair(kTrayMessage, static_cast<WPARAM>(3)));
    EXPECT_EQ(log.tray_lparams, std::vector<LPARAM>{WM_LBUTTONUP});
  }
  qt.renderer().OnTrayIconRemoved(owner, 3);
  EXPECT_TRUE(WaitFor([&] { return qt.renderer().Tray().IconFor(owner, 3) == nullptr; }));

  // A greyed item shows disabled, and even a direct trigger of it sends nothing.
  menu->close();
  ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
  auto open_menu = [&]() -> QMenu* {
    // The bar's change was queued before Call returned: take it in first.
    QCoreApplication::processEvents();
    QTest::mouseClick(popup, Qt::LeftButton);
    QMenu* shown = nullptr;
    WaitFor([&] { return (shown = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; });
    return shown;
  };
  ASSERT_TRUE(program.Call([&] { return menu_bar->EnableItem(kChoiceTwo, false); }));
  menu = open_menu();
  ASSERT_TRUE(menu);
  ASSERT_EQ(menu->actions().size(), 3);
  EXPECT_TRUE(menu->actions()[0]->isEnabled());
  EXPECT_FALSE(menu->actions()[2]->isEnabled());
  EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("Two"));
  menu->actions()[2]->trigger();
  menu->actions()[0]->trigger();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(log.mu);
    return log.seen.size() == 4;
  }));
  {
    // Posted in order: had the greyed item sent its command, it would come first.
    std::lock_guard lock(log.mu);
    EXPECT_EQ(log.seen[3], std::make_pair(static_cast<UINT>(WM_COMMAND), static_cast<WPARAM>(kChoiceOne)));
  }
  menu->close();
  ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
  // Ungreyed, it is usable again.
  ASSERT_TRUE(program.Call([&] { return menu_bar->EnableItem(kChoiceTwo, true); }));
  menu = open_menu();
  ASSERT_TRUE(menu);
  ASSERT_EQ(menu->actions().size(), 3);
  EXPECT_TRUE(menu->actions()[2]->isEnabled());
  menu->close();

  program.Call([&] {
    menu_bar.reset();
    return DestroyWindow(owner);
  });
  g_owner = nullptr;
}

// An icon button bar shows one tool button per icon button; a tap comes back
// as the bar's click, and the program's changes show.
TEST(QtRendererWindowTest, IconButtonsShowAndTheirTapsComeBack) {
  testing_support::ScopedTestHome home;
  OwnerLog log;
  g_owner = &log;
  ScopedQtRenderer qt;
  ProgramThread program;
  auto bar = std::make_shared<CeIconButton>();
  HWND bar_hwnd = program.Call([&] {
    WNDCLASS wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"QtIconBarOwner";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtIconBarOwner", u"Bar", WS_POPUP | WS_VISIBLE, 0, 0, 240, 60, nullptr, 0, nullptr);
    HWND b = bar->Create(w, 77, RECT{0, 0, 240, 40});
    CeIconButtonBase record;
    record.id = 901;
    record.icon = u"media-record";
    record.text = u"Record";
    record.tooltip = u"Start a note";
    CeIconButtonBase send = record;
    send.id = 902;
    send.order = 1;
    send.text = u"Send";
    send.checkable = true;
    bar->AddButton(record);
    bar->AddButton(send);
    return b;
  });
  QWidget* bar_widget = qt.WaitForWidget(bar_hwnd);
  ASSERT_NE(bar_widget, nullptr);
  QList<QToolButton*> buttons;
  ASSERT_TRUE(WaitFor([&] { return (buttons = bar_widget->findChildren<QToolButton*>()).size() == 2; }));
  EXPECT_EQ(buttons[0]->text(), QStringLiteral("Record"));
  EXPECT_EQ(buttons[0]->toolTip(), QStringLiteral("Start a note"));
  EXPECT_TRUE(buttons[1]->isCheckable());
  EXPECT_GT(buttons[1]->geometry().left(), buttons[0]->geometry().left());

  QTest::mouseClick(buttons[1], Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(log.mu);
    return log.seen.size() == 1;
  }));
  {
    std::lock_guard lock(log.mu);
    EXPECT_EQ(log.seen[0], std::make_pair(static_cast<UINT>(WM_COMMAND), MAKEWPARAM(902, BN_CLICKED)));
  }
  EXPECT_TRUE(program.Call([&] { return bar->GetButton(902)->checked; }));
  program.Call([&] { return bar->EnableButton(901, false); });
  EXPECT_TRUE(WaitFor([&] { return !buttons[0]->isEnabled(); }));
  EXPECT_TRUE(buttons[1]->isChecked());

  program.Call([&] {
    HWND owner = GetParent(bar_hwnd);
    bar.reset();
    return DestroyWindow(owner);
  });
  g_owner = nullptr;
}

// A label edit shows its value as a label; a tap on it opens the program's
// edit field over it.
TEST(QtRendererWindowTest, ATapOpensALabelEditsField) {
  testing_support::ScopedTestHome home;
  OwnerLog log;
  g_owner = &log;
  ScopedQtRenderer qt;
  ProgramThread program;
  auto label = std::make_shared<CeLabelEdit>();
  HWND label_hwnd = program.Call([&] {
    WNDCLASS wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"QtLabelEditOwner";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtLabelEditOwner", u"Label", WS_POPUP | WS_VISIBLE, 0, 0, 240, 60, nullptr, 0, nullptr);
    return label->Create(w, 88, RECT{4, 4, 200, 24}, CeLabelEdit::TYPE_TEXT, u"smtp.example.org");
  });
  auto* shown = qobject_cast<QLabel*>(qt.WaitForWidget(label_hwnd));
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(WaitFor([&] { return shown->text() == QStringLiteral("smtp.example.org"); }));
  QTest::mouseClick(shown, Qt::LeftButton);
  QLineEdit* field = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (field = shown->findChild<QLineEdit*>()) != nullptr && field->isVisible(); }));
  EXPECT_EQ(field->text(), QStringLiteral("smtp.example.org"));
  program.Call([&] {
    HWND owner = GetParent(label_hwnd);
    label.reset();
    return DestroyWindow(owner);
  });
  g_owner = nullptr;
}

// A popup dialog stays above its owner; the owner disabled while the dialog
// runs leaves the dialog usable.
TEST(QtRendererWindowTest, AnOwnedDialogStaysAboveItsDisabledOwner) {
  testing_support::ScopedTestHome home;
  OwnerLog log;
  g_owner = &log;
  AddDialog();
  ScopedQtRenderer qt;
  ProgramThread program;
  auto [owner, dialog] = program.Call([&] {
    WNDCLASS wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"QtDialogOwner";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtDialogOwner", u"Owner", WS_POPUP | WS_VISIBLE, 0, 0, 240, 294, nullptr, 0, nullptr);
    HWND d = CreateDialogParamW(kDialog, w, testing::PassiveDialogProc, 0);
    EnableWindow(w, false);
    return std::make_pair(w, d);
  });
  QWidget* owner_widget = qt.WaitForWidget(owner);
  QWidget* dialog_widget = qt.WaitForWidget(dialog);
  ASSERT_TRUE(owner_widget && dialog_widget);
  ASSERT_TRUE(WaitFor([&] { return !owner_widget->isEnabled() && dialog_widget->isVisible(); }));
  EXPECT_TRUE(dialog_widget->isEnabled());
  ASSERT_NE(dialog_widget->windowHandle(), nullptr);
  EXPECT_EQ(dialog_widget->windowHandle()->transientParent(), owner_widget->windowHandle());
  program.Call([&] { return DestroyWindow(dialog) && DestroyWindow(owner); });
  g_owner = nullptr;
}

// The program places a window at the bottom of the work area it was told of;
// the widget sits at the bottom of the screen's available area.
TEST(QtRendererWindowTest, AWindowAtTheBottomOfTheWorkAreaSitsAtTheBottomOfTheScreen) {
  testing_support::ScopedTestHome home;
  ScopedQtRenderer qt;
  PublishDisplayMetrics(qt.renderer().DpiScale());
  ProgramThread program;
  HWND window = program.Call([] {
    WNDCLASS wc;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"QtBottomProbe";
    RegisterClass(wc);
    RECT work{};
    EXPECT_TRUE(GetWorkArea(&work));
    return CreateWindowEx(0, u"QtBottomProbe", u"Status", WS_POPUP | WS_VISIBLE, work.left, work.bottom - 162,
                          work.right - work.left, 162, nullptr, 0, nullptr);
  });
  QWidget* widget = qt.WaitForWidget(window);
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(WaitFor([&] { return widget->isVisible(); }));
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_NEAR(widget->geometry().bottom(), available.bottom(), 2);
  EXPECT_NEAR(widget->geometry().width(), available.width(), 2);
  EXPECT_NEAR(widget->geometry().height(), 162 * qt.renderer().DpiScale(), 2);
  program.Call([&] { return DestroyWindow(window); });
  SetDisplayMetrics(DisplayMetrics{});
}

TEST(QtRendererWindowTest, ANotificationWithoutASessionBusNeitherBlocksNorFails) {
  testing_support::ScopedTestHome home;  // XDG_RUNTIME_DIR without a bus socket
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  std::string saved_value = saved ? saved : "";
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_FALSE(SessionBusConfigured());
  {
    ScopedQtRenderer qt;
    auto started = std::chrono::steady_clock::now();
    qt.renderer().ShowNotification(u"Dictalo", u"Your note was sent.");
    ASSERT_TRUE(WaitFor([&] { return qt.renderer().Tray().LastRoute() != TrayArea::Route::kNone; }));
    EXPECT_EQ(qt.renderer().Tray().LastRoute(), TrayArea::Route::kDropped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  }
  if (saved) ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_value.c_str(), 1);
}

}  // namespace
}  // namespace toolkit::qt
