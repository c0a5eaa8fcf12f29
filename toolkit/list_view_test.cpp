// The list view: columns and rows, texts into small buffers, the selection rules
// of a single-selection list and what they tell the parent, deleting the
// selected row, and the user's taps and double taps.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ListViewTest : public ControlTest {
 protected:
  HWND MakeNotesList(DWORD style = LVS_REPORT | LVS_SINGLESEL) {
    HWND list = Make(kListViewClass, 1400, style);
    LVCOLUMNW column{LVCF_TEXT | LVCF_WIDTH, 0, 120, u"Subject"};
    SendMessage(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column = LVCOLUMNW{LVCF_TEXT | LVCF_WIDTH, 0, 60, u"Size"};
    SendMessage(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    for (int i = 0; i < 3; ++i) {
      std::u16string subject = u"Note " + std::u16string(1, static_cast<char16_t>(u'1' + i));
      LVITEMW item;
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = i;
      item.pszText = subject.data();
      item.lParam = 100 + i;
      SendMessage(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      std::u16string size = u"12 KB";
      item = LVITEMW{};
      item.iSubItem = 1;
      item.pszText = size.data();
      SendMessage(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    return list;
  }
  static std::u16string Cell(HWND list, int row, int column, int buffer_size = 64) {
    std::u16string buffer(static_cast<std::size_t>(buffer_size), u'#');
    LVITEMW item;
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = buffer_size;
    LRESULT n = SendMessage(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer.substr(0, static_cast<std::size_t>(n));
  }
  static void SetSelected(HWND list, int row, bool selected) {
    LVITEMW item;
    item.state = selected ? LVIS_SELECTED : 0;
    item.stateMask = LVIS_SELECTED;
    SendMessage(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  static LRESULT Selected(HWND list) {
    return SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  }
};

TEST_F(ListViewTest, ColumnsRowsAndTextsReadBackSafely) {
  HWND list = MakeNotesList();
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), 60);
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 2, 0), 0);
  char16_t header[4];
  LVCOLUMNW column{LVCF_TEXT | LVCF_WIDTH, 0, 0, header, 4};
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 1);
  EXPECT_EQ(std::u16string(header), u"Sub");
  EXPECT_EQ(column.cx, 120);
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column)), 0);

  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(Cell(list, 1, 0), u"Note 2");
  EXPECT_EQ(Cell(list, 1, 1), u"12 KB");
  EXPECT_EQ(Cell(list, 1, 5), u"");
  EXPECT_EQ(Cell(list, 1, 1, 3), u"12");  // cut to the buffer, terminator included
  EXPECT_EQ(Cell(list, 3, 0), u"");
  LVITEMW item;
  item.mask = LVIF_PARAM | LVIF_TEXT;
  item.iItem = 2;
  char16_t small[2] = {u'#', u'#'};
  item.pszText = small;
  item.cchTextMax = 1;
  EXPECT_EQ(SendMessage(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)), 1);
  EXPECT_EQ(item.lParam, 102);
  EXPECT_EQ(small[0], u'\0');
  EXPECT_EQ(small[1], u'#');
  item.iItem = -1;
  EXPECT_EQ(SendMessage(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)), 0);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMW, 0, 0), 0);

  // A row inserted past the end goes last.
  std::u16string text = u"Late";
  item = LVITEMW{};
  item.mask = LVIF_TEXT;
  item.iItem = 99;
  item.pszText = text.data();
  EXPECT_EQ(SendMessage(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), 3);
  EXPECT_EQ(SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT), 0);
  EXPECT_EQ(SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
}

TEST_F(ListViewTest, SingleSelectionListsKeepOneSelectedRowAndSayWhatChanged) {
  HWND list = MakeNotesList();
  SetSelected(list, 0, true);
  SetSelected(list, 2, true);
  EXPECT_EQ(Selected(list), 2);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED), 0);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1400 -101 item=0 new=2 old=0", "notify 1400 -101 item=0 new=0 old=2",
                                         "notify 1400 -101 item=2 new=2 old=0"));

  // The row that goes while selected is unselected first: nothing stays selected.
  parent_.calls.clear();
  EXPECT_EQ(SendMessage(list, LVM_DELETEITEM, 2, 0), 1);
  EXPECT_EQ(Selected(list), -1);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1400 -101 item=2 new=0 old=2"));
  EXPECT_EQ(SendMessage(list, LVM_DELETEITEM, 2, 0), 0);
  EXPECT_EQ(SendMessage(list, LVM_DELETEITEM, static_cast<WPARAM>(-1), 0), 0);

  // A parent that refills the list as it hears the selection go: the deleted
  // row is gone already, and none of the new rows goes in its place.
  SetSelected(list, 0, true);
  bool refilled = false;
  parent_.on_notification = [&] {
    if (refilled) return;
    refilled = true;
    SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
    for (const char16_t* text : {u"A", u"B"}) {
      std::u16string t = text;
      LVITEMW row;
      row.mask = LVIF_TEXT;
      row.iItem = 9;
      row.pszText = t.data();
      SendMessage(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
    }
  };
  EXPECT_EQ(SendMessage(list, LVM_DELETEITEM, 0, 0), 1);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(Cell(list, 0, 0), u"A");
  parent_.on_notification = nullptr;

  // A multiple-selection list keeps several.
  HWND multi = MakeNotesList(LVS_REPORT);
  SetSelected(multi, 0, true);
  SetSelected(multi, 1, true);
  EXPECT_EQ(Selected(multi), 0);
  EXPECT_EQ(SendMessage(multi, LVM_GETNEXTITEM, 0, LVNI_SELECTED), 1);
}

TEST_F(ListViewTest, TheUserTapsAndOpensRows) {
  HWND list = MakeNotesList();
  EXPECT_TRUE(PostUserSelect(list, 1));
  EXPECT_TRUE(PostUserSelect(list, 7));  // no such row
  EXPECT_TRUE(PostUserActivate(list, 1));
  Pump();
  EXPECT_EQ(Selected(list), 1);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 1);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1400 -101 item=1 new=3 old=0", "notify 1400 -114 item=1 new=0 old=0"));

  parent_.calls.clear();
  SendMessage(list, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(Selected(list), 2);

  // Enter opens the selected row; with nothing selected it is left to the dialog.
  MSG enter{list, WM_KEYDOWN, VK_RETURN, 0, 0};
  EXPECT_TRUE(SendMessage(list, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTMESSAGE);
  SendMessage(list, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(parent_.calls.back(), "notify 1400 -114 item=2 new=0 old=0");
  PostUserSelect(list, -1);  // the user cleared the selection
  Pump();
  EXPECT_EQ(Selected(list), -1);
  EXPECT_FALSE(SendMessage(list, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTMESSAGE);

  // A parent that empties the list while it hears of the selection hears no activation.
  parent_.calls.clear();
  parent_.on_notification = [&] { SendMessage(list, LVM_DELETEALLITEMS, 0, 0); };
  PostUserActivate(list, 0);
  Pump();
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 0);
  for (const std::string& call : parent_.calls) EXPECT_EQ(call.find("-114"), std::string::npos) << call;

  parent_.on_notification = nullptr;
  HWND other = MakeNotesList();
  EnableWindow(other, false);
  PostUserSelect(other, 0);
  Pump();
  EXPECT_EQ(Selected(other), -1);
}

}  // namespace
}  // namespace toolkit
