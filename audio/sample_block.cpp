#include "audio/sample_block.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace audio {
namespace {

constexpr std::size_t kFirstCapacity = 64 * 1024;

}  // namespace

SampleBlock::~SampleBlock() { std::free(data_); }

SampleBlock::SampleBlock(SampleBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SampleBlock& SampleBlock::operator=(SampleBlock&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool SampleBlock::Append(const std::uint8_t* bytes, std::size_t length) {
  if (length == 0) return true;
  if (length > capacity_ - size_) {
    if (length > SIZE_MAX - size_) return false;
    const std::size_t needed = size_ + length;
    std::size_t wanted = capacity_ < kFirstCapacity ? kFirstCapacity : capacity_;
    while (wanted < needed && wanted <= SIZE_MAX / 2) wanted *= 2;
    if (wanted < needed) wanted = needed;
    void* grown = std::realloc(data_, wanted);
    if (!grown && wanted > needed) {
      wanted = needed;  // no room to double: try for just this buffer
      grown = std::realloc(data_, wanted);
    }
    if (!grown) return false;
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = wanted;
  }
  std::memcpy(data_ + size_, bytes, length);
  size_ += length;
  return true;
}

}  // namespace audio
