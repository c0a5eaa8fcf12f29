#pragma once
// Help: the page "Dictalo.htm" in the program's share folder, opened at its
// table of contents with the desktop's viewer.

#include <filesystem>

namespace app {

// The help page's path (it may not exist).
std::filesystem::path HelpFilePath();

// Opens the help page at "#Main_Contents" when it exists; false when it does not
// or the viewer could not be started.
bool OpenHelp();

// On the first interactive start (HKCU "Software\Corvane\Dictalo" "FirstRun"
// true or absent) opens the help, then records "FirstRun" = false whether or not
// the page existed. Returns whether this was the first run.
bool RunFirstRunHelp();

}  // namespace app
