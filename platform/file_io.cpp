#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int WriteAll(int fd, const void* data, std::size_t length) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buf[16384];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return 0;
}

int CreatePrivateFile(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

void SyncFolder(const std::filesystem::path& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content, int mode) {
  const std::filesystem::path folder = path.parent_path();
  std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  if (mode < 0) {
    struct stat existing;
    mode = ::stat(path.c_str(), &existing) == 0 ? static_cast<int>(existing.st_mode & 07777) : 0600;
  }
  int err = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
  if (err == 0) err = WriteAll(fd, content);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temporary.c_str());
    return err;
  }
  SyncFolder(folder);
  return 0;
}

}  // namespace platform
