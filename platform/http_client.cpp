#include "platform/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  const HttpRequest* request = nullptr;
  HttpResponse* response = nullptr;
  bool full = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t length = size * count;
  std::string& body = transfer->response->body;
  const size_t room = transfer->request->max_answer - body.size();
  if (length >= room) {
    body.append(data, room);
    // Enough read: a peer that keeps sending must not keep us here.
    transfer->full = true;
    return 0;
  }
  body.append(data, length);
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->request->cancelled && transfer->request->cancelled()) {
    transfer->response->cancelled = true;
    return 1;
  }
  return 0;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpResponse HttpPost(const HttpRequest& request) {
  InitCurlOnce();
  HttpResponse response;
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    response.error = "cannot create a transfer";
    return response;
  }
  curl_slist* raw_headers = nullptr;
  for (const std::string& line : request.headers) raw_headers = curl_slist_append(raw_headers, line.c_str());
  // Without this libcurl waits for a "100 Continue" that simple servers never send.
  raw_headers = curl_slist_append(raw_headers, "Expect:");
  std::unique_ptr<curl_slist, SlistDeleter> headers(raw_headers);

  Transfer transfer{&request, &response};
  CURL* c = curl.get();
  char error_text[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  if (!request.user_agent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, request.user_agent.c_str());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connect_timeout.count()));
  if (request.stall_timeout.count() > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stall_timeout.count()));
  }
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
  if (!request.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request.ca_file.c_str());

  CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && transfer.full)) {
    response.status = 0;
    response.body.clear();
    response.error = error_text[0] ? error_text : curl_easy_strerror(code);
    return response;
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  response.status = status;
  return response;
}

}  // namespace platform
