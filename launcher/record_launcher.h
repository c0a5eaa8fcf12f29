#pragma once
// dictalo-record: the program a keyboard shortcut runs. It toggles the recording
// of a running dictalo, or starts "dictalo -record". It keeps no state; every
// press is one run.
//
// With a running main window: its own command line goes over as WM_COPYDATA. A
// non-zero reply means "toggle": UM_HOTKEY_TOGGLE is sent and the run ends. A zero
// reply (the running instance was started with these arguments) sends
// UM_QUERY_RECORD_ONLY, which ends a record-only instance, and a fresh
// "dictalo -record <arguments>" is started.

#include <filesystem>
#include <string>
#include <vector>

namespace launcher {

enum class LaunchAction { Toggled, Started, StartFailed };

// command_line: the launcher's own arguments joined into one line.
// dictalo: the program to start.
LaunchAction RunLauncher(const std::u16string& command_line, const std::filesystem::path& dictalo);

// The arguments dictalo is started with: "-record", then the launcher's own arguments.
std::vector<std::string> RecordArguments(const std::u16string& command_line);

}  // namespace launcher
