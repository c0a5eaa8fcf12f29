#pragma once
// Open wave devices by handle. A handle is a number that is never reused, so a
// handle kept after its close finds nothing (MMSYSERR_INVALHANDLE) instead of
// another device; callers hold a shared reference for the length of one call, so
// a close on another thread cannot pull a device away under a running call.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace platform::audio_internal {

template <typename Device>
class AudioHandleTable {
 public:
  // Devices still open at exit are destroyed here, which joins their threads.
  ~AudioHandleTable() {
    std::map<std::uintptr_t, std::shared_ptr<Device>> devices;
    {
      std::lock_guard lock(mutex_);
      devices.swap(devices_);
    }
  }

  std::uintptr_t NewHandle() {
    std::lock_guard lock(mutex_);
    return next_++;
  }
  void Add(std::uintptr_t handle, std::shared_ptr<Device> device) {
    std::lock_guard lock(mutex_);
    devices_[handle] = std::move(device);
  }
  std::shared_ptr<Device> Find(std::uintptr_t handle) {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(handle);
    return it == devices_.end() ? nullptr : it->second;
  }
  void Remove(std::uintptr_t handle) {
    std::shared_ptr<Device> device;
    std::lock_guard lock(mutex_);
    auto it = devices_.find(handle);
    if (it == devices_.end()) return;
    device = std::move(it->second);
    devices_.erase(it);
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return devices_.size();
  }

 private:
  std::mutex mutex_;
  std::map<std::uintptr_t, std::shared_ptr<Device>> devices_;
  std::uintptr_t next_ = 1;
};

}  // namespace platform::audio_internal
