#include "resources/update_resources.h"

#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::WS_POPUP;
using platform::WS_VISIBLE;

void AddStrings() {
  toolkit::AddString(kUpdateCancelQuestionString, u"Cancel download; Are you sure?");
  toolkit::AddString(kUpdateNoBrowserString, u"Unable to start Internet browser.");
  toolkit::AddString(kUpdateAboutTitleString, u"About");
  toolkit::AddString(kUpdateAboutTextString,
                     u"Corvane Update 1.0\r\n\r\nChecks the update server for newer versions of your Corvane "
                     u"software and installs them.\r\n\r\nCopyright (c) Corvane Software.");
}

void AddMenuBars() {
  using toolkit::MenuBarResource;
  toolkit::AddMenuBar(kUpdateRetryExitBar, MenuBarResource{{{u"Retry", kUpdateRetryCommand, 0, {}},
                                                            {u"Exit", kUpdateExitCommand, 0, {}}}});
  std::vector<toolkit::MenuItemResource> menu = {{u"Product Info...", kUpdateInfoCommand},
                                                 {u"Buy Now...", kUpdateBuyCommand},
                                                 {u"About...", kUpdateAboutCommand},
                                                 {u"", 0},
                                                 {u"Exit", kUpdateExitCommand}};
  toolkit::AddMenuBar(kUpdateDownloadBar, MenuBarResource{{{u"Download", kUpdateDownloadCommand, 0, {}},
                                                           {u"Menu", 0, kUpdateMenuPopup, menu}}});
  menu.erase(menu.begin() + 1);
  toolkit::AddMenuBar(kUpdateDownloadNoBuyBar, MenuBarResource{{{u"Download", kUpdateDownloadCommand, 0, {}},
                                                                {u"Menu", 0, kUpdateMenuPopup, menu}}});
  toolkit::AddMenuBar(kUpdateExitBar, MenuBarResource{{{u"Exit", kUpdateExitCommand, 0, {}}}});
  toolkit::AddMenuBar(kUpdateCancelBar, MenuBarResource{{{u"Cancel", kUpdateCancelCommand, 0, {}}}});
  toolkit::AddMenuBar(kUpdateDoneBar, MenuBarResource{{{u"Done", kUpdateDoneCommand, 0, {}}}});
}

void AddAboutDialog() {
  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kUpdateAboutTitleString);
  dialog.width = platform::kDefaultScreenWidth;
  dialog.height = 160;
  dialog.style = WS_POPUP;
  dialog.controls = {
      toolkit::ControlTemplate{std::u16string(toolkit::kStaticClass), kUpdateAboutText,
                               toolkit::LoadStringW(kUpdateAboutTextString), platform::RECT{8, 8, 232, 120},
                               toolkit::SS_NOPREFIX | WS_VISIBLE, 0},
      toolkit::ControlTemplate{std::u16string(toolkit::kButtonClass), 1, u"OK", platform::RECT{80, 126, 160, 150},
                               toolkit::BS_DEFPUSHBUTTON | toolkit::WS_TABSTOP | WS_VISIBLE, 0},
  };
  toolkit::AddDialogTemplate(kUpdateAboutDialog, std::move(dialog));
}

}  // namespace

void RegisterUpdateResources() {
  AddStrings();
  AddMenuBars();
  AddAboutDialog();
}

}  // namespace resources
