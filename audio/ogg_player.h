#pragma once
// Playing an Ogg Vorbis note: the whole file is decoded into 16-bit PCM in memory
// (chained streams one after another into the same buffer) and then played through
// the first wave-output device that takes its format.
//
// A file plays only when its end was reached and every logical stream was decoded
// up to its last page. Missing decoder libraries, an unreadable file, bad headers,
// something that is not an Ogg stream, a stream cut off before its last page or a
// note longer than the sample limit: no sound, and no message.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "audio/vorbis_decoder_library.h"
#include "platform/wave_audio.h"

namespace audio {

// The file is read in blocks of this size.
inline constexpr std::size_t kOggReadBlock = 4096;
// The most 16-bit values a decoded note may hold (256 MB): a guard against files
// that would exhaust memory, far above any recording (an hour of the recorder's
// 11025 Hz mono is under 40 million).
inline constexpr std::size_t kMaxNoteSamples = std::size_t{1} << 27;

// A decoder's float sample as a 16-bit value: the integer part of x * 32767,
// clamped to -32768..32767 (1.2 -> 32767, -1.5 -> -32768, 0.5 -> 16383).
std::int16_t VorbisSampleToPcm16(float x);

// Where the stream walk reads from.
class OggByteSource {
 public:
  virtual ~OggByteSource() = default;
  // Up to size bytes into buffer; 0 at the end.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
};

// Bytes in memory, borrowed for the source's lifetime.
class OggMemorySource : public OggByteSource {
 public:
  explicit OggMemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// An open file.
class OggFileSource : public OggByteSource {
 public:
  explicit OggFileSource(const std::filesystem::path& path) : file_(path, std::ios::binary) {}
  bool is_open() const { return file_.is_open(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  std::ifstream file_;
};

struct DecodedNote {
  std::vector<std::int16_t> pcm;  // channels interleaved
  int channels = 0;               // of the last stream
  long rate = 0;                  // samples per second of the last stream
};

// The stream walk: decodes every logical stream of the source, in blocks of
// kOggReadBlock bytes. Nothing when the note must not be played (see above).
std::optional<DecodedNote> DecodeOggVorbis(const VorbisDecoderApi& api, OggByteSource& source,
                                           std::size_t max_samples = kMaxNoteSamples);

// One playback of one file. Loads the decoder libraries at construction and
// unloads them at destruction. Not thread-safe; Play blocks the calling thread.
class OggPlayer {
 public:
  explicit OggPlayer(std::filesystem::path path);
  ~OggPlayer();
  OggPlayer(const OggPlayer&) = delete;
  OggPlayer& operator=(const OggPlayer&) = delete;

  bool library_loaded() const { return library_ != nullptr; }

  // Decodes the whole file. True when it holds a note to play; pcm(), channels()
  // and rate() then describe it.
  bool Decode();
  // Plays the decoded note: opens wave-output devices from number 0 upwards until
  // one accepts the format, writes one buffer and waits in 100 ms steps for its
  // done notification. True when the sound was played. Returns at once, false,
  // when nothing was decoded or no device takes the format.
  bool Play();
  // Decode, then Play.
  bool DecodeAndPlay() { return Decode() && Play(); }

  const std::vector<std::int16_t>& pcm() const { return note_.pcm; }
  int channels() const { return note_.channels; }
  long rate() const { return note_.rate; }

 private:
  static void WaveOutProc(platform::HWAVEOUT device, std::uint32_t msg, std::uintptr_t instance,
                          std::uintptr_t param1, std::uintptr_t param2);

  std::filesystem::path path_;
  std::unique_ptr<VorbisDecoderLibrary> library_;
  DecodedNote note_;
  bool decoded_ = false;
  std::atomic<bool> playing_{false};
};

}  // namespace audio
