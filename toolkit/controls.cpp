// The standard controls. Each keeps its state in a small object that its window's
// extra slot points to, made at WM_CREATE and freed at WM_DESTROY; only the
// control's own window procedure touches it, on the thread that owns the control.

#include "toolkit/controls.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>

#include "toolkit/common_controls.h"
#include "toolkit/control_internal.h"
#include "toolkit/gdi.h"
#include "toolkit/renderer.h"
#include "toolkit/separator.h"

namespace toolkit {
namespace pw = platform;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

namespace {

// The first slot after the two dialog slots every window has.
constexpr int kStateSlot = 2 * static_cast<int>(sizeof(std::intptr_t));
constexpr int kStateBytes = static_cast<int>(sizeof(std::intptr_t));

template <typename State>
State* StateOf(HWND hwnd) {
  return reinterpret_cast<State*>(pw::GetWindowLongPtr(hwnd, kStateSlot));
}

template <typename State>
void MakeState(HWND hwnd) {
  delete StateOf<State>(hwnd);
  pw::SetWindowLongPtr(hwnd, kStateSlot, reinterpret_cast<std::intptr_t>(new State));
}

template <typename State>
void FreeState(HWND hwnd) {
  delete reinterpret_cast<State*>(pw::SetWindowLongPtr(hwnd, kStateSlot, 0));
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE)); }

// Keys a control does not use go on to its parent.
LRESULT ForwardToParent(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  HWND parent = pw::GetParent(hwnd);
  return parent ? pw::SendMessage(parent, msg, wparam, lparam) : 0;
}

// ---- button ----

struct ButtonState {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  bool tracking = false;  // pressed by the pointer, waiting for the release
  std::u16string image;   // icon theme name of its picture, empty for none
};

DWORD ButtonType(HWND hwnd) { return StyleOf(hwnd) & BS_TYPEMASK; }

bool IsCheckable(DWORD type) {
  switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
      return true;
    default:
      return false;
  }
}

void SetCheck(HWND hwnd, UINT check) {
  auto* s = StateOf<ButtonState>(hwnd);
  if (!s || s->check == check) return;
  s->check = check;
  NotifyControlChanged(hwnd);
}

void SetPushed(HWND hwnd, bool pushed) {
  auto* s = StateOf<ButtonState>(hwnd);
  if (!s || s->pushed == pushed) return;
  s->pushed = pushed;
  NotifyControlChanged(hwnd);
}

// The automatic radio buttons of the group around hwnd: the siblings from the
// last WS_GROUP at or before it up to the next WS_GROUP after it.
std::vector<HWND> RadioGroup(HWND hwnd) {
  std::vector<HWND> siblings = pw::GetChildWindows(pw::GetParent(hwnd));
  auto at = std::find(siblings.begin(), siblings.end(), hwnd);
  if (at == siblings.end()) return {};
  auto first = at;
  while (first != siblings.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
  auto last = at + 1;
  while (last != siblings.end() && !(StyleOf(*last) & WS_GROUP)) ++last;
  std::vector<HWND> group;
  for (auto it = first; it != last; ++it)
    if (ButtonType(*it) == BS_AUTORADIOBUTTON && pw::GetClassName(*it) == pw::GetClassName(hwnd)) group.push_back(*it);
  return group;
}

void Click(HWND hwnd) {
  if (!pw::IsWindowEnabled(hwnd)) return;
  auto* s = StateOf<ButtonState>(hwnd);
  if (!s) return;
  switch (ButtonType(hwnd)) {
    case BS_AUTOCHECKBOX:
      SetCheck(hwnd, s->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
      break;
    case BS_AUTO3STATE:
      SetCheck(hwnd, (s->check + 1) % 3);
      break;
    case BS_AUTORADIOBUTTON:
      for (HWND other : RadioGroup(hwnd))
        if (other != hwnd) pw::SendMessage(other, BM_SETCHECK, BST_UNCHECKED, 0);
      SetCheck(hwnd, BST_CHECKED);
      break;
    default:
      break;
  }
  HWND parent = pw::GetParent(hwnd);
  int id = pw::GetDlgCtrlID(hwnd);
  // The parent may destroy the button while it handles this: nothing after it.
  if (parent)
    pw::SendMessage(parent, pw::WM_COMMAND, pw::MAKEWPARAM(static_cast<std::uint16_t>(id), BN_CLICKED),
                    reinterpret_cast<LPARAM>(hwnd));
}

bool IsImageNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'_' || c == u'.';
}

// The name is read no further than one past the longest allowed, so a text
// without its terminator is refused rather than read past its end. Path
// separators and the like never reach the icon lookup.
// A picture name into slot (see BM_SETIMAGE); false when refused.
bool SetImageName(HWND hwnd, std::u16string& slot, const char16_t* name) {
  std::u16string image;
  if (name) {
    std::size_t length = 0;
    while (length <= kMaxButtonImageName && name[length] != u'\0') ++length;
    if (length > kMaxButtonImageName) return false;
    image.assign(name, length);
    if (!std::all_of(image.begin(), image.end(), IsImageNameChar)) return false;
  }
  if (image != slot) {
    slot = std::move(image);
    NotifyControlChanged(hwnd);
  }
  return true;
}

LRESULT GetImageName(const std::u16string& image, WPARAM size, char16_t* buffer) {
  if (buffer && size > 0) {
    std::size_t n = std::min<std::size_t>(image.size(), static_cast<std::size_t>(size) - 1);
    std::copy_n(image.data(), n, buffer);
    buffer[n] = u'\0';
  }
  return static_cast<LRESULT>(image.size());
}

bool SetImage(HWND hwnd, const char16_t* name) {
  auto* s = StateOf<ButtonState>(hwnd);
  return s && SetImageName(hwnd, s->image, name);
}

LRESULT GetImage(HWND hwnd, WPARAM size, char16_t* buffer) {
  auto* s = StateOf<ButtonState>(hwnd);
  return GetImageName(s ? s->image : std::u16string(), size, buffer);
}

// ---- static ----

struct StaticState {
  std::uintptr_t font = 0;  // HFONT given by WM_SETFONT, 0 for the default
  std::u16string image;     // icon theme name of its picture, empty for none
};

// A static with SS_NOTIFY is a link: a tap (BM_CLICK, or a press and release of
// the pointer) tells the parent STN_CLICKED, unless it is disabled.
LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case pw::WM_CREATE:
      MakeState<StaticState>(hwnd);
      return 0;
    case pw::WM_DESTROY:
      FreeState<StaticState>(hwnd);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_SETFONT:
      if (auto* s = StateOf<StaticState>(hwnd); s && s->font != wparam) {
        s->font = wparam;
        NotifyControlChanged(hwnd);
      }
      return 0;
    case WM_GETFONT: {
      auto* s = StateOf<StaticState>(hwnd);
      return s ? static_cast<LRESULT>(s->font) : 0;
    }
    case STM_SETIMAGE: {
      auto* s = StateOf<StaticState>(hwnd);
      return s && SetImageName(hwnd, s->image, reinterpret_cast<const char16_t*>(lparam)) ? 1 : 0;
    }
    case STM_GETIMAGE: {
      auto* s = StateOf<StaticState>(hwnd);
      return GetImageName(s ? s->image : std::u16string(), wparam, reinterpret_cast<char16_t*>(lparam));
    }
    case BM_CLICK:
    case pw::WM_LBUTTONUP:
      if ((StyleOf(hwnd) & SS_NOTIFY) && control_internal::AcceptsUserInput(hwnd))
        control_internal::SendCommand(hwnd, STN_CLICKED);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

bool Inside(HWND hwnd, LPARAM lparam) {
  pw::RECT rect;
  if (!pw::GetClientRect(hwnd, &rect)) return false;
  int x = static_cast<std::int16_t>(pw::LOWORD(static_cast<std::uintptr_t>(lparam)));
  int y = static_cast<std::int16_t>(pw::HIWORD(static_cast<std::uintptr_t>(lparam)));
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case pw::WM_CREATE:
      MakeState<ButtonState>(hwnd);
      NotifyControlChanged(hwnd);
      return 0;
    case pw::WM_DESTROY:
      FreeState<ButtonState>(hwnd);
      return 0;
    case BM_GETCHECK: {
      auto* s = StateOf<ButtonState>(hwnd);
      return s && IsCheckable(ButtonType(hwnd)) ? s->check : BST_UNCHECKED;
    }
    case BM_SETCHECK:
      if (IsCheckable(ButtonType(hwnd))) SetCheck(hwnd, std::min<UINT>(static_cast<UINT>(wparam), BST_INDETERMINATE));
      return 0;
    case BM_GETSTATE: {
      auto* s = StateOf<ButtonState>(hwnd);
      if (!s) return 0;
      return (IsCheckable(ButtonType(hwnd)) ? s->check : 0) | (s->pushed ? BST_PUSHED : 0) |
             (s->focused ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
      SetPushed(hwnd, wparam != 0);
      return 0;
    case BM_SETSTYLE:
      pw::SetWindowLongPtr(hwnd, pw::GWL_STYLE,
                           (StyleOf(hwnd) & ~BS_TYPEMASK) | (static_cast<DWORD>(wparam) & BS_TYPEMASK));
      NotifyControlChanged(hwnd);
      return 0;
    case BM_CLICK:
      Click(hwnd);
      return 0;
    case BM_SETIMAGE:
      return SetImage(hwnd, reinterpret_cast<const char16_t*>(lparam)) ? 1 : 0;
    case BM_GETIMAGE:
      return GetImage(hwnd, wparam, reinterpret_cast<char16_t*>(lparam));
    case pw::WM_LBUTTONDOWN:
    case pw::WM_LBUTTONDBLCLK:
      if (!pw::IsWindowEnabled(hwnd)) return 0;
      if (auto* s = StateOf<ButtonState>(hwnd)) s->tracking = true;
      pw::SetFocus(hwnd);
      SetPushed(hwnd, true);
      return 0;
    case pw::WM_LBUTTONUP: {
      auto* s = StateOf<ButtonState>(hwnd);
      if (!s || !s->tracking) return 0;
      s->tracking = false;
      SetPushed(hwnd, false);
      if (Inside(hwnd, lparam)) Click(hwnd);
      return 0;
    }
    case pw::WM_KEYDOWN:
      if (wparam == pw::VK_SPACE) {
        SetPushed(hwnd, true);
        return 0;
      }
      return ForwardToParent(hwnd, msg, wparam, lparam);
    case pw::WM_KEYUP:
      if (wparam == pw::VK_SPACE) {
        auto* s = StateOf<ButtonState>(hwnd);
        if (s && s->pushed) {
          SetPushed(hwnd, false);
          Click(hwnd);
        }
        return 0;
      }
      return ForwardToParent(hwnd, msg, wparam, lparam);
    case pw::WM_CHAR:
      if (wparam == pw::VK_SPACE) return 0;
      return ForwardToParent(hwnd, msg, wparam, lparam);
    case pw::WM_SETFOCUS:
    case pw::WM_KILLFOCUS: {
      auto* s = StateOf<ButtonState>(hwnd);
      if (!s) return 0;
      bool focused = msg == pw::WM_SETFOCUS;
      bool changed = s->focused != focused || (!focused && s->pushed);
      s->focused = focused;
      if (!focused) {
        s->pushed = false;
        s->tracking = false;
      }
      if (changed) NotifyControlChanged(hwnd);
      return 0;
    }
    case pw::WM_ENABLE:
      if (!wparam) {
        if (auto* s = StateOf<ButtonState>(hwnd)) s->tracking = false;
        SetPushed(hwnd, false);
      }
      return 0;
    case TKM_USER_FOCUS:
      control_internal::TakeUserFocus(hwnd);
      return 0;
    case WM_GETDLGCODE:
      switch (ButtonType(hwnd)) {
        case BS_PUSHBUTTON:
          return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
          return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
          return DLGC_BUTTON | DLGC_RADIOBUTTON;
        default:
          return DLGC_BUTTON;
      }
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

// ---- progress bar ----

struct ProgressState {
  int low = 0;
  int high = 100;
  int pos = 0;
  int step = 10;
};

int Clamp(const ProgressState& s, int pos) { return std::clamp(pos, std::min(s.low, s.high), std::max(s.low, s.high)); }

LPARAM PackRange(int low, int high) {
  return pw::MAKELPARAM(static_cast<std::uint16_t>(low), static_cast<std::uint16_t>(high));
}

int AsInt(WPARAM v) { return static_cast<int>(static_cast<std::intptr_t>(v)); }

LRESULT ProgressProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<ProgressState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<ProgressState>(hwnd);
    return 0;
  }
  auto* s = StateOf<ProgressState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  const ProgressState before = *s;
  LRESULT result = 0;
  switch (msg) {
    case PBM_SETRANGE:
      result = PackRange(s->low, s->high);
      s->low = pw::LOWORD(static_cast<std::uintptr_t>(lparam));
      s->high = pw::HIWORD(static_cast<std::uintptr_t>(lparam));
      s->pos = Clamp(*s, s->pos);
      break;
    case PBM_SETRANGE32:
      result = PackRange(s->low, s->high);
      s->low = AsInt(wparam);
      s->high = static_cast<int>(lparam);
      s->pos = Clamp(*s, s->pos);
      break;
    case PBM_SETPOS:
      result = s->pos;
      s->pos = Clamp(*s, AsInt(wparam));
      break;
    case PBM_DELTAPOS:
      result = s->pos;
      s->pos = Clamp(*s, s->pos + AsInt(wparam));
      break;
    case PBM_SETSTEP:
      result = s->step;
      s->step = AsInt(wparam);
      break;
    case PBM_STEPIT: {
      result = s->pos;
      long long next = static_cast<long long>(s->pos) + s->step;
      int lo = std::min(s->low, s->high), hi = std::max(s->low, s->high);
      if (next > hi) next = lo + (next - hi);  // starts over from the beginning
      if (next < lo) next = hi - (lo - next);
      s->pos = Clamp(*s, static_cast<int>(std::clamp<long long>(next, lo, hi)));
      break;
    }
    case PBM_GETRANGE:
      if (lparam) *reinterpret_cast<PBRANGE*>(lparam) = PBRANGE{s->low, s->high};
      return wparam ? s->low : s->high;
    case PBM_GETPOS:
      return s->pos;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
  if (before.low != s->low || before.high != s->high || before.pos != s->pos) NotifyControlChanged(hwnd);
  return result;
}

void Register(std::u16string_view name, pw::WNDPROC proc) {
  pw::WNDCLASS wc;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = kStateBytes;
  wc.hbrBackground = pw::GetStockObject(pw::LTGRAY_BRUSH);
  wc.lpszClassName = std::u16string(name);
  wc.style = pw::CS_GLOBALCLASS;
  pw::RegisterClass(wc);
}

}  // namespace

void RegisterControlClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    Register(kStaticClass, StaticProc);
    Register(kButtonClass, ButtonProc);
    Register(kProgressClass, ProgressProc);
  });
  RegisterCommonControlClasses();
  InitSeparator();
}

}  // namespace toolkit
