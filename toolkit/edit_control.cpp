// The edit field. Its text is the window's own text (so GetWindowText, the
// window observers and renderers see it as for any window); the caret and
// selection, the length limit and the focus live in the control's state.

#include <algorithm>
#include <string>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

struct EditState {
  std::size_t sel_start = 0;
  std::size_t sel_end = 0;
  std::size_t limit = 0;  // 0: none
  bool focused = false;
};

bool IsMultiline(HWND hwnd) { return (StyleOf(hwnd) & ES_MULTILINE) != 0; }
bool IsReadOnly(HWND hwnd) { return (StyleOf(hwnd) & ES_READONLY) != 0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

std::u16string TextOf(HWND hwnd) { return pw::GetWindowText(hwnd); }

// Stores text as the window's text and tells the parent; false when nothing changed.
bool StoreText(HWND hwnd, const std::u16string& text) {
  if (TextOf(hwnd) == text) return false;
  pw::DefWindowProc(hwnd, pw::WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return true;
}

void SetSelection(HWND hwnd, EditState& s, std::size_t start, std::size_t end) {
  if (s.sel_start == start && s.sel_end == end) return;
  s.sel_start = start;
  s.sel_end = end;
  NotifyControlChanged(hwnd);
}

// Cuts text to at most max units without splitting a surrogate pair.
void CutTo(std::u16string& text, std::size_t max) {
  if (text.size() <= max) return;
  if (max > 0 && IsHighSurrogate(text[max - 1])) --max;
  text.resize(max);
}

// What the user may put into the field: digits only for ES_NUMBER, one line
// unless multi-line, at most the limit.
std::u16string UserAllowed(HWND hwnd, const EditState& s, std::u16string text) {
  if (!IsMultiline(hwnd)) {
    std::size_t line_end = text.find_first_of(u"\r\n");
    if (line_end != std::u16string::npos) text.resize(line_end);
  }
  if (StyleOf(hwnd) & ES_NUMBER) std::erase_if(text, [](char16_t c) { return !IsDigit(c); });
  if (s.limit) CutTo(text, s.limit);
  return text;
}

// Replaces the selection with insert as typed by the user; the whole insert is
// refused when it breaks a rule (a non-digit in a number field, the limit).
void ReplaceSelection(HWND hwnd, EditState& s, std::u16string_view insert) {
  std::u16string text = TextOf(hwnd);
  std::size_t start = std::min({s.sel_start, s.sel_end, text.size()});
  std::size_t end = std::min(std::max(s.sel_start, s.sel_end), text.size());
  if ((StyleOf(hwnd) & ES_NUMBER) && !std::all_of(insert.begin(), insert.end(), IsDigit)) return;
  if (s.limit && text.size() - (end - start) + insert.size() > s.limit) return;
  text.replace(start, end - start, insert);
  s.sel_start = s.sel_end = start + insert.size();
  if (StoreText(hwnd, text)) SendCommand(hwnd, EN_CHANGE);
  NotifyControlChanged(hwnd);
}

void DeleteAround(HWND hwnd, EditState& s, bool before) {
  std::u16string text = TextOf(hwnd);
  std::size_t start = std::min({s.sel_start, s.sel_end, text.size()});
  std::size_t end = std::min(std::max(s.sel_start, s.sel_end), text.size());
  if (start == end) {
    if (before && start > 0) start -= (start >= 2 && IsHighSurrogate(text[start - 2])) ? 2 : 1;
    else if (!before && end < text.size()) end += (IsHighSurrogate(text[end]) && end + 1 < text.size()) ? 2 : 1;
  }
  if (start == end) return;
  text.erase(start, end - start);
  s.sel_start = s.sel_end = start;
  if (StoreText(hwnd, text)) SendCommand(hwnd, EN_CHANGE);
  NotifyControlChanged(hwnd);
}

void OnUserChar(HWND hwnd, EditState& s, char16_t c) {
  if (!AcceptsUserInput(hwnd) || IsReadOnly(hwnd)) return;
  if (c == pw::VK_BACK) {
    DeleteAround(hwnd, s, true);
    return;
  }
  if (c == u'\r' && IsMultiline(hwnd)) {
    ReplaceSelection(hwnd, s, u"\r\n");
    return;
  }
  if (c < 0x20 || c == 0x7F) return;  // Enter, Escape, Tab belong to the dialog
  ReplaceSelection(hwnd, s, std::u16string_view(&c, 1));
}

void OnUserText(HWND hwnd, EditState& s, LPARAM token) {
  std::optional<std::u16string> posted = TakeUserText(hwnd, token);
  if (!posted || !AcceptsUserInput(hwnd) || IsReadOnly(hwnd)) {
    NotifyControlChanged(hwnd);  // the renderer shows the text the field kept
    return;
  }
  std::u16string text = UserAllowed(hwnd, s, std::move(*posted));
  s.sel_start = s.sel_end = text.size();
  if (StoreText(hwnd, text)) SendCommand(hwnd, EN_CHANGE);
  NotifyControlChanged(hwnd);
}

bool OnKeyDown(HWND hwnd, EditState& s, UINT key) {
  std::size_t length = TextOf(hwnd).size();
  std::size_t caret = std::min(s.sel_end, length);
  switch (key) {
    case VK_LEFT:
      caret = caret > 0 ? caret - 1 : 0;
      break;
    case VK_RIGHT:
      caret = std::min(caret + 1, length);
      break;
    case VK_HOME:
      caret = 0;
      break;
    case VK_END:
      caret = length;
      break;
    case VK_DELETE:
      if (AcceptsUserInput(hwnd) && !IsReadOnly(hwnd)) DeleteAround(hwnd, s, false);
      return true;
    case pw::VK_RETURN:
      return IsMultiline(hwnd);  // a new line, as WM_CHAR
    default:
      // Keys that type a character arrive again as WM_CHAR.
      return key == pw::VK_BACK || key == pw::VK_SPACE || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
  }
  SetSelection(hwnd, s, caret, caret);
  return true;
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<EditState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    DropUserTexts(hwnd);
    FreeState<EditState>(hwnd);
    return 0;
  }
  auto* s = StateOf<EditState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  switch (msg) {
    case pw::WM_SETTEXT: {
      std::u16string text = TextAt(lparam);
      s->sel_start = s->sel_end = 0;
      // Only a real change is reported, so a parent that rewrites the text in
      // its EN_CHANGE handler comes to rest.
      if (StoreText(hwnd, text)) SendCommand(hwnd, EN_CHANGE);
      NotifyControlChanged(hwnd);
      return 1;
    }
    case EM_GETSEL: {
      std::size_t length = TextOf(hwnd).size();
      auto start = static_cast<std::uint16_t>(std::min<std::size_t>({s->sel_start, s->sel_end, length, 0xFFFF}));
      auto end = static_cast<std::uint16_t>(
          std::min<std::size_t>({std::max(s->sel_start, s->sel_end), length, 0xFFFF}));
      return pw::MAKELPARAM(start, end);
    }
    case EM_SETSEL: {
      std::size_t length = TextOf(hwnd).size();
      auto start = static_cast<std::intptr_t>(wparam);
      if (start < 0) {  // removes the selection, the caret stays
        SetSelection(hwnd, *s, std::min(s->sel_end, length), std::min(s->sel_end, length));
        return 0;
      }
      std::size_t from = std::min<std::size_t>(static_cast<std::size_t>(start), length);
      std::size_t to = lparam < 0 ? length : std::min<std::size_t>(static_cast<std::size_t>(lparam), length);
      SetSelection(hwnd, *s, std::min(from, to), std::max(from, to));
      return 0;
    }
    case EM_LIMITTEXT:
      s->limit = wparam;
      return 0;
    case EM_SETREADONLY:
      pw::SetWindowLongPtr(hwnd, pw::GWL_STYLE, wparam ? (StyleOf(hwnd) | ES_READONLY) : (StyleOf(hwnd) & ~ES_READONLY));
      NotifyControlChanged(hwnd);
      return 1;
    case WM_GETDLGCODE: {
      UINT code = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
      // A multi-line field takes Enter for a new line; Tab and Escape stay the dialog's.
      const auto* m = reinterpret_cast<const pw::MSG*>(lparam);
      if (IsMultiline(hwnd) && m && m->wParam == pw::VK_RETURN &&
          (m->message == pw::WM_KEYDOWN || m->message == pw::WM_CHAR))
        code |= DLGC_WANTMESSAGE;
      return code;
    }
    case pw::WM_CHAR:
      OnUserChar(hwnd, *s, static_cast<char16_t>(wparam));
      return 0;
    case pw::WM_KEYDOWN:
    case pw::WM_KEYUP:
      if (msg == pw::WM_KEYDOWN ? OnKeyDown(hwnd, *s, static_cast<UINT>(wparam))
                                : ((wparam == pw::VK_RETURN && IsMultiline(hwnd)) || wparam == pw::VK_BACK ||
                                   wparam == pw::VK_SPACE || wparam == VK_DELETE ||
                                   (wparam >= VK_END && wparam <= VK_DOWN) || (wparam >= '0' && wparam <= '9') ||
                                   (wparam >= 'A' && wparam <= 'Z')))
        return 0;
      // Keys the field has no use for go on to its parent, as for buttons.
      if (HWND parent = pw::GetParent(hwnd)) return pw::SendMessage(parent, msg, wparam, lparam);
      return 0;
    case pw::WM_LBUTTONDOWN:
      TakeUserFocus(hwnd);
      return 0;
    case pw::WM_SETFOCUS:
    case pw::WM_KILLFOCUS:
      s->focused = msg == pw::WM_SETFOCUS;
      NotifyControlChanged(hwnd);
      SendCommand(hwnd, s->focused ? EN_SETFOCUS : EN_KILLFOCUS);
      return 0;
    case TKM_USER_TEXT:
      OnUserText(hwnd, *s, lparam);
      return 0;
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterEditClass() { RegisterControl(kEditClass, EditProc); }

}  // namespace toolkit::control_internal
