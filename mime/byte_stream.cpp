#include "mime/byte_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace mime {

MimeResult ByteSink::Write(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return kMimeOk;
  MimeResult r = DoWrite(bytes);
  if (r == kMimeOk) written_ += bytes.size();
  return r;
}

MimeResult ByteSink::WriteText(std::string_view text) { return Write(AsBytes(text)); }

MimeResult StringSink::DoWrite(std::span<const std::uint8_t> bytes) {
  data_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return kMimeOk;
}

MimeResult OstreamSink::DoWrite(std::span<const std::uint8_t> bytes) {
  out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out_ ? kMimeOk : kMimeErrorWrite;
}

namespace {
MimeResult ReadFromString(const std::string& s, std::uint64_t offset, std::span<std::uint8_t> out,
                          std::size_t* got) {
  *got = 0;
  if (offset >= s.size()) return kMimeOk;
  std::size_t n = std::min<std::uint64_t>(out.size(), s.size() - offset);
  std::memcpy(out.data(), s.data() + offset, n);
  *got = n;
  return kMimeOk;
}
}  // namespace

MimeResult MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const {
  return ReadFromString(bytes_, offset, out, got);
}

MimeResult StoredStream::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const {
  return ReadFromString(data_, offset, out, got);
}

MimeResult StoredStream::DoWrite(std::span<const std::uint8_t> bytes) {
  data_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return kMimeOk;
}

MimeResult FileSource::Open(const std::filesystem::path& path, std::shared_ptr<const FileSource>* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kMimeErrorOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kMimeErrorOpen;
  }
  out->reset(new FileSource(fd, static_cast<std::uint64_t>(st.st_size)));
  return kMimeOk;
}

FileSource::~FileSource() { ::close(fd_); }

MimeResult FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const {
  *got = 0;
  if (offset >= size_ || out.empty()) return kMimeOk;
  std::size_t want = std::min<std::uint64_t>(out.size(), size_ - offset);
  for (;;) {
    ssize_t n = ::pread(fd_, out.data(), want, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return kMimeErrorRead;  // the file shrank under us, or an I/O error
    *got = static_cast<std::size_t>(n);
    return kMimeOk;
  }
}

MimeResult CopyRange(const ByteSource& source, std::uint64_t offset, std::uint64_t length, ByteSink& sink) {
  std::array<std::uint8_t, 4096> block;
  while (length > 0) {
    std::size_t got = 0;
    std::size_t want = std::min<std::uint64_t>(block.size(), length);
    MimeResult r = source.ReadAt(offset, std::span(block.data(), want), &got);
    if (r != kMimeOk) return r;
    if (got == 0) return kMimeErrorRead;
    r = sink.Write(std::span(block.data(), got));
    if (r != kMimeOk) return r;
    offset += got;
    length -= got;
  }
  return kMimeOk;
}

MimeResult ReadAll(const ByteSource& source, std::string* out) {
  StringSink sink;
  MimeResult r = CopyRange(source, 0, source.Size(), sink);
  *out = sink.Take();
  return r;
}

}  // namespace mime
