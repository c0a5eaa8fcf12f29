#pragma once
// ByteBuffer: an immutable, reference-counted byte string. Copies share the
// bytes; one zero byte is kept after the data so that text fields can be read
// as C strings. Certificate fields and name attributes are ByteBuffers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace security {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(std::span<const std::uint8_t> bytes);
  explicit ByteBuffer(std::string_view text);

  const std::uint8_t* data() const { return storage_ ? storage_->data() : kEmpty; }
  std::size_t size() const { return storage_ ? storage_->size() - 1 : 0; }
  bool empty() const { return size() == 0; }
  std::span<const std::uint8_t> bytes() const { return {data(), size()}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data()), size()}; }
  // The bytes followed by the kept zero byte.
  const char* c_str() const { return reinterpret_cast<const char*>(data()); }
  std::vector<std::uint8_t> ToVector() const { return {data(), data() + size()}; }
  // How many ByteBuffers share these bytes (0 for an empty one never assigned).
  long use_count() const { return storage_.use_count(); }

  friend bool operator==(const ByteBuffer& a, const ByteBuffer& b) {
    return a.size() == b.size() && std::equal(a.data(), a.data() + a.size(), b.data());
  }

 private:
  static const std::uint8_t kEmpty[1];
  std::shared_ptr<const std::vector<std::uint8_t>> storage_;
};

}  // namespace security
