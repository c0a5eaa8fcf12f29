#pragma once
// dictaloctl outbox list | resend | delete N | delete-all | save N PATH | convert files|activesync
// dictaloctl test-account
// The unsent notes waiting in the Outbox, as the options screen handles them:
//   list        one line per note, oldest first: "N  DATE  SIZE  RECIPIENT  SUBJECT"
//               (date and size as the notes list shows them)
//   resend      sends them all now, printing the connection status lines
//   delete N    deletes the note at position N of the list (1 is the oldest)
//   delete-all  deletes them all
//   save N PATH writes the recording of note N to PATH (replacing a file there)
//   convert     turns them all into note files or ActiveSync drafts
// test-account connects and logs in with the mail settings, sending nothing.
// Status lines go to `out`; error reports and failures to `err`.
//
// Exit: 0 on success; 1 when the operation failed (the error report on
// `err`); 2 for bad usage.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunOutboxCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);
int RunTestAccountCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);

}  // namespace ctl
