// The process's tray icons, kept here so a change of one field keeps the others
// and a second add of the same icon is refused; the renderer mirrors them.

#include "toolkit/tray.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace toolkit {
namespace pw = platform;
namespace {

std::mutex g_mu;
std::vector<TrayIconState> g_icons;  // in the order they were added

// Icons of owners that are gone have nobody to tell of a tap.
void DropOrphansLocked() {
  std::erase_if(g_icons, [](const TrayIconState& icon) { return !pw::IsWindow(icon.owner); });
}

TrayIconState* FindLocked(HWND owner, UINT id) {
  auto it = std::find_if(g_icons.begin(), g_icons.end(),
                         [&](const TrayIconState& icon) { return icon.owner == owner && icon.id == id; });
  return it == g_icons.end() ? nullptr : &*it;
}

std::u16string Tooltip(std::u16string_view text) {
  std::u16string tip(text.substr(0, kMaxTrayTooltip));
  // Never leave half of a character outside the basic plane.
  if (tip.size() == kMaxTrayTooltip && tip.back() >= 0xD800 && tip.back() <= 0xDBFF) tip.pop_back();
  return tip;
}

}  // namespace

bool TrayIconAdd(HWND owner, UINT id, UINT callback_message, std::u16string_view icon, std::u16string_view tooltip) {
  if (!owner || !pw::IsWindow(owner) || icon.empty()) return false;
  TrayIconState state{owner, id, callback_message, std::u16string(icon), Tooltip(tooltip)};
  {
    std::lock_guard lock(g_mu);
    DropOrphansLocked();
    if (FindLocked(owner, id)) return false;
    g_icons.push_back(state);
  }
  if (Renderer* renderer = CurrentRenderer()) renderer->OnTrayIcon(state);
  return true;
}

bool TrayIconModify(HWND owner, UINT id, std::u16string_view icon, std::u16string_view tooltip) {
  TrayIconState state;
  {
    std::lock_guard lock(g_mu);
    DropOrphansLocked();
    TrayIconState* found = FindLocked(owner, id);
    if (!found) return false;
    if (!icon.empty()) found->icon = std::u16string(icon);
    found->tooltip = Tooltip(tooltip);
    state = *found;
  }
  if (Renderer* renderer = CurrentRenderer()) renderer->OnTrayIcon(state);
  return true;
}

bool TrayIconDelete(HWND owner, UINT id) {
  {
    std::lock_guard lock(g_mu);
    if (std::erase_if(g_icons, [&](const TrayIconState& icon) { return icon.owner == owner && icon.id == id; }) == 0)
      return false;
  }
  if (Renderer* renderer = CurrentRenderer()) renderer->OnTrayIconRemoved(owner, id);
  return true;
}

bool TrayMessage(HWND owner, DWORD message, UINT id, UINT callback_message, std::u16string_view icon,
                 std::u16string_view tooltip) {
  switch (message) {
    case NIM_ADD:
      return TrayIconAdd(owner, id, callback_message, icon, tooltip);
    case NIM_MODIFY:
      return TrayIconModify(owner, id, icon, tooltip);
    case NIM_DELETE:
      return TrayIconDelete(owner, id);
    default:
      return false;
  }
}

std::vector<TrayIconState> TrayIcons() {
  std::lock_guard lock(g_mu);
  DropOrphansLocked();
  return g_icons;
}

bool PostTrayIconMessage(const TrayIconState& icon, UINT pointer_message) {
  if (!icon.callback_message || !icon.owner) return false;
  return pw::PostMessage(icon.owner, icon.callback_message, icon.id, static_cast<pw::LPARAM>(pointer_message));
}

}  // namespace toolkit
