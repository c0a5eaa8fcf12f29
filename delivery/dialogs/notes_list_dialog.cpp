#include "delivery/dialogs/notes_list_dialog.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "delivery/dialogs/dialog_boxes.h"
#include "platform/file_io.h"
#include "platform/text.h"
#include "resources/notes_resources.h"
#include "toolkit/common_controls.h"
#include "toolkit/display.h"
#include "toolkit/resources.h"

namespace delivery::dialogs {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// A saved recording is an ordinary document of the user's.
constexpr int kSavedNoteMode = 0644;

LRESULT Send(HWND control, UINT msg, WPARAM wparam, const void* lparam) {
  return platform::SendMessage(control, msg, wparam, reinterpret_cast<LPARAM>(lparam));
}

void AddColumn(HWND list, int index, UINT text, int width) {
  std::u16string title = toolkit::LoadStringW(text);
  toolkit::LVCOLUMNW column;
  column.mask = toolkit::LVCF_TEXT | toolkit::LVCF_WIDTH;
  column.cx = width;
  column.pszText = title.c_str();
  Send(list, toolkit::LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), &column);
}

void SetCell(HWND list, int row, int column, const std::u16string& text) {
  std::u16string copy = text;
  toolkit::LVITEMW item;
  item.iSubItem = column;
  item.pszText = copy.data();
  Send(list, toolkit::LVM_SETITEMTEXTW, static_cast<WPARAM>(row), &item);
}

}  // namespace

NotesListDialog::NotesListDialog(const settings::AppSettings& settings, NotePlayer player)
    : settings_(settings), player_(std::move(player)) {}

LRESULT NotesListDialog::Run(HWND owner) { return DoModal(resources::kNotesListDialog, owner); }

HWND NotesListDialog::List() const { return GetDlgItem(resources::kNotesListView); }

LRESULT NotesListDialog::OnInitDialog(HWND focus, LPARAM param, bool& handled) {
  SetSHInitFlags(toolkit::SHIDIF_SIZEDLGFULLSCREEN);
  LRESULT result = CeDialog::OnInitDialog(focus, param, handled);
  menu_bar_.Create(GetSafeHwnd(), resources::kNotesListMenuBar);
  HWND list = List();
  platform::SendMessage(list, toolkit::LVM_SETEXTENDEDLISTVIEWSTYLE, toolkit::LVS_EX_FULLROWSELECT,
                        toolkit::LVS_EX_FULLROWSELECT);
  AddColumn(list, 0, resources::kDateColumnString, resources::kDateColumnWidth);
  AddColumn(list, 1, resources::kSizeColumnString, resources::kSizeColumnWidth);
  AddColumn(list, 2, resources::kRecipientColumnString, resources::kRecipientColumnWidth);
  Refresh();
  Select(0);
  handled = true;
  return result;
}

void NotesListDialog::OnSize(UINT type, int width, int height, bool& handled) {
  CeDialog::OnSize(type, width, height, handled);
  // The list takes all the room above the soft-key bar.
  if (HWND list = List()) platform::MoveWindow(list, 0, 0, width, std::max(0, height - toolkit::Scale(toolkit::kMenuBarHeight)), true);
}

void NotesListDialog::Refresh() {
  std::optional<storage::RecordId> kept = SelectedNote();
  int kept_row = SelectedRow();
  notes_ = ListPendingNotes(settings_);
  rows_ = NotesListRows(notes_);
  HWND list = List();
  platform::SendMessage(list, toolkit::LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::u16string date = rows_[i].date;
    toolkit::LVITEMW item;
    item.mask = toolkit::LVIF_TEXT | toolkit::LVIF_PARAM;
    item.iItem = static_cast<int>(i);
    item.pszText = date.data();
    item.lParam = static_cast<LPARAM>(rows_[i].id);
    int row = static_cast<int>(Send(list, toolkit::LVM_INSERTITEMW, 0, &item));
    if (row < 0) continue;
    SetCell(list, row, 1, rows_[i].size);
    SetCell(list, row, 2, rows_[i].recipient);
  }
  if (rows_.empty()) return;
  int row = std::clamp(kept_row, 0, static_cast<int>(rows_.size()) - 1);
  if (kept) {
    auto same = std::find_if(rows_.begin(), rows_.end(), [&](const NotesListRow& r) { return r.id == *kept; });
    if (same != rows_.end()) row = static_cast<int>(same - rows_.begin());
  }
  Select(row);
}

int NotesListDialog::SelectedRow() const {
  HWND list = List();
  if (!list) return -1;
  return static_cast<int>(platform::SendMessage(list, toolkit::LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                toolkit::LVNI_SELECTED));
}

void NotesListDialog::Select(int row) {
  HWND list = List();
  if (!list || row < 0 || row >= static_cast<int>(rows_.size())) return;
  toolkit::LVITEMW state;
  state.state = toolkit::LVIS_SELECTED | toolkit::LVIS_FOCUSED;
  state.stateMask = toolkit::LVIS_SELECTED | toolkit::LVIS_FOCUSED;
  Send(list, toolkit::LVM_SETITEMSTATE, static_cast<WPARAM>(row), &state);
}

std::optional<storage::RecordId> NotesListDialog::SelectedNote() const {
  int row = SelectedRow();
  if (row < 0) return std::nullopt;
  toolkit::LVITEMW item;
  item.mask = toolkit::LVIF_PARAM;
  item.iItem = row;
  if (!Send(List(), toolkit::LVM_GETITEMW, 0, &item)) return std::nullopt;
  return static_cast<storage::RecordId>(item.lParam);
}

std::optional<PendingNote> NotesListDialog::FindNote(storage::RecordId id) const {
  for (const PendingNote& note : ListPendingNotes(settings_))
    if (note.id == id) return note;
  return std::nullopt;
}

LRESULT NotesListDialog::OnCommand(WPARAM wparam, LPARAM, bool& handled) {
  if (platform::HIWORD(wparam) != 0) return 0;
  UINT id = platform::LOWORD(wparam);
  if (id != resources::kOpenNoteCommand && id != resources::kSaveNoteCommand && id != resources::kDeleteNoteCommand)
    return 0;
  handled = true;
  if (in_command_) return 0;
  in_command_ = true;
  if (id == resources::kOpenNoteCommand) OpenSelected();
  if (id == resources::kSaveNoteCommand) SaveSelected();
  if (id == resources::kDeleteNoteCommand) DeleteSelected();
  in_command_ = false;
  return 0;
}

LRESULT NotesListDialog::OnNotify(int id, toolkit::NMHDR* header, bool& handled) {
  if (id != resources::kNotesListView || !header) return 0;
  if (header->code == toolkit::LVN_ITEMACTIVATE) {
    handled = true;
    if (in_command_) return 0;
    in_command_ = true;
    OpenSelected();
    in_command_ = false;
  }
  return 0;
}

void NotesListDialog::SayNoteGone() {
  ShowError(GetSafeHwnd(), toolkit::LoadStringW(resources::kNoteGoneString));
  Refresh();
}

void NotesListDialog::OpenSelected() {
  std::optional<storage::RecordId> id = SelectedNote();
  if (!id) return;
  std::optional<PendingNote> note = FindNote(*id);
  if (!note) {
    SayNoteGone();
    return;
  }
  {
    NoteViewDialog view(settings_, std::move(*note), player_);
    (void)view.Run(GetSafeHwnd());
  }
  Refresh();
}

void NotesListDialog::SaveSelected() {
  std::optional<storage::RecordId> id = SelectedNote();
  if (!id) return;
  PendingNoteRecording recording = ReadPendingNoteRecording(settings_, *id);
  if (!recording.found) {
    if (!FindNote(*id)) {
      SayNoteGone();
    } else {
      ShowError(GetSafeHwnd(), toolkit::LoadStringW(resources::kNoRecordingString));
    }
    return;
  }
  toolkit::FileDialogRequest request;
  request.owner = GetSafeHwnd();
  request.save = true;
  request.title = toolkit::LoadStringW(resources::kSaveNoteTitleString);
  request.filter = toolkit::LoadStringW(resources::kSaveNoteFilterString);
  request.initial_name = ProposedSaveName(recording.file_name, request.max_path);
  std::optional<std::u16string> chosen = toolkit::GetFileName(request);
  if (!chosen || chosen->empty() || chosen->size() >= request.max_path) return;

  std::filesystem::path target = platform::Utf16ToUtf8(*chosen);
  std::error_code ec;
  // A link or anything else standing under that name counts as a file there.
  if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
    std::u16string question =
        FillTemplate(toolkit::LoadStringW(resources::kReplaceFileString), {DisplayFileName(*chosen)});
    if (!AskYesNo(GetSafeHwnd(), question)) return;
  }
  // The note stays unsent either way; a failed write leaves no partial file.
  if (platform::ReplaceFileAtomically(target, recording.content, kSavedNoteMode) != 0)
    ShowError(GetSafeHwnd(), FillTemplate(toolkit::LoadStringW(resources::kSaveFailedString), {*chosen}));
}

void NotesListDialog::DeleteSelected() {
  std::optional<storage::RecordId> id = SelectedNote();
  if (!id) return;
  if (!AskYesNo(GetSafeHwnd(), toolkit::LoadStringW(resources::kDeleteSelectedString))) return;
  if (!DeletePendingNote(settings_, *id)) {
    if (!FindNote(*id)) {
      SayNoteGone();
      return;
    }
    ShowError(GetSafeHwnd(), toolkit::LoadStringW(resources::kDeleteFailedString));
  }
  Refresh();
}

}  // namespace delivery::dialogs
