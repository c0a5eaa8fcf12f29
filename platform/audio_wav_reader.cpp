#include "platform/audio_wav_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform::audio_internal {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The KSDATAFORMAT_SUBTYPE_PCM GUID's bytes after its leading format number.
constexpr std::array<std::uint8_t, 14> kPcmGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

bool WavReader::Open(const std::filesystem::path& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = path.string() + ": " + why;
    file_.close();
    return false;
  };
  file_.open(path, std::ios::binary);
  if (!file_) return fail("cannot open the file");
  std::error_code ec;
  const std::uint64_t file_size = std::filesystem::file_size(path, ec);
  if (ec) return fail("cannot read the file size");

  std::uint8_t riff[12];
  if (!file_.read(reinterpret_cast<char*>(riff), sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return fail("not a WAV file (no RIFF WAVE header)");

  bool have_format = false;
  std::uint64_t position = 12;
  for (;;) {
    std::uint8_t chunk[8];
    if (!file_.read(reinterpret_cast<char*>(chunk), sizeof chunk))
      return fail(have_format ? "no \"data\" chunk" : "no \"fmt \" chunk");
    position += 8;
    const std::uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > 1024) return fail("bad \"fmt \" chunk");
      std::uint8_t fmt[1024];
      if (!file_.read(reinterpret_cast<char*>(fmt), size)) return fail("truncated \"fmt \" chunk");
      if (size & 1) file_.ignore(1);
      position += size + (size & 1);
      std::uint16_t tag = Le16(fmt);
      layout_.channels = Le16(fmt + 2);
      layout_.rate = Le32(fmt + 4);
      const std::uint16_t block_align = Le16(fmt + 12);
      layout_.bits = Le16(fmt + 14);
      if (tag == kFormatExtensible && size >= 40 &&
          std::equal(kPcmGuidTail.begin(), kPcmGuidTail.end(), fmt + 26)) {
        tag = Le16(fmt + 24);
      }
      if (tag != kFormatPcm) return fail("not PCM (format " + std::to_string(tag) + ")");
      if (!layout_.Valid())
        return fail("unsupported PCM layout (" + std::to_string(layout_.bits) + " bits, " +
                    std::to_string(layout_.channels) + " channels, " + std::to_string(layout_.rate) + " Hz)");
      if (block_align != layout_.FrameBytes()) return fail("block size does not match the sample layout");
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) return fail("\"data\" chunk before the \"fmt \" chunk");
      const std::uint64_t available = file_size > position ? file_size - position : 0;
      data_bytes_ = std::min<std::uint64_t>(size, available);
      data_bytes_ -= data_bytes_ % layout_.FrameBytes();
      remaining_ = data_bytes_;
      return true;
    } else {
      const std::uint64_t skip = std::uint64_t{size} + (size & 1);
      if (position + skip > file_size) return fail("truncated chunk before the \"data\" chunk");
      file_.seekg(static_cast<std::streamoff>(skip), std::ios::cur);
      position += skip;
    }
  }
}

std::size_t WavReader::Read(std::span<std::uint8_t> out) {
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining_));
  if (want == 0) return 0;
  file_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(want));
  const auto got = static_cast<std::size_t>(file_.gcount());
  remaining_ = got == want ? remaining_ - got : 0;  // a read error ends the data
  return got;
}

}  // namespace platform::audio_internal
