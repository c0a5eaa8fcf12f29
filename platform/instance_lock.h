#pragma once
// A lock that at most one process of this user holds at a time, for as long as it
// runs: an flock on a file in the runtime folder. The kernel lets go of it when
// the process ends, however it ends, so a crashed holder never blocks a new one.

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

class InstanceLock {
 public:
  // Takes the lock called name without waiting; nullopt when another process
  // holds it or the runtime folder is unusable.
  [[nodiscard]] static std::optional<InstanceLock> TryTake(std::string_view name);

  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();  // lets go

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The lock file's path for a name (in folders::RuntimeDir()); empty without one.
std::filesystem::path InstanceLockPath(std::string_view name);

}  // namespace platform
