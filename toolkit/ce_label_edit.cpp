#include "toolkit/ce_label_edit.h"

#include <algorithm>
#include <mutex>

#include "toolkit/common_controls.h"

namespace toolkit {
namespace pw = platform;
namespace {

constexpr std::u16string_view kClass = u"CeLabelEdit";

std::u16string Masked(const std::u16string& value) {
  std::u16string out;
  for (char16_t c : value)
    if (c < 0xDC00 || c > 0xDFFF) out += u'*';  // one per character, not per surrogate
  return out;
}

}  // namespace

HWND CeLabelEdit::Create(HWND parent, UINT id, const RECT& rect, tagTYPE type, std::u16string_view value,
                         DWORD style) {
  static std::once_flag once;
  std::call_once(once, [] { RegisterClassW(kClass, 0, 0, 0, 0, 0, 0, u""); });
  RegisterControlClasses();
  type_ = type;
  value_ = value;
  return CeWnd::Create(ClassName(kClass), u"", style | pw::WS_CHILD, rect, parent, id);
}

void CeLabelEdit::SetValue(std::u16string_view value) {
  value_ = value;
  if (editing_ && edit_) pw::SetWindowText(edit_, value_);
  Show();
}

void CeLabelEdit::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  if (read_only_ && editing_) EndEdit(false);
}

HWND CeLabelEdit::MessageParent() const { return message_parent_ ? message_parent_ : GetParent(); }

bool CeLabelEdit::BeginEdit() {
  if (read_only_ || !edit_ || !IsWindowEnabled()) return false;
  if (!editing_) {
    editing_ = true;
    RECT r = EditRect();
    pw::MoveWindow(edit_, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
    pw::SetWindowText(edit_, value_);
    pw::ShowWindow(edit_, pw::SW_SHOW);
  }
  pw::SetFocus(edit_);
  pw::SendMessage(edit_, EM_SETSEL, 0, -1);
  OnControlFocus();
  return true;
}

void CeLabelEdit::EndEdit(bool keep) {
  if (!editing_) return;
  editing_ = false;
  std::u16string typed = pw::GetWindowText(edit_);
  pw::ShowWindow(edit_, pw::SW_HIDE);
  // The closed field holds nothing (a password stays in one place only).
  pw::SetWindowText(edit_, u"");
  bool changed = keep && typed != value_;
  if (changed) value_ = std::move(typed);
  Show();
  OnControlLostFocus();
  if (changed) Tell(EN_CHANGE);
}

void CeLabelEdit::OnControlFocus() {}
void CeLabelEdit::OnControlLostFocus() {}
void CeLabelEdit::OnControlClicked() { BeginEdit(); }
void CeLabelEdit::OnControlArrowClicked() { Tell(LEN_ARROWCLICKED); }
void CeLabelEdit::OnControlCreate() {}
void CeLabelEdit::OnControlDestroy() {}

void CeLabelEdit::OnCreate(CREATESTRUCT*, bool& handled) {
  DWORD style = ES_AUTOHSCROLL;
  if (type_ == TYPE_NUMBER) style |= ES_NUMBER;
  if (type_ == TYPE_PASSWORD) style |= ES_PASSWORD;
  RECT r = EditRect();
  edit_ = pw::CreateWindowEx(0, kEditClass, u"", pw::WS_CHILD | style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, hwnd_, kEditId, nullptr);
  Show();
  OnControlCreate();
  handled = true;
}

void CeLabelEdit::OnDestroy(bool& handled) {
  OnControlDestroy();
  edit_ = nullptr;
  editing_ = false;
  handled = true;
}

LRESULT CeLabelEdit::OnCommand(WPARAM wparam, LPARAM lparam, bool& handled) {
  if (reinterpret_cast<HWND>(lparam) != edit_ || !edit_) return 0;
  handled = true;
  // The field closes when the focus goes elsewhere (not to the label itself,
  // which would only send it back).
  if (pw::HIWORD(wparam) == EN_KILLFOCUS && pw::GetFocus() != hwnd_) EndEdit(true);
  return 0;
}

void CeLabelEdit::OnLButtonUp(UINT, POINT point, bool& handled) {
  handled = true;
  if (!IsWindowEnabled()) return;
  RECT client;
  GetClientRect(&client);
  if (type_ == TYPE_ARROW && point.x >= client.right - kArrowWidth)
    OnControlArrowClicked();
  else
    OnControlClicked();
}

void CeLabelEdit::OnSize(UINT, int, int, bool& handled) {
  if (edit_) {
    RECT r = EditRect();
    pw::MoveWindow(edit_, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
  }
  handled = true;
}

LRESULT CeLabelEdit::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  switch (msg) {
    case pw::WM_SETFOCUS:
      // Tab onto the label opens it; a read-only label keeps the focus itself.
      handled = true;
      BeginEdit();
      return 0;
    case BM_CLICK:  // a renderer's tap
      handled = true;
      if (IsWindowEnabled()) OnControlClicked();
      return 0;
    case TKM_USER_FOCUS:
      handled = true;
      if (IsWindowEnabled()) SetFocus();
      return 0;
    case WM_GETDLGCODE:
      handled = true;
      return read_only_ ? DLGC_STATIC : DLGC_WANTCHARS;
    default:
      return CeWnd::OnMessage(msg, wparam, lparam, handled);
  }
}

void CeLabelEdit::OnChar(UINT key, UINT repeat, UINT flags, bool& handled) {
  // A character typed at the closed label opens it and goes into the field.
  handled = true;
  if (BeginEdit()) pw::SendMessage(edit_, pw::WM_CHAR, key, pw::MAKELPARAM(static_cast<std::uint16_t>(repeat),
                                                                            static_cast<std::uint16_t>(flags)));
}

void CeLabelEdit::Show() {
  if (!hwnd_) return;
  SetWindowTextW(type_ == TYPE_PASSWORD ? Masked(value_) : value_);
}

void CeLabelEdit::Tell(UINT code) {
  HWND to = MessageParent();
  if (!to) return;
  pw::SendMessage(to, pw::WM_COMMAND, pw::MAKEWPARAM(static_cast<std::uint16_t>(GetDlgCtrlID()),
                                                      static_cast<std::uint16_t>(code)),
                  reinterpret_cast<LPARAM>(hwnd_));
}

RECT CeLabelEdit::EditRect() const {
  RECT r{};
  if (hwnd_) GetClientRect(&r);
  if (type_ == TYPE_ARROW) r.right = std::max(r.left, r.right - kArrowWidth);
  return r;
}

}  // namespace toolkit
