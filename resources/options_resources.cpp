#include "resources/options_resources.h"

#include <string>
#include <utility>

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::DWORD;
using platform::RECT;
using platform::WS_CHILD;
using platform::WS_POPUP;
using platform::WS_VISIBLE;
using toolkit::ControlTemplate;
using toolkit::DialogTemplate;
using toolkit::MenuItemResource;
using toolkit::SoftKeyResource;

constexpr int kWidth = platform::kDefaultScreenWidth;
// A full-screen page leaves the soft-key bar its row.
constexpr int kPageHeight = platform::kDefaultScreenHeight - toolkit::kMenuBarHeight;
constexpr int kMargin = 4;
constexpr int kLabelHeight = 16;
constexpr int kFieldHeight = 22;

constexpr DWORD kVisible = WS_VISIBLE;
constexpr DWORD kLabelStyle = toolkit::SS_LEFT | kVisible;
constexpr DWORD kEditStyle = toolkit::ES_LEFT | toolkit::ES_AUTOHSCROLL | toolkit::WS_TABSTOP | kVisible;
constexpr DWORD kListStyle = toolkit::CBS_DROPDOWNLIST | toolkit::WS_TABSTOP | kVisible;
constexpr DWORD kButtonStyle = toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP | kVisible;
constexpr DWORD kCheckStyle = toolkit::BS_AUTOCHECKBOX | toolkit::WS_TABSTOP | kVisible;

ControlTemplate Control(std::u16string_view class_name, int id, std::u16string_view text, RECT rect, DWORD style) {
  return ControlTemplate{std::u16string(class_name), id, std::u16string(text), rect, style, 0};
}
ControlTemplate Label(int id, std::u16string_view text, int top, int left = kMargin, int right = kWidth - kMargin) {
  return Control(toolkit::kStaticClass, id, text, RECT{left, top, right, top + kLabelHeight}, kLabelStyle);
}
ControlTemplate Edit(int id, int top, DWORD extra = 0, int left = kMargin, int right = kWidth - kMargin) {
  return Control(toolkit::kEditClass, id, u"", RECT{left, top, right, top + kFieldHeight}, kEditStyle | extra);
}
ControlTemplate List(int id, int top, int left, int right) {
  return Control(toolkit::kComboBoxClass, id, u"", RECT{left, top, right, top + kFieldHeight}, kListStyle);
}
ControlTemplate Button(int id, std::u16string_view text, int top, int left, int right, DWORD style = kButtonStyle) {
  return Control(toolkit::kButtonClass, id, text, RECT{left, top, right, top + kFieldHeight}, style);
}

// A page's content stays above kPageHeight; its soft-key bar takes the rest.
DialogTemplate Page(std::u16string_view title, DWORD style = WS_POPUP) {
  DialogTemplate d;
  d.title = std::u16string(title);
  d.width = kWidth;
  d.height = platform::kDefaultScreenHeight;
  d.style = style;
  return d;
}

// The screen: mode and its details, encoding, the cue sound, the hotkey buttons
// (made by the screen below kHotkeyLabel, moving what follows down), and the
// unsent notes, hidden until there are some.
void AddOptionsScreen() {
  DialogTemplate d = Page(u"Settings", WS_CHILD | WS_VISIBLE);
  d.height = kPageHeight;  // the main window's bar is below it
  d.controls = {
      // The mode list takes the whole width for its longest entry, its
      // "Details…" button beside the label above it. The list stays first: it
      // takes the focus when the screen opens.
      Label(kModeLabel, u"Recorded notes will be:", 6, kMargin, 160),
      List(kModeList, 26, kMargin, kWidth - kMargin),
      Button(kDetailsButton, u"Details\u2026", 2, 164, kWidth - kMargin),
      Label(kEncodingLabel, u"Encoding:", 54, kMargin, 70),
      List(kEncodingList, 50, 74, 160),
      Button(kPlaySoundCheck, u"Play Sound", 80, kMargin, kWidth - kMargin, kCheckStyle),
      List(kSoundList, 104, kMargin, 200),
      Button(kPlayButton, u"\u2026", 104, 204, kWidth - kMargin),
      Label(kHotkeyLabel, u"Hotkey:", 134),
      Control(toolkit::kStaticClass, kUnsentLine, u"", RECT{kMargin, 156, kWidth - kMargin, 172}, toolkit::SS_LEFT),
      Button(kViewNotesButton, u"View Notes\u2026", 176, kMargin, 88, toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP),
      Button(kDeleteAllButton, u"Delete All", 176, 92, 162, toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP),
      Button(kResendAllButton, u"Resend All", 176, 166, kWidth - kMargin, toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP),
  };
  toolkit::AddDialogTemplate(kOptionsScreenDialog, std::move(d));
}

void AddFilePage() {
  DialogTemplate d = Page(u"Save As File Settings");
  d.controls = {
      Label(kFileNameLabel, u"File Name:", 4),
      Edit(kFileNameEdit, 22),
      Label(kSaveToLabel, u"Save To:", 52),
      // Chosen with "…", so only folders the chooser offers get here.
      Edit(kSaveToEdit, 70, toolkit::ES_READONLY, kMargin, 200),
      Button(kBrowseButton, u"\u2026", 70, 204, kWidth - kMargin),
  };
  toolkit::AddDialogTemplate(kFilePageDialog, std::move(d));
}

// From, To and Subject rows as the mail pages share them.
void AddAddressRows(DialogTemplate& d, bool with_from) {
  int top = 4;
  if (with_from) {
    d.controls.push_back(Label(kFromLabel, u"Send From:", top));
    d.controls.push_back(Edit(kFromEdit, top + 18));
    top += 46;
  }
  d.controls.push_back(Label(kToLabel, u"Send To:", top));
  d.controls.push_back(Edit(kToEdit, top + 18));
  top += 46;
  d.controls.push_back(Label(kSubjectLabel, u"Subject:", top));
  d.controls.push_back(Edit(kSubjectEdit, top + 18));
}

void AddSmtpPage() {
  DialogTemplate d = Page(u"Send Via SMTP Settings");
  AddAddressRows(d, true);
  d.controls.push_back(Button(kSendImmediatelyCheck, u"Send Immediately", 144, kMargin, kWidth - kMargin, kCheckStyle));
  // Widths by their texts: "Connection…" needs the most.
  d.controls.push_back(Button(kAccountButton, u"Account\u2026", 172, kMargin, 74));
  d.controls.push_back(Button(kTestButton, u"Test\u2026", 172, 78, 134));
  d.controls.push_back(Button(kConnectionButton, u"Connection\u2026", 172, 138, kWidth - kMargin));
  toolkit::AddDialogTemplate(kSmtpPageDialog, std::move(d));
}

void AddActiveSyncPage() {
  DialogTemplate d = Page(u"Send Via ActiveSync Settings");
  AddAddressRows(d, false);
  toolkit::AddDialogTemplate(kActiveSyncPageDialog, std::move(d));
}

void AddWebPage() {
  DialogTemplate d = Page(u"Send Via Corvane Service Settings");
  AddAddressRows(d, true);
  d.controls.push_back(Button(kSendImmediatelyCheck, u"Send Immediately", 144, kMargin, kWidth - kMargin, kCheckStyle));
  d.controls.push_back(Button(kUseSmtpCheck, u"Use SMTP protocol", 166, kMargin, kWidth - kMargin, kCheckStyle));
  d.controls.push_back(Button(kSignupButton, u"Signup\u2026", 194, kMargin, 118));
  d.controls.push_back(Button(kConnectionButton, u"Connection\u2026", 194, 122, kWidth - kMargin));
  toolkit::AddDialogTemplate(kWebPageDialog, std::move(d));
}

void AddSignupDialog() {
  DialogTemplate d = Page(u"Web Service Signup");
  const std::u16string link(kSignupAddress.begin(), kSignupAddress.end());
  d.controls = {
      Control(toolkit::kStaticClass, kSignupIntroText,
              u"To use Corvane mail sending service you need to register for free at:",
              RECT{kMargin, 4, kWidth - kMargin, 40}, kLabelStyle),
      Control(toolkit::kStaticClass, kSignupLink, link, RECT{kMargin, 42, kWidth - kMargin, 74},
              toolkit::SS_LEFT | toolkit::SS_NOTIFY | toolkit::SS_NOPREFIX | kVisible),
      Control(toolkit::kStaticClass, kSignupAfterText,
              u"After registration please enter your user name and password below.",
              RECT{kMargin, 78, kWidth - kMargin, 114}, kLabelStyle),
      Label(kUserNameLabel, u"User Name:", 118),
      Edit(kUserNameEdit, 136),
      Label(kPasswordLabel, u"Password:", 164),
      Edit(kPasswordEdit, 182, toolkit::ES_PASSWORD),
  };
  toolkit::AddDialogTemplate(kSignupDialog, std::move(d));
}

void AddFolderDialogs() {
  DialogTemplate chooser = Page(u"Select Folder");
  chooser.controls = {
      Control(toolkit::kStaticClass, kFolderPrompt, u"Please select a folder where you want voice notes to be stored",
              RECT{kMargin, 4, kWidth - kMargin, 36}, kLabelStyle),
      Control(toolkit::kTreeViewClass, kFolderTree, u"", RECT{kMargin, 40, kWidth - kMargin, 256},
              toolkit::TVS_HASBUTTONS | toolkit::TVS_HASLINES | toolkit::TVS_LINESATROOT |
                  toolkit::TVS_SHOWSELALWAYS | toolkit::WS_TABSTOP | kVisible),
      Button(kNewFolderButton, u"New Folder", 262, kMargin, 100),
  };
  toolkit::AddDialogTemplate(kSelectFolderDialog, std::move(chooser));

  DialogTemplate name = Page(u"Create New Folder");
  name.height = 80;
  name.controls = {
      Label(kNewFolderLabel, u"New Folder Name:", 4),
      Edit(kNewFolderEdit, 22),
  };
  toolkit::AddDialogTemplate(kNewFolderDialog, std::move(name));
}

SoftKeyResource Key(std::u16string_view text, UINT command) {
  return SoftKeyResource{std::u16string(text), command, 0, {}};
}
SoftKeyResource MenuKey(UINT popup_id, std::vector<MenuItemResource> items) {
  return SoftKeyResource{u"Menu", 0, popup_id, std::move(items)};
}

void AddMenuBars() {
  constexpr UINT kOk = toolkit::IDOK;
  constexpr UINT kCancel = toolkit::IDCANCEL;
  toolkit::AddMenuBar(kMainMenuBar, {{Key(u"OK", kOk), MenuKey(kMainMenuPopup, {
                                                                                    {u"About\u2026", kAboutCommand},
                                                                                    {u"View Notes\u2026", kViewNotesCommand},
                                                                                    {u"Delete Notes", kDeleteNotesCommand},
                                                                                    {u"Resend Notes", kResendNotesCommand},
                                                                                    {u"Cancel", kCancel},
                                                                                })}});
  toolkit::AddMenuBar(kOptionsOkCancelMenuBar, {{Key(u"OK", kOk), Key(u"Cancel", kCancel)}});
  toolkit::AddMenuBar(kSmtpPageMenuBar, {{Key(u"OK", kOk), MenuKey(kSmtpPageMenuPopup, {
                                                                                           {u"Mail Account\u2026", kAccountButton},
                                                                                           {u"Test Account\u2026", kTestButton},
                                                                                           {u"Connection\u2026", kConnectionButton},
                                                                                           {u"Cancel", kCancel},
                                                                                       })}});
  toolkit::AddMenuBar(kWebPageMenuBar, {{Key(u"OK", kOk), MenuKey(kWebPageMenuPopup, {
                                                                                         {u"Signup\u2026", kSignupButton},
                                                                                         {u"Connection\u2026", kConnectionButton},
                                                                                         {u"Cancel", kCancel},
                                                                                     })}});
}

}  // namespace

void RegisterOptionsResources() {
  AddOptionsScreen();
  AddFilePage();
  AddSmtpPage();
  AddActiveSyncPage();
  AddWebPage();
  AddSignupDialog();
  AddFolderDialogs();
  AddMenuBars();
}

}  // namespace resources
