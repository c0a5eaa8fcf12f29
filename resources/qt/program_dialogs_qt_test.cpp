// Every dialog template the program registers, opened with the desktop
// renderer: each control has its widget, of its kind, with its text, state and
// place among its siblings; a screenshot of each lands in
// <build>/artefacts/screenshots/dialog_<id>.png.

#include <gtest/gtest.h>

#include <string>

#include "resources/status_dialog.h"
#include "tests/support/test_environment.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using toolkit::qt::testing::CheckDialogTemplate;
using toolkit::qt::testing::ProgramThread;
using toolkit::qt::testing::ScopedQtRenderer;

TEST(ProgramDialogsQtTest, EveryRegisteredDialogShowsAsItsTemplateSays) {
  testing_support::ScopedTestHome home;
  RegisterProgramResources();
  std::vector<UINT> ids = toolkit::DialogTemplateIds();
  ASSERT_FALSE(ids.empty());
  ASSERT_NE(std::find(ids.begin(), ids.end(), kStatusDialog), ids.end());
  ScopedQtRenderer qt;
  ProgramThread program;
  for (UINT id : ids) {
    SCOPED_TRACE("dialog template " + std::to_string(id));
    auto check = CheckDialogTemplate(qt, program, id, "dialog_" + std::to_string(id));
    std::string problems;
    for (const auto& problem : check.problems) problems += "  " + problem + "\n";
    EXPECT_TRUE(check.problems.empty()) << problems;
    EXPECT_FALSE(check.screenshot.empty());
  }
}

}  // namespace
}  // namespace resources
