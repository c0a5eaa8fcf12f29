// The control wrappers: values behind drop-down entries, entries out of range,
// and numbers read from a dialog's field that must be whole numbers.

#include "toolkit/ce_combo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"

namespace toolkit {
namespace {

using namespace testing_controls;

class CeComboTest : public ControlTest {};

TEST_F(CeComboTest, EntriesByTheirValues) {
  HWND hwnd = Make(kComboBoxClass, 2001, CBS_DROPDOWNLIST | CBS_SORT);
  CeCombo combo;
  ASSERT_TRUE(combo.Subclass(hwnd));
  EXPECT_EQ(combo.AddItem(u"The Internet", 2), 0);
  EXPECT_EQ(combo.AddItem(u"None", 0), 0);  // sorted in before
  EXPECT_EQ(combo.AddItem(u"Work", 1), 2);
  EXPECT_EQ(combo.GetSelectedData(-7), -7);
  EXPECT_TRUE(combo.SelectByData(2));
  EXPECT_EQ(combo.GetCurSel(), 1);
  EXPECT_EQ(combo.GetSelectedData(-7), 2);
  EXPECT_FALSE(combo.SelectByData(9));
  EXPECT_EQ(combo.GetCurSel(), 1);
  EXPECT_EQ(combo.GetLBText(2), u"Work");
  EXPECT_EQ(combo.GetLBText(3), std::nullopt);
  EXPECT_EQ(combo.FindStringExact(u"work"), 2);
  EXPECT_EQ(combo.DeleteString(1), 2);
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
  EXPECT_EQ(combo.Unsubclass(), hwnd);

  HWND editable = Make(kComboBoxClass, 2002, CBS_DROPDOWN);
  CeComboEdit edit;
  ASSERT_TRUE(edit.Attach(editable));
  EXPECT_TRUE(edit.SetText(u"mail.example.org"));
  EXPECT_EQ(edit.GetText(), u"mail.example.org");
  EXPECT_EQ(edit.GetEditSel(), std::make_pair(16, 16));
}

TEST_F(CeComboTest, DialogFieldsReadAsWholeNumbersOnly) {
  Make(kEditClass, 2003, 0);
  CeDlgControlContext port(parent_hwnd_, 2003);
  ASSERT_TRUE(port.IsWindow());
  struct Case {
    const char16_t* text;
    std::optional<int> value;
  } cases[] = {{u"25", 25},         {u" 465 ", 465},         {u"+587", 587},          {u"-1", -1},
               {u"", std::nullopt}, {u"12a", std::nullopt}, {u"+-5", std::nullopt}, {u"1 2", std::nullopt},
               {u"99999999999", std::nullopt}};
  for (const Case& c : cases) {
    port.SetText(c.text);
    EXPECT_EQ(port.GetInt(), c.value) << platform::Utf16ToUtf8(c.text);
  }
  EXPECT_TRUE(port.SetInt(-42));
  EXPECT_EQ(port.GetText(), u"-42");
  EXPECT_FALSE(CeDlgControlContext(parent_hwnd_, 9999).IsWindow());
}

}  // namespace
}  // namespace toolkit
