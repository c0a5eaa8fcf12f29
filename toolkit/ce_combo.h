#pragma once
// Wrappers of the drop-down list (CeCombo), of its edit part (CeComboEdit) and
// of one control of a dialog (CeDlgControlContext). Each is a CeWnd bound to an
// existing control, by Subclass (messages then pass through the object's
// handlers) or by Attach (the object only sends). They own nothing: the control
// goes with its dialog. On the control's thread.

#include <optional>
#include <string>
#include <string_view>

#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"

namespace toolkit {

class CeCombo : public CeWnd {
 public:
  // The index of the new entry, or CB_ERR.
  int AddString(std::u16string_view text);
  int InsertString(int index, std::u16string_view text);
  // The entries left, or CB_ERR.
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  // CB_ERR for an index out of range (the selection stays).
  int SetCurSel(int index);
  // The entry's text; nothing for an index out of range.
  std::optional<std::u16string> GetLBText(int index) const;
  LPARAM GetItemData(int index) const;
  bool SetItemData(int index, LPARAM data);
  int FindStringExact(std::u16string_view text, int start = -1) const;
  // Adds text with data as its value; the new index or CB_ERR.
  int AddItem(std::u16string_view text, LPARAM data);
  // Selects the first entry whose value is data; false (selection unchanged)
  // when there is none.
  bool SelectByData(LPARAM data);
  // The selected entry's value, or fallback when nothing is selected.
  LPARAM GetSelectedData(LPARAM fallback) const;
};

// The text the user types into a CBS_DROPDOWN (the combo's own window text).
class CeComboEdit : public CeWnd {
 public:
  std::u16string GetText() const { return GetWindowTextW(); }
  bool SetText(std::u16string_view text) { return SetWindowTextW(text); }
  // The caret's place in the text (start and end of the selection).
  std::pair<int, int> GetEditSel() const;
};

// One control of a dialog, addressed by the dialog and the control's id, with
// the reads and writes dialog code does on it.
class CeDlgControlContext : public CeWnd {
 public:
  CeDlgControlContext() = default;
  // Attaches to control id of dialog (IsWindow() false when there is none).
  CeDlgControlContext(HWND dialog, int id);

  int id() const { return id_; }
  HWND dialog() const { return dialog_; }

  std::u16string GetText() const { return GetWindowTextW(); }
  bool SetText(std::u16string_view text) { return SetWindowTextW(text); }
  // The text as a whole decimal number (spaces around allowed); nothing when it
  // is not one or does not fit an int.
  std::optional<int> GetInt() const;
  bool SetInt(int value);
  bool GetCheck() const;
  void SetCheck(bool checked);
  void Enable(bool enable) { EnableWindow(enable); }
  void Show(bool show);

 private:
  HWND dialog_ = nullptr;
  int id_ = 0;
};

}  // namespace toolkit
