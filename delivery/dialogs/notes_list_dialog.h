#pragma once
// NotesListDialog ("Voice Notes List"): the unsent notes in a list view, one
// row each with date, size and recipient, newest first, the top row selected.
// Its menu acts on the selected row: Open (the note view; also a double click
// or Enter), Save As File (the recording, after the save dialog and, for a file
// that exists, a replace question) and Delete (after a question).
//
// Each row carries the note's record id, and every command acts on that id:
// when the note left the Outbox after the list was filled (sent, or deleted
// with "dictaloctl outbox"), the command says so, touches no other note and
// fills the list again. A command that arrives while another one's question
// is still open is ignored.

#include <optional>
#include <string>
#include <vector>

#include "delivery/dialogs/note_info.h"
#include "delivery/dialogs/note_view_dialog.h"
#include "settings/app_settings.h"
#include "toolkit/ce_dialog.h"
#include "toolkit/file_dialog.h"
#include "toolkit/menu_bar.h"

namespace delivery::dialogs {

class NotesListDialog : public toolkit::CeDialog {
 public:
  // `settings` outlives the dialog. An empty player plays through
  // audio::NotePlayback.
  explicit NotesListDialog(const settings::AppSettings& settings, NotePlayer player = {});

  // Runs the dialog modally, owned by `owner`.
  platform::LRESULT Run(platform::HWND owner);

  // Reads the Outbox again and fills the list, keeping the selected note
  // selected; when it is gone, the row now at its place (the last row when
  // it was below the end).
  void Refresh();

  // The rows as now shown, top to bottom.
  const std::vector<NotesListRow>& rows() const { return rows_; }
  // The selected row, or -1.
  int SelectedRow() const;

 protected:
  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;
  platform::LRESULT OnNotify(int id, toolkit::NMHDR* header, bool& handled) override;
  void OnSize(platform::UINT type, int width, int height, bool& handled) override;

 private:
  platform::HWND List() const;
  std::optional<storage::RecordId> SelectedNote() const;
  std::optional<PendingNote> FindNote(storage::RecordId id) const;
  void Select(int row);
  void OpenSelected();
  void SaveSelected();
  void DeleteSelected();
  void SayNoteGone();

  const settings::AppSettings& settings_;
  NotePlayer player_;
  std::vector<PendingNote> notes_;
  std::vector<NotesListRow> rows_;
  bool in_command_ = false;
  toolkit::CMenuBar menu_bar_;
};

}  // namespace delivery::dialogs
