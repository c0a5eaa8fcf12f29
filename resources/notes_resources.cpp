#include "resources/notes_resources.h"

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::DWORD;
using platform::RECT;
using platform::WS_POPUP;
using platform::WS_VISIBLE;
using toolkit::ControlTemplate;

constexpr int kWidth = platform::kDefaultScreenWidth;
constexpr int kHeight = platform::kDefaultScreenHeight;
constexpr int kMargin = 4;
constexpr int kRowHeight = 20;
constexpr int kLabelWidth = 56;

void AddStrings() {
  toolkit::AddString(kNotesAppTitleString, u"Dictalo");
  toolkit::AddString(kNotesListTitleString, u"Voice Notes List");
  toolkit::AddString(kNoteViewTitleString, u"Voice Note Edit");
  toolkit::AddString(kConnectionStatusTitleString, u"Connection Status");
  toolkit::AddString(kDateColumnString, u"Date");
  toolkit::AddString(kSizeColumnString, u"Size");
  toolkit::AddString(kRecipientColumnString, u"Recipient");
  toolkit::AddString(kSaveNoteTitleString, u"Save Note As");
  toolkit::AddString(kSaveNoteFilterString, u"All Files (*.*)|*.*||");
  toolkit::AddString(kReplaceFileString,
                     u"This folder already contains a file named '%s'. Would you like to replace the existing file?");
  toolkit::AddString(kDeleteSelectedString, u"Are you sure you want to delete selected note?");
  toolkit::AddString(kDeleteOpenedString, u"Are you sure you want to delete opened note?");
  toolkit::AddString(kNoteInfoString, u"Encoding: %s%sSize: %s\nLength: %s%sDate: %s");
  toolkit::AddString(kSaveFailedString,
                     u"The note could not be saved as '%s'. Make sure the folder exists and you may write to it.");
  toolkit::AddString(kNoteGoneString, u"This note is no longer among the unsent notes.");
  toolkit::AddString(kDeleteFailedString, u"The note could not be deleted.");
  toolkit::AddString(kConnectionErrorsTitleString, u"Connection Status");
  toolkit::AddString(kOpenString, u"Open");
  toolkit::AddString(kSaveAsFileString, u"Save As File");
  toolkit::AddString(kDeleteString, u"Delete");
  toolkit::AddString(kPlayString, u"Play");
  toolkit::AddString(kNotesCancelString, u"Cancel");
  toolkit::AddString(kMenuString, u"Menu");
  toolkit::AddString(kCloseString, u"Close");
  toolkit::AddString(kFromLabelString, u"From:");
  toolkit::AddString(kToLabelString, u"To:");
  toolkit::AddString(kSubjectLabelString, u"Subject:");
  toolkit::AddString(kConversionFailedString,
                     u"%s unsent note(s) could not be converted and stay among the unsent notes.");
  toolkit::AddString(kNoRecordingString, u"This note has no recording.");
  toolkit::AddString(kDeleteAllFailedString, u"Some unsent notes could not be deleted.");
  toolkit::AddString(kWebResendFailedString,
                     u"The mail service did not accept every note. The notes not sent stay among the unsent notes.");
}

ControlTemplate Static(int id, std::u16string text, RECT rect, DWORD extra = 0) {
  return ControlTemplate{std::u16string(toolkit::kStaticClass), id, std::move(text), rect,
                         toolkit::SS_LEFT | toolkit::SS_NOPREFIX | WS_VISIBLE | extra, 0};
}

// The list fills the dialog above the soft-key bar; the dialog keeps it so.
void AddNotesListDialog() {
  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kNotesListTitleString);
  dialog.width = kWidth;
  dialog.height = kHeight;
  dialog.style = WS_POPUP;
  dialog.controls = {
      ControlTemplate{std::u16string(toolkit::kListViewClass), kNotesListView, u"",
                      RECT{0, 0, kWidth, kHeight - toolkit::kMenuBarHeight},
                      toolkit::LVS_REPORT | toolkit::LVS_SINGLESEL | toolkit::LVS_SHOWSELALWAYS | toolkit::WS_TABSTOP |
                          WS_VISIBLE,
                      0},
  };
  toolkit::AddDialogTemplate(kNotesListDialog, std::move(dialog));
}

// Three labelled read-only fields, the Play button, the information text.
void AddNoteViewDialog() {
  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kNoteViewTitleString);
  dialog.width = kWidth;
  dialog.height = kHeight;
  dialog.style = WS_POPUP;
  auto row_top = [](int row) { return kMargin + row * (kRowHeight + kMargin); };
  auto field = [&](int label_id, UINT label, int field_id, int row) {
    int top = row_top(row);
    return std::pair{
        Static(label_id, toolkit::LoadStringW(label), RECT{kMargin, top + 2, kMargin + kLabelWidth, top + kRowHeight}),
        ControlTemplate{std::u16string(toolkit::kEditClass), field_id, u"",
                        RECT{kMargin + kLabelWidth, top, kWidth - kMargin, top + kRowHeight},
                        toolkit::ES_LEFT | toolkit::ES_AUTOHSCROLL | toolkit::ES_READONLY | toolkit::WS_TABSTOP |
                            WS_VISIBLE,
                        0}};
  };
  auto [from_label, from_field] = field(kNoteFromLabel, kFromLabelString, kNoteFromField, 0);
  auto [to_label, to_field] = field(kNoteToLabel, kToLabelString, kNoteToField, 1);
  auto [subject_label, subject_field] = field(kNoteSubjectLabel, kSubjectLabelString, kNoteSubjectField, 2);
  int play_top = row_top(3);
  int info_top = row_top(4) + kMargin;
  dialog.controls = {
      from_label,
      from_field,
      to_label,
      to_field,
      subject_label,
      subject_field,
      ControlTemplate{std::u16string(toolkit::kButtonClass), kNotePlayButton, toolkit::LoadStringW(kPlayString),
                      RECT{kMargin, play_top, kMargin + 72, play_top + kRowHeight + 4},
                      toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP | WS_VISIBLE, 0},
      Static(kNoteInfoText, u"", RECT{kMargin, info_top, kWidth - kMargin, info_top + 5 * kRowHeight}),
  };
  toolkit::AddDialogTemplate(kNoteViewDialog, std::move(dialog));
}

// A status line over a progress bar; the error report below them.
void AddConnectionStatusDialog() {
  constexpr int kDialogHeight = 200;
  toolkit::DialogTemplate dialog;
  dialog.title = toolkit::LoadStringW(kConnectionStatusTitleString);
  dialog.width = kWidth;
  dialog.height = kDialogHeight;
  dialog.y = (kHeight - kDialogHeight) / 2;
  dialog.style = WS_POPUP;
  int bar_top = 2 * kMargin + kRowHeight;
  int report_top = bar_top + 16 + 2 * kMargin;
  dialog.controls = {
      Static(kConnectionStatusText, u"", RECT{kMargin, kMargin, kWidth - kMargin, kMargin + kRowHeight}),
      ControlTemplate{std::u16string(toolkit::kProgressClass), kConnectionProgress, u"",
                      RECT{kMargin, bar_top, kWidth - kMargin, bar_top + 16}, WS_VISIBLE, 0},
      // Shown when a report arrives.
      ControlTemplate{std::u16string(toolkit::kStaticClass), kConnectionReportText, u"",
                      RECT{kMargin, report_top, kWidth - kMargin, kDialogHeight - kMargin},
                      toolkit::SS_LEFT | toolkit::SS_NOPREFIX, 0},
  };
  toolkit::AddDialogTemplate(kConnectionStatusDialog, std::move(dialog));
}

void AddMenuBars() {
  using toolkit::MenuItemResource;
  using toolkit::SoftKeyResource;
  toolkit::MenuBarResource list;
  list.keys = {
      SoftKeyResource{toolkit::LoadStringW(kOpenString), kOpenNoteCommand, 0, {}},
      SoftKeyResource{toolkit::LoadStringW(kMenuString),
                      0,
                      kNotesListPopup,
                      {
                          MenuItemResource{toolkit::LoadStringW(kOpenString), kOpenNoteCommand},
                          MenuItemResource{toolkit::LoadStringW(kSaveAsFileString), kSaveNoteCommand},
                          MenuItemResource{toolkit::LoadStringW(kDeleteString), kDeleteNoteCommand},
                          MenuItemResource{u"", 0},
                          MenuItemResource{toolkit::LoadStringW(kCloseString), static_cast<UINT>(toolkit::IDOK)},
                      }},
  };
  toolkit::AddMenuBar(kNotesListMenuBar, std::move(list));

  toolkit::MenuBarResource view;
  view.keys = {
      SoftKeyResource{toolkit::LoadStringW(kPlayString), kPlayNoteCommand, 0, {}},
      SoftKeyResource{toolkit::LoadStringW(kMenuString),
                      0,
                      kNoteViewPopup,
                      {
                          MenuItemResource{toolkit::LoadStringW(kPlayString), kPlayNoteCommand},
                          MenuItemResource{toolkit::LoadStringW(kDeleteString), kDeleteNoteCommand},
                          MenuItemResource{u"", 0},
                          MenuItemResource{toolkit::LoadStringW(kNotesCancelString),
                                           static_cast<UINT>(toolkit::IDCANCEL)},
                      }},
  };
  toolkit::AddMenuBar(kNoteViewMenuBar, std::move(view));
}

}  // namespace

void RegisterNotesResources() {
  // Strings first: the templates and bars take their texts from them.
  AddStrings();
  AddNotesListDialog();
  AddNoteViewDialog();
  AddConnectionStatusDialog();
  AddMenuBars();
}

}  // namespace resources
