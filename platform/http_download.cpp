#include "platform/http_download.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

struct Fetch {
  const HttpGetRequest* request = nullptr;
  CURL* curl = nullptr;
  bool length_told = false;
  bool stopped = false;
};

void TellLength(Fetch* fetch) {
  if (fetch->length_told) return;
  fetch->length_told = true;
  curl_off_t length = -1;
  if (curl_easy_getinfo(fetch->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
  if (fetch->request->on_length) fetch->request->on_length(static_cast<long long>(length));
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* fetch = static_cast<Fetch*>(user);
  const size_t length = size * count;
  TellLength(fetch);
  if (fetch->request->on_data && !fetch->request->on_data(std::string_view(data, length))) {
    fetch->stopped = true;
    return 0;
  }
  return length;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

}  // namespace

HttpGetResult HttpGet(const HttpGetRequest& request) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  HttpGetResult result;
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    result.error = "cannot create a transfer";
    return result;
  }
  CURL* c = curl.get();
  Fetch fetch{&request, c};
  char error_text[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  if (!request.user_agent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, request.user_agent.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connect_timeout.count()));
  if (request.stall_timeout.count() > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stall_timeout.count()));
  }
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &fetch);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);

  CURLcode code = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
  if (fetch.stopped) {
    result.stopped = true;
    return result;
  }
  if (code != CURLE_OK) {
    result.error = error_text[0] ? error_text : curl_easy_strerror(code);
    return result;
  }
  TellLength(&fetch);  // an empty body still tells its length
  return result;
}

}  // namespace platform
