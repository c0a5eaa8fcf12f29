#pragma once
// CeIconButton: a bar of icon buttons in one window of our own class. The bar
// keeps its buttons (CeIconButtonBase) sorted by CompareFunc and lays them out
// left to right with its padding between and around them; a button as wide as
// the bar is high unless it says otherwise. Icons are names of our icon theme
// that the renderer resolves ("media-record", "dictalo-send").
//
// A press on a button makes it the current (pressed) one; the release over it
// clicks it: a check button toggles, and the bar's parent hears
// WM_COMMAND(MAKEWPARAM(button id, BN_CLICKED), bar). A repeat button clicks at
// once and again every repeat interval while held; a button with context
// support held for the hold time tells the parent BN_CONTEXT instead of a
// click; a button with double-click support tells BN_DOUBLECLICKED on a double
// tap. Disabled buttons (and a disabled bar) ignore all of it. A renderer taps a
// button with PostUserActivate(bar, id) and reads the buttons with
// IBM_GETBUTTONCOUNT / IBM_GETBUTTON / IBM_GETCURRENT.

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/ce_wnd.h"

namespace toolkit {

using COLORREF = std::uint32_t;  // 0x00BBGGRR

class CeIconButtonBase {
 public:
  UINT id = 0;
  int order = 0;                // the default CompareFunc sorts by order, then id
  RECT rect{};                  // in the bar's client area; the bar sets it
  int width = 0;                // 0: square
  std::u16string icon;          // icon theme name
  std::u16string pressed_icon;  // "" : the icon
  std::u16string text;
  std::u16string font;          // "" : the renderer's
  int font_height = 0;
  COLORREF text_color = 0x000000;
  COLORREF back_color = 0xFFFFFF;
  COLORREF pressed_color = 0xC0C0C0;
  int border = 1;
  bool rounded = false;
  bool checkable = false;
  bool checked = false;
  bool pressed = false;
  bool enabled = true;
  bool repeat = false;
  bool double_click = false;
  bool context = false;
  bool arrow = false;  // a drop-down arrow at its right side
  std::u16string tooltip;
};

// Notification codes beyond BN_CLICKED.
inline constexpr UINT BN_DOUBLECLICKED = 5;
inline constexpr UINT BN_CONTEXT = 0x0100;

// Messages a renderer reads the bar with.
inline constexpr UINT IBM_GETBUTTONCOUNT = platform::WM_USER + 0x60;
inline constexpr UINT IBM_GETBUTTON = platform::WM_USER + 0x61;  // wParam index, lParam CeIconButtonBase* (copied into) -> 1 / 0
inline constexpr UINT IBM_GETCURRENT = platform::WM_USER + 0x62;  // -> the current button's id, 0 for none

class CeIconButton : public CeWnd {
 public:
  static constexpr std::u16string_view kClassName = u"CeIconButton";
  static constexpr std::uintptr_t kRepeatTimer = 1;
  static constexpr std::uintptr_t kHoldTimer = 2;

  using CeWnd::Create;
  HWND Create(HWND parent, UINT id, const RECT& rect, DWORD style = platform::WS_VISIBLE);

  // Adds a button in its sorted place; false when its id is taken or 0.
  bool AddButton(const CeIconButtonBase& button);
  bool RemoveButton(UINT id);
  const CeIconButtonBase* GetButton(UINT id) const;
  const std::vector<CeIconButtonBase>& buttons() const { return buttons_; }

  bool SetCheck(UINT id, bool checked);
  bool EnableButton(UINT id, bool enabled);
  bool SetIcon(UINT id, std::u16string_view icon, std::u16string_view pressed_icon = u"");
  // The pressed button (0: none).
  UINT GetCurrent() const { return current_; }
  // The enabled button at point, or 0.
  UINT HitTest(POINT point) const;

  void SetPadding(int padding);
  int padding() const { return padding_; }
  void SetRepeatTimes(UINT first_ms, UINT next_ms) {
    repeat_first_ms_ = first_ms;
    repeat_next_ms_ = next_ms;
  }
  void SetHoldTime(UINT ms) { hold_ms_ = ms; }

  // The order of the bar: negative when a goes before b.
  virtual int CompareFunc(const CeIconButtonBase& a, const CeIconButtonBase& b) const;

  void OnLButtonDown(UINT key_flags, POINT point, bool& handled) override;
  void OnLButtonUp(UINT key_flags, POINT point, bool& handled) override;
  void OnLButtonDblClk(UINT key_flags, POINT point, bool& handled) override;
  void OnTimer(std::uintptr_t id, bool& handled) override;
  void OnSize(UINT type, int width, int height, bool& handled) override;
  void OnEnable(bool enabled, bool& handled) override;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  CeIconButtonBase* Find(UINT id);
  void Sort();
  void Layout();
  void Press(UINT id);
  void Release();
  void Click(UINT id);
  void Tell(UINT id, UINT code);
  void Changed();

  std::vector<CeIconButtonBase> buttons_;
  int padding_ = 2;
  UINT current_ = 0;
  bool hold_fired_ = false;
  UINT repeat_first_ms_ = 400;
  UINT repeat_next_ms_ = 100;
  UINT hold_ms_ = 600;
};

}  // namespace toolkit
