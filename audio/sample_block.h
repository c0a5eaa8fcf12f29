#pragma once
// The growing block of captured samples. Capacity doubles, and the block grows in
// place where the allocator can (large blocks are remapped, not copied), so the
// cost of appending a buffer stays flat however long the recording gets.

#include <cstddef>
#include <cstdint>
#include <span>

namespace audio {

class SampleBlock {
 public:
  SampleBlock() = default;
  ~SampleBlock();
  SampleBlock(SampleBlock&& other) noexcept;
  SampleBlock& operator=(SampleBlock&& other) noexcept;
  SampleBlock(const SampleBlock&) = delete;
  SampleBlock& operator=(const SampleBlock&) = delete;

  // Appends bytes; false (block unchanged) when no memory can be had for them.
  bool Append(const std::uint8_t* bytes, std::size_t length);

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace audio
