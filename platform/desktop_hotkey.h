#pragma once
// The desktop's global keyboard shortcut for the record launcher: a GNOME custom
// keybinding set through gsettings where the desktop offers one. Elsewhere
// nothing is set and the options screen shows the command to bind by hand.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A program path as one word of a command line the desktop splits like a shell
// does: as it is when it holds only safe characters, else in single quotes.
std::string ShellQuote(std::string_view word);

// Whether this desktop's keybindings can be set from here.
bool DesktopHotkeysAvailable();

// Binds accelerator (GNOME syntax, e.g. "<Super>r", "F9") to run command; an
// empty accelerator removes the binding. False when it could not be set.
bool SetDesktopHotkey(const std::string& accelerator, const std::string& command);

// The accelerator currently bound to our command, if any.
std::optional<std::string> GetDesktopHotkey();

}  // namespace platform
