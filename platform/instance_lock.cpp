#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

#include "platform/folders.h"

namespace platform {

std::filesystem::path InstanceLockPath(std::string_view name) {
  std::filesystem::path dir = folders::RuntimeDir();
  if (dir.empty()) return {};
  return dir / (std::string(name) + ".lock");
}

std::optional<InstanceLock> InstanceLock::TryTake(std::string_view name) {
  std::filesystem::path path = InstanceLockPath(name);
  if (path.empty()) return std::nullopt;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return std::nullopt;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return InstanceLock(fd);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
