#pragma once
// The socket error table: the platform's error numbers are first expressed as
// the Winsock numbers the table is written in, then mapped to 0x80C0xxxx.

#include "protocols/mail_result.h"

namespace protocols {

// Linux errno to the Winsock number of the same condition (EWOULDBLOCK to
// 10035, ECONNREFUSED to 10061, ...); 0 stays 0; a value with no Winsock
// counterpart is returned unchanged (and so maps to kUnspecifiedFailure).
int WinsockErrorFromErrno(int error_number);

// A getaddrinfo result (EAI_*) to a Winsock number: no such name 11001, try
// again 11002, no address for the name 11004; EAI_SYSTEM uses `error_number`.
int WinsockErrorFromResolver(int gai_error, int error_number);

// The table: 10004 and 10035 → 0x80C00002, ..., 11004 → 0x80C00019; 0 → 0;
// any other number → kUnspecifiedFailure.
MailResult MailResultFromWinsock(int winsock_error);

inline MailResult MailResultFromErrno(int error_number) {
  return MailResultFromWinsock(WinsockErrorFromErrno(error_number));
}

}  // namespace protocols
