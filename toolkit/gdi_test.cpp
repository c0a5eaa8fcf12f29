// Fonts, brushes and system colours; a static's font, picture and the colours
// its parent answers; an owner-drawn list box's row parts.

#include "toolkit/gdi.h"

#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"

namespace toolkit {
namespace {

using namespace testing_controls;

TEST(GdiTest, FontsAndBrushesLiveUntilDeletedAndSystemBrushesFollowTheirColour) {
  LOGFONTW wanted;
  wanted.lfHeight = -11;
  wanted.lfWeight = FW_BOLD;
  wanted.lfFaceName = u"Tahoma";
  HFONT font = CreateFontIndirectW(wanted);
  ASSERT_NE(font, nullptr);
  LOGFONTW got;
  ASSERT_TRUE(GetObjectW(font, &got));
  EXPECT_EQ(got, wanted);
  // Each font is its own object.
  HFONT other = CreateFontW(-11, FW_BOLD, false, u"Tahoma");
  EXPECT_NE(other, font);
  EXPECT_TRUE(DeleteObject(other));
  EXPECT_FALSE(DeleteObject(other));
  EXPECT_FALSE(GetObjectW(other, &got));
  EXPECT_TRUE(GetObjectW(font, &got));
  // Unusable heights, and a face longer than the field holds is cut.
  EXPECT_EQ(CreateFontW(0, FW_BOLD, false, u"Tahoma"), nullptr);
  EXPECT_EQ(CreateFontW(5000, FW_BOLD, false, u"Tahoma"), nullptr);
  HFONT long_face = CreateFontW(12, FW_NORMAL, true, std::u16string(40, u'x'));
  ASSERT_TRUE(GetObjectW(long_face, &got));
  EXPECT_EQ(got.lfFaceName.size(), LF_FACESIZE - 1);
  EXPECT_TRUE(got.lfItalic);
  DeleteObject(long_face);

  HBRUSH brush = CreateSolidBrush(0xFF123456);
  COLORREF colour = 0;
  ASSERT_TRUE(GetBrushColor(brush, &colour));
  EXPECT_EQ(colour, 0x123456u);
  // A font is no brush and a brush no font.
  EXPECT_FALSE(GetBrushColor(reinterpret_cast<HBRUSH>(font), &colour));
  EXPECT_FALSE(GetObjectW(reinterpret_cast<HFONT>(brush), &got));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(font));

  HBRUSH window = GetSysColorBrush(COLOR_WINDOW);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetSysColorBrush(COLOR_WINDOW), window);
  COLORREF before = GetSysColor(COLOR_WINDOW);
  SetSysColor(COLOR_WINDOW, 0x202122);
  ASSERT_TRUE(GetBrushColor(window, &colour));
  EXPECT_EQ(colour, 0x202122u);
  EXPECT_FALSE(DeleteObject(window));
  SetSysColor(COLOR_WINDOW, before);
  EXPECT_EQ(GetSysColorBrush(99), nullptr);

  DeviceContext dc;
  EXPECT_EQ(SetTextColor(&dc, 0x0000FF), 0x000000u);
  EXPECT_EQ(SetTextColor(&dc, 0x00FF00), 0x0000FFu);
  EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
}

// Answers WM_CTLCOLORSTATIC for control 7 only: red text on a given brush.
class ColourParent : public CeWnd {
 public:
  HBRUSH brush = nullptr;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override {
    if (msg != WM_CTLCOLORSTATIC || platform::GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) != 7) return 0;
    SetTextColor(reinterpret_cast<HDC>(wparam), RGB(0xFF, 0, 0));
    handled = true;
    return reinterpret_cast<LRESULT>(brush);
  }
};

class StaticLookTest : public ControlTest {};

TEST_F(StaticLookTest, StaticKeepsItsFontAndPictureAndItsParentChoosesItsColours) {
  ASSERT_TRUE(CeWnd::RegisterClassW(u"ColourParent", 0, 0, 0, 0, 0, 0, u""));
  ColourParent parent;
  parent.brush = CreateSolidBrush(0x58D0FF);
  HWND owner = parent.Create(CeWnd::ClassName(u"ColourParent"), u"", WS_VISIBLE, 0, 0, 240, 320, nullptr, 0);
  ASSERT_NE(owner, nullptr);
  HWND coloured = CreateWindowEx(0, kStaticClass, u"Status", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, owner, 7, nullptr);
  HWND plain = CreateWindowEx(0, kStaticClass, u"Plain", WS_CHILD | WS_VISIBLE, 0, 20, 100, 20, owner, 8, nullptr);

  HFONT font = CreateFontW(-13, FW_BOLD, false, u"Tahoma");
  SendMessage(coloured, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
  EXPECT_EQ(SendMessage(coloured, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
  EXPECT_EQ(SendMessage(plain, WM_GETFONT, 0, 0), 0);

  StaticLook look = ReadStaticLook(coloured);
  ASSERT_TRUE(look.font);
  EXPECT_EQ(look.font->lfFaceName, u"Tahoma");
  EXPECT_EQ(look.font->lfWeight, FW_BOLD);
  EXPECT_EQ(look.text_color, std::optional<COLORREF>(0x0000FF));
  EXPECT_EQ(look.back_color, std::optional<COLORREF>(0x58D0FF));
  EXPECT_EQ(ReadStaticLook(plain), StaticLook{});
  // A font deleted while the control still names it is read as none.
  DeleteObject(font);
  EXPECT_FALSE(ReadStaticLook(coloured).font);

  // Pictures by name; unsafe or over-long names are refused and change nothing.
  EXPECT_EQ(SendMessage(coloured, STM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"corvane-status-success")), 1);
  EXPECT_EQ(SendMessage(coloured, STM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"../../etc/passwd")), 0);
  std::u16string too_long(kMaxButtonImageName + 1, u'a');
  EXPECT_EQ(SendMessage(coloured, STM_SETIMAGE, 0, reinterpret_cast<LPARAM>(too_long.c_str())), 0);
  char16_t name[kMaxButtonImageName + 1] = {};
  EXPECT_EQ(SendMessage(coloured, STM_GETIMAGE, std::size(name), reinterpret_cast<LPARAM>(name)), 22);
  EXPECT_EQ(std::u16string(name), u"corvane-status-success");
  EXPECT_EQ(SendMessage(plain, STM_GETIMAGE, std::size(name), reinterpret_cast<LPARAM>(name)), 0);
  EXPECT_EQ(Text(coloured), u"Status");

  DestroyWindow(owner);
  DeleteObject(parent.brush);
}

TEST_F(StaticLookTest, OwnerDrawnListRowsKeepTheirPartsAsEntriesComeAndGo) {
  HWND list = Make(kListBoxClass, 1400, LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS);
  for (const char16_t* text : {u"Heading", u"Memo", u"Atlas"})
    SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ListItemParts heading{true, u"", u"Heading", u"", u""};
  ListItemParts memo{false, u"/tmp/memo32.bmp", u"Memo 2.1 ", u"30-day trial", u"Notes"};
  ListItemParts atlas{false, u"", u"Atlas 1.0 ", u"FREE", u"Maps"};
  EXPECT_EQ(SendMessage(list, LB_SETITEMPARTS, 0, reinterpret_cast<LPARAM>(&heading)), 1);
  EXPECT_EQ(SendMessage(list, LB_SETITEMPARTS, 1, reinterpret_cast<LPARAM>(&memo)), 1);
  EXPECT_EQ(SendMessage(list, LB_SETITEMPARTS, 2, reinterpret_cast<LPARAM>(&atlas)), 1);
  EXPECT_EQ(SendMessage(list, LB_SETITEMPARTS, 3, reinterpret_cast<LPARAM>(&atlas)), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_SETITEMPARTS, 0, 0), LB_ERR);

  ListItemParts got;
  EXPECT_EQ(SendMessage(list, LB_GETITEMPARTS, 5, reinterpret_cast<LPARAM>(&got)), LB_ERR);
  // The parts go with their entry when an entry before it goes or comes.
  SendMessage(list, LB_DELETESTRING, 1, 0);
  ASSERT_EQ(SendMessage(list, LB_GETITEMPARTS, 1, reinterpret_cast<LPARAM>(&got)), 1);
  EXPECT_EQ(got, atlas);
  SendMessage(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"New"));
  ASSERT_EQ(SendMessage(list, LB_GETITEMPARTS, 0, reinterpret_cast<LPARAM>(&got)), 1);
  EXPECT_EQ(got, ListItemParts{});
  ASSERT_EQ(SendMessage(list, LB_GETITEMPARTS, 1, reinterpret_cast<LPARAM>(&got)), 1);
  EXPECT_EQ(got, heading);
  SendMessage(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(list, LB_GETITEMPARTS, 0, reinterpret_cast<LPARAM>(&got)), LB_ERR);
}

}  // namespace
}  // namespace toolkit
