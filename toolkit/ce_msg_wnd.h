#pragma once
// CeMsgWnd: the message dispatcher. ProcessMessage routes each window message to a
// virtual handler by its number; a handler that takes care of the message sets
// `handled` to true, otherwise the message goes on to Default: the previous window
// procedure, or the default one when there is none. The base handlers handle
// nothing. Handlers without a result make ProcessMessage return 0.
//
// The virtual operations keep their order (a table other code may be built on).
// OnOrientationChange has no message of its own on this platform; a renderer that
// learns of a rotation calls it through OnMessage.

#include <cstdint>

#include "platform/window_system.h"
#include "toolkit/notify_header.h"

namespace toolkit {

using platform::CREATESTRUCT;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::POINT;
using platform::UINT;
using platform::WNDPROC;
using platform::WPARAM;

class CeMsgWnd {
 public:
  CeMsgWnd() = default;
  virtual ~CeMsgWnd() = default;
  CeMsgWnd(const CeMsgWnd&) = delete;
  CeMsgWnd& operator=(const CeMsgWnd&) = delete;

  // Passes the message being handled on to the previous procedure (or the default one).
  virtual LRESULT Default();
  // Clears handled and calls the handler for msg:
  //   WM_CREATE OnCreate(create structure)      WM_DESTROY OnDestroy
  //   WM_MOVE OnMove(x = low, y = high word)     WM_SIZE OnSize(type, width = low, height = high)
  //   WM_ENABLE OnEnable                         WM_PAINT OnPaint
  //   WM_CLOSE OnClose                           WM_ERASEBKGND OnEraseBkgnd(dc) -> result
  //   WM_SHOWWINDOW OnShowWindow                 WM_SETTINGCHANGE OnSettingChange(low word of wParam, lParam)
  //   WM_NOTIFY OnNotify(id, header) -> result   WM_COMMAND OnCommand(wParam, lParam) -> result
  //   WM_KEYDOWN, WM_KEYUP, WM_CHAR On...(key, repeat = low, flags = high word of lParam)
  //   WM_TIMER OnTimer(id)
  //   WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK On...(key flags, point)
  //   anything else OnMessage -> result
  virtual LRESULT ProcessMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);

  virtual void OnChar(UINT key, UINT repeat, UINT flags, bool& handled);
  virtual void OnClose(bool& handled);
  virtual void OnCreate(CREATESTRUCT* create, bool& handled);
  virtual LRESULT OnCommand(WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNotify(int id, NMHDR* header, bool& handled);
  virtual void OnDestroy(bool& handled);
  virtual void OnEnable(bool enabled, bool& handled);
  virtual LRESULT OnEraseBkgnd(std::uintptr_t dc, bool& handled);
  virtual void OnKeyDown(UINT key, UINT repeat, UINT flags, bool& handled);
  virtual void OnKeyUp(UINT key, UINT repeat, UINT flags, bool& handled);
  virtual void OnLButtonDblClk(UINT key_flags, POINT point, bool& handled);
  virtual void OnLButtonDown(UINT key_flags, POINT point, bool& handled);
  virtual void OnLButtonUp(UINT key_flags, POINT point, bool& handled);
  virtual void OnMouseMove(UINT key_flags, POINT point, bool& handled);
  virtual void OnMove(int x, int y, bool& handled);
  virtual void OnPaint(bool& handled);
  virtual void OnShowWindow(bool show, UINT status, bool& handled);
  virtual void OnSize(UINT type, int width, int height, bool& handled);
  virtual void OnTimer(std::uintptr_t id, bool& handled);
  virtual void OnSettingChange(UINT flag, LPARAM lparam, bool& handled);
  virtual void OnOrientationChange(bool& handled);
  virtual LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  // Called when a window is bound to the object, before its handle is set.
  virtual void OnFirstMessage(HWND hwnd);
  // Called after WM_DESTROY, once the window is unbound; the object may delete itself.
  virtual void OnFinalMessage(HWND hwnd);

  WNDPROC previous_proc() const { return prev_proc_; }

 protected:
  // The message being handled.
  struct CurrentMessage {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
  };
  const CurrentMessage& current_message() const { return current_; }

  // The procedure unhandled messages go to (nullptr: the default one). A wrapper of
  // a superclassed control sets it to the base class's procedure before creating.
  WNDPROC prev_proc_ = nullptr;
  CurrentMessage current_;
};

}  // namespace toolkit
