#pragma once
// A small HTTP client over libcurl: one POST with its headers and body to an
// http:// or https:// URL, answered by the status code and the first bytes of the
// answer's body. The web upload uses it; nothing else in the program talks to
// libcurl.
//
// The call blocks until the answer is in, the time limit has passed, or the
// cancel check says stop. It follows no redirects and uses no proxy, so the note
// goes to the address it was given or nowhere.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct HttpRequest {
  std::string url;
  // Extra header lines, "Name: value" without line end.
  std::vector<std::string> headers;
  std::string body;
  std::string user_agent;
  // The whole exchange, connecting included, must end within this time.
  std::chrono::milliseconds timeout{std::chrono::minutes(10)};
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(30)};
  // Given up when not a byte moves for this long (0: no such limit); a large
  // note on a slow line may take long, a dead line should not.
  std::chrono::seconds stall_timeout{std::chrono::seconds(60)};
  // Polled while the exchange runs (at least once a second); true aborts it.
  std::function<bool()> cancelled;
  // Bytes of the answer's body that are kept; the transfer stops once they are in.
  std::size_t max_answer = 64 * 1024;
  // https: a CA file to trust instead of the system's bundle (empty: the system's).
  std::string ca_file;
};

struct HttpResponse {
  // The HTTP status code, 0 when no answer came (no connection, time-out, cancel,
  // a peer that closed without answering or answered no HTTP).
  long status = 0;
  // The first max_answer bytes of the answer's body.
  std::string body;
  bool cancelled = false;
  // libcurl's description of a failed exchange; empty on success.
  std::string error;
};

// Sends the request as a POST. An answer longer than max_answer is cut there and
// still counts as an answer with its status.
HttpResponse HttpPost(const HttpRequest& request);

}  // namespace platform
