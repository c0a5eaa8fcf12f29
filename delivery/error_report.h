#pragma once
// ErrorReport: a failed mail operation as the mail service reports it, and the
// texts the user sees for it: DescribeError (category and message for a
// result code) and FormatErrorReport (the whole report).

#include <cstdint>
#include <string>
#include <string_view>

namespace delivery {

struct ErrorReport {
  bool critical = false;     // the run cannot go on (connection or login failed)
  std::uint32_t code = 0;    // the mail library's result code
  std::string server_response;  // the server's last reply line, may be empty
  std::string server;           // host name
  std::string protocol;         // "SMTP" or "POP3"
  int port = 0;
  bool ssl = false;
};

struct ErrorDescription {
  std::string category;  // "Transport error", "Protocol error", ...
  std::string message;   // may be empty (POP3 protocol errors)
  bool known = false;    // one of the mail library's own families
};

// Category and message for `code`; "%s" in a message becomes the server
// response. Codes of no family of the library get the platform's text when
// allowed ("Windows error"), else "Unknown error" for both.
ErrorDescription DescribeError(std::uint32_t code, std::string_view server_response, bool allow_platform_text);

// "<category>: <message>.\nServer: "<server>".\nProtocol: <protocol>. Port: <port>.
// SSL: On|Off.\nError Code: #<code as 8 hex digits>."
std::string FormatErrorReport(std::uint32_t code, std::string_view server_response, std::string_view server,
                              std::string_view protocol, int port, bool ssl);
inline std::string FormatErrorReport(const ErrorReport& report) {
  return FormatErrorReport(report.code, report.server_response, report.server, report.protocol, report.port,
                           report.ssl);
}

// The platform's message for a code that is none of the library's (the
// handheld's system message table), with its line break; empty when unknown.
std::string PlatformErrorText(std::uint32_t code);

}  // namespace delivery
