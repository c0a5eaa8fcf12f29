// Owner-drawn buttons on the desktop: the picture the program gives a button is
// found in the program's own icon folder and shown, its disabled picture while
// the button is disabled, and it follows the program's changes.

#include "toolkit/qt/picture_button.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "tests/support/test_environment.h"
#include "toolkit/controls.h"
#include "toolkit/qt/program_icons.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"

namespace toolkit::qt {
namespace {

using namespace platform;
using testing::ProgramThread;
using testing::ScopedQtRenderer;
using testing::WaitFor;

// How many pixels of the button's own drawing differ from its background.
int DrawnPixels(QWidget* widget) {
  QImage image = widget->grab().toImage();
  const QRgb background = image.pixel(image.width() / 2, 1);
  int drawn = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) drawn += image.pixel(x, y) != background;
  return drawn;
}

TEST(QtPictureButtonTest, TheProgramsIconFolderIsSearchedFirst) {
  ScopedQtRenderer qt;  // makes the application and adds the folder
  const QString folder = ProgramIconFolder();
  ASSERT_FALSE(folder.isEmpty());
  EXPECT_TRUE(QDir(folder + QStringLiteral("/hicolor")).exists()) << folder.toStdString();
  ASSERT_FALSE(QIcon::themeSearchPaths().isEmpty());
  EXPECT_EQ(QIcon::themeSearchPaths().front(), folder);
  AddProgramIconFolder();  // a second call adds nothing
  EXPECT_EQ(QIcon::themeSearchPaths().count(folder), 1);
  EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("dictalo-stop-send")));
  EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("dictalo-stop-send-disabled")));
}

TEST(QtPictureButtonTest, AnOwnerDrawnButtonShowsItsPictureAndTheDisabledOneWhenDisabled) {
  testing_support::ScopedTestHome home;
  ScopedQtRenderer qt;
  ProgramThread program;
  HWND send = nullptr, plain = nullptr;
  HWND window = program.Call([&] {
    RegisterControlClasses();
    WNDCLASS wc;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"QtPictureOwner";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtPictureOwner", u"Status", WS_POPUP | WS_VISIBLE, 0, 0, 240, 80, nullptr, 0,
                            nullptr);
    send = CreateWindowEx(0, kButtonClass, u"Stop && Send", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 80, 64, w,
                          10122, nullptr);
    plain = CreateWindowEx(0, kButtonClass, u"Cancel", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 80, 0, 80, 64, w, 10124,
                           nullptr);
    SendMessage(send, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"dictalo-stop-send"));
    return w;
  });
  auto* button = dynamic_cast<PictureButton*>(qt.WaitForWidget(send));
  auto* bare = dynamic_cast<PictureButton*>(qt.WaitForWidget(plain));
  ASSERT_NE(button, nullptr);
  ASSERT_NE(bare, nullptr);
  ASSERT_TRUE(WaitFor([&] { return button->Picture() == QStringLiteral("dictalo-stop-send"); }));
  EXPECT_FALSE(button->icon().isNull());
  EXPECT_EQ(button->icon().name(), QStringLiteral("dictalo-stop-send"));
  EXPECT_FALSE(button->icon().pixmap(32, 32).isNull());
  EXPECT_EQ(button->text(), QStringLiteral("Stop && Send"));
  EXPECT_TRUE(bare->icon().isNull());
  // The picture is drawn: far more of the button differs from its background
  // than the label alone makes.
  EXPECT_GT(DrawnPixels(button), DrawnPixels(bare) + 100);
  testing::WriteScreenshot(button->parentWidget(), "owner_drawn_buttons");

  program.Call([&] { return EnableWindow(send, false); });
  ASSERT_TRUE(WaitFor([&] { return !button->isEnabled(); }));
  EXPECT_EQ(button->icon().name(), QStringLiteral("dictalo-stop-send-disabled"));
  EXPECT_FALSE(button->icon().pixmap(32, 32).isNull());
  program.Call([&] { return EnableWindow(send, true); });
  ASSERT_TRUE(WaitFor([&] { return button->isEnabled(); }));
  EXPECT_EQ(button->icon().name(), QStringLiteral("dictalo-stop-send"));

  // Pressed, the button is drawn inverted.
  const QImage before = button->grab().toImage();
  program.Call([&] { return SendMessage(send, BM_SETSTATE, 1, 0); });
  ASSERT_TRUE(WaitFor([&] { return button->isDown(); }));
  const QImage pressed = button->grab().toImage();
  const QPoint corner(1, 1);
  EXPECT_EQ(pressed.pixel(corner) & 0xFFFFFF, ~before.pixel(corner) & 0xFFFFFF);

  // A picture taken away or changed by the program shows so.
  program.Call([&] { return SendMessage(send, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"dictalo-cancel")); });
  EXPECT_TRUE(WaitFor([&] { return button->icon().name() == QStringLiteral("dictalo-cancel"); }));
  program.Call([&] { return SendMessage(send, BM_SETIMAGE, 0, 0); });
  EXPECT_TRUE(WaitFor([&] { return button->icon().isNull(); }));

  program.Call([&] { return DestroyWindow(window); });
}

}  // namespace
}  // namespace toolkit::qt
