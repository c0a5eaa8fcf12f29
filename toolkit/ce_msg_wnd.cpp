#include "toolkit/ce_msg_wnd.h"

namespace toolkit {
namespace {

// Positions are signed 16-bit words.
POINT PointFrom(LPARAM lparam) {
  return POINT{static_cast<std::int16_t>(platform::LOWORD(static_cast<std::uintptr_t>(lparam))),
               static_cast<std::int16_t>(platform::HIWORD(static_cast<std::uintptr_t>(lparam)))};
}

UINT Low(LPARAM v) { return platform::LOWORD(static_cast<std::uintptr_t>(v)); }
UINT High(LPARAM v) { return platform::HIWORD(static_cast<std::uintptr_t>(v)); }

}  // namespace

LRESULT CeMsgWnd::Default() {
  return platform::CallWindowProc(prev_proc_ ? prev_proc_ : platform::DefWindowProc, current_.hwnd, current_.msg,
                                  current_.wparam, current_.lparam);
}

LRESULT CeMsgWnd::ProcessMessage(HWND, UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = false;
  switch (msg) {
    case platform::WM_CREATE:
      OnCreate(reinterpret_cast<CREATESTRUCT*>(lparam), handled);
      return 0;
    case platform::WM_DESTROY:
      OnDestroy(handled);
      return 0;
    case platform::WM_MOVE: {
      POINT p = PointFrom(lparam);
      OnMove(p.x, p.y, handled);
      return 0;
    }
    case platform::WM_SIZE:
      OnSize(static_cast<UINT>(wparam), static_cast<int>(Low(lparam)), static_cast<int>(High(lparam)), handled);
      return 0;
    case platform::WM_ENABLE:
      OnEnable(wparam != 0, handled);
      return 0;
    case platform::WM_PAINT:
      OnPaint(handled);
      return 0;
    case platform::WM_CLOSE:
      OnClose(handled);
      return 0;
    case platform::WM_ERASEBKGND:
      return OnEraseBkgnd(wparam, handled);
    case platform::WM_SHOWWINDOW:
      OnShowWindow(wparam != 0, static_cast<UINT>(lparam), handled);
      return 0;
    case platform::WM_SETTINGCHANGE:
      OnSettingChange(platform::LOWORD(wparam), lparam, handled);
      return 0;
    case platform::WM_NOTIFY:
      return OnNotify(static_cast<int>(wparam), reinterpret_cast<NMHDR*>(lparam), handled);
    case platform::WM_KEYDOWN:
      OnKeyDown(static_cast<UINT>(wparam), Low(lparam), High(lparam), handled);
      return 0;
    case platform::WM_KEYUP:
      OnKeyUp(static_cast<UINT>(wparam), Low(lparam), High(lparam), handled);
      return 0;
    case platform::WM_CHAR:
      OnChar(static_cast<UINT>(wparam), Low(lparam), High(lparam), handled);
      return 0;
    case platform::WM_COMMAND:
      return OnCommand(wparam, lparam, handled);
    case platform::WM_TIMER:
      OnTimer(wparam, handled);
      return 0;
    case platform::WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wparam), PointFrom(lparam), handled);
      return 0;
    case platform::WM_LBUTTONDOWN:
      OnLButtonDown(static_cast<UINT>(wparam), PointFrom(lparam), handled);
      return 0;
    case platform::WM_LBUTTONUP:
      OnLButtonUp(static_cast<UINT>(wparam), PointFrom(lparam), handled);
      return 0;
    case platform::WM_LBUTTONDBLCLK:
      OnLButtonDblClk(static_cast<UINT>(wparam), PointFrom(lparam), handled);
      return 0;
    default:
      return OnMessage(msg, wparam, lparam, handled);
  }
}

void CeMsgWnd::OnChar(UINT, UINT, UINT, bool&) {}
void CeMsgWnd::OnClose(bool&) {}
void CeMsgWnd::OnCreate(CREATESTRUCT*, bool&) {}
LRESULT CeMsgWnd::OnCommand(WPARAM, LPARAM, bool&) { return 0; }
LRESULT CeMsgWnd::OnNotify(int, NMHDR*, bool&) { return 0; }
void CeMsgWnd::OnDestroy(bool&) {}
void CeMsgWnd::OnEnable(bool, bool&) {}
LRESULT CeMsgWnd::OnEraseBkgnd(std::uintptr_t, bool&) { return 0; }
void CeMsgWnd::OnKeyDown(UINT, UINT, UINT, bool&) {}
void CeMsgWnd::OnKeyUp(UINT, UINT, UINT, bool&) {}
void CeMsgWnd::OnLButtonDblClk(UINT, POINT, bool&) {}
void CeMsgWnd::OnLButtonDown(UINT, POINT, bool&) {}
void CeMsgWnd::OnLButtonUp(UINT, POINT, bool&) {}
void CeMsgWnd::OnMouseMove(UINT, POINT, bool&) {}
void CeMsgWnd::OnMove(int, int, bool&) {}
void CeMsgWnd::OnPaint(bool&) {}
void CeMsgWnd::OnShowWindow(bool, UINT, bool&) {}
void CeMsgWnd::OnSize(UINT, int, int, bool&) {}
void CeMsgWnd::OnTimer(std::uintptr_t, bool&) {}
void CeMsgWnd::OnSettingChange(UINT, LPARAM, bool&) {}
void CeMsgWnd::OnOrientationChange(bool&) {}
LRESULT CeMsgWnd::OnMessage(UINT, WPARAM, LPARAM, bool&) { return 0; }
void CeMsgWnd::OnFirstMessage(HWND) {}
void CeMsgWnd::OnFinalMessage(HWND) {}

}  // namespace toolkit
