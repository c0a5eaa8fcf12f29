#pragma once
// Clearing secrets (keys, key schedules, premaster and master secrets, scratch
// buffers) in a way the optimiser may not drop as a dead store.

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace security {

inline void SecureWipe(void* data, std::size_t length) {
  if (data == nullptr || length == 0) return;
  ::explicit_bzero(data, length);
}

template <typename T>
inline void SecureWipe(std::vector<T>& buffer) {
  SecureWipe(buffer.data(), buffer.size() * sizeof(T));
}

inline void SecureWipe(std::string& buffer) { SecureWipe(buffer.data(), buffer.size()); }

}  // namespace security
