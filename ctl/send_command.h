#pragma once
// dictaloctl send FILE [--save]
// Hands an existing note file to the delivery as a recording's Stop & Send (or
// Stop & Save with --save) does: in the mail server and web service modes it
// becomes a message in the Outbox and, for a send, the Outbox goes out; in the
// other modes a copy is kept in the notes folder. The file itself is left
// where it is. Status texts go to `out` as they change, the connection error
// box and (on failure) the activity log of the attempt to `err`.
//
// Exit: 0 when the note was sent (saved in the Outbox with --save, kept as a
// file in the file modes); 1 otherwise; 2 for bad usage or a missing file.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunSendCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err);

}  // namespace ctl
