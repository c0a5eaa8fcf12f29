#include "toolkit/ce_child_mgr.h"

#include <algorithm>

namespace toolkit {
namespace pw = platform;

std::atomic<int> CeChildMgr::m_UpdateCount{0};

namespace {

// Managers of this thread whose layout came due while updates were deferred.
thread_local std::vector<CeChildMgr*> t_due;

// A child's rectangle in its parent's client coordinates.
bool ChildRect(HWND parent, HWND child, RECT* rect) {
  RECT parent_rect, child_rect;
  if (!pw::GetWindowRect(parent, &parent_rect) || !pw::GetWindowRect(child, &child_rect)) return false;
  *rect = RECT{child_rect.left - parent_rect.left, child_rect.top - parent_rect.top,
               child_rect.right - parent_rect.left, child_rect.bottom - parent_rect.top};
  return true;
}

}  // namespace

CeChildMgr::~CeChildMgr() { std::erase(t_due, this); }

bool CeChildMgr::Manage(HWND parent, HWND child, UINT flags) {
  if (!parent || pw::GetParent(child) != parent) return false;
  if (parent_ && parent_ != parent) return false;
  parent_ = parent;
  Child c;
  c.hwnd = child;
  c.flags = flags;
  if (!ChildRect(parent, child, &c.rect) || !pw::GetClientRect(parent, &c.parent_rect)) return false;
  c.right_gap = c.parent_rect.right - c.rect.right;
  c.bottom_gap = c.parent_rect.bottom - c.rect.bottom;
  auto existing = std::find_if(children_.begin(), children_.end(), [&](const Child& x) { return x.hwnd == child; });
  if (existing != children_.end())
    *existing = c;
  else
    children_.push_back(c);
  // Offsets to the neighbours, as they stand now.
  for (std::size_t i = 0; i < children_.size(); ++i) {
    Child& x = children_[i];
    if (i > 0) {
      x.previous_dx = x.rect.left - children_[i - 1].rect.right;
      x.previous_dy = x.rect.top - children_[i - 1].rect.bottom;
    }
    if (i + 1 < children_.size()) {
      x.next_dx = children_[i + 1].rect.left - x.rect.left;
      x.next_dy = children_[i + 1].rect.top - x.rect.top;
    }
  }
  return true;
}

void CeChildMgr::Unmanage(HWND child) {
  std::erase_if(children_, [&](const Child& c) { return c.hwnd == child; });
}

void CeChildMgr::Clear() {
  children_.clear();
  parent_ = nullptr;
}

void CeChildMgr::OnSize(int width, int height) {
  if (m_UpdateCount.load() > 0) {
    layout_due_ = true;
    due_width_ = width;
    due_height_ = height;
    if (std::find(t_due.begin(), t_due.end(), this) == t_due.end()) t_due.push_back(this);
    return;
  }
  Layout(width, height);
}

void CeChildMgr::BeginUpdate() { ++m_UpdateCount; }

void CeChildMgr::EndUpdate() {
  if (--m_UpdateCount > 0) return;
  m_UpdateCount.store(0);
  std::vector<CeChildMgr*> due;
  due.swap(t_due);
  for (CeChildMgr* mgr : due) {
    if (!mgr->layout_due_) continue;
    mgr->layout_due_ = false;
    mgr->Layout(mgr->due_width_, mgr->due_height_);
  }
}

void CeChildMgr::Layout(int width, int height) {
  std::erase_if(children_, [](const Child& c) { return !pw::IsWindow(c.hwnd); });
  std::vector<RECT> placed(children_.size());
  auto place = [&](std::size_t i) {
    const Child& c = children_[i];
    RECT r = c.rect;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (c.flags & kSizeRight) r.right = std::max(r.left, width - c.right_gap);
    else if (c.flags & kMoveRight) r.left = width - c.right_gap - w, r.right = r.left + w;
    if (c.flags & kSizeBottom) r.bottom = std::max(r.top, height - c.bottom_gap);
    else if (c.flags & kMoveBottom) r.top = height - c.bottom_gap - h, r.bottom = r.top + h;
    w = r.right - r.left;
    h = r.bottom - r.top;
    if (i > 0 && (c.flags & kFollowPreviousX)) r.left = placed[i - 1].right + c.previous_dx, r.right = r.left + w;
    if (i > 0 && (c.flags & kFollowPreviousY)) r.top = placed[i - 1].bottom + c.previous_dy, r.bottom = r.top + h;
    placed[i] = r;
  };
  // Siblings that follow the next one are placed after it: walk backwards over them.
  for (std::size_t i = 0; i < children_.size(); ++i) {
    if ((children_[i].flags & kFollowNext) && i + 1 < children_.size()) continue;
    place(i);
    for (std::size_t j = i; j > 0 && (children_[j - 1].flags & kFollowNext); --j) {
      const Child& c = children_[j - 1];
      int w = c.rect.right - c.rect.left, h = c.rect.bottom - c.rect.top;
      RECT r;
      r.left = placed[j].left - c.next_dx;
      r.top = placed[j].top - c.next_dy;
      r.right = r.left + w;
      r.bottom = r.top + h;
      placed[j - 1] = r;
    }
  }
  for (std::size_t i = 0; i < children_.size(); ++i) {
    RECT current;
    const RECT& r = placed[i];
    if (ChildRect(parent_, children_[i].hwnd, &current) && current.left == r.left && current.top == r.top &&
        current.right == r.right && current.bottom == r.bottom)
      continue;
    pw::MoveWindow(children_[i].hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
  }
}

}  // namespace toolkit
