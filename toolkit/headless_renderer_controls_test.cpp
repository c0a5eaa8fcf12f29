// The headless renderer and the common controls: the dump lines of fields,
// lists, sliders, list and tree views and tabs (a password never in clear),
// tray icons and notifications, and the scripted file dialogs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_environment.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/headless_renderer.h"
#include "toolkit/tray.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr UINT kTrayCallback = WM_APP + 7;

class TrayOwner : public CeWnd {
 public:
  std::vector<std::string> calls;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override {
    if (msg != kTrayCallback) return 0;
    calls.push_back("tray " + std::to_string(wparam) + " " + std::to_string(lparam));
    handled = true;
    return 0;
  }
};

class HeadlessControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterControlClasses();
    dump_ = home_.root() / "ui.txt";
    SetRenderer(&renderer_);
    ASSERT_TRUE(CeWnd::RegisterClassW(u"Window", 0, 0, 0, 0, 0, 0, u""));
    window_ = owner_.Create(CeWnd::ClassName(u"Window"), u"Options", WS_VISIBLE, 0, 0, 240, 320, nullptr, 0);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    SetRenderer(nullptr);
  }
  HWND Make(std::u16string_view cls, int id, DWORD style, std::u16string_view text = u"") {
    return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, window_,
                          static_cast<UINT>(id), nullptr);
  }
  static void Pump() {
    MSG msg;
    while (PeekMessage(&msg)) DispatchMessage(msg);
  }
  std::string Dump() { return testing_support::ReadFileBytes(dump_); }

  testing_support::ScopedTestHome home_;
  std::filesystem::path dump_;
  HeadlessRenderer renderer_{(home_.root() / "ui.txt").string()};
  TrayOwner owner_;
  HWND window_ = nullptr;
};

TEST_F(HeadlessControlsTest, DumpLinesOfTheCommonControls) {
  HWND user = Make(kEditClass, 1, 0, u"jane");
  HWND password = Make(kEditClass, 2, ES_PASSWORD, u"pässwörd");
  HWND combo = Make(kComboBoxClass, 3, CBS_DROPDOWNLIST);
  HWND slider = Make(kTrackbarClass, 4, 0);
  HWND list = Make(kListBoxClass, 5, 0);
  HWND view = Make(kListViewClass, 6, LVS_REPORT | LVS_SINGLESEL);
  HWND tabs = Make(kTabControlClass, 7, 0);
  HWND tree = Make(kTreeViewClass, 8, 0);

  SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Plain"));
  SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"SSL \"v3\""));
  SendMessage(combo, CB_SETCURSEL, 1, 0);
  SendMessage(slider, TBM_SETRANGE, 0, MAKELPARAM(1, 10));
  SendMessage(slider, TBM_SETPOS, 0, 4);
  SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"outbox"));
  LVCOLUMNW column{LVCF_TEXT, 0, 100, u"Subject"};
  SendMessage(view, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  column.pszText = u"Size";
  SendMessage(view, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  std::u16string subject = u"Note 1", size = u"3 KB";
  LVITEMW row;
  row.mask = LVIF_TEXT;
  row.pszText = subject.data();
  SendMessage(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
  row.iSubItem = 1;
  row.pszText = size.data();
  SendMessage(view, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&row));
  std::u16string general = u"General";
  TCITEMW tab;
  tab.mask = TCIF_TEXT;
  tab.pszText = general.data();
  SendMessage(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
  std::u16string folders = u"Folders", inbox = u"Inbox";
  TVINSERTSTRUCTW in;
  in.item.mask = TVIF_TEXT;
  in.item.pszText = folders.data();
  auto top = static_cast<HTREEITEM>(SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in)));
  in.hParent = top;
  in.item.pszText = inbox.data();
  auto child = static_cast<HTREEITEM>(SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in)));
  SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(child));

  PostUserSelect(view, 0);
  PostUserFocus(user);
  Pump();

  std::string dump = Dump();
  EXPECT_THAT(dump, HasSubstr("  control id=1 class=\"EDIT\" text=\"jane\" visible=1 enabled=1 password=0 readonly=0 "
                              "focused=1 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=2 class=\"EDIT\" text=\"********\" visible=1 enabled=1 password=1 "
                              "readonly=0 focused=0 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=3 class=\"COMBOBOX\" text=\"SSL \\\"v3\\\"\" visible=1 enabled=1 "
                              "items=[\"Plain\",\"SSL \\\"v3\\\"\"] selected=1 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=4 class=\"msctls_trackbar32\" text=\"\" visible=1 enabled=1 range=1,10 "
                              "pos=4 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=5 class=\"LISTBOX\" text=\"\" visible=1 enabled=1 items=[\"outbox\"] "
                              "selected=-1 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=6 class=\"SysListView32\" text=\"\" visible=1 enabled=1 "
                              "columns=[\"Subject\",\"Size\"] rows=[[\"Note 1\",\"3 KB\"]] selected=0 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=7 class=\"SysTabControl32\" text=\"\" visible=1 enabled=1 "
                              "tabs=[\"General\"] current=0 rect=0,0,100,20\n"));
  EXPECT_THAT(dump, HasSubstr("  control id=8 class=\"SysTreeView32\" text=\"\" visible=1 enabled=1 "
                              "items=[0:\"Folders\"+,1:\"Inbox\"] selected=1 rect=0,0,100,20\n"));

  // The password is never written, whatever the user types.
  PostUserText(password, u"s3cret!");
  Pump();
  EXPECT_THAT(Dump(), HasSubstr("text=\"*******\" visible=1 enabled=1 password=1"));
  EXPECT_THAT(Dump(), Not(HasSubstr("s3cret")));
  EXPECT_THAT(Dump(), Not(HasSubstr("sswö")));
  EXPECT_EQ(GetWindowText(password), u"s3cret!");
}

TEST_F(HeadlessControlsTest, AButtonsPictureShowsBeforeItsPlace) {
  HWND button = Make(kButtonClass, 10122, BS_OWNERDRAW, u"Stop && Send");
  const std::string plain = "  control id=10122 class=\"BUTTON\" text=\"Stop && Send\" visible=1 enabled=1 checked=0 "
                            "pressed=0 focused=0 rect=0,0,100,20\n";
  EXPECT_THAT(Dump(), HasSubstr(plain));
  SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"dictalo-stop-send"));
  EXPECT_THAT(Dump(), HasSubstr("  control id=10122 class=\"BUTTON\" text=\"Stop && Send\" visible=1 enabled=1 "
                                "checked=0 pressed=0 focused=0 image=\"dictalo-stop-send\" rect=0,0,100,20\n"));
  SendMessage(button, BM_SETIMAGE, 0, 0);
  EXPECT_THAT(Dump(), HasSubstr(plain));
}

TEST_F(HeadlessControlsTest, TrayIconsAndNotificationsAreShownAndTapped) {
  EXPECT_TRUE(TrayIconAdd(window_, 1, kTrayCallback, u"dictalo", u"Dictalo"));
  EXPECT_FALSE(TrayIconAdd(window_, 1, kTrayCallback, u"dictalo", u"again"));  // taken
  EXPECT_FALSE(TrayIconAdd(window_, 2, kTrayCallback, u"", u"no icon"));
  EXPECT_FALSE(TrayIconAdd(reinterpret_cast<HWND>(0x7777), 1, kTrayCallback, u"dictalo", u""));
  EXPECT_TRUE(TrayMessage(window_, NIM_MODIFY, 1, 0, u"", u"Dictalo: recording"));
  EXPECT_FALSE(TrayIconModify(window_, 9, u"dictalo", u""));
  ASSERT_EQ(renderer_.TrayIcons().size(), 1u);
  EXPECT_EQ(renderer_.TrayIcons()[0].icon, u"dictalo");  // an empty name keeps the icon
  EXPECT_EQ(renderer_.TrayIcons()[0].callback_message, kTrayCallback);
  EXPECT_THAT(Dump(), HasSubstr(" id=1 icon=\"dictalo\" tooltip=\"Dictalo: recording\"\n"));

  // A tooltip longer than the shell shows is cut.
  std::u16string long_tip(300, u'x');
  EXPECT_TRUE(TrayIconModify(window_, 1, u"dictalo-recording", long_tip));
  EXPECT_EQ(renderer_.TrayIcons()[0].tooltip.size(), kMaxTrayTooltip);

  EXPECT_TRUE(renderer_.ClickTrayIcon(window_, 1));
  EXPECT_FALSE(renderer_.ClickTrayIcon(window_, 2));
  Pump();
  EXPECT_THAT(owner_.calls, ElementsAre("tray 1 514"));  // WM_LBUTTONUP

  for (int i = 0; i < 10; ++i) renderer_.ShowNotification(u"Dictalo", u"Note " + std::u16string(1, u'0' + i));
  auto notes = renderer_.Notifications();
  ASSERT_EQ(notes.size(), HeadlessRenderer::kKeptNotifications);
  EXPECT_EQ(notes.front().text, u"Note 2");
  EXPECT_EQ(notes.back().text, u"Note 9");
  EXPECT_THAT(Dump(), HasSubstr("notification title=\"Dictalo\" text=\"Note 9\"\n"));
  EXPECT_THAT(Dump(), Not(HasSubstr("text=\"Note 1\"")));

  EXPECT_TRUE(TrayIconDelete(window_, 1));
  EXPECT_FALSE(TrayIconDelete(window_, 1));
  EXPECT_TRUE(renderer_.TrayIcons().empty());
  EXPECT_THAT(Dump(), Not(HasSubstr("tray owner")));

  // An owner that goes takes its icon along; a tap then reaches nobody.
  EXPECT_TRUE(TrayIconAdd(window_, 3, kTrayCallback, u"dictalo", u""));
  DestroyWindow(window_);
  EXPECT_TRUE(renderer_.TrayIcons().empty());
  EXPECT_TRUE(TrayIcons().empty());
  EXPECT_FALSE(renderer_.ClickTrayIcon(window_, 3));
}

TEST_F(HeadlessControlsTest, FileDialogsAnswerFromTheTestThenTheScript) {
  FileDialogRequest request;
  request.owner = window_;
  request.title = u"Save Note As";
  request.initial_name = u"note.ogg";
  request.max_path = 20;
  ::testing::internal::CaptureStderr();
  renderer_.HeadlessFileDialogs().SetAnswers(
      {u"/tmp/a.ogg", std::nullopt, u"/tmp/" + std::u16string(30, u'x'), std::u16string(u"/tmp/a\0b", 8), u""});
  EXPECT_EQ(GetFileName(request), u"/tmp/a.ogg");
  EXPECT_EQ(GetFileName(request), std::nullopt);  // cancelled
  EXPECT_EQ(GetFileName(request), std::nullopt);  // too long for the caller
  EXPECT_EQ(GetFileName(request), std::nullopt);  // a NUL would cut the path short
  EXPECT_EQ(GetFileName(request), std::nullopt);  // empty

  ::setenv("DICTALO_FILEDIALOG_ANSWERS", "/srv/one.wav,CANCEL,,/srv/two.wav", 1);
  EXPECT_EQ(GetFileName(request), u"/srv/one.wav");
  EXPECT_EQ(GetFileName(request), std::nullopt);
  EXPECT_EQ(GetFileName(request), std::nullopt);
  EXPECT_EQ(GetFileName(request), u"/srv/two.wav");
  EXPECT_EQ(GetFileName(request), std::nullopt);  // the script is used up
  ::unsetenv("DICTALO_FILEDIALOG_ANSWERS");
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(log, HasSubstr("[file dialog] save \"Save Note As\" initial=\"note.ogg\" -> \"/srv/one.wav\""));
  EXPECT_EQ(renderer_.HeadlessFileDialogs().Requests().size(), 10u);

  SetRenderer(nullptr);
  renderer_.HeadlessFileDialogs().SetAnswers({u"/tmp/b"});
  EXPECT_EQ(GetFileName(request), std::nullopt);  // nobody to ask
}

}  // namespace
}  // namespace toolkit
