// The tree view: building and walking the tree, reading items into small
// buffers, selection when items go, and the user opening branches that the
// parent fills (or refuses to open).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TreeViewTest : public ControlTest {
 protected:
  static HTREEITEM Insert(HWND tree, HTREEITEM parent, const char16_t* text, HTREEITEM after = TVI_LAST,
                          int children = 0) {
    std::u16string t = text;
    TVINSERTSTRUCTW in;
    in.hParent = parent;
    in.hInsertAfter = after;
    in.item.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_PARAM;
    in.item.pszText = t.data();
    in.item.cChildren = children;
    in.item.lParam = static_cast<LPARAM>(t.size());
    return static_cast<HTREEITEM>(SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in)));
  }
  static HTREEITEM Next(HWND tree, UINT code, HTREEITEM item) {
    return static_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, code, static_cast<LPARAM>(item)));
  }
  static std::u16string TextOf(HWND tree, HTREEITEM item) {
    char16_t buffer[32];
    TVITEMW it;
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = buffer;
    it.cchTextMax = 32;
    return SendMessage(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)) ? std::u16string(buffer) : u"<none>";
  }
  static HTREEITEM Selected(HWND tree) { return Next(tree, TVGN_CARET, 0); }
};

TEST_F(TreeViewTest, ItemsAreInsertedWhereAskedAndWalkedInOrder) {
  HWND tree = Make(kTreeViewClass, 1600, TVS_HASBUTTONS);
  HTREEITEM inbox = Insert(tree, TVI_ROOT, u"Inbox");
  HTREEITEM sent = Insert(tree, TVI_ROOT, u"Sent");
  HTREEITEM archive = Insert(tree, TVI_ROOT, u"Archive", TVI_FIRST);
  HTREEITEM drafts = Insert(tree, TVI_ROOT, u"Drafts", inbox);
  HTREEITEM work = Insert(tree, inbox, u"work");
  HTREEITEM home = Insert(tree, inbox, u"Home", TVI_SORT);
  ASSERT_NE(sent, 0u);
  EXPECT_EQ(Insert(tree, 987654, u"orphan"), 0u);  // unknown parent
  EXPECT_EQ(Insert(tree, TVI_ROOT, u"lost", work), 0u);  // after an item of another branch
  EXPECT_EQ(SendMessage(tree, TVM_GETCOUNT, 0, 0), 6);

  std::vector<std::u16string> top;
  for (HTREEITEM h = Next(tree, TVGN_ROOT, 0); h; h = Next(tree, TVGN_NEXT, h)) top.push_back(TextOf(tree, h));
  EXPECT_THAT(top, ElementsAre(u"Archive", u"Inbox", u"Drafts", u"Sent"));
  EXPECT_EQ(Next(tree, TVGN_CHILD, inbox), home);
  EXPECT_EQ(Next(tree, TVGN_NEXT, home), work);
  EXPECT_EQ(Next(tree, TVGN_PARENT, work), inbox);
  EXPECT_EQ(Next(tree, TVGN_PARENT, inbox), 0u);
  EXPECT_EQ(Next(tree, TVGN_PREVIOUS, drafts), inbox);
  EXPECT_EQ(Next(tree, TVGN_CHILD, TVI_ROOT), archive);

  char16_t small[3] = {u'#', u'#', u'#'};
  TVITEMW item;
  item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  item.hItem = inbox;
  item.pszText = small;
  item.cchTextMax = 2;
  EXPECT_EQ(SendMessage(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)), 1);
  EXPECT_EQ(std::u16string(small), u"I");
  EXPECT_EQ(small[2], u'#');
  EXPECT_EQ(item.lParam, 5);
  EXPECT_EQ(item.cChildren, 1);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(TreeViewTest, TheSelectionGoesWithItsItemAndTheParentHears) {
  HWND tree = Make(kTreeViewClass, 1601, 0);
  HTREEITEM inbox = Insert(tree, TVI_ROOT, u"Inbox");
  HTREEITEM work = Insert(tree, inbox, u"work");
  HTREEITEM sent = Insert(tree, TVI_ROOT, u"Sent");
  EXPECT_EQ(SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(work)), 1);
  EXPECT_EQ(Selected(tree), work);
  TVITEMW state;
  state.mask = TVIF_STATE;
  state.hItem = inbox;
  state.stateMask = TVIS_EXPANDED;
  SendMessage(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&state));
  EXPECT_EQ(state.state, TVIS_EXPANDED);  // the selected item shows
  EXPECT_EQ(SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, 424242), 0);
  EXPECT_EQ(Selected(tree), work);

  // Deleting a branch with the selection inside leaves nothing selected.
  EXPECT_EQ(SendMessage(tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(inbox)), 1);
  EXPECT_EQ(Selected(tree), 0u);
  EXPECT_EQ(TextOf(tree, work), u"<none>");
  EXPECT_EQ(SendMessage(tree, TVM_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessage(tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(inbox)), 0);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1601 -451", "notify 1601 -451"));

  // Handles are never given twice.
  HTREEITEM again = Insert(tree, TVI_ROOT, u"Inbox");
  EXPECT_NE(again, inbox);
  EXPECT_NE(again, work);
  SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(sent));
  SendMessage(tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(TVI_ROOT));
  EXPECT_EQ(SendMessage(tree, TVM_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Selected(tree), 0u);
}

TEST_F(TreeViewTest, TheUserOpensBranchesTheParentFills) {
  HWND tree = Make(kTreeViewClass, 1602, TVS_HASBUTTONS);
  HTREEITEM folders = Insert(tree, TVI_ROOT, u"Folders", TVI_LAST, 1);
  HTREEITEM empty = Insert(tree, TVI_ROOT, u"Empty");
  parent_.on_notification = [&] {
    if (parent_.calls.back() == "notify 1602 -454" && !Next(tree, TVGN_CHILD, folders))
      Insert(tree, folders, u"Inbox");
  };
  EXPECT_TRUE(PostUserExpand(tree, folders, true));
  EXPECT_TRUE(PostUserExpand(tree, empty, true));  // nothing to open
  Pump();
  EXPECT_EQ(TextOf(tree, Next(tree, TVGN_CHILD, folders)), u"Inbox");
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1602 -454"));

  // Closing a branch over the selection moves the selection to the branch.
  HTREEITEM inbox = Next(tree, TVGN_CHILD, folders);
  PostUserSelect(tree, static_cast<std::intptr_t>(inbox));
  Pump();
  EXPECT_EQ(Selected(tree), inbox);
  parent_.calls.clear();
  parent_.notify_answer = 1;  // refused
  PostUserExpand(tree, folders, false);
  Pump();
  EXPECT_EQ(Selected(tree), inbox);
  parent_.notify_answer = 0;
  PostUserExpand(tree, folders, false);
  Pump();
  EXPECT_EQ(Selected(tree), folders);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1602 -454", "notify 1602 -454", "notify 1602 -451"));

  EnableWindow(tree, false);
  PostUserSelect(tree, static_cast<std::intptr_t>(empty));
  Pump();
  EXPECT_EQ(Selected(tree), folders);
}

}  // namespace
}  // namespace toolkit
