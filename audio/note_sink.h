#pragma once
// A note file being written: every write is checked and looped until all bytes are
// out, the first failure sticks (later writes do nothing), and Finish() makes sure
// the bytes reached the disk before the file counts as written.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace audio {

class NoteSink {
 public:
  // How Create treats an existing file of the name. kPrivate: as kFail, and the
  // file is readable by this user only and never reached through a link (for
  // temporary notes).
  enum class Existing { kReplace, kFail, kPrivate };

  NoteSink() = default;
  ~NoteSink();  // closes an unfinished file (its bytes are left as they are)
  NoteSink(NoteSink&& other) noexcept;
  NoteSink& operator=(NoteSink&& other) noexcept;
  NoteSink(const NoteSink&) = delete;
  NoteSink& operator=(const NoteSink&) = delete;

  // Creates the file for writing. On failure the sink is not open and error()
  // holds the errno value (EEXIST for an existing file with kFail or kPrivate).
  bool Create(const std::filesystem::path& path, Existing existing);
  bool is_open() const { return fd_ >= 0; }

  // Appends bytes; false once any write has failed.
  bool Write(std::span<const std::uint8_t> bytes);
  bool Write(const void* data, std::size_t length) {
    return Write(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }

  // Flushes to the disk and closes. True only when every write and the close
  // succeeded.
  bool Finish();

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }  // errno of the first failure, 0 if none
  std::uint64_t bytes_written() const { return bytes_written_; }

 private:
  void Close();
  int fd_ = -1;
  int error_ = 0;
  std::uint64_t bytes_written_ = 0;
};

}  // namespace audio
