// Texts longer than their control's width: check boxes, radio buttons, buttons
// and links break them across the lines the control is high enough for, take
// a tap anywhere on the control, and where even that is too little show the
// whole text as a tooltip; the control's own text stays the program's.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <atomic>

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

constexpr UINT kDialog = 9351;
constexpr int kWrappedCheck = 21, kWrappedRadio = 22, kOneLineCheck = 23, kLink = 24, kTallButton = 25, kKeyRadio = 26;
constexpr char16_t kLongText[] = u"Use insecure connection if secure one cannot be established";
constexpr char16_t kAddress[] = u"https://www.example.com/products/dictalo/DK_Signup.php";

std::atomic<int> g_check_clicks{0};
std::atomic<int> g_link_clicks{0};

LRESULT CountingProc(HWND, UINT msg, WPARAM wparam, LPARAM) {
  if (msg == WM_INITDIALOG) return 1;
  if (msg == WM_COMMAND) {
    if (LOWORD(wparam) == kWrappedCheck && HIWORD(wparam) == BN_CLICKED) ++g_check_clicks;
    if (LOWORD(wparam) == kLink && HIWORD(wparam) == STN_CLICKED) ++g_link_clicks;
    return 1;
  }
  return 0;
}

void AddDialog() {
  DialogTemplate d;
  d.title = u"Fitted";
  d.width = 240;
  d.height = 240;
  d.style = WS_POPUP | WS_VISIBLE;
  auto c = [](std::u16string_view cls, int id, std::u16string text, RECT r, DWORD style) {
    return ControlTemplate{std::u16string(cls), id, std::move(text), r, style | WS_VISIBLE, 0};
  };
  d.controls = {
      c(kButtonClass, kWrappedCheck, kLongText, RECT{4, 4, 124, 104}, BS_AUTOCHECKBOX | WS_TABSTOP),
      c(kButtonClass, kWrappedRadio, kLongText, RECT{128, 4, 236, 104}, BS_AUTORADIOBUTTON | WS_TABSTOP),
      c(kButtonClass, kOneLineCheck, kLongText, RECT{4, 108, 124, 126}, BS_AUTOCHECKBOX | WS_TABSTOP),
      c(kStaticClass, kLink, kAddress, RECT{4, 130, 124, 166}, SS_NOTIFY | SS_NOPREFIX),
      c(kButtonClass, kTallButton, u"Stop && Send", RECT{4, 170, 60, 230}, BS_OWNERDRAW | WS_TABSTOP),
      // A key name a little wider than its one line.
      c(kButtonClass, kKeyRadio, u"<Control><Alt>r", RECT{122, 108, 236, 126}, BS_AUTORADIOBUTTON | WS_TABSTOP),
  };
  AddDialogTemplate(kDialog, d);
}

// The rows of the widget's picture with dark pixels inside area (all of it
// right of skip_left, or the given rectangle): where text was drawn. Returns
// the distance from the first such row to the last.
int InkHeight(QWidget* widget, QRect area) {
  QImage image = widget->grab().toImage();
  area = area.intersected(image.rect());
  int first = -1, last = -1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 110) {
        if (first < 0) first = y;
        last = y;
        break;
      }
  return first < 0 ? 0 : last - first;
}
int InkHeight(QWidget* widget, int skip_left) { return InkHeight(widget, widget->rect().adjusted(skip_left, 0, 0, 0)); }

class QtFittedTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_check_clicks = 0;
    g_link_clicks = 0;
    AddDialog();
    dialog_ = program_.Call([this] {
      HWND d = CreateDialogParamW(kDialog, nullptr, CountingProc, 0);
      program_.AddDialog(d);
      return d;
    });
    ASSERT_NE(dialog_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Widget<QWidget>(kTallButton) && qt_.renderer().WidgetFor(dialog_)->isVisible(); }));
  }
  void TearDown() override {
    program_.Call([this] { return IsWindow(dialog_) && DestroyWindow(dialog_); });
  }
  template <typename W>
  W* Widget(int id) {
    HWND hwnd = program_.Call([&] { return GetDlgItem(dialog_, id); });
    return qobject_cast<W*>(qt_.renderer().WidgetFor(hwnd));
  }

  testing_support::ScopedTestHome home_;
  ScopedQtRenderer qt_;
  ProgramThread program_;
  HWND dialog_ = nullptr;
};

TEST_F(QtFittedTextTest, LongTextsBreakIntoTheLinesTheirControlsHold) {
  auto* check = Widget<QCheckBox>(kWrappedCheck);
  auto* radio = Widget<QRadioButton>(kWrappedRadio);
  auto* button = Widget<QPushButton>(kTallButton);
  ASSERT_TRUE(check && radio && button);
  const int line = check->fontMetrics().lineSpacing();
  // Three lines or more of text, not one line running out of the control.
  EXPECT_GT(InkHeight(check, 24), 2 * line);
  EXPECT_GT(InkHeight(radio, 24), 2 * line);
  EXPECT_GT(InkHeight(button, button->rect().adjusted(6, 5, -6, -5)), line);
  // All of it shows: no tooltip stands in for a cut end.
  EXPECT_TRUE(check->toolTip().isEmpty());
  EXPECT_TRUE(radio->toolTip().isEmpty());
  // The controls keep the program's text and mnemonic marks.
  EXPECT_EQ(check->text(), QString::fromUtf16(kLongText));
  EXPECT_EQ(button->text(), QStringLiteral("Stop && Send"));
}

TEST_F(QtFittedTextTest, AOneLineControlShrinksItsTextALittleOrShowsItAllAsATooltip) {
  auto* check = Widget<QCheckBox>(kOneLineCheck);
  auto* key = Widget<QRadioButton>(kKeyRadio);
  ASSERT_TRUE(check && key);
  // The tooltip follows what was drawn.
  check->grab();
  key->grab();
  EXPECT_EQ(check->toolTip(), QString::fromUtf16(kLongText));
  EXPECT_LT(InkHeight(check, 24), 2 * check->fontMetrics().lineSpacing());
  // Slightly too wide for its line in the control's font: all of it shows, a
  // little smaller.
  ASSERT_GT(key->fontMetrics().horizontalAdvance(key->text()), key->width() - 20);
  EXPECT_TRUE(key->toolTip().isEmpty());
}

TEST_F(QtFittedTextTest, ATapOnALaterLineCountsOnce) {
  auto* check = Widget<QCheckBox>(kWrappedCheck);
  ASSERT_TRUE(check);
  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(check->width() - 8, check->height() - 6));
  ASSERT_TRUE(WaitFor([] { return g_check_clicks == 1; }));
  EXPECT_TRUE(WaitFor([&] { return check->isChecked(); }));

  auto* link = Widget<QLabel>(kLink);
  ASSERT_TRUE(link);
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(8, link->height() - 6));
  ASSERT_TRUE(WaitFor([] { return g_link_clicks == 1; }));
  // One tap, one click: nothing else reports it a second time.
  program_.Call([] { return 0; });
  QCoreApplication::processEvents();
  EXPECT_EQ(g_link_clicks, 1);
}

TEST_F(QtFittedTextTest, ALongAddressBreaksAnywhereAndIsItsOwnTooltip) {
  auto* link = Widget<QLabel>(kLink);
  ASSERT_TRUE(link);
  EXPECT_GT(InkHeight(link, 0), link->fontMetrics().lineSpacing());
  EXPECT_EQ(link->toolTip(), QString::fromUtf16(kAddress));
}

}  // namespace
}  // namespace toolkit::qt
