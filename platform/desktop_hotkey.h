#pragma once
// The desktop's global keyboard shortcut for the record launcher: a GNOME custom
// keybinding set through gsettings where the desktop offers one. Elsewhere
// nothing is set and the options screen shows the command to bind by hand.

#include <optional>
#include <string>

namespace platform {

// Whether this desktop's keybindings can be set from here.
bool DesktopHotkeysAvailable();

// Binds accelerator (GNOME syntax, e.g. "<Super>r", "F9") to run command; an
// empty accelerator removes the binding. False when it could not be set.
bool SetDesktopHotkey(const std::string& accelerator, const std::string& command);

// The accelerator currently bound to our command, if any.
std::optional<std::string> GetDesktopHotkey();

}  // namespace platform
