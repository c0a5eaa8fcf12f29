#include "protocols/socket_errors.h"

#include <netdb.h>

#include <cerrno>

namespace protocols {

int WinsockErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10035;  // EWOULDBLOCK is the same value here
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    // Writing after the peer reset or closed: Winsock reports the reset.
    case EPIPE: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return error_number;
  }
}

int WinsockErrorFromResolver(int gai_error, int error_number) {
  switch (gai_error) {
    case 0: return 0;
    case EAI_NONAME: return 11001;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return 11004;
#endif
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return WinsockErrorFromErrno(error_number);
    default: return 11003;
  }
}

MailResult MailResultFromWinsock(int e) {
  if (e == 0) return kMailOk;
  if (e == 10004 || e == 10035) return 0x80C00002u;
  if (e == 10013) return 0x80C00003u;
  if (e == 10014) return 0x80C00004u;
  if (e == 10022) return 0x80C00005u;
  if (e == 10024) return 0x80C00006u;
  if (e == 10036 || e == 10037) return 0x80C00007u;
  if (e == 10038) return 0x80C00008u;
  if (e == 10039) return 0x80C00009u;
  if (e == 10040) return 0x80C0000Au;
  if (e == 10041) return 0x80C0000Bu;
  if (e == 10042) return 0x80C0000Cu;
  if (e >= 10043 && e <= 10047) return 0x80C0000Du;
  if (e == 10048) return 0x80C0000Eu;
  if (e == 10049) return 0x80C0000Fu;
  if (e >= 10050 && e <= 10052) return 0x80C00010u;
  if (e == 10053) return 0x80C00011u;
  if (e == 10054) return 0x80C00012u;
  if (e == 10056) return 0x80C00018u;
  if (e == 10057 || e == 10058) return 0x80C00015u;
  if (e == 10060) return 0x80C00014u;
  if (e == 10061) return 0x80C00013u;
  if (e == 10064 || e == 10065) return 0x80C00017u;
  if (e == 11001) return 0x80C00016u;
  if (e == 11002) return 0x80C0001Au;
  if (e == 11004) return 0x80C00019u;
  return kUnspecifiedFailure;
}

}  // namespace protocols
