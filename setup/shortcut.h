#pragma once
// Start-menu shortcuts as desktop entries (.desktop files), which the desktop
// lists among its applications.

#include <filesystem>
#include <string>

namespace setup {

// The Exec value that runs program with no arguments, quoted and escaped as
// desktop entries require; empty for a path no desktop entry can hold (a line
// break in it).
std::string DesktopExecValue(const std::filesystem::path& program);

// Writes a desktop entry named name that starts program. False when the path
// cannot be held or the file cannot be written.
bool WriteShortcut(const std::filesystem::path& shortcut, std::u16string_view name,
                   const std::filesystem::path& program);

}  // namespace setup
