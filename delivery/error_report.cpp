#include "delivery/error_report.h"

#include <cstdio>

namespace delivery {
namespace {

constexpr const char kInternal[] = "Internal error; please contact the software vendor to report a bug";

std::string TransportMessage(std::uint32_t code) {
  std::uint32_t n = code - 0x80C00001u;
  if (code < 0x80C00001u || n >= 26) return "Unknown error; contact the software vendor to report the problem";
  switch (n) {
    case 5: return "Too many online applications; please close several of them and try again";
    case 15: return "The destination network is unreachable";
    case 17: return "Connection was forcibly closed by the remote server";
    case 18: return "The server actively refuses the connection";
    case 19: return "The server did not properly respond after a period of time";
    case 21:
    case 24: return "The server could not be found; make sure you have entered the server name correctly";
    case 22:
    case 25: return "The server is down or unreachable at the moment";
    default: return kInternal;  // 0-4, 6-14, 16, 20, 23
  }
}

std::string SslMessage(std::uint32_t alert) {
  switch (alert) {
    case 0: return "The server has closed the secure connection";
    case 10: return "An inappropriate SSL message was received";
    case 20: return "A record with an incorrect MAC was received. Please check connection port number";
    case 21: return "Failed to decrypt data";
    case 22: return "Record overlow";
    case 40: return "The server was unable to negotiate an acceptable set of security parameters";
    case 41: return "The server doesn't have any certificate";
    case 42: return "Certificate is corrupted";
    case 43: return "Certificate is of an unsupported format";
    case 44: return "Certificate was revoked by the Certificate Authority";
    case 45: return "Certificate has expired or is not yet valid";
    case 46: return "Unknown certificate validation error";
    case 47: return "Illegal handshake parameter";
    case 48: return "Unknown Certificate Authority";
    case 49: return "Access denied";
    case 50: return "A SSL message could not be decoded";
    case 51: return "A handshake cryptographic operation failed";
    case 60: return "Export restriction";
    case 70: return "Unsupported protocol version";
    case 71: return "Insufficient security";
    case 80: return "Internal error";
    case 90: return "The session was canceled";
    case 100: return "No renegotiation";
    case 120: return "The client does not have a certificate";
    default: return "Failed to establish a secure connection to the specified server";
  }
}

// The SMTP reply number packed in a 0x80C3 code: bits 14-15 pick the
// hundreds, the low 7 bits are added; hundreds 0 means a library condition.
std::string SmtpMessage(std::uint32_t code) {
  std::uint32_t hundreds_bits = (code >> 14) & 3;
  std::uint32_t low = code & 0x7F;
  if (hundreds_bits == 0) {
    switch (low) {
      case 1: return "The server responded with an error. Server Response: \"%s\"";
      case 2: return "The server does not accept messages of such size. Server Response: \"%s\"";
      case 3: return "The server does not support explicit SSL sessions";
      default: return "Unknown error. Server Response: \"%s\"";
    }
  }
  std::uint32_t reply = (hundreds_bits == 1 ? 200 : hundreds_bits == 2 ? 400 : 500) + low;
  switch (reply) {
    case 421: return "Account unavailable. Server Response: \"%s\"";
    case 432:
    case 530: return "This server requires authentication before sending outgoing mail. Server response: \"%s\"";
    case 450: return "The mailbox is busy; try again later. Server Response: \"%s\"";
    case 451:
    case 452:
    case 454:
    case 500:
    case 501:
    case 502:
    case 503:
    case 504:
    case 554: return "Internal server error. Server Response: \"%s\"";
    case 521: return "The destination server does not accept incoming mail. Server Response: \"%s\"";
    case 534: return "The selected authentication mechanism is too weak for the user. Server Response: \"%s\"";
    case 538: return "This server requires a secure connection to proceed. Server Response: \"%s\"";
    case 550:
    case 551:
    case 552:
    case 553: return "The server does not accept a message due to problem with destination mailbox. Server Response: \"%s\"";
    default: return "Unknown error. Server Response: \"%s\"";
  }
}

// Puts the response where the message has "%s" (once, as the string table's
// format would); the response itself is never read as a format.
std::string Insert(const std::string& message, std::string_view response) {
  std::size_t at = message.find("%s");
  if (at == std::string::npos) return message;
  return message.substr(0, at) + std::string(response) + message.substr(at + 2);
}

}  // namespace

std::string PlatformErrorText(std::uint32_t code) {
  switch (code) {
    case 0x80004001u: return "Not implemented\r\n";
    case 0x80004004u: return "Operation aborted\r\n";
    case 0x80004005u: return "Unspecified error\r\n";
    case 0x80070002u: return "The system cannot find the file specified.\r\n";
    case 0x80070005u: return "Access is denied.\r\n";
    case 0x8007000Du: return "The data is invalid.\r\n";
    case 0x8007000Eu: return "Not enough storage is available to complete this operation.\r\n";
    case 0x80070050u: return "The file exists.\r\n";
    case 0x80070057u: return "The parameter is incorrect.\r\n";
    case 0x80070070u: return "There is not enough space on the disk.\r\n";
    case 0x800700AAu: return "The requested resource is in use.\r\n";
    case 0x80070490u: return "Element not found.\r\n";
    case 0x80070570u: return "The file or directory is corrupted and unreadable.\r\n";
    default: return {};
  }
}

ErrorDescription DescribeError(std::uint32_t code, std::string_view server_response, bool allow_platform_text) {
  ErrorDescription d;
  std::uint32_t family = (code & 0x1FFF0000u) >> 16;
  switch (family) {
    case 0xC0:
      d = {"Transport error", TransportMessage(code), true};
      break;
    case 0xC5:
      d = {"SSL error", SslMessage(code - 0x80C50000u), true};
      break;
    case 0xC2:
    case 0xC4:
      d = {"Protocol error", "", true};
      break;
    case 0xC3:
      d = {"Protocol error", SmtpMessage(code), true};
      break;
    case 0xD0:
      d.category = "Account error";
      d.known = true;
      d.message = code == 0x80D00003u   ? "Secure authentication required"
                  : code == 0x80D00004u ? "The specified root path for this IMAP account was not found on the server"
                                        : "Unknown";
      break;
    default:
      if (allow_platform_text) {
        d.category = "Windows error";
        d.message = PlatformErrorText(code);
        if (d.message.size() >= 2 && d.message.ends_with("\r\n")) d.message.resize(d.message.size() - 2);
        if (d.message.ends_with(".")) d.message.pop_back();
      } else {
        d.category = d.message = "Unknown error";
      }
      return d;
  }
  d.message = Insert(d.message, server_response);
  return d;
}

std::string FormatErrorReport(std::uint32_t code, std::string_view server_response, std::string_view server,
                              std::string_view protocol, int port, bool ssl) {
  ErrorDescription d = DescribeError(code, server_response, true);
  char tail[96];
  std::snprintf(tail, sizeof tail, ". Port: %d. SSL: %s.\nError Code: #%.8X.", port, ssl ? "On" : "Off", code);
  return d.category + ": " + d.message + ".\nServer: \"" + std::string(server) + "\".\nProtocol: " +
         std::string(protocol) + tail;
}

}  // namespace delivery
