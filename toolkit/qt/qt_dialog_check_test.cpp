// The structural check of dialog templates against their widgets: a template
// with every kind of control passes and leaves a screenshot, a page (WS_CHILD)
// is checked inside a host window, and a widget that differs from its template
// is reported.

#include "toolkit/qt/qt_dialog_check_test_support.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <filesystem>
#include <fstream>

#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/resources.h"
#include "toolkit/separator.h"

namespace toolkit::qt {
namespace {

using namespace platform;
using testing::CheckDialogTemplate;
using testing::ProgramThread;
using testing::ScopedQtRenderer;

constexpr UINT kEveryKind = 9401, kPage = 9402;

void AddTemplates() {
  InitSeparator();
  auto c = [](std::u16string_view cls, int id, std::u16string text, int row, DWORD style) {
    return ControlTemplate{std::u16string(cls), id, std::move(text), RECT{4, 4 + row * 22, 236, 24 + row * 22}, style, 0};
  };
  DialogTemplate d;
  d.title = u"Every Kind";
  d.width = 240;
  d.height = 340;
  d.style = WS_POPUP;
  d.controls = {
      c(kStaticClass, 10, u"&Server && port", 0, SS_LEFT | WS_VISIBLE),
      c(kStaticClass, 11, u"A && B", 1, SS_NOPREFIX | WS_VISIBLE),
      c(kStaticClass, 12, u"Open the help", 2, SS_NOTIFY | WS_VISIBLE),
      c(kEditClass, 13, u"mail.example.org", 3, WS_TABSTOP | WS_VISIBLE),
      c(kEditClass, 14, u"secret", 4, ES_PASSWORD | WS_TABSTOP | WS_VISIBLE | WS_DISABLED),
      c(kComboBoxClass, 15, u"", 5, CBS_DROPDOWNLIST | WS_TABSTOP | WS_VISIBLE),
      c(kButtonClass, 16, u"Use &SSL", 6, BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE),
      c(kButtonClass, 17, u"Work", 7, BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP | WS_VISIBLE),
      c(kButtonClass, 18, u"Connection", 8, BS_GROUPBOX | WS_VISIBLE),
      c(kTrackbarClass, 19, u"", 9, WS_TABSTOP | WS_VISIBLE),
      c(kProgressClass, 20, u"", 10, 0),
      c(kButtonClass, 21, u"Stop && Send", 11, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE),
      c(kButtonClass, IDOK, u"OK", 12, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE),
      c(kEditClass, 22, u"line one\r\nline two", 13, ES_MULTILINE | WS_VISIBLE),
      c(kSeparatorClass, 23, u"Security", 14, WS_VISIBLE),
  };
  AddDialogTemplate(kEveryKind, d);

  DialogTemplate page;
  page.width = 200;
  page.height = 60;
  page.style = WS_CHILD | WS_VISIBLE;
  page.controls = {c(kStaticClass, 30, u"On a page", 0, WS_VISIBLE),
                   c(kButtonClass, 31, u"Press", 1, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE)};
  AddDialogTemplate(kPage, page);
}

bool IsPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  in.read(head, sizeof head);
  return in && std::string(head + 1, 3) == "PNG";
}

TEST(QtDialogCheckTest, TemplatesOfEveryKindMatchTheirWidgets) {
  testing_support::ScopedTestHome home;
  AddTemplates();
  ScopedQtRenderer qt;
  ProgramThread program;
  for (auto [id, name] : {std::pair{kEveryKind, "check_every_kind"}, std::pair{kPage, "check_page"}}) {
    auto check = CheckDialogTemplate(qt, program, id, name);
    std::string problems;
    for (const auto& p : check.problems) problems += p + "\n";
    EXPECT_TRUE(check.problems.empty()) << problems;
    EXPECT_TRUE(IsPng(check.screenshot)) << check.screenshot;
  }
}

TEST(QtDialogCheckTest, AWidgetThatDiffersFromItsTemplateIsReported) {
  testing_support::ScopedTestHome home;
  AddTemplates();
  ScopedQtRenderer qt;
  ProgramThread program;
  auto t = FindDialogTemplate(kEveryKind);
  auto [dialog, controls] = program.Call([&] {
    HWND d = CreateDialogParamW(kEveryKind, nullptr, testing::PassiveDialogProc, 0);
    ShowWindow(d, SW_SHOW);
    return std::make_pair(d, GetChildWindows(d));
  });
  ASSERT_TRUE(testing::WaitFor([&] { return qt.renderer().WidgetFor(controls.back()) != nullptr; }));
  EXPECT_TRUE(testing::CompareWithTemplate(qt.renderer(), dialog, controls, *t).empty());

  qobject_cast<QLabel*>(qt.renderer().WidgetFor(controls[0]))->setText(QStringLiteral("Port"));
  qt.renderer().WidgetFor(controls[1])->hide();
  auto problems = testing::CompareWithTemplate(qt.renderer(), dialog, controls, *t);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("expected \"Server & port\""), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("hidden, expected visible"), std::string::npos) << problems[1];

  // Tab order that no longer follows the template.
  qobject_cast<QLabel*>(qt.renderer().WidgetFor(controls[0]))->setText(QStringLiteral("Server & port"));
  qt.renderer().WidgetFor(controls[1])->show();
  QWidget::setTabOrder(qt.renderer().WidgetFor(controls[12]), qt.renderer().WidgetFor(controls[3]));
  problems = testing::CompareWithTemplate(qt.renderer(), dialog, controls, *t);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("Tab does not follow"), std::string::npos) << problems[0];

  // One control short: the counts differ.
  controls.pop_back();
  EXPECT_FALSE(testing::CompareWithTemplate(qt.renderer(), dialog, controls, *t).empty());
  program.Call([&] { return DestroyWindow(dialog); });
}

}  // namespace
}  // namespace toolkit::qt
