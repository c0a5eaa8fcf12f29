#pragma once
// dictaloctl settings list | get KEY | set KEY VALUE
//
// Loads the settings exactly as the program does (same folder, same file, same
// profile rule), and for "set" saves them through the same code.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

// args: what follows "settings". profile: the "-profile" value, empty for the
// default file. Returns the exit status: 0 on success, 2 for bad usage, an
// unknown key or a value of the wrong type, 1 when the file could not be saved.
int RunSettingsCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                       std::ostream& err);

}  // namespace ctl
