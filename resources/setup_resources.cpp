#include "resources/setup_resources.h"

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::DWORD;
using platform::RECT;
using platform::WS_POPUP;
using platform::WS_VISIBLE;
using toolkit::ControlTemplate;

constexpr int kWidth = platform::kDefaultScreenWidth;

const char16_t kLicenseAgreement[] =
    u"END-USER LICENCE AGREEMENT\r\n\r\n"
    u"This licence agreement is between you and Corvane Software for the program Dictalo and its update "
    u"utility. By choosing Accept you agree to its terms; if you do not agree, choose Decline and the "
    u"program will not be installed.\r\n\r\n"
    u"1. You may install and use one copy of the program on each device you own.\r\n"
    u"2. You may not rent, lease or resell the program, nor remove its notices.\r\n"
    u"3. The program is provided as it is, without warranty of any kind. Corvane Software is not liable "
    u"for any damage arising from its use, including lost notes or mail.\r\n"
    u"4. The update utility contacts the update server only when you start it; it sends no personal "
    u"information.\r\n";

void AddStrings() {
  toolkit::AddString(kSetupTitleString, u"DictaloSetup");
  toolkit::AddString(kSetupProductString, u"Dictalo");
  toolkit::AddString(kSetupMakerString, u"Corvane Software");
  toolkit::AddString(kSetupNoticeString, u"Copyright (c) Corvane Software. All rights reserved.");
  toolkit::AddString(kLicenseTextString, kLicenseAgreement);
  toolkit::AddString(kLicenseErrorString, u"License error");
  toolkit::AddString(kWrongSystemString, u"%s requires a Windows Mobile 5 system.\r\rInstall will now cancel.");
  toolkit::AddString(kProductLineString, u"%s\r%s\rfor Windows Mobile 5/6");
  toolkit::AddString(kLicenseHeadingString, u"License Agreement");
  toolkit::AddString(kAcceptString, u"Accept");
  toolkit::AddString(kDeclineString, u"Decline");
}

ControlTemplate Static(int id, std::u16string text, RECT rect, DWORD extra = 0) {
  return ControlTemplate{std::u16string(toolkit::kStaticClass), id, std::move(text), rect,
                         toolkit::SS_NOPREFIX | WS_VISIBLE | extra, 0};
}

// The text box is placed again by the dialog on every size change; these are the
// portrait places at 96 dpi.
void AddLicenseDialog() {
  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kSetupTitleString);
  dialog.width = kWidth;
  dialog.height = platform::kDefaultScreenHeight;
  dialog.style = WS_POPUP;
  dialog.controls = {
      Static(kLicenseHeading, toolkit::LoadStringW(kLicenseHeadingString), RECT{8, 4, kWidth - 8, 22}),
      Static(kLicenseProductLine, u"", RECT{8, 24, kWidth - 8, 72}),
      Static(kLicenseNotice, u"", RECT{8, 74, kWidth - 8, 102}),
      ControlTemplate{std::u16string(toolkit::kEditClass), kLicenseText, u"", RECT{8, 105, 8 + 220, 105 + 127},
                      toolkit::ES_MULTILINE | toolkit::ES_READONLY | toolkit::WS_TABSTOP | WS_VISIBLE, 0},
  };
  toolkit::AddDialogTemplate(kLicenseDialog, std::move(dialog));
}

void AddMenuBars() {
  toolkit::MenuBarResource bar;
  bar.keys = {{toolkit::LoadStringW(kAcceptString), kLicenseAcceptCommand, 0, {}},
              {toolkit::LoadStringW(kDeclineString), kLicenseDeclineCommand, 0, {}}};
  toolkit::AddMenuBar(kLicenseMenuBar, std::move(bar));
}

}  // namespace

void RegisterSetupResources() {
  AddStrings();
  AddLicenseDialog();
  AddMenuBars();
}

}  // namespace resources
