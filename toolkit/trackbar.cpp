// The slider: a range, a position kept within it, and the page and line steps
// of its keyboard moves.

#include <algorithm>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

struct TrackbarState {
  int min = 0;
  int max = 100;
  int pos = 0;
  int page = 20;
  int line = 1;
};

int Clamped(const TrackbarState& s, int pos) { return std::clamp(pos, s.min, std::max(s.min, s.max)); }

// A move by the user: WM_HSCROLL with the new position, then the end of the drag.
void UserMove(HWND hwnd, TrackbarState& s, int pos) {
  if (!AcceptsUserInput(hwnd)) return;
  pos = Clamped(s, pos);
  if (pos == s.pos) {
    NotifyControlChanged(hwnd);  // the renderer puts its thumb back
    return;
  }
  s.pos = pos;
  NotifyControlChanged(hwnd);
  HWND parent = pw::GetParent(hwnd);
  if (!parent) return;
  auto low = static_cast<std::uint16_t>(TB_THUMBPOSITION);
  pw::SendMessage(parent, pw::WM_HSCROLL, pw::MAKEWPARAM(low, static_cast<std::uint16_t>(pos)),
                  reinterpret_cast<LPARAM>(hwnd));
  if (pw::IsWindow(hwnd))
    pw::SendMessage(parent, pw::WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(hwnd));
}

LRESULT TrackbarProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<TrackbarState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<TrackbarState>(hwnd);
    return 0;
  }
  auto* s = StateOf<TrackbarState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  const TrackbarState before = *s;
  switch (msg) {
    case TBM_GETPOS:
      return s->pos;
    case TBM_GETRANGEMIN:
      return s->min;
    case TBM_GETRANGEMAX:
      return s->max;
    case TBM_SETPOS:
      s->pos = Clamped(*s, static_cast<int>(lparam));
      break;
    case TBM_SETRANGE:
      s->min = static_cast<std::int16_t>(pw::LOWORD(static_cast<std::uintptr_t>(lparam)));
      s->max = static_cast<std::int16_t>(pw::HIWORD(static_cast<std::uintptr_t>(lparam)));
      s->pos = Clamped(*s, s->pos);
      break;
    case TBM_SETRANGEMIN:
      s->min = static_cast<int>(lparam);
      s->pos = Clamped(*s, s->pos);
      break;
    case TBM_SETRANGEMAX:
      s->max = static_cast<int>(lparam);
      s->pos = Clamped(*s, s->pos);
      break;
    case TBM_SETPAGESIZE: {
      int previous = s->page;
      s->page = static_cast<int>(lparam);
      return previous;
    }
    case TBM_SETLINESIZE: {
      int previous = s->line;
      s->line = static_cast<int>(lparam);
      return previous;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case pw::WM_KEYDOWN:
      switch (wparam) {
        case VK_LEFT:
        case VK_UP:
          UserMove(hwnd, *s, s->pos - s->line);
          return 0;
        case VK_RIGHT:
        case VK_DOWN:
          UserMove(hwnd, *s, s->pos + s->line);
          return 0;
        case VK_HOME:
          UserMove(hwnd, *s, s->min);
          return 0;
        case VK_END:
          UserMove(hwnd, *s, s->max);
          return 0;
        default:
          if (HWND parent = pw::GetParent(hwnd)) return pw::SendMessage(parent, msg, wparam, lparam);
          return 0;
      }
    case pw::WM_LBUTTONDOWN:
    case pw::WM_SETFOCUS:
    case pw::WM_KILLFOCUS:
      if (msg == pw::WM_LBUTTONDOWN) TakeUserFocus(hwnd);
      NotifyControlChanged(hwnd);
      return 0;
    case TKM_USER_POSITION:
      UserMove(hwnd, *s, static_cast<int>(lparam));
      return 0;
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
  if (before.min != s->min || before.max != s->max || before.pos != s->pos) NotifyControlChanged(hwnd);
  return 0;
}

}  // namespace

void RegisterTrackbarClass() { RegisterControl(kTrackbarClass, TrackbarProc); }

}  // namespace toolkit::control_internal
