#pragma once
// dictaloctl reg export KEY | reg import FILE
// KEY is a full path such as "HKEY_CURRENT_USER\ControlPanel\Owner" (HKCU and HKLM
// are accepted as short forms). Export writes .reg text to standard output; import
// reads a .reg file ("-" for standard input).

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunRegistryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ctl
