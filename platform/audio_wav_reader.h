#pragma once
// Reading PCM WAV files: the RIFF header (a "fmt " chunk of format 1, or of the
// extensible format with the PCM sub-format, 8/16/24/32 bits, any channel count
// and rate) and then the sample bytes of the "data" chunk in pieces. A data chunk
// that claims more than the file holds ends where the file ends.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "platform/audio_pcm_convert.h"

namespace platform::audio_internal {

class WavReader {
 public:
  // False, with a sentence for the user in *error, when the file cannot be read or
  // is not a PCM WAV this reader takes.
  bool Open(const std::filesystem::path& path, std::string* error);

  const PcmLayout& layout() const { return layout_; }
  std::uint64_t data_bytes() const { return data_bytes_; }  // whole frames only

  // Copies the next sample bytes into out; returns the count, 0 at the end.
  std::size_t Read(std::span<std::uint8_t> out);

 private:
  std::ifstream file_;
  PcmLayout layout_;
  std::uint64_t data_bytes_ = 0;
  std::uint64_t remaining_ = 0;
};

}  // namespace platform::audio_internal
