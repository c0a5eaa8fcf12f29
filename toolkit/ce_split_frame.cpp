#include "toolkit/ce_split_frame.h"

#include <algorithm>
#include <mutex>

#include "toolkit/common_controls.h"
#include "toolkit/control_internal.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace pw = platform;

HWND CeSplitFrame::Create(HWND parent, UINT id, const RECT& rect, Orientation orientation, DWORD style) {
  static std::once_flag once;
  std::call_once(once, [] { RegisterClassW(kClassName, 0, 0, 0, 0, 0, 0, u""); });
  orientation_ = orientation;
  return CeWnd::Create(ClassName(kClassName), u"", style | pw::WS_CHILD, rect, parent, id);
}

int CeSplitFrame::Available() const {
  RECT client{};
  if (hwnd_) GetClientRect(&client);
  int length = orientation_ == kLeftRight ? client.right - offsets_.left - offsets_.right
                                          : client.bottom - offsets_.top - offsets_.bottom;
  return std::max(0, length - bar_);
}

int CeSplitFrame::Clamped(int pos) const {
  int available = Available();
  int min_docked = dock_ == kDockFirst ? min_first_ : min_second_;
  int min_other = dock_ == kDockFirst ? min_second_ : min_first_;
  // The other pane's minimum counts only while there is room for both.
  pos = std::clamp(pos, min_docked, std::max(min_docked, available - min_other));
  return std::clamp(pos, 0, available);
}

int CeSplitFrame::FirstExtent(int pos) const { return dock_ == kDockFirst ? pos : Available() - pos; }
int CeSplitFrame::PosForFirstExtent(int extent) const { return dock_ == kDockFirst ? extent : Available() - extent; }

void CeSplitFrame::GetWindowPlacements(RECT* first, RECT* bar, RECT* second) const {
  RECT client{};
  if (hwnd_) GetClientRect(&client);
  RECT inner{offsets_.left, offsets_.top, std::max(offsets_.left, client.right - offsets_.right),
             std::max(offsets_.top, client.bottom - offsets_.bottom)};
  int extent = FirstExtent(Clamped(pos_));
  RECT a = inner, b = inner, c = inner;
  if (orientation_ == kLeftRight) {
    a.right = inner.left + extent;
    b.left = a.right;
    b.right = std::min(inner.right, b.left + bar_);
    c.left = b.right;
  } else {
    a.bottom = inner.top + extent;
    b.top = a.bottom;
    b.bottom = std::min(inner.bottom, b.top + bar_);
    c.top = b.bottom;
  }
  if (first) *first = a;
  if (bar) *bar = b;
  if (second) *second = c;
}

void CeSplitFrame::RecalcLayout() {
  if (!hwnd_) return;
  RECT a, b, c;
  GetWindowPlacements(&a, &b, &c);
  auto place = [](HWND pane, const RECT& r) {
    if (pane && pw::IsWindow(pane)) pw::MoveWindow(pane, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
  };
  place(first_, a);
  place(second_, c);
}

void CeSplitFrame::SetPanes(HWND first, HWND second) {
  first_ = first;
  second_ = second;
  RecalcLayout();
}

void CeSplitFrame::SetSplitterPos(int pos) {
  pos_ = std::max(0, pos);
  RecalcLayout();
  if (hwnd_) NotifyControlChanged(hwnd_);
}

void CeSplitFrame::SetMinSizes(int first, int second) {
  min_first_ = std::max(0, first);
  min_second_ = std::max(0, second);
  SetSplitterPos(pos_);
}

void CeSplitFrame::SetBarSize(int size) {
  bar_ = std::max(0, size);
  SetSplitterPos(pos_);
}

void CeSplitFrame::SetOffsets(const RECT& offsets) {
  offsets_ = offsets;
  SetSplitterPos(pos_);
}

void CeSplitFrame::SetDockSide(DockSide side) {
  if (side == dock_) return;
  // The panes stay where they are; the position now measures the other one.
  int extent = FirstExtent(Clamped(pos_));
  dock_ = side;
  SetSplitterPos(PosForFirstExtent(extent));
}

void CeSplitFrame::UserMove(int pos) {
  int before = pos_;
  pos_ = Clamped(pos);
  RecalcLayout();
  NotifyControlChanged(hwnd_);
  if (pos_ == before) return;
  if (HWND parent = GetParent())
    pw::SendMessage(parent, pw::WM_COMMAND,
                    pw::MAKEWPARAM(static_cast<std::uint16_t>(GetDlgCtrlID()), SFN_SPLITTERMOVED),
                    reinterpret_cast<LPARAM>(hwnd_));
}

void CeSplitFrame::OnSize(UINT, int, int, bool& handled) {
  // The docked pane keeps its size; it gives way only to the minimum of the other.
  RecalcLayout();
  handled = true;
}

void CeSplitFrame::OnLButtonDown(UINT, POINT point, bool& handled) {
  handled = true;
  if (!control_internal::AcceptsUserInput(hwnd_)) return;
  RECT bar;
  GetWindowPlacements(nullptr, &bar, nullptr);
  if (point.x < bar.left || point.x >= bar.right || point.y < bar.top || point.y >= bar.bottom) return;
  dragging_ = true;
  grab_ = orientation_ == kLeftRight ? point.x : point.y;
  pos_at_grab_ = FirstExtent(Clamped(pos_));
}

void CeSplitFrame::OnMouseMove(UINT, POINT point, bool& handled) {
  handled = true;
  if (!dragging_) return;
  int moved = (orientation_ == kLeftRight ? point.x : point.y) - grab_;
  pos_ = Clamped(PosForFirstExtent(pos_at_grab_ + moved));
  RecalcLayout();
  NotifyControlChanged(hwnd_);
}

void CeSplitFrame::OnLButtonUp(UINT, POINT point, bool& handled) {
  handled = true;
  if (!dragging_) return;
  dragging_ = false;
  int moved = (orientation_ == kLeftRight ? point.x : point.y) - grab_;
  // The drag moved pos_ already; the parent hears of the whole move once.
  pos_ = PosForFirstExtent(pos_at_grab_);
  UserMove(PosForFirstExtent(pos_at_grab_ + moved));
}

LRESULT CeSplitFrame::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  switch (msg) {
    case SFM_GETPOS:
      handled = true;
      return GetSplitterPos();
    case TKM_USER_POSITION:
      handled = true;
      if (control_internal::AcceptsUserInput(hwnd_)) UserMove(static_cast<int>(lparam));
      return 0;
    default:
      return CeWnd::OnMessage(msg, wparam, lparam, handled);
  }
}

}  // namespace toolkit
