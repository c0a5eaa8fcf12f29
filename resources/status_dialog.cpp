#include "resources/status_dialog.h"

#include "resources/account_resources.h"
#include "resources/desktop_resources.h"
#include "resources/notes_resources.h"
#include "resources/options_resources.h"

#include "toolkit/controls.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::RECT;
using platform::WS_POPUP;
using platform::WS_VISIBLE;
using toolkit::ControlTemplate;

void AddStrings() {
  toolkit::AddString(kAppTitleString, u"Dictalo");
  toolkit::AddString(kSavingNoteTitleString, u"Saving a Note");
  toolkit::AddString(kSavingNoteTextString,
                     u"Your note was stored as an unsent note. You can send it later with \"Resend Notes\" "
                     u"on the options screen, or listen to it first under \"View Notes\".");
  toolkit::AddString(kDontShowAgainString, u"Don't show this again");
  toolkit::AddString(kStopSendString, u"Stop && Send");
  toolkit::AddString(kStopSaveString, u"Stop && Save");
  toolkit::AddString(kCancelString, u"Cancel");
}

// Two text rows, the progress bar in the second row's place, three buttons below.
void AddStatusDialog() {
  constexpr int kWidth = platform::kDefaultScreenWidth;
  constexpr int kMargin = 4;
  constexpr int kRowHeight = 20;
  constexpr int kButtonTop = 56;
  constexpr int kButtonBottom = kStatusDialogHeight - 8;
  constexpr platform::DWORD kOwnerDrawn = toolkit::BS_OWNERDRAW | toolkit::WS_TABSTOP | WS_VISIBLE;

  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kAppTitleString);
  dialog.x = 0;
  dialog.y = platform::kDefaultScreenHeight - kStatusDialogHeight;
  dialog.width = kWidth;
  dialog.height = kStatusDialogHeight;
  dialog.style = WS_POPUP;

  auto button = [&](int id, UINT text, int column) {
    int span = (kWidth - 2 * kMargin) / 3;
    int left = kMargin + column * span;
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, toolkit::LoadStringW(text),
                           RECT{left + 2, kButtonTop, left + span - 2, kButtonBottom}, kOwnerDrawn, 0};
  };
  dialog.controls = {
      ControlTemplate{std::u16string(toolkit::kStaticClass), kStatusTextControl, u"",
                      RECT{kMargin, kMargin, kWidth - kMargin, kMargin + kRowHeight},
                      toolkit::SS_LEFT | toolkit::SS_NOPREFIX | WS_VISIBLE, 0},
      ControlTemplate{std::u16string(toolkit::kStaticClass), kStatusDetailControl, u"",
                      RECT{kMargin, 2 * kMargin + kRowHeight, kWidth - kMargin, 2 * kMargin + 2 * kRowHeight},
                      toolkit::SS_LEFT | toolkit::SS_NOPREFIX | WS_VISIBLE, 0},
      button(kStopSendButton, kStopSendString, 0),
      button(kStopSaveButton, kStopSaveString, 1),
      button(kCancelButton, kCancelString, 2),
      // Hidden until encoding starts.
      ControlTemplate{std::u16string(toolkit::kProgressClass), kStatusProgressControl, u"",
                      RECT{kMargin, 2 * kMargin + kRowHeight + 2, kWidth - kMargin, 2 * kMargin + 2 * kRowHeight - 2},
                      0, 0},
  };
  toolkit::AddDialogTemplate(kStatusDialog, std::move(dialog));
}

void AddStatusMenuBar() {
  toolkit::MenuBarResource bar;
  bar.keys = {
      toolkit::SoftKeyResource{u"Send", kSendCommand, 0, {}},
      toolkit::SoftKeyResource{u"Save", kSaveCommand, 0, {}},
  };
  toolkit::AddMenuBar(kStatusMenuBar, std::move(bar));
}

}  // namespace

void RegisterProgramResources() {
  AddStrings();
  AddStatusDialog();
  AddStatusMenuBar();
  RegisterOptionsResources();
  RegisterAccountResources();
  RegisterNotesResources();
  RegisterDesktopResources();
}

}  // namespace resources
