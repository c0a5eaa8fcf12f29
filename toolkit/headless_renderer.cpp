#include "toolkit/headless_renderer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/file_io.h"
#include "platform/text.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/tray.h"

namespace toolkit {
namespace pw = platform;
namespace {

constexpr char kDumpVariable[] = "DICTALO_UI_DUMP";

std::uintptr_t Key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

bool OwnedByCaller(HWND hwnd) { return pw::GetWindowThreadId(hwnd) == pw::GetCurrentThreadId(); }

std::string Quote(const std::string& text) { return QuoteForDescription(text); }

std::string Hex(HWND hwnd) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(Key(hwnd)));
  return buf;
}

}  // namespace

HeadlessRenderer::HeadlessRenderer(std::string dump_path) : dump_path_(std::move(dump_path)) {}

std::string HeadlessRenderer::DumpPathFromEnvironment() {
  const char* value = std::getenv(kDumpVariable);
  return value ? value : "";
}

void HeadlessRenderer::ReadStyle(HWND hwnd, Node& node) {
  DWORD style = static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE));
  node.visible = (style & pw::WS_VISIBLE) != 0;
  node.enabled = (style & pw::WS_DISABLED) == 0;
  node.password = node.kind == ControlKind::kEdit && (style & ES_PASSWORD) != 0;
  pw::GetWindowRect(hwnd, &node.rect);
}

void HeadlessRenderer::ReadControlState(HWND hwnd, Node& node) {
  if (node.is_button) {
    node.check = static_cast<unsigned>(pw::SendMessage(hwnd, BM_GETCHECK, 0, 0));
    auto state = static_cast<UINT>(pw::SendMessage(hwnd, BM_GETSTATE, 0, 0));
    node.pressed = (state & BST_PUSHED) != 0;
    node.focused = (state & BST_FOCUS) != 0;
    char16_t image[kMaxButtonImageName + 1] = {};
    pw::SendMessage(hwnd, BM_GETIMAGE, std::size(image), reinterpret_cast<pw::LPARAM>(image));
    node.image = pw::Utf16ToUtf8(image);
  }
  if (node.is_static) {
    char16_t image[kMaxButtonImageName + 1] = {};
    pw::SendMessage(hwnd, STM_GETIMAGE, std::size(image), reinterpret_cast<pw::LPARAM>(image));
    node.image = pw::Utf16ToUtf8(image);
  }
  if (node.is_progress) {
    PBRANGE range;
    pw::SendMessage(hwnd, PBM_GETRANGE, 1, reinterpret_cast<pw::LPARAM>(&range));
    node.low = range.iLow;
    node.high = range.iHigh;
    node.pos = static_cast<int>(pw::SendMessage(hwnd, PBM_GETPOS, 0, 0));
  }
  if (node.kind != ControlKind::kOther) node.state_text = DescribeControlState(hwnd, node.kind);
}

void HeadlessRenderer::OnWindowCreated(HWND hwnd) {
  Node node;
  node.parent = pw::GetParent(hwnd);
  node.top_level = (pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE) & pw::WS_CHILD) == 0;
  node.id = pw::GetDlgCtrlID(hwnd);
  std::u16string class_name = pw::GetClassName(hwnd);
  node.class_name = pw::Utf16ToUtf8(class_name);
  node.is_button = pw::EqualsIgnoreAsciiCase(class_name, kButtonClass);
  node.is_progress = pw::EqualsIgnoreAsciiCase(class_name, kProgressClass);
  node.is_static = pw::EqualsIgnoreAsciiCase(class_name, kStaticClass);
  node.kind = ControlKindOf(hwnd);
  // Called on the creating thread, which owns the window: the text is a direct call.
  node.text = pw::Utf16ToUtf8(pw::GetWindowText(hwnd));
  ReadStyle(hwnd, node);
  if (node.kind != ControlKind::kOther) ReadControlState(hwnd, node);
  std::lock_guard lock(mu_);
  nodes_[Key(hwnd)] = std::move(node);
  DumpLocked();
}

void HeadlessRenderer::OnWindowDestroyed(HWND hwnd) {
  std::lock_guard lock(mu_);
  // An owner that goes takes its tray icons along: nothing is left to answer a tap.
  std::size_t icons = std::erase_if(tray_icons_, [&](const TrayIconState& icon) { return icon.owner == hwnd; });
  if (nodes_.erase(Key(hwnd)) > 0 || icons > 0) DumpLocked();
}

void HeadlessRenderer::OnWindowTextChanged(HWND hwnd) {
  // The text is read where the window lives; a change reported elsewhere waits
  // for the next one reported there.
  if (!OwnedByCaller(hwnd)) return;
  std::string text = pw::Utf16ToUtf8(pw::GetWindowText(hwnd));
  std::lock_guard lock(mu_);
  auto it = nodes_.find(Key(hwnd));
  if (it == nodes_.end()) return;
  it->second.text = std::move(text);
  DumpLocked();
}

void HeadlessRenderer::OnWindowShown(HWND hwnd, bool visible) {
  std::lock_guard lock(mu_);
  auto it = nodes_.find(Key(hwnd));
  if (it == nodes_.end()) return;
  it->second.visible = visible;
  DumpLocked();
}

void HeadlessRenderer::OnWindowEnabled(HWND hwnd, bool enabled) {
  std::lock_guard lock(mu_);
  auto it = nodes_.find(Key(hwnd));
  if (it == nodes_.end()) return;
  it->second.enabled = enabled;
  DumpLocked();
}

void HeadlessRenderer::OnWindowMoved(HWND hwnd) {
  std::lock_guard lock(mu_);
  if (nodes_.count(Key(hwnd))) DumpLocked();
}

void HeadlessRenderer::OnControlChanged(HWND control) {
  if (!OwnedByCaller(control)) return;
  Node fresh;
  {
    std::lock_guard lock(mu_);
    auto it = nodes_.find(Key(control));
    if (it == nodes_.end()) return;
    fresh = it->second;
  }
  ReadControlState(control, fresh);  // messages to the control, outside the lock
  std::lock_guard lock(mu_);
  auto it = nodes_.find(Key(control));
  if (it == nodes_.end()) return;
  Node& node = it->second;
  node.check = fresh.check;
  node.pressed = fresh.pressed;
  node.focused = fresh.focused;
  node.image = std::move(fresh.image);
  node.low = fresh.low;
  node.high = fresh.high;
  node.pos = fresh.pos;
  node.state_text = std::move(fresh.state_text);
  DumpLocked();
}

void HeadlessRenderer::DescribeLocked(HWND hwnd, const Node& node, int depth, std::string& out) const {
  // Style and place are read from the window table as they stand now.
  Node live = node;
  ReadStyle(hwnd, live);
  char buf[160];
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  if (depth == 0) {
    std::snprintf(buf, sizeof buf, "window hwnd=0x%llx class=", static_cast<unsigned long long>(Key(hwnd)));
    out += buf;
    out += Quote(node.class_name) + " title=" + Quote(node.text);
    std::snprintf(buf, sizeof buf, " visible=%d enabled=%d rect=%d,%d,%d,%d", live.visible, live.enabled,
                  live.rect.left, live.rect.top, live.rect.right, live.rect.bottom);
    out += buf;
  } else {
    std::snprintf(buf, sizeof buf, "control id=%d class=", node.id);
    out += buf;
    out += Quote(node.class_name) + " text=" + Quote(live.password ? MaskedText(node.text) : node.text);
    std::snprintf(buf, sizeof buf, " visible=%d enabled=%d", live.visible, live.enabled);
    out += buf;
    if (node.is_button) {
      std::snprintf(buf, sizeof buf, " checked=%u pressed=%d focused=%d", node.check, node.pressed, node.focused);
      out += buf;
      if (!node.image.empty()) out += " image=" + Quote(node.image);
    }
    if (node.is_static && !node.image.empty()) out += " image=" + Quote(node.image);
    if (node.is_progress) {
      std::snprintf(buf, sizeof buf, " range=%d,%d pos=%d", node.low, node.high, node.pos);
      out += buf;
    }
    out += node.state_text;
    // Where it is on the screen, last so that the state before it reads the same
    // whatever the layout: a test driving the real display clicks there.
    std::snprintf(buf, sizeof buf, " rect=%d,%d,%d,%d", live.rect.left, live.rect.top, live.rect.right,
                  live.rect.bottom);
    out += buf;
  }
  out += '\n';
  for (const auto& [key, child] : nodes_)
    if (child.parent == hwnd && !child.top_level)
      DescribeLocked(reinterpret_cast<HWND>(key), child, depth + 1, out);
}

std::string HeadlessRenderer::Describe(HWND window) const {
  std::lock_guard lock(mu_);
  auto it = nodes_.find(Key(window));
  if (it == nodes_.end()) return {};
  std::string out;
  DescribeLocked(window, it->second, 0, out);
  return out;
}

std::string HeadlessRenderer::DescribeAllLocked() const {
  std::string out;
  for (const auto& [key, node] : nodes_) {
    if (!node.top_level) continue;
    HWND hwnd = reinterpret_cast<HWND>(key);
    if (!(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE) & pw::WS_VISIBLE)) continue;
    DescribeLocked(hwnd, node, 0, out);
  }
  for (const TrayIconState& icon : tray_icons_)
    out += "tray owner=" + Hex(icon.owner) + " id=" + std::to_string(icon.id) +
           " icon=" + Quote(pw::Utf16ToUtf8(icon.icon)) + " tooltip=" + Quote(pw::Utf16ToUtf8(icon.tooltip)) + "\n";
  for (const Notification& n : notifications_)
    out += "notification title=" + Quote(pw::Utf16ToUtf8(n.title)) + " text=" + Quote(pw::Utf16ToUtf8(n.text)) +
           "\n";
  return out;
}

std::string HeadlessRenderer::DescribeAll() const {
  std::lock_guard lock(mu_);
  return DescribeAllLocked();
}

void HeadlessRenderer::OnTrayIcon(const TrayIconState& icon) {
  std::lock_guard lock(mu_);
  auto it = std::find_if(tray_icons_.begin(), tray_icons_.end(),
                         [&](const TrayIconState& x) { return x.owner == icon.owner && x.id == icon.id; });
  if (it != tray_icons_.end())
    *it = icon;
  else
    tray_icons_.push_back(icon);
  DumpLocked();
}

void HeadlessRenderer::OnTrayIconRemoved(HWND owner, UINT id) {
  std::lock_guard lock(mu_);
  if (std::erase_if(tray_icons_, [&](const TrayIconState& x) { return x.owner == owner && x.id == id; }) > 0)
    DumpLocked();
}

void HeadlessRenderer::ShowNotification(std::u16string_view title, std::u16string_view text) {
  std::lock_guard lock(mu_);
  notifications_.push_back({std::u16string(title), std::u16string(text)});
  if (notifications_.size() > kKeptNotifications) notifications_.erase(notifications_.begin());
  DumpLocked();
}

std::vector<TrayIconState> HeadlessRenderer::TrayIcons() const {
  std::lock_guard lock(mu_);
  return tray_icons_;
}

std::vector<HeadlessRenderer::Notification> HeadlessRenderer::Notifications() const {
  std::lock_guard lock(mu_);
  return notifications_;
}

bool HeadlessRenderer::ClickTrayIcon(HWND owner, UINT id) {
  std::optional<TrayIconState> icon;
  {
    std::lock_guard lock(mu_);
    for (const TrayIconState& x : tray_icons_)
      if (x.owner == owner && x.id == id) icon = x;
  }
  return icon && PostTrayIconMessage(*icon, pw::WM_LBUTTONUP);
}

void HeadlessRenderer::DumpLocked() {
  if (dump_path_.empty()) return;
  std::string content = DescribeAllLocked();
  if (dumped_once_ && content == last_dump_) return;
  // Readers (tests, scripts) see the old dump or the new one, never half of it.
  if (platform::ReplaceFileAtomically(dump_path_, content, 0644) != 0) return;
  last_dump_ = std::move(content);
  dumped_once_ = true;
}

}  // namespace toolkit
