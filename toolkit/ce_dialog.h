#pragma once
// CeDialog: a dialog whose content scrolls when the dialog is smaller than the
// content. At WM_INITDIALOG it records the client size as the content size,
// zeroes both scroll positions and, unless shell flags are set, takes its window
// size as the default size; with a fixed width or height it sizes itself to that
// plus the vertical scroll bar's width / the horizontal scroll bar's height.
// WM_HSCROLL and WM_VSCROLL from the dialog's own scroll bars (lParam 0; those
// of a slider or scroll bar control go to the handlers as usual), and OnSize,
// move the content and keep the scroll ranges (content size less client size,
// never below 0). The soft-key bar stays where it is.

#include "toolkit/ce_base_dialog.h"

namespace toolkit {

// Scroll bars and scroll requests (low word of WM_HSCROLL / WM_VSCROLL's wParam;
// the high word carries the position for SB_THUMBPOSITION / SB_THUMBTRACK).
inline constexpr int SB_HORZ = 0;
inline constexpr int SB_VERT = 1;
inline constexpr UINT SB_LINEUP = 0;
inline constexpr UINT SB_LINELEFT = 0;
inline constexpr UINT SB_LINEDOWN = 1;
inline constexpr UINT SB_LINERIGHT = 1;
inline constexpr UINT SB_PAGEUP = 2;
inline constexpr UINT SB_PAGELEFT = 2;
inline constexpr UINT SB_PAGEDOWN = 3;
inline constexpr UINT SB_PAGERIGHT = 3;
inline constexpr UINT SB_THUMBPOSITION = 4;
inline constexpr UINT SB_THUMBTRACK = 5;
inline constexpr UINT SB_TOP = 6;
inline constexpr UINT SB_LEFT = 6;
inline constexpr UINT SB_BOTTOM = 7;
inline constexpr UINT SB_RIGHT = 7;
inline constexpr UINT SB_ENDSCROLL = 8;

class CeDialog : public CeBaseDialog {
 public:
  // A line scroll moves this many pixels.
  static constexpr int kLineStep = 16;

  // Fixed size (0 = not fixed); takes effect at the next WM_INITDIALOG.
  void SetFixedSize(int width, int height) {
    fixed_width_ = width;
    fixed_height_ = height;
  }

  LRESULT OnInitDialog(HWND focus, LPARAM param, bool& handled) override;
  void OnSize(UINT type, int width, int height, bool& handled) override;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;

  // bar: SB_HORZ or SB_VERT.
  int GetScrollPos(int bar) const { return bar == SB_HORZ ? scroll_x_ : scroll_y_; }
  // The largest scroll position (0: no scrolling).
  int GetScrollLimit(int bar) const;
  // Scrolls to pos (clamped), moving the content; returns the new position.
  int ScrollTo(int bar, int pos);

  int content_width() const { return client_width_; }
  int content_height() const { return client_height_; }
  int default_width() const { return default_width_; }
  int default_height() const { return default_height_; }

 protected:
  int client_width_ = 0;   // client size at creation: the content's size
  int client_height_ = 0;
  int default_width_ = 0;
  int default_height_ = 0;
  int fixed_width_ = 0;
  int fixed_height_ = 0;
  int scroll_x_ = 0;
  int scroll_y_ = 0;

 private:
  void HandleScroll(int bar, UINT request, int thumb);
  bool initialised_ = false;
  // The current client size.
  int view_width_ = 0;
  int view_height_ = 0;
};

}  // namespace toolkit
