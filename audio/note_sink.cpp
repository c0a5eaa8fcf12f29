#include "audio/note_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_io.h"

namespace audio {

NoteSink::~NoteSink() { Close(); }

NoteSink::NoteSink(NoteSink&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), bytes_written_(other.bytes_written_) {}

NoteSink& NoteSink::operator=(NoteSink&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    bytes_written_ = other.bytes_written_;
  }
  return *this;
}

void NoteSink::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool NoteSink::Create(const std::filesystem::path& path, Existing existing) {
  Close();
  error_ = 0;
  bytes_written_ = 0;
  if (existing == Existing::kPrivate) {
    fd_ = platform::CreatePrivateFile(path);
  } else {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (existing == Existing::kFail ? O_EXCL : O_TRUNC);
    fd_ = ::open(path.c_str(), flags, 0666);
  }
  if (fd_ < 0) error_ = errno ? errno : EIO;
  return fd_ >= 0;
}

bool NoteSink::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0 && error_ == 0) error_ = EBADF;
  if (error_ != 0) return false;
  int err = platform::WriteAll(fd_, bytes.data(), bytes.size());
  if (err != 0) {
    error_ = err;
    return false;
  }
  bytes_written_ += bytes.size();
  return true;
}

bool NoteSink::Finish() {
  if (fd_ < 0) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  if (error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && error_ == 0) error_ = errno;
  return error_ == 0;
}

}  // namespace audio
