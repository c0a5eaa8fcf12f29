#pragma once
// dictaloctl record [--seconds N] [--save]
// One whole recording session without the resident program: the main window of
// a record-only instance starts a recording from the configured sound input
// (DICTALO_AUDIO_INPUT, else the default device), stops it after N seconds
// (default 5) as Stop & Send (or Stop & Save with --save), and waits until the
// session is done. Every status text the session shows is printed on `out` as
// it changes, every message box on `err`; at the end one line says where the
// note went.
//
// Exit: 0 when the note is where it should be (sent, in the Outbox, or saved as
// a file); 1 when the sound input could not be started, an error box came up or
// the note went nowhere; 2 for bad usage.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunRecordCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);

}  // namespace ctl
