#pragma once
// CeChildMgr: keeps child controls in place when their parent changes size.
// Manage records where a child sits and how it should follow the parent's edges;
// OnSize repositions every managed child. BeginUpdate/EndUpdate defer the
// repositioning (a process-wide counter, m_UpdateCount): while it is above zero
// OnSize only remembers that a layout is due, and the last EndUpdate runs the
// layouts that came due on its thread.
//
// Flags (combine):
//   kMoveRight   keeps the distance to the parent's right edge by moving
//   kMoveBottom  keeps the distance to the parent's bottom edge by moving
//   kSizeRight   keeps the distance to the right edge by growing or shrinking
//   kSizeBottom  keeps the distance to the bottom edge by growing or shrinking
//   kFollowPreviousX / kFollowPreviousY (together 0x3000)
//                keeps the offset from the previous managed sibling's right /
//                bottom edge after that sibling has been placed
//   kFollowNext  keeps the offset from the next managed sibling (its left and top
//                edges), placed after that sibling
// All on the thread that owns the windows.

#include <atomic>
#include <vector>

#include "platform/window_system.h"

namespace toolkit {

using platform::HWND;
using platform::RECT;
using platform::UINT;

class CeChildMgr {
 public:
  static constexpr UINT kMoveRight = 0x0001;
  static constexpr UINT kMoveBottom = 0x0002;
  static constexpr UINT kSizeRight = 0x0004;
  static constexpr UINT kSizeBottom = 0x0008;
  static constexpr UINT kFollowPreviousX = 0x1000;
  static constexpr UINT kFollowPreviousY = 0x2000;
  static constexpr UINT kFollowNext = 0x4000;

  // Records the child of parent (false when it is not a child of parent). A child
  // managed again takes the new flags and its current place.
  CeChildMgr() = default;
  ~CeChildMgr();
  CeChildMgr(const CeChildMgr&) = delete;
  CeChildMgr& operator=(const CeChildMgr&) = delete;

  bool Manage(HWND parent, HWND child, UINT flags);
  void Unmanage(HWND child);
  void Clear();
  // Repositions the managed children for the parent's new client size.
  void OnSize(int width, int height);

  static void BeginUpdate();
  static void EndUpdate();

  static std::atomic<int> m_UpdateCount;

 private:
  struct Child {
    HWND hwnd = nullptr;
    UINT flags = 0;
    RECT rect{};         // in the parent's client area when recorded
    RECT parent_rect{};  // the parent's client area then
    int right_gap = 0;
    int bottom_gap = 0;
    int previous_dx = 0, previous_dy = 0;  // from the previous sibling's right / bottom
    int next_dx = 0, next_dy = 0;          // to the next sibling's left / top
  };
  void Layout(int width, int height);

  HWND parent_ = nullptr;
  std::vector<Child> children_;
  bool layout_due_ = false;
  int due_width_ = 0, due_height_ = 0;
};

}  // namespace toolkit
