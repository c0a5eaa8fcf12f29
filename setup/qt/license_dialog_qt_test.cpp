// The licence dialog on the desktop: its heading and product line in the bold
// face at the display's scale, the heading in the highlight colour, the
// agreement in its box, and a click on Accept ends it with consent. A
// screenshot lands in <build>/artefacts/screenshots/license_dialog.png.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "platform/window_system.h"
#include "resources/setup_resources.h"
#include "setup/license_dialog.h"
#include "tests/support/test_environment.h"
#include "toolkit/gdi.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"
#include "toolkit/qt/widget_mirror.h"
#include "toolkit/resources.h"

namespace setup {
namespace {

using toolkit::qt::testing::ScopedQtRenderer;
using toolkit::qt::testing::WaitFor;

template <typename W>
W* Control(QWidget* dialog, int id) {
  for (W* w : dialog->findChildren<W*>()) {
    if (w->property(toolkit::qt::kIdPropertyName).toInt() == id) return w;
  }
  return nullptr;
}

// The dialog runs modally on a thread of its own, as inside Install_Init.
class RunningLicense {
 public:
  RunningLicense() {
    thread_ = std::thread([this] {
      result_ = LicenseDialog::Run(nullptr);
      done_ = true;
    });
  }
  ~RunningLicense() {
    if (!done_) {
      if (platform::HWND dialog = Dialog()) platform::PostMessage(dialog, platform::WM_COMMAND, 2, 0);
    }
    thread_.join();
  }
  static platform::HWND Dialog() { return platform::FindWindow(u"Dialog", u"DictaloSetup"); }
  bool done() const { return done_; }
  int result() const { return result_; }

 private:
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::atomic<int> result_{-1};
};

TEST(LicenseDialogQtTest, HeadingFontColourAndAcceptOnTheDesktop) {
  testing_support::ScopedTestHome home;
  toolkit::qt::testing::EnsureOffscreenApplication();
  ScopedQtRenderer qt;
  toolkit::qt::PublishSystemColors();
  resources::RegisterSetupResources();
  RunningLicense license;
  ASSERT_TRUE(WaitFor([] { return RunningLicense::Dialog() != nullptr; }));
  QWidget* dialog = qt.WaitForWidget(RunningLicense::Dialog());
  ASSERT_NE(dialog, nullptr);
  QPushButton* accept = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    accept = nullptr;
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Accept")) accept = b;
    QLabel* heading = Control<QLabel>(dialog, resources::kLicenseHeading);
    return accept && heading && heading->font().bold();
  }));

  double scale = qt.renderer().DpiScale();
  for (int id : {resources::kLicenseHeading, resources::kLicenseProductLine}) {
    SCOPED_TRACE(id);
    QLabel* label = Control<QLabel>(dialog, id);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), static_cast<int>(std::lround(11 * scale)));
    EXPECT_TRUE(label->isVisible());
  }
  QLabel* heading = Control<QLabel>(dialog, resources::kLicenseHeading);
  QColor highlight = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
  EXPECT_EQ(heading->palette().color(QPalette::WindowText).rgb(), highlight.rgb());
  EXPECT_TRUE(heading->autoFillBackground());
  QColor window = QApplication::palette().color(QPalette::Active, QPalette::Window);
  EXPECT_EQ(heading->palette().color(QPalette::Window).rgb(), window.rgb());
  // The product line is not in the heading's colour.
  EXPECT_NE(Control<QLabel>(dialog, resources::kLicenseProductLine)->palette().color(QPalette::WindowText).rgb(),
            highlight.rgb());

  // The product line's three parts on three lines.
  EXPECT_EQ(Control<QLabel>(dialog, resources::kLicenseProductLine)->text().count(QLatin1Char('\n')), 2);
  auto* text = Control<QPlainTextEdit>(dialog, resources::kLicenseText);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("LICENCE AGREEMENT")));
  // The agreement is read from its start, its lines wrapped to the box.
  EXPECT_EQ(text->textCursor().position(), 0);
  EXPECT_EQ(text->verticalScrollBar()->value(), 0);
  EXPECT_FALSE(text->horizontalScrollBar()->isVisible());
  // The labels above the agreement do not run into it.
  for (int id : {resources::kLicenseHeading, resources::kLicenseProductLine, resources::kLicenseNotice}) {
    QLabel* label = Control<QLabel>(dialog, id);
    ASSERT_NE(label, nullptr);
    EXPECT_LE(label->geometry().bottom(), text->geometry().top()) << id;
    EXPECT_LE(label->heightForWidth(label->width()), label->height() + 1) << "clipped: " << id;
  }
  EXPECT_FALSE(toolkit::qt::testing::WriteScreenshot(dialog, "license_dialog").empty());

  QTest::mouseClick(accept, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return license.done(); }));
  EXPECT_EQ(license.result(), 0);
}

}  // namespace
}  // namespace setup
