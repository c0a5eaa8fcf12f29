#pragma once
// dictaloctl compose --from ADDR --to ADDR [--cc ADDR] --subject TEXT [--text TEXT]
//                    [--charset NAME] FILE...
// Writes the note message for the files to `out`, in the exact form the delivery
// stores and sends (CR LF line ends). Each file's content type comes from the
// system's MIME type table by its extension ("application/octet-stream" when the
// table has none). Options also take the form --name=VALUE.

#include <ostream>
#include <string>
#include <vector>

// `args` are the words after "compose". Returns 0 on success; 2 with one line on
// `err` for bad usage, an unknown charset or a file that cannot be read.
int RunComposeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
