#pragma once
// Byte streams of the MIME library: sinks that the writers and codecs push bytes
// into, and seekable read-only sources that hold part contents.
//
// Ownership: a sink or source is owned by whoever created it; codecs and writers only
// borrow a sink for the duration of their life. Part contents are shared through
// std::shared_ptr<const ByteSource> because a written message keeps referring to
// the stored stream it was committed to.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "mime/result.h"

namespace mime {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `bytes` or returns an error (kMimeErrorWrite or the sink's own code).
  [[nodiscard]] MimeResult Write(std::span<const std::uint8_t> bytes);
  [[nodiscard]] MimeResult WriteText(std::string_view text);
  // Bytes accepted so far; a commit write uses it to record where a body starts.
  std::uint64_t written() const { return written_; }

 protected:
  [[nodiscard]] virtual MimeResult DoWrite(std::span<const std::uint8_t> bytes) = 0;

 private:
  std::uint64_t written_ = 0;
};

// Collects everything in memory.
class StringSink : public ByteSink {
 public:
  const std::string& data() const { return data_; }
  std::string Take() { return std::move(data_); }

 protected:
  MimeResult DoWrite(std::span<const std::uint8_t> bytes) override;

 private:
  std::string data_;
};

// Only counts; used to compare encoded sizes without keeping the output.
class CountingSink : public ByteSink {
 protected:
  MimeResult DoWrite(std::span<const std::uint8_t>) override { return kMimeOk; }
};

// Forwards to a std::ostream (the command line's standard output).
class OstreamSink : public ByteSink {
 public:
  explicit OstreamSink(std::ostream& out) : out_(out) {}

 protected:
  MimeResult DoWrite(std::span<const std::uint8_t> bytes) override;

 private:
  std::ostream& out_;
};

// A seekable, read-only byte stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to out.size() bytes at `offset`; *got is 0 only at or past the end.
  [[nodiscard]] virtual MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                          std::size_t* got) const = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const override;
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// An open file. The descriptor is held from Open on, so the content stays readable
// even when the path is removed afterwards (the recorder deletes its temporary note).
class FileSource : public ByteSource {
 public:
  // Returns kMimeErrorOpen when the file cannot be opened or is not a regular file.
  [[nodiscard]] static MimeResult Open(const std::filesystem::path& path, std::shared_ptr<const FileSource>* out);
  ~FileSource() override;
  std::uint64_t Size() const override { return size_; }
  MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const override;

 private:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

// The stream a message is committed to: written once from its start, then read back
// by later writes that copy stored bodies unchanged. The storage keeps its bytes.
class StoredStream : public ByteSink, public ByteSource {
 public:
  std::uint64_t Size() const override { return data_.size(); }
  MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const override;
  const std::string& data() const { return data_; }

 protected:
  MimeResult DoWrite(std::span<const std::uint8_t> bytes) override;

 private:
  std::string data_;
};

// Copies `length` bytes from `offset` of `source` to `sink` in blocks of 4096 bytes.
[[nodiscard]] MimeResult CopyRange(const ByteSource& source, std::uint64_t offset, std::uint64_t length,
                                   ByteSink& sink);

// Reads a whole source into memory.
[[nodiscard]] MimeResult ReadAll(const ByteSource& source, std::string* out);

inline std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace mime
