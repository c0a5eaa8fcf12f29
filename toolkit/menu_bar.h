#pragma once
// CMenuBar: the soft-key bar of a window, made from a menu-bar resource
// (resources.h). The bar is a child window of class "menu_worker" with the bar id
// as its control id, placed along the bottom of its owner's client area; each
// soft key is a "BUTTON" child of the bar whose id is the key's command (or its
// popup's id), so renderers show and press keys like any other control.
//
// Pressing a key sends the owner WM_COMMAND(MAKEWPARAM(command, 0), 0), as a
// menu command does; a disabled key does nothing. A key with a popup menu leaves
// the choice to the renderer, which calls ChoosePopupItem. Popup items can be
// greyed (EnableItem): renderers show them unusable and ChoosePopupItem refuses
// them; each change is reported to renderers as a change of the key's control.
//
// The object owns its bar window and destroys it (on the owning thread) when it
// goes; a bar whose owner was destroyed first is simply gone.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/resources.h"

namespace toolkit {

using platform::DWORD;
using platform::HWND;
using platform::UINT;

inline constexpr std::u16string_view kMenuBarClass = u"menu_worker";
// The bar's height at 96 dpi.
inline constexpr int kMenuBarHeight = 26;

// One soft key or popup item as the bar keeps it.
struct CMenuBarItem {
  std::u16string text;
  UINT command = 0;   // 0 for a key that opens a popup
  UINT popup_id = 0;
  bool enabled = true;
  std::vector<MenuItemResource> popup;
};

class CMenuBar {
 public:
  CMenuBar() = default;
  ~CMenuBar();
  CMenuBar(const CMenuBar&) = delete;
  CMenuBar& operator=(const CMenuBar&) = delete;

  // Makes the bar for owner (a window of the calling thread) from menu-bar
  // resource bar_id; false when the resource is unknown, the owner is no window of
  // this thread or the bar already exists.
  bool Create(HWND owner, UINT bar_id, DWORD soft_key_mode = 0);
  void Destroy();

  HWND GetWindow() const { return bar_; }
  HWND GetOwner() const { return owner_; }
  UINT GetBarId() const { return bar_id_; }
  DWORD GetSoftKeyMode() const { return mode_; }

  std::size_t GetKeyCount() const { return keys_.size(); }
  std::optional<CMenuBarItem> GetKey(std::size_t index) const;
  // The window of a soft key (nullptr when there is none).
  HWND GetKeyWindow(std::size_t index) const;

  // A key by its command (or popup id); false when there is none.
  bool EnableKey(UINT command, bool enable);
  bool SetKeyText(UINT command, std::u16string_view text);

  // Greys (enable false) or ungreys every popup item with this command; false
  // when no popup holds it.
  bool EnableItem(UINT command, bool enable);
  // Whether a popup item with this command exists and is not greyed.
  bool IsItemEnabled(UINT command) const;

  // What a tap on the key does; false when the key does not exist or is disabled.
  bool PressKey(std::size_t index);
  // Sends the command of an item of the key's popup to the owner; false when the
  // key has no such item or the item is greyed.
  bool ChoosePopupItem(std::size_t index, UINT command);

  // The bar object behind a bar window (nullptr for anything else).
  static CMenuBar* FromWindow(HWND bar);

 private:
  static platform::LRESULT BarProc(HWND hwnd, UINT msg, platform::WPARAM wparam, platform::LPARAM lparam);
  void OnKeyClicked(UINT id);

  HWND owner_ = nullptr;
  HWND bar_ = nullptr;
  UINT bar_id_ = 0;
  DWORD mode_ = 0;
  std::vector<CMenuBarItem> keys_;
  std::vector<HWND> key_windows_;
};

}  // namespace toolkit
