#pragma once
// CeSplitFrame: two panes (child windows of the frame) with a movable splitter
// bar between them, side by side or one over the other. The splitter position
// is the size of the docked pane: that pane keeps its size when the frame is
// resized and the other one takes the rest. Each pane has a minimum size the
// position respects while there is room for both; offsets keep margins inside
// the frame. A drag of the bar by the user (or PostUserPosition from a
// renderer, with the new position) moves it and tells the parent
// WM_COMMAND(MAKEWPARAM(id, SFN_SPLITTERMOVED), frame); the program's
// SetSplitterPos tells nobody. SFM_GETPOS reads the position.

#include "toolkit/ce_wnd.h"

namespace toolkit {

inline constexpr UINT SFN_SPLITTERMOVED = 1;
inline constexpr UINT SFM_GETPOS = platform::WM_USER + 0x70;

class CeSplitFrame : public CeWnd {
 public:
  enum Orientation { kLeftRight, kTopBottom };
  enum DockSide { kDockFirst, kDockSecond };
  static constexpr std::u16string_view kClassName = u"CeSplitFrame";

  ~CeSplitFrame() override = default;
  // Where the first pane, the bar and the second pane go in the frame's client
  // area for the current size and position.
  virtual void GetWindowPlacements(RECT* first, RECT* bar, RECT* second) const;

  using CeWnd::Create;
  HWND Create(HWND parent, UINT id, const RECT& rect, Orientation orientation,
              DWORD style = platform::WS_VISIBLE);

  // The panes, children of the frame (either may be null); placed at once.
  void SetPanes(HWND first, HWND second);
  // The position asked for is kept; the one in effect is kept within the
  // minimum sizes for the frame's size at the time.
  void SetSplitterPos(int pos);
  int GetSplitterPos() const { return Clamped(pos_); }
  void SetMinSizes(int first, int second);
  void SetBarSize(int size);
  void SetOffsets(const RECT& offsets);  // left, top, right, bottom margins
  void SetDockSide(DockSide side);
  DockSide dock_side() const { return dock_; }
  Orientation orientation() const { return orientation_; }
  bool IsDragging() const { return dragging_; }

  // Places the panes for the frame's current size.
  void RecalcLayout();

  void OnSize(UINT type, int width, int height, bool& handled) override;
  void OnLButtonDown(UINT key_flags, POINT point, bool& handled) override;
  void OnMouseMove(UINT key_flags, POINT point, bool& handled) override;
  void OnLButtonUp(UINT key_flags, POINT point, bool& handled) override;
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  // The length the two panes share (the frame less offsets and bar).
  int Available() const;
  int Clamped(int pos) const;
  // The first pane's extent for a position, and back.
  int FirstExtent(int pos) const;
  int PosForFirstExtent(int extent) const;
  void UserMove(int pos);

  Orientation orientation_ = kLeftRight;
  DockSide dock_ = kDockFirst;
  HWND first_ = nullptr;
  HWND second_ = nullptr;
  int pos_ = 100;
  int min_first_ = 0;
  int min_second_ = 0;
  int bar_ = 4;
  RECT offsets_{};
  bool dragging_ = false;
  int grab_ = 0;           // where in the bar the drag took hold
  int pos_at_grab_ = 0;
};

}  // namespace toolkit
