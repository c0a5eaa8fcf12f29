#pragma once
// Icons in the desktop's notification area. Each icon belongs to a window
// (owner) and has an id of the owner's choosing; the renderer shows it
// (Renderer::OnTrayIcon) and posts callback_message to the owner when the user
// taps it: wParam the id, lParam the pointer message (WM_LBUTTONUP for a tap).
// An icon goes with TrayIconDelete or when its owner is destroyed. Icons are
// named from our icon theme ("dictalo", "dictalo-recording"). Any thread.

#include <string_view>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/renderer.h"

namespace toolkit {

using platform::DWORD;

inline constexpr DWORD NIM_ADD = 0x0;
inline constexpr DWORD NIM_MODIFY = 0x1;
inline constexpr DWORD NIM_DELETE = 0x2;

// Longer tooltips are cut to this many characters, as the shell shows them.
inline constexpr std::size_t kMaxTrayTooltip = 127;

// False when owner is no window, the icon name is empty or (owner, id) is taken.
bool TrayIconAdd(HWND owner, UINT id, UINT callback_message, std::u16string_view icon, std::u16string_view tooltip);
// Changes icon (an empty name keeps the current one) and tooltip; false when
// there is no such icon.
bool TrayIconModify(HWND owner, UINT id, std::u16string_view icon, std::u16string_view tooltip);
bool TrayIconDelete(HWND owner, UINT id);
// One of the three by message (NIM_ADD, NIM_MODIFY, NIM_DELETE); callback_message
// only counts for NIM_ADD. False for another message.
bool TrayMessage(HWND owner, DWORD message, UINT id, UINT callback_message, std::u16string_view icon,
                 std::u16string_view tooltip);

// The icons there are now (a renderer installed late shows these).
std::vector<TrayIconState> TrayIcons();

// What a renderer does when the user acts on an icon: posts its callback
// message. False when the icon asked for none or its owner is gone.
bool PostTrayIconMessage(const TrayIconState& icon, UINT pointer_message);

}  // namespace toolkit
