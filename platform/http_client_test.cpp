#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "platform/http_client_test_support.h"
#include "tests/support/child_process.h"

namespace platform {
namespace {

using testing_support::HttpReceiver;
using testing_support::RefusingPort;
using namespace std::chrono_literals;

HttpRequest PostTo(const std::string& url, std::string body = "x") {
  HttpRequest request;
  request.url = url;
  request.body = std::move(body);
  request.timeout = 10s;
  return request;
}

// What the receiver got is what was given, byte for byte, and its answer comes back.
TEST(HttpClientTest, PostsHeadersAndBodyAndReturnsTheAnswer) {
  HttpReceiver receiver;
  receiver.SetReply("200", "accepted\r\nsecond line");
  std::string body("head\0\r\n\xff\x80tail", 13);
  HttpRequest request = PostTo(receiver.Url(), body);
  request.headers = {"Content-Type: multipart/form-data; boundary=xyz", "X-Extra: 1"};
  request.user_agent = "Dictalo";

  HttpResponse response = HttpPost(request);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "accepted\r\nsecond line");
  EXPECT_TRUE(response.error.empty());
  ASSERT_EQ(receiver.RequestCount(), 1);
  EXPECT_EQ(receiver.Body(1), body);
  std::string head = receiver.Head(1);
  EXPECT_EQ(head.rfind("POST /private-bin/em_send.php HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("Content-Type: multipart/form-data; boundary=xyz\n"), std::string::npos) << head;
  EXPECT_NE(head.find("X-Extra: 1\n"), std::string::npos);
  EXPECT_NE(head.find("User-Agent: Dictalo\n"), std::string::npos);
  EXPECT_NE(head.find("Content-Length: 13\n"), std::string::npos);
  EXPECT_EQ(head.find("Expect:"), std::string::npos);
}

// An error status is an answer too: the caller sees the status, not a failure.
TEST(HttpClientTest, ErrorStatusesAndEmptyBodiesComeBackAsTheyAre) {
  HttpReceiver receiver;
  receiver.SetReply("500", "", 1);
  receiver.SetReply("404", "gone", 2);
  receiver.SetReply("204", "", 3);
  HttpResponse first = HttpPost(PostTo(receiver.Url()));
  EXPECT_EQ(first.status, 500);
  EXPECT_EQ(first.body, "");
  HttpResponse second = HttpPost(PostTo(receiver.Url()));
  EXPECT_EQ(second.status, 404);
  EXPECT_EQ(second.body, "gone");
  HttpResponse third = HttpPost(PostTo(receiver.Url()));
  EXPECT_EQ(third.status, 204);
}

// No answer at all gives status 0 with the reason, whether nobody listens or the
// peer hangs up.
TEST(HttpClientTest, NoAnswerGivesStatusZero) {
  HttpReceiver receiver;
  receiver.SetReply("drop", "");
  HttpResponse dropped = HttpPost(PostTo(receiver.Url()));
  EXPECT_EQ(dropped.status, 0);
  EXPECT_FALSE(dropped.error.empty());
  EXPECT_EQ(receiver.RequestCount(), 1);

  int port = receiver.port();
  RefusingPort nobody;
  HttpResponse refused = HttpPost(PostTo("http://127.0.0.1:" + std::to_string(nobody.port()) + "/"));
  EXPECT_EQ(refused.status, 0);
  EXPECT_FALSE(refused.error.empty());

  HttpResponse bad_scheme = HttpPost(PostTo("ftp://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(bad_scheme.status, 0);
  EXPECT_FALSE(bad_scheme.error.empty());
}

// A peer that does not answer is given up after the time limit or when nothing
// moves for the stall time, and the cancel check ends the wait early.
TEST(HttpClientTest, TimeLimitAndCancelEndASlowExchange) {
  HttpReceiver receiver;
  receiver.SetReply("200 4000", "0");
  HttpRequest slow = PostTo(receiver.Url());
  slow.timeout = 300ms;
  auto start = std::chrono::steady_clock::now();
  HttpResponse timed_out = HttpPost(slow);
  EXPECT_EQ(timed_out.status, 0);
  EXPECT_FALSE(timed_out.cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

  HttpRequest stalled = PostTo(receiver.Url());
  stalled.stall_timeout = 1s;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpPost(stalled).status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3500ms);

  HttpRequest cancelled = PostTo(receiver.Url());
  auto cancel_at = std::chrono::steady_clock::now() + 300ms;
  cancelled.cancelled = [&] { return std::chrono::steady_clock::now() >= cancel_at; };
  start = std::chrono::steady_clock::now();
  HttpResponse response = HttpPost(cancelled);
  EXPECT_EQ(response.status, 0);
  EXPECT_TRUE(response.cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

// Only the first max_answer bytes are kept; the status still counts.
TEST(HttpClientTest, LongAnswerIsCutAtTheLimit) {
  HttpReceiver receiver;
  receiver.SetReply("200", std::string(100000, 'a'));
  HttpRequest request = PostTo(receiver.Url());
  request.max_answer = 256;
  HttpResponse response = HttpPost(request);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, std::string(256, 'a'));
}

// https: a server whose certificate is trusted is reached; an untrusted one is not.
TEST(HttpClientTest, HttpsChecksTheServerCertificate) {
  auto dir = std::filesystem::temp_directory_path() / ("http-client-tls-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto made = testing_support::RunProgram(
      "/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", (dir / "key.pem").string(), "-out",
                           (dir / "cert.pem").string(), "-days", "30", "-subj", "/CN=localhost", "-addext",
                           "subjectAltName=DNS:localhost"});
  ASSERT_EQ(made.status, 0) << made.err;
  {
    HttpReceiver receiver(dir / "cert.pem", dir / "key.pem");
    receiver.SetReply("200", "secure");
    HttpRequest trusted = PostTo(receiver.Url("https"), "over tls");
    trusted.ca_file = (dir / "cert.pem").string();
    HttpResponse response = HttpPost(trusted);
    EXPECT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.body, "secure");
    EXPECT_EQ(receiver.Body(1), "over tls");

    HttpResponse untrusted = HttpPost(PostTo(receiver.Url("https")));
    EXPECT_EQ(untrusted.status, 0);
    EXPECT_FALSE(untrusted.error.empty());
    EXPECT_EQ(receiver.RequestCount(), 1);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace platform
