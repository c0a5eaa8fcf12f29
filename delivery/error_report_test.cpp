#include "delivery/error_report.h"

#include <gtest/gtest.h>

namespace delivery {
namespace {

// A packed SMTP reply the way the SMTP client makes it (class in bits 14-15,
// marker in bits 7-13, last two digits in bits 0-6).
std::uint32_t Reply(int number) {
  std::uint32_t cls = number / 100 == 2 ? 1 : number / 100 == 4 ? 2 : 3;
  std::uint32_t low = number % 100;
  return 0x80C30000u | (cls << 14) | (((low + 10) & 0x7F) << 7) | low;
}

std::string Message(std::uint32_t code, std::string_view response = "R") {
  return DescribeError(code, response, true).message;
}

TEST(DescribeErrorTest, TransportConditionsByNumber) {
  constexpr char kInternal[] = "Internal error; please contact the software vendor to report a bug";
  for (std::uint32_t n : {0u, 4u, 6u, 14u, 16u, 20u, 23u}) EXPECT_EQ(Message(0x80C00001u + n), kInternal) << n;
  EXPECT_EQ(Message(0x80C00006u), "Too many online applications; please close several of them and try again");
  EXPECT_EQ(Message(0x80C00010u), "The destination network is unreachable");
  EXPECT_EQ(Message(0x80C00012u), "Connection was forcibly closed by the remote server");
  EXPECT_EQ(Message(0x80C00013u), "The server actively refuses the connection");
  EXPECT_EQ(Message(0x80C00014u), "The server did not properly respond after a period of time");
  for (std::uint32_t code : {0x80C00016u, 0x80C00019u})
    EXPECT_EQ(Message(code), "The server could not be found; make sure you have entered the server name correctly");
  for (std::uint32_t code : {0x80C00017u, 0x80C0001Au})
    EXPECT_EQ(Message(code), "The server is down or unreachable at the moment");
  for (std::uint32_t code : {0x80C0001Bu, 0x80C00000u, 0x80C0FFFFu})
    EXPECT_EQ(Message(code), "Unknown error; contact the software vendor to report the problem");
  auto d = DescribeError(0x80C00013u, "", true);
  EXPECT_EQ(d.category, "Transport error");
  EXPECT_TRUE(d.known);
}

TEST(DescribeErrorTest, SslAlerts) {
  EXPECT_EQ(DescribeError(0x80C5002Fu, "", true).category, "SSL error");
  EXPECT_EQ(Message(0x80C50000u + 47), "Illegal handshake parameter");
  EXPECT_EQ(Message(0x80C50000u + 99), "Failed to establish a secure connection to the specified server");
  EXPECT_EQ(Message(0x80C50000u + 20), "A record with an incorrect MAC was received. Please check connection port number");
  EXPECT_EQ(Message(0x80C50000u + 22), "Record overlow");
  EXPECT_EQ(Message(0x80C50000u + 120), "The client does not have a certificate");
  EXPECT_EQ(Message(0x80C5012Au), "Failed to establish a secure connection to the specified server");
}

TEST(DescribeErrorTest, SmtpRepliesAndConditions) {
  EXPECT_EQ(Message(Reply(530), "530 auth first"),
            "This server requires authentication before sending outgoing mail. Server response: \"530 auth first\"");
  EXPECT_EQ(Message(Reply(432), "x"), Message(Reply(530), "x"));
  EXPECT_EQ(Message(Reply(553), "553 no"),
            "The server does not accept a message due to problem with destination mailbox. Server Response: \"553 no\"");
  EXPECT_EQ(Message(Reply(550), "r"), Message(Reply(553), "r"));
  EXPECT_EQ(Message(Reply(555), "555 what"), "Unknown error. Server Response: \"555 what\"");
  EXPECT_EQ(Message(Reply(421), "r"), "Account unavailable. Server Response: \"r\"");
  EXPECT_EQ(Message(Reply(450), "r"), "The mailbox is busy; try again later. Server Response: \"r\"");
  for (int n : {451, 452, 454, 500, 501, 502, 503, 504, 554})
    EXPECT_EQ(Message(Reply(n), "r"), "Internal server error. Server Response: \"r\"") << n;
  EXPECT_EQ(Message(Reply(521), "r"), "The destination server does not accept incoming mail. Server Response: \"r\"");
  EXPECT_EQ(Message(Reply(534), "r"),
            "The selected authentication mechanism is too weak for the user. Server Response: \"r\"");
  EXPECT_EQ(Message(Reply(538), "r"), "This server requires a secure connection to proceed. Server Response: \"r\"");
  EXPECT_EQ(Message(0x80C30001u, "r"), "The server responded with an error. Server Response: \"r\"");
  EXPECT_EQ(Message(0x80C30002u, "r"), "The server does not accept messages of such size. Server Response: \"r\"");
  EXPECT_EQ(Message(0x80C30003u, "r"), "The server does not support explicit SSL sessions");
  // A response is text, never a format: "%s" and "%n" in it stay as they are.
  EXPECT_EQ(Message(Reply(550), "550 %s%n"),
            "The server does not accept a message due to problem with destination mailbox. Server Response: \"550 %s%n\"");
}

TEST(DescribeErrorTest, OtherFamilies) {
  auto pop3 = DescribeError(0x80C20003u, "-ERR", true);
  EXPECT_EQ(pop3.category, "Protocol error");
  EXPECT_EQ(pop3.message, "");
  EXPECT_EQ(DescribeError(0x80C40001u, "", true).category, "Protocol error");
  EXPECT_EQ(Message(0x80D00003u), "Secure authentication required");
  EXPECT_EQ(Message(0x80D00004u), "The specified root path for this IMAP account was not found on the server");
  EXPECT_EQ(Message(0x80D00009u), "Unknown");
  EXPECT_EQ(DescribeError(0x80D00009u, "", true).category, "Account error");

  // Platform texts lose their trailing line break and then their full stop.
  auto windows = DescribeError(0x80070005u, "", true);
  EXPECT_EQ(windows.category, "Windows error");
  EXPECT_EQ(windows.message, "Access is denied");
  EXPECT_FALSE(windows.known);
  EXPECT_EQ(DescribeError(0x80004005u, "", true).message, "Unspecified error");
  auto hidden = DescribeError(0x80070005u, "", false);
  EXPECT_EQ(hidden.category, "Unknown error");
  EXPECT_EQ(hidden.message, "Unknown error");
  EXPECT_FALSE(hidden.known);
}

TEST(FormatErrorReportTest, WholeText) {
  EXPECT_EQ(FormatErrorReport(0x80C00013u, "", "mail.example.org", "SMTP", 25, false),
            "Transport error: The server actively refuses the connection.\nServer: \"mail.example.org\".\n"
            "Protocol: SMTP. Port: 25. SSL: Off.\nError Code: #80C00013.");
  ErrorReport report{true, Reply(550), "550 unknown user", "127.0.0.1", "SMTP", 465, true};
  EXPECT_EQ(FormatErrorReport(report),
            "Protocol error: The server does not accept a message due to problem with destination mailbox. Server "
            "Response: \"550 unknown user\".\nServer: \"127.0.0.1\".\nProtocol: SMTP. Port: 465. SSL: On.\n"
            "Error Code: #" + [&] { char t[16]; std::snprintf(t, sizeof t, "%.8X", Reply(550)); return std::string(t); }() + ".");
}

}  // namespace
}  // namespace delivery
