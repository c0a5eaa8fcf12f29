#pragma once
// CeLabelEdit: a label that turns into an edit field. It shows its value as a
// label (a password as one '*' per character); a tap, or the focus arriving by
// Tab, opens an edit field over it with the value selected, and when that field
// loses the focus the label takes the typed value and, when it changed, tells
// its message parent WM_COMMAND(MAKEWPARAM(id, EN_CHANGE), label). A read-only
// label never opens. An arrow label (TYPE_ARROW) has an arrow at its right end:
// a tap there calls OnControlArrowClicked, which tells the message parent
// LEN_ARROWCLICKED (the parent opens a list or a dialog of its own).
//
// The window's text is what the label shows; GetValue is the value. The edit
// field is a child "EDIT" window the renderer shows while the label is open.

#include <string>
#include <string_view>

#include "toolkit/ce_wnd.h"
#include "toolkit/controls.h"

namespace toolkit {

class CeLabelEdit : public CeWnd {
 public:
  enum tagTYPE { TYPE_TEXT = 0, TYPE_NUMBER = 1, TYPE_PASSWORD = 2, TYPE_ARROW = 3 };
  // WM_COMMAND notification code of a tap on the arrow.
  static constexpr UINT LEN_ARROWCLICKED = 0x0401;
  static constexpr int kArrowWidth = 16;
  // The child id of the edit field.
  static constexpr UINT kEditId = 1;

  using CeWnd::Create;
  // Registers the class (once) and makes the label as a child of parent.
  HWND Create(HWND parent, UINT id, const RECT& rect, tagTYPE type, std::u16string_view value,
              DWORD style = platform::WS_VISIBLE | WS_TABSTOP);

  tagTYPE type() const { return type_; }
  const std::u16string& GetValue() const { return value_; }
  // Sets the value (an open field shows it too); tells nobody.
  void SetValue(std::u16string_view value);
  void SetReadOnly(bool read_only);
  bool IsReadOnly() const { return read_only_; }
  // Where notifications go (default: the parent window).
  void SetMessageParent(HWND hwnd) { message_parent_ = hwnd; }
  HWND MessageParent() const;
  bool IsEditing() const { return editing_; }
  HWND edit() const { return edit_; }

  // Opens the field (false when read-only); EndEdit closes it, taking the typed
  // value when keep is true.
  bool BeginEdit();
  void EndEdit(bool keep);

  // Called as the field opens / closes, on a tap, on a tap of the arrow, after
  // the label and its field were made, and as the label goes.
  virtual void OnControlFocus();
  virtual void OnControlLostFocus();
  virtual void OnControlClicked();
  virtual void OnControlArrowClicked();
  virtual void OnControlCreate();
  virtual void OnControlDestroy();

  void OnCreate(CREATESTRUCT* create, bool& handled) override;
  void OnDestroy(bool& handled) override;
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam, bool& handled) override;
  void OnLButtonUp(UINT key_flags, POINT point, bool& handled) override;
  void OnChar(UINT key, UINT repeat, UINT flags, bool& handled) override;
  void OnSize(UINT type, int width, int height, bool& handled) override;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  void Show();
  void Tell(UINT code);
  RECT EditRect() const;

  tagTYPE type_ = TYPE_TEXT;
  std::u16string value_;
  bool read_only_ = false;
  bool editing_ = false;
  HWND edit_ = nullptr;
  HWND message_parent_ = nullptr;
};

}  // namespace toolkit
