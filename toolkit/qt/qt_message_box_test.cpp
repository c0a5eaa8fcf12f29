// Message boxes and file dialogs through Qt: the asking program thread gets the
// button the user pressed (and the check box's state), a quit met while a box is
// open closes it and reaches the thread's loop afterwards, and a file dialog
// answers with the chosen path or nothing.

#include "toolkit/qt/qt_message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

#include "tests/support/test_environment.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"

namespace toolkit::qt {
namespace {

using namespace platform;
using testing::ScopedQtRenderer;
using testing::WaitFor;

template <typename W>
W* OpenTopLevel() {
  W* found = nullptr;
  WaitFor([&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* candidate = qobject_cast<W*>(w); candidate && candidate->isVisible()) found = candidate;
    return found != nullptr;
  });
  return found;
}

TEST(QtMessageBoxTest, TheButtonPressedIsTheAnswer) {
  ScopedQtRenderer qt;
  auto answer = std::async(std::launch::async, [] {
    return MessageBoxW(nullptr, u"Delete the note?", u"Dictalo", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  });
  QMessageBox* box = OpenTopLevel<QMessageBox>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Dictalo"));
  EXPECT_EQ(box->text(), QStringLiteral("Delete the note?"));
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(answer.get(), IDYES);
}

TEST(QtMessageBoxTest, ANoticeReportsItsCheckBoxAndEscapeAnswersCancel) {
  ScopedQtRenderer qt;
  auto notice = std::async(std::launch::async, [] {
    bool checked = false;
    int button = CheckedNoticeBox(nullptr, u"Your note was stored.", u"Saving a Note", MB_OK | MB_TOPMOST,
                                  u"Don't show this again", checked);
    return std::make_pair(button, checked);
  });
  QMessageBox* box = OpenTopLevel<QMessageBox>();
  ASSERT_TRUE(box && box->checkBox());
  EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(box->checkBox()->text(), QStringLiteral("Don't show this again"));
  QTest::mouseClick(box->checkBox(), Qt::LeftButton);
  QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return notice.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(notice.get(), std::make_pair(IDOK, true));

  auto cancelled = std::async(std::launch::async, [] {
    return MessageBoxW(nullptr, u"Retry sending?", u"Dictalo", MB_RETRYCANCEL | MB_ICONEXCLAMATION);
  });
  box = OpenTopLevel<QMessageBox>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  QTest::keyClick(box, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return cancelled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(cancelled.get(), IDCANCEL);
}

TEST(QtMessageBoxTest, AQuitWhileTheBoxIsOpenClosesItAndStillEndsTheLoop) {
  ScopedQtRenderer qt;
  std::atomic<DWORD> thread_id{0};
  auto result = std::async(std::launch::async, [&] {
    thread_id = GetCurrentThreadId();
    int answer = MessageBoxW(nullptr, u"Send now?", u"Dictalo", MB_OKCANCEL);
    MSG msg;
    bool quit_seen = false;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message == WM_QUIT) quit_seen = msg.wParam == 5;
    return std::make_pair(answer, quit_seen);
  });
  QMessageBox* box = OpenTopLevel<QMessageBox>();
  ASSERT_NE(box, nullptr);
  QPointer<QMessageBox> watched(box);
  ASSERT_TRUE(PostThreadMessage(thread_id, WM_QUIT, 5, 0));
  ASSERT_TRUE(WaitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(result.get(), std::make_pair(IDCANCEL, true));
  EXPECT_TRUE(WaitFor([&] { return watched.isNull() || !watched->isVisible(); }));
}

// Scripted runs keep their answers on a desktop: nothing is shown.
TEST(QtMessageBoxTest, AScriptOfAnswersAnswersInsteadOfTheUser) {
  ScopedQtRenderer qt;
  ::setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDNO", 1);
  auto answer = std::async(std::launch::async, [] { return MessageBoxW(nullptr, u"Send?", u"Dictalo", MB_YESNO); });
  bool answered = WaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                          std::chrono::seconds(5));
  ::unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer.get(), IDNO);
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible());
}

TEST(QtFileDialogTest, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(ToQtNameFilters(u"All Files (*.*)|*.*||"), QStringList{QStringLiteral("All Files (*)")});
  EXPECT_EQ(ToQtNameFilters(u"Notes (*.ogg;*.wav)|*.ogg;*.wav|Certificates|*.cer; *.crt|"),
            (QStringList{QStringLiteral("Notes (*.ogg *.wav)"), QStringLiteral("Certificates (*.cer *.crt)")}));
  // A name without its patterns, and nothing at all, give no filter.
  EXPECT_TRUE(ToQtNameFilters(u"Broken (*.x)").isEmpty());
  EXPECT_TRUE(ToQtNameFilters(u"").isEmpty());
}

TEST(QtFileDialogTest, TheChosenPathOrNothingIsTheAnswer) {
  testing_support::ScopedTestHome home;
  ScopedQtRenderer qt;
  FileDialogPresenter* presenter = qt.renderer().FileDialogs();
  ASSERT_NE(presenter, nullptr);
  std::string folder = home.root().string();
  FileDialogRequest request;
  request.title = u"Save Note As";
  request.filter = u"All Files (*.*)|*.*||";
  request.initial_name = QString::fromStdString(folder + "/Note 1.ogg").toStdU16String();

  auto saved = std::async(std::launch::async, [&] { return presenter->Present(request); });
  QFileDialog* dialog = OpenTopLevel<QFileDialog>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save Note As"));
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("All Files (*)")});
  static_cast<QDialog*>(dialog)->accept();
  ASSERT_TRUE(WaitFor([&] { return saved.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(saved.get(), std::optional<std::u16string>(request.initial_name));

  auto cancelled = std::async(std::launch::async, [&] { return presenter->Present(request); });
  dialog = OpenTopLevel<QFileDialog>();
  ASSERT_NE(dialog, nullptr);
  dialog->reject();
  ASSERT_TRUE(WaitFor([&] { return cancelled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(cancelled.get(), std::nullopt);

  // A path longer than the program can hold is no choice, not a cut one.
  request.max_path = 10;
  auto too_long = std::async(std::launch::async, [&] { return presenter->Present(request); });
  dialog = OpenTopLevel<QFileDialog>();
  ASSERT_NE(dialog, nullptr);
  static_cast<QDialog*>(dialog)->accept();
  ASSERT_TRUE(WaitFor([&] { return too_long.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(too_long.get(), std::nullopt);
}

}  // namespace
}  // namespace toolkit::qt
