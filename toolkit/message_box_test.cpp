// Message boxes: the buttons of each type, the presenter hook and the headless
// presenter's script.

#include "toolkit/message_box.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace toolkit {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(MessageBoxTest, TypesGiveTheirButtonsAndDefault) {
  struct Row {
    UINT type;
    std::vector<int> buttons;
    int default_button;
  } rows[] = {
      {MB_OK | MB_ICONERROR, {IDOK}, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, {IDOK, IDCANCEL}, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, IDYES},
      {MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, {IDYES, IDNO}, IDNO},
      {MB_RETRYCANCEL | MB_DEFBUTTON4, {IDRETRY, IDCANCEL}, IDRETRY},  // no fourth button: the first
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    EXPECT_EQ(MessageBoxButtons(row.type), row.buttons);
    EXPECT_EQ(MessageBoxDefaultButton(row.type), row.default_button);
  }
  EXPECT_EQ(ParseMessageBoxAnswer("IDNO"), IDNO);
  EXPECT_EQ(ParseMessageBoxAnswer("cancel"), IDCANCEL);
  EXPECT_EQ(ParseMessageBoxAnswer("6"), IDYES);
  EXPECT_EQ(ParseMessageBoxAnswer("IDMAYBE"), std::nullopt);
}

TEST(MessageBoxTest, HeadlessBoxesPrintAndAnswerFromTheScriptInOrder) {
  ::setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDNO, IDCANCEL,IDRETRY,bogus", 1);
  ::testing::internal::CaptureStderr();
  int first = MessageBoxW(nullptr, u"Send now?\nThe note is waiting.", u"Dictalo", MB_YESNOCANCEL);
  int second = MessageBoxW(nullptr, u"Again?", u"Dictalo", MB_YESNOCANCEL);
  int not_offered = MessageBoxW(nullptr, u"Only OK", u"Dictalo", MB_OK);  // IDRETRY is no button here
  int unknown = MessageBoxW(nullptr, u"?", u"Dictalo", MB_YESNO | MB_DEFBUTTON2);
  int used_up = MessageBoxW(nullptr, u"?", u"Dictalo", MB_OKCANCEL | MB_DEFBUTTON2);
  std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(first, IDNO);
  EXPECT_EQ(second, IDCANCEL);
  EXPECT_EQ(not_offered, IDOK);
  EXPECT_EQ(unknown, IDNO);
  EXPECT_EQ(used_up, IDCANCEL);
  EXPECT_THAT(printed, HasSubstr("[message box] Dictalo\n  Send now?\n  The note is waiting.\n"
                                 "  buttons: [Yes] No Cancel\n  answer: No\n"));
  EXPECT_THAT(printed, HasSubstr("\"IDRETRY\" is not a button"));
  EXPECT_THAT(printed, HasSubstr("\"bogus\" is not a button"));

  // A new script starts from its beginning.
  ::setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDOK", 1);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OKCANCEL | MB_DEFBUTTON2), IDOK);
  ::unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
}

class RecordingPresenter : public MessageBoxPresenter {
 public:
  MessageBoxAnswer Present(const MessageBoxRequest& request) override {
    requests.push_back(request);
    return {IDRETRY, !request.checked};
  }
  std::vector<MessageBoxRequest> requests;
};

TEST(MessageBoxTest, AnInstalledPresenterShowsEveryBox) {
  RecordingPresenter presenter;
  EXPECT_EQ(SetMessageBoxPresenter(&presenter), nullptr);
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(MessageBoxW(owner, u"Text", u"Caption", MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);
  EXPECT_EQ(SetMessageBoxPresenter(nullptr), &presenter);
  ASSERT_EQ(presenter.requests.size(), 1u);
  const auto& r = presenter.requests[0];
  EXPECT_EQ(r.owner, owner);
  EXPECT_EQ(r.text, u"Text");
  EXPECT_EQ(r.caption, u"Caption");
  EXPECT_EQ(r.type & MB_ICONMASK, MB_ICONWARNING);
  EXPECT_THAT(r.buttons, ElementsAre(IDRETRY, IDCANCEL));
  EXPECT_EQ(r.default_button, IDRETRY);
  EXPECT_FALSE(r.has_check);
}

TEST(MessageBoxTest, ACheckedNoticeCarriesItsCheckBoxBothWays) {
  RecordingPresenter presenter;
  SetMessageBoxPresenter(&presenter);
  bool checked = true;
  EXPECT_EQ(CheckedNoticeBox(nullptr, u"Stored", u"Saving a Note", MB_OK | MB_ICONINFORMATION, u"Don't show", checked),
            IDRETRY);
  SetMessageBoxPresenter(nullptr);
  ASSERT_EQ(presenter.requests.size(), 1u);
  EXPECT_TRUE(presenter.requests[0].has_check);
  EXPECT_TRUE(presenter.requests[0].checked);
  EXPECT_EQ(presenter.requests[0].check_label, u"Don't show");
  EXPECT_FALSE(checked);  // the presenter's answer comes back
}

TEST(MessageBoxTest, HeadlessScriptSetsTheCheckBoxOrLeavesIt) {
  struct Row {
    const char* script;
    bool initially;
    int button;
    bool checked;
  } rows[] = {
      {"IDOK:unchecked", true, IDOK, false},
      {"IDOK:checked", false, IDOK, true},
      {"IDOK", true, IDOK, true},            // no suffix: unchanged
      {"IDOK", false, IDOK, false},
      {"IDCANCEL:UNCHECKED", true, IDCANCEL, false},
      {"IDOK:maybe", true, IDOK, true},      // unknown state: unchanged, with a warning
      {"", false, IDOK, false},              // no script: default button, unchanged
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    ::setenv("DICTALO_MESSAGEBOX_ANSWERS", row.script, 1);
    ::testing::internal::CaptureStderr();
    bool checked = row.initially;
    int button = CheckedNoticeBox(nullptr, u"Text", u"Saving a Note", MB_OKCANCEL, u"Don't show this again", checked);
    std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(button, row.button);
    EXPECT_EQ(checked, row.checked);
    EXPECT_THAT(printed, HasSubstr(std::string(row.initially ? "[x]" : "[ ]") + " Don't show this again"));
    EXPECT_THAT(printed, HasSubstr(row.checked ? ", checked" : ", unchecked"));
    ::unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  }
  // A plain box ignores a check suffix but still takes the button.
  ::setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDCANCEL:checked", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OKCANCEL), IDCANCEL);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("does not have"));
  ::unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
}

}  // namespace
}  // namespace toolkit
