// Lists in the desktop renderer: the list box, list view, tree view and tabs
// show the items the program put in them, and the user's choices come back as
// the notifications the controls send (once each); a tab change the dialog
// refuses leaves the tabs as the program has them.

#include "toolkit/qt/qt_renderer.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

#include <atomic>
#include <mutex>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"
#include "toolkit/resources.h"

namespace toolkit::qt {
namespace {

using namespace platform;
using testing::ProgramThread;
using testing::ScopedQtRenderer;
using testing::WaitFor;

constexpr UINT kDialog = 9501;
constexpr int kList = 21, kNotes = 22, kFolders = 23, kTabs = 24;

struct Heard {
  std::mutex mu;
  std::vector<std::pair<int, int>> events;  // (control id, WM_COMMAND code or WM_NOTIFY code)
  std::atomic<bool> refuse_tab{false};

  int Count(int id, int code) {
    std::lock_guard lock(mu);
    int n = 0;
    for (auto& e : events) n += e.first == id && e.second == code;
    return n;
  }
};
Heard* g_heard = nullptr;

LRESULT ListsProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_INITDIALOG) return 1;
  if (msg == WM_COMMAND) {
    std::lock_guard lock(g_heard->mu);
    g_heard->events.emplace_back(LOWORD(wparam), HIWORD(wparam));
    return 1;
  }
  if (msg == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    {
      std::lock_guard lock(g_heard->mu);
      g_heard->events.emplace_back(static_cast<int>(header->idFrom), header->code);
    }
    if (header->code == TCN_SELCHANGING && g_heard->refuse_tab) {
      SetWindowLongPtr(dialog, DWLP_MSGRESULT, 1);
      return 1;
    }
    return 0;
  }
  return 0;
}

class QtRendererListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_heard = &heard_;
    DialogTemplate d;
    d.title = u"Lists";
    d.width = 240;
    d.height = 300;
    d.style = WS_POPUP | WS_VISIBLE;
    auto c = [](std::u16string_view cls, int id, RECT r, DWORD style) {
      return ControlTemplate{std::u16string(cls), id, u"", r, style | WS_VISIBLE | WS_TABSTOP, 0};
    };
    d.controls = {c(kTabControlClass, kTabs, RECT{0, 0, 240, 24}, 0),
                  c(kListBoxClass, kList, RECT{4, 30, 236, 90}, LBS_NOTIFY),
                  c(kListViewClass, kNotes, RECT{4, 94, 236, 190}, LVS_REPORT | LVS_SINGLESEL),
                  c(kTreeViewClass, kFolders, RECT{4, 194, 236, 296}, TVS_HASBUTTONS)};
    AddDialogTemplate(kDialog, d);
    dialog_ = program_.Call([this] {
      HWND dlg = CreateDialogParamW(kDialog, nullptr, ListsProc, 0);
      HWND tabs = GetDlgItem(dlg, kTabs);
      for (const char16_t* text : {u"General", u"Security"}) {
        TCITEMW tab;
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<char16_t*>(text);
        SendMessage(tabs, TCM_INSERTITEMW, SendMessage(tabs, TCM_GETITEMCOUNT, 0, 0), reinterpret_cast<LPARAM>(&tab));
      }
      HWND list = GetDlgItem(dlg, kList);
      for (const char16_t* text : {u"Plain", u"SSL", u"TLS"})
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      HWND notes = GetDlgItem(dlg, kNotes);
      int column = 0;
      for (auto [title, width] : {std::pair{u"Subject", 120}, std::pair{u"Size", 60}}) {
        LVCOLUMNW col;
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = width;
        col.pszText = title;
        SendMessage(notes, LVM_INSERTCOLUMNW, column++, reinterpret_cast<LPARAM>(&col));
      }
      int row = 0;
      for (auto [subject, size] : {std::pair{u"Note 1", u"12 KB"}, std::pair{u"Note 2", u"3 KB"}}) {
        LVITEMW item;
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char16_t*>(subject);
        SendMessage(notes, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 1;
        item.pszText = const_cast<char16_t*>(size);
        SendMessage(notes, LVM_SETITEMTEXTW, row++, reinterpret_cast<LPARAM>(&item));
      }
      HWND folders = GetDlgItem(dlg, kFolders);
      auto insert = [&](HTREEITEM parent, const char16_t* text) {
        TVINSERTSTRUCTW in;
        in.hParent = parent;
        in.item.mask = TVIF_TEXT;
        in.item.pszText = const_cast<char16_t*>(text);
        return static_cast<HTREEITEM>(SendMessage(folders, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in)));
      };
      root_ = insert(TVI_ROOT, u"Folders");
      insert(root_, u"Inbox");
      sent_ = insert(root_, u"Sent");
      return dlg;
    });
    ASSERT_NE(dialog_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Widget<QTreeWidget>(kFolders) && Widget<QTreeWidget>(kFolders)->topLevelItemCount() == 1; }));
    Settle();
  }
  void TearDown() override {
    program_.Call([this] { return DestroyWindow(dialog_); });
    g_heard = nullptr;
  }
  template <typename W>
  W* Widget(int id) {
    return qobject_cast<W*>(qt_.renderer().WidgetFor(program_.Call([&] { return GetDlgItem(dialog_, id); })));
  }
  LRESULT Send(int id, UINT msg, WPARAM wparam, LPARAM lparam) {
    return program_.Call([&] { return SendMessage(GetDlgItem(dialog_, id), msg, wparam, lparam); });
  }
  void Settle() {
    program_.Call([] { return 0; });
    QCoreApplication::processEvents();
  }

  testing_support::ScopedTestHome home_;
  Heard heard_;
  ScopedQtRenderer qt_;
  ProgramThread program_;
  HWND dialog_ = nullptr;
  HTREEITEM root_ = 0, sent_ = 0;
};

TEST_F(QtRendererListsTest, TheWidgetsShowTheProgramsItems) {
  auto* tabs = Widget<QTabBar>(kTabs);
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Security"));
  auto* list = Widget<QListWidget>(kList);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("TLS"));

  auto* notes = Widget<QTreeWidget>(kNotes);
  ASSERT_EQ(notes->columnCount(), 2);
  EXPECT_EQ(notes->headerItem()->text(0), QStringLiteral("Subject"));
  EXPECT_EQ(notes->header()->sectionSize(0), qRound(120 * qt_.renderer().DpiScale()));
  ASSERT_EQ(notes->topLevelItemCount(), 2);
  EXPECT_EQ(notes->topLevelItem(1)->text(1), QStringLiteral("3 KB"));
  EXPECT_EQ(notes->selectionBehavior(), QAbstractItemView::SelectRows);

  auto* folders = Widget<QTreeWidget>(kFolders);
  QTreeWidgetItem* root = folders->topLevelItem(0);
  EXPECT_EQ(root->text(0), QStringLiteral("Folders"));
  ASSERT_EQ(root->childCount(), 2);
  EXPECT_EQ(root->child(1)->text(0), QStringLiteral("Sent"));
  EXPECT_FALSE(root->isExpanded());

  // The program's own choices show without a notification.
  Send(kList, LB_SETCURSEL, 2, 0);
  Send(kTabs, TCM_SETCURSEL, 1, 0);
  Settle();
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(heard_.Count(kList, LBN_SELCHANGE), 0);
  EXPECT_EQ(heard_.Count(kTabs, TCN_SELCHANGE), 0);
}

TEST_F(QtRendererListsTest, TheUsersChoicesComeBackOnceEach) {
  Widget<QListWidget>(kList)->setCurrentRow(1);
  ASSERT_TRUE(WaitFor([&] { return Send(kList, LB_GETCURSEL, 0, 0) == 1; }));

  auto* notes = Widget<QTreeWidget>(kNotes);
  notes->setCurrentItem(notes->topLevelItem(1));
  ASSERT_TRUE(WaitFor([&] { return Send(kNotes, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 1; }));
  emit notes->itemActivated(notes->topLevelItem(1), 0);
  ASSERT_TRUE(WaitFor([&] { return heard_.Count(kNotes, LVN_ITEMACTIVATE) == 1; }));
  // Ctrl+click on the selected row takes the selection away.
  QRect second = notes->visualItemRect(notes->topLevelItem(1));
  QTest::mouseClick(notes->viewport(), Qt::LeftButton, Qt::ControlModifier, second.center());
  ASSERT_TRUE(WaitFor([&] { return Send(kNotes, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == -1; }));
  notes->setCurrentItem(notes->topLevelItem(1));
  ASSERT_TRUE(WaitFor([&] { return Send(kNotes, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 1; }));

  auto* folders = Widget<QTreeWidget>(kFolders);
  folders->topLevelItem(0)->setExpanded(true);
  ASSERT_TRUE(WaitFor([&] { return heard_.Count(kFolders, TVN_ITEMEXPANDINGW) == 1; }));
  folders->setCurrentItem(folders->topLevelItem(0)->child(1));
  ASSERT_TRUE(WaitFor([&] { return static_cast<HTREEITEM>(Send(kFolders, TVM_GETNEXTITEM, TVGN_CARET, 0)) == sent_; }));

  Widget<QTabBar>(kTabs)->setCurrentIndex(1);
  ASSERT_TRUE(WaitFor([&] { return Send(kTabs, TCM_GETCURSEL, 0, 0) == 1; }));

  Settle();
  EXPECT_EQ(heard_.Count(kList, LBN_SELCHANGE), 1);
  EXPECT_EQ(heard_.Count(kNotes, LVN_ITEMACTIVATE), 1);
  EXPECT_EQ(heard_.Count(kFolders, TVN_ITEMEXPANDINGW), 1);
  EXPECT_EQ(heard_.Count(kFolders, TVN_SELCHANGEDW), 1);
  EXPECT_EQ(heard_.Count(kTabs, TCN_SELCHANGE), 1);
  // The widgets still show what the user chose once the program's reports are in.
  EXPECT_TRUE(folders->topLevelItem(0)->isExpanded());
  EXPECT_EQ(folders->currentItem(), folders->topLevelItem(0)->child(1));
  EXPECT_EQ(notes->currentItem(), notes->topLevelItem(1));
}

TEST_F(QtRendererListsTest, ARefusedTabChangeLeavesTheProgramsTab) {
  heard_.refuse_tab = true;
  auto* tabs = Widget<QTabBar>(kTabs);
  tabs->setCurrentIndex(1);
  ASSERT_TRUE(WaitFor([&] { return heard_.Count(kTabs, TCN_SELCHANGING) == 1; }));
  Settle();
  EXPECT_EQ(Send(kTabs, TCM_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(heard_.Count(kTabs, TCN_SELCHANGE), 0);
}

}  // namespace
}  // namespace toolkit::qt
