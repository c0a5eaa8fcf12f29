// The update utility's window on the desktop against a real local update
// server (tests/peers/update_server.py): the status band in the colour of its
// screen with its picture, and the product list drawn row by row with the
// pictures the server has (a placeholder for the one it lacks). A screenshot
// lands in <build>/artefacts/screenshots/update_window.png.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "platform/connection_manager.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "resources/update_resources.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"
#include "toolkit/display.h"
#include "toolkit/qt/list_row_delegate.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"
#include "toolkit/qt/widget_mirror.h"
#include "update/update_window.h"

namespace update {
namespace {

namespace fs = std::filesystem;
using toolkit::qt::testing::ProgramThread;
using toolkit::qt::testing::ScopedQtRenderer;
using toolkit::qt::testing::WaitFor;

template <typename W>
W* Control(QWidget* window, int id) {
  for (W* w : window->findChildren<W*>()) {
    if (w->property(toolkit::qt::kIdPropertyName).toInt() == id) return w;
  }
  return nullptr;
}

std::string Bmp(QColor colour, int side) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes.toStdString();
}

std::string Record(const std::string& name, int id, const std::string& image, const std::string& description,
                   int recommended, int trial, int free_upgrade) {
  return name + ",2,1,100,1,PPC,500,599,," + std::to_string(id) + ",http://info/" + name + ",/install/" + name +
         ".tar," + image + "," + description + "," + std::to_string(recommended) + ",Corvane\\" + name + ",0," +
         std::to_string(trial) + "," + std::to_string(free_upgrade) + ",0\r\n";
}

TEST(UpdateWindowQtTest, StatusBandAndDrawnProductRows) {
  testing_support::ScopedTestHome home;
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");
  fs::path files = home.root() / "server" / "files";
  fs::create_directories(files / "install");
  int size = IconSizeForDpi(toolkit::GetDisplayMetrics().device_dpi);
  testing_support::WriteFileBytes(files / "install" / ("memo" + std::to_string(size) + ".bmp"),
                                  Bmp(QColor(0x30, 0x80, 0xD0), size));
  testing_support::WriteFileBytes(
      files / "install" / "corvane_wmproductlist.txt",
      "twproductlist\r\n" +
          Record("Memo", 71, "memo", "Quick notes that travel with your mail and now come with folders and search", 0, 30, 0) +
          Record("Atlas", 72, "atlas", "Maps for the road that work offline", 1, 1, 2) +
          Record("Gift", 73, "", "A free little helper", 0, 0, 0));
  testing_support::ChildProcess server(
      "/usr/bin/python3", {(testing_support::SourceDir() / "tests/peers/update_server.py").string(),
                           files.string(), "47300", "47349"});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return server.Output().find('\n') != std::string::npos; }));
  ASSERT_EQ(server.Output().rfind("ready ", 0), 0u) << server.Errors();
  int port = std::stoi(server.Output().substr(6));

  toolkit::qt::testing::EnsureOffscreenApplication();
  ScopedQtRenderer qt;
  // The desktop's screen, larger than the window.
  toolkit::qt::PublishDisplayMetrics(qt.renderer().DpiScale());
  ProgramThread program;
  UpdateConfig config;
  config.domain = platform::Utf8ToUtf16("http://127.0.0.1:" + std::to_string(port));
  config.list_file = u"/install/corvane_wmproductlist.txt";
  config.app_title = u"Corvane Update";
  platform::ConnectionManager manager;
  Connector connector(manager);
  std::unique_ptr<UpdateSession> session;
  std::unique_ptr<UpdateWindow> window;
  platform::HWND hwnd = program.Call([&] {
    session = std::make_unique<UpdateSession>(config, connector, nullptr);
    window = std::make_unique<UpdateWindow>(*session, nullptr);
    return window->CreateMain() ? window->GetSafeHwnd() : nullptr;
  });
  ASSERT_NE(hwnd, nullptr);
  QWidget* shown = qt.WaitForWidget(hwnd);
  ASSERT_NE(shown, nullptr);
  QListWidget* list = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    list = Control<QListWidget>(shown, resources::kUpdateList);
    return list && list->count() == 8;
  }, std::chrono::seconds(20))) << [&] {
    std::string rows;
    for (int i = 0; list && i < list->count(); ++i) rows += list->item(i)->text().toStdString() + "|";
    return rows;
  }();

  // Everything lies inside the window, the list above the soft keys.
  for (QWidget* child : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->property(toolkit::qt::kIdPropertyName).isValid() && child->isVisible())
      EXPECT_TRUE(shown->rect().contains(child->geometry())) << child->objectName().toStdString();
  }
  // The status band: the success screen's colour behind the title, text and picture.
  QLabel* band = Control<QLabel>(shown, resources::kUpdateStatusBack);
  QLabel* title = Control<QLabel>(shown, resources::kUpdateStatusTitle);
  QLabel* icon = Control<QLabel>(shown, resources::kUpdateStatusIcon);
  ASSERT_TRUE(band && title && icon);
  ASSERT_TRUE(WaitFor([&] { return title->text() == QStringLiteral("Success"); }));
  for (QLabel* label : {band, title, icon}) {
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xC0));
  }
  EXPECT_TRUE(title->font().bold());
  EXPECT_FALSE(icon->pixmap().isNull());
  // The longest status text fits its place.
  QLabel* text = Control<QLabel>(shown, resources::kUpdateStatusText);
  ASSERT_NE(text, nullptr);
  std::u16string longest;
  for (int error = 1; error <= 4; ++error) {
    std::u16string candidate = screens::ListError(error).text;
    if (candidate.size() > longest.size()) longest = candidate;
  }
  program.Call([&] { return platform::SetWindowText(platform::GetDlgItem(hwnd, resources::kUpdateStatusText), longest); });
  QString expected = QString::fromStdU16String(longest).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  ASSERT_TRUE(WaitFor([&] { return text->text() == expected; }));
  EXPECT_LE(text->heightForWidth(text->width()), text->height()) << text->text().toStdString();
  EXPECT_LE(text->geometry().bottom(), band->geometry().bottom());

  // Rows: the sections' headings, the up-to-date note, and products with
  // their titles, labels and pictures (a file for Memo, none for the others).
  using toolkit::qt::kRowHeadingRole;
  using toolkit::qt::kRowLabelRole;
  using toolkit::qt::kRowPictureRole;
  using toolkit::qt::kRowTitleRole;
  auto row = [&](int i, int role) { return list->item(i)->data(role); };
  EXPECT_TRUE(row(0, kRowHeadingRole).toBool());
  EXPECT_EQ(row(0, kRowTitleRole).toString(), QStringLiteral("Software Upgrades"));
  EXPECT_FALSE(row(1, kRowHeadingRole).toBool());
  EXPECT_EQ(row(1, kRowTitleRole).toString(), QStringLiteral("< Your software is up-to-date >"));
  EXPECT_TRUE(row(2, kRowHeadingRole).toBool());
  EXPECT_EQ(row(3, kRowTitleRole).toString(), QStringLiteral("Memo 2.1 "));
  EXPECT_EQ(row(3, kRowLabelRole).toString(), QStringLiteral("30-day trial"));
  QString memo_picture = row(3, kRowPictureRole).toString();
  EXPECT_TRUE(memo_picture.endsWith(QStringLiteral("memo%1.bmp").arg(size))) << memo_picture.toStdString();
  auto* delegate = dynamic_cast<toolkit::qt::ListRowDelegate*>(list->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  EXPECT_FALSE(delegate->Picture(memo_picture).isNull());
  EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsSelectable);
  EXPECT_EQ(list->currentRow(), 3);
  // Rows are tall enough for the picture and two lines of description.
  EXPECT_GE(list->visualItemRect(list->item(3)).height(), static_cast<int>(std::lround(32 * qt.renderer().DpiScale())));

  // The soft keys of the list.
  EXPECT_TRUE(WaitFor([&] {
    for (QPushButton* b : shown->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Download") && b->isVisible()) return true;
    return false;
  }));
  EXPECT_FALSE(toolkit::qt::testing::WriteScreenshot(shown, "update_window").empty());

  program.Call([&] {
    window->DestroyWindow();
    window.reset();
    session.reset();
    return 0;
  });
}

}  // namespace
}  // namespace update
