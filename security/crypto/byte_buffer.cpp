#include "security/crypto/byte_buffer.h"

namespace security {

const std::uint8_t ByteBuffer::kEmpty[1] = {0};

ByteBuffer::ByteBuffer(std::span<const std::uint8_t> bytes) {
  auto storage = std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
  storage->push_back(0);
  storage_ = std::move(storage);
}

ByteBuffer::ByteBuffer(std::string_view text)
    : ByteBuffer(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) {}

}  // namespace security
