#pragma once
// Fetching a file over http:// or https:// with libcurl, handed to the caller
// piece by piece as it arrives. The update utility uses it for the product list
// and the packages.
//
// Unlike the web upload's POST, a fetch goes through the proxy the system names
// (the http_proxy, https_proxy and no_proxy variables), as a browser on the same
// desktop would. An answer with a status of 400 or above is a failure; its body
// is not handed on.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct HttpGetRequest {
  std::string url;
  std::string user_agent;
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(20)};
  // Given up when not a byte moves for this long.
  std::chrono::seconds stall_timeout{std::chrono::seconds(60)};
  // Called once, before the first piece, with the length the server announced
  // (-1 when it announced none).
  std::function<void(long long)> on_length;
  // Each piece of the body in order; returning false stops the transfer.
  std::function<bool(std::string_view)> on_data;
};

struct HttpGetResult {
  long status = 0;        // the HTTP status, 0 when no answer came
  bool stopped = false;   // on_data asked to stop
  std::string error;      // empty when the whole body was handed on
  bool ok() const { return error.empty() && !stopped; }
};

HttpGetResult HttpGet(const HttpGetRequest& request);

}  // namespace platform
