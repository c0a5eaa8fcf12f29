#include "update/file_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_io.h"
#include "platform/http_download.h"
#include "platform/os_version.h"
#include "platform/text.h"
#include "security/crypto/sha256.h"

namespace update {
namespace {

namespace fs = std::filesystem;

class BlockWriter {
 public:
  BlockWriter(int fd, std::u16string name, std::atomic<bool>& cancel, DownloadObserver& observer)
      : fd_(fd), name_(std::move(name)), cancel_(cancel), observer_(observer) {}

  // Takes a piece of the body; false stops the transfer (cancelled or failed).
  bool Take(std::string_view piece) {
    while (!piece.empty()) {
      std::size_t room = kDownloadBlock - pending_.size();
      std::size_t n = std::min(room, piece.size());
      pending_.append(piece.substr(0, n));
      piece.remove_prefix(n);
      if (pending_.size() == kDownloadBlock && !WriteBlock()) return false;
    }
    return true;
  }
  // Writes what is left as the last block.
  bool Finish() { return pending_.empty() || WriteBlock(); }

  bool cancelled() const { return cancelled_; }
  const std::string& error() const { return error_; }
  std::uint64_t bytes() const { return bytes_; }
  security::Sha256::Digest Digest() { return sha_.Final(); }

 private:
  bool WriteBlock() {
    if (int e = platform::WriteAll(fd_, pending_); e != 0) {
      error_ = "cannot write the file: " + std::string(strerror(e));
      return false;
    }
    sha_.Update(pending_.data(), pending_.size());
    bytes_ += pending_.size();
    pending_.clear();
    ++blocks_;
    observer_.OnBlock(blocks_, bytes_);
    if (blocks_ % 5 == 0) {
      observer_.OnStatus(u"File: " + name_ + u"\r\n\r\nDownloaded so far " +
                         platform::Utf8ToUtf16(std::to_string(bytes_ / 1024)) + u" KB");
    }
    if (cancel_.load()) {
      if (observer_.ConfirmCancel()) {
        cancelled_ = true;
        return false;
      }
      cancel_.store(false);
    }
    return true;
  }

  int fd_;
  std::u16string name_;
  std::atomic<bool>& cancel_;
  DownloadObserver& observer_;
  std::string pending_;
  std::uint64_t blocks_ = 0;
  std::uint64_t bytes_ = 0;
  bool cancelled_ = false;
  std::string error_;
  security::Sha256 sha_;
};

}  // namespace

std::string LocalFileName(std::string_view server_path) {
  std::size_t slash = server_path.find_last_of('/');
  std::string name(slash == std::string_view::npos ? server_path : server_path.substr(slash + 1));
  if (name.empty() || name == "." || name == "..") return "download";
  return name;
}

std::string MakeUrl(std::u16string_view domain, std::u16string_view server_path) {
  std::string url = platform::Utf16ToLatin1(domain);
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : platform::Utf16ToLatin1(server_path)) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
        c == '{' || c == '|' || c == '}') {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    } else {
      url += static_cast<char>(c);
    }
  }
  return url;
}

std::string UserAgent() {
  platform::OsVersion os = platform::GetOsVersion();
  return "TARNUPDATE: " + std::to_string(os.major) + "." + std::to_string(os.minor);
}

DownloadResult DownloadFile(const std::string& url, std::string_view server_path, const fs::path& folder,
                            std::atomic<bool>& cancel, DownloadObserver& observer) {
  DownloadResult result;
  std::string name = LocalFileName(server_path);
  result.file = folder / name;
  std::error_code ec;
  fs::remove(result.file, ec);
  int fd = platform::CreatePrivateFile(result.file);
  if (fd < 0) {
    result.error = "cannot create " + result.file.string();
    return result;
  }
  BlockWriter writer(fd, platform::Latin1ToUtf16(name), cancel, observer);
  platform::HttpGetRequest request;
  request.url = url;
  request.user_agent = UserAgent();
  request.on_length = [&](long long length) { observer.OnLength(length); };
  request.on_data = [&](std::string_view piece) { return writer.Take(piece); };
  platform::HttpGetResult got = platform::HttpGet(request);
  bool complete = got.ok() && writer.Finish();
  ::close(fd);
  result.bytes = writer.bytes();
  if (complete) {
    result.outcome = DownloadOutcome::kComplete;
    result.sha256 = writer.Digest();
    return result;
  }
  fs::remove(result.file, ec);
  if (writer.cancelled()) {
    result.outcome = DownloadOutcome::kCancelled;
  } else {
    result.error = !writer.error().empty() ? writer.error() : got.error;
  }
  return result;
}

}  // namespace update
