#pragma once
// dictaloctl cert verify HOST CHAIN [--trust FILE] | cert import FILE | cert list | cert remove N
//
// verify: CHAIN holds the server's certificates (PEM, DER or PKCS #7), the
// server's own first as a server sends them. They are checked as the mail
// client checks them after a handshake, against the user's ROOT store (the
// system CA bundle and the certificates imported here) or, with --trust,
// against the certificates of FILE alone. Prints "chain result: 0x........"
// and "accepted" or "refused: <reason>"; exit 0 only when accepted.
// import, list and remove act on the certificates imported into the user's
// ROOT store; list numbers them for remove.
// Exit codes: 0 done, 1 refused or failed, 2 usage error.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunCertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ctl
