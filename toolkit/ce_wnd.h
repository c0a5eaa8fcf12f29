#pragma once
// CeWnd: a window created or subclassed through the toolkit. The window's
// user-data slot holds its object; every message goes through the object's
// ProcessMessage (see CeMsgWnd), and unhandled ones on to Default.
//
// Binding: a window of a class registered here starts with the toolkit's start
// procedure; at its first WM_CREATE it takes the object from the creation
// parameters, installs the main procedure, stores the object, calls
// OnFirstMessage and sets the object's handle. After WM_DESTROY has been handled
// the previous procedure is put back, the slot and the handle are cleared and
// OnFinalMessage is called (the object may delete itself there).
//
// An exception escaping a handler ends the program: a "Software Error" box shows
// the window's text (at most 255 characters, "No Window" when the window is gone)
// and the exception's text, then CrashExit.
//
// All of it runs on the thread that owns the window.

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/ce_base_wnd.h"
#include "toolkit/ce_msg_wnd.h"

namespace toolkit {

class CeWnd : public CeBaseWnd, public CeMsgWnd {
 public:
  CeWnd() = default;
  // A window still bound to the object is unbound (its previous procedure put
  // back) so that it never calls into a deleted object; it is not destroyed.
  ~CeWnd() override;

  // "CeWnd:" + name: the class name RegisterClassW gives the window system.
  static std::u16string ClassName(std::u16string_view name);
  // Registers "CeWnd:" + name with the start procedure, unregistering any class of
  // that name first; a missing brush becomes the stock white brush.
  static bool RegisterClassW(std::u16string_view name, UINT style, int class_extra, int window_extra,
                             std::uintptr_t icon, std::uintptr_t small_icon, std::uintptr_t brush,
                             std::u16string_view menu_name);
  // Registers "CeWnd:GENERIC" once per process and returns that name.
  static std::u16string CreateGenericWndClass();
  // Registers "CeWnd:" + base_class with the base's attributes, the start procedure
  // and CS_GLOBALCLASS cleared, and gives back the base's procedure; returns the
  // superclass name (empty when the base class is unknown). When the base already
  // uses the start procedure and the superclass exists, returns at once.
  static std::u16string RegisterWndSuperclass(std::u16string_view base_class, WNDPROC* previous, bool* registered);

  // Create the window with this object as the creation parameter; nullptr on
  // failure (the object may then already have had OnFinalMessage).
  HWND Create(std::u16string_view class_name, std::u16string_view title, DWORD style, const RECT& rect,
              HWND parent, UINT id, DWORD ex_style = 0);
  // A null rect gives the default position and size; menu_or_id is a child's id.
  HWND Create(std::u16string_view class_name, std::u16string_view title, DWORD style, const RECT* rect,
              HWND parent, UINT menu_or_id, DWORD ex_style = 0);
  HWND Create(std::u16string_view class_name, std::u16string_view title, DWORD style, int x, int y, int width,
              int height, HWND parent, UINT menu_or_id, DWORD ex_style = 0);

  // Binds an existing window of the calling thread to this object (false when the
  // object already has a window or the window already has an object).
  bool Subclass(HWND hwnd);
  bool Subclass(UINT id, HWND dialog);
  // Unbinds and returns the window; nullptr when another procedure was installed
  // over ours since (unhooking would break that chain).
  HWND Unsubclass();

  // Sends to the children (deep: all descendants); only_permanent: only windows
  // bound to a toolkit object, though the walk still goes through the others.
  void SendMessageToDescendants(UINT msg, WPARAM wparam, LPARAM lparam, bool deep = true,
                                bool only_permanent = false);

  // The object bound to a window of the toolkit, or nullptr.
  static CeWnd* FromHandle(HWND hwnd);

  static LRESULT StartWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

 protected:
  // Expires when the object is deleted (see alive_).
  std::weak_ptr<char> AliveToken() const { return alive_; }

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  void Unbind(HWND hwnd);

  // Expires with the object: a message whose handling ended in OnFinalMessage
  // deleting the object must not touch it on the way out.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace toolkit
