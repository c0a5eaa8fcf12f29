#include "audio/ogg_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/wave_out.h"

namespace audio {
namespace {

constexpr auto kPlayPoll = std::chrono::milliseconds(100);
// How long past the note's own length Play waits for a device that never reports
// the buffer done, before it stops the device.
constexpr double kPlayGraceSeconds = 10.0;

// One run over the source: the sync layer shared by all logical streams.
class StreamWalk {
 public:
  StreamWalk(const VorbisDecoderApi& api, OggByteSource& source, std::size_t max_samples)
      : api_(api), source_(source), max_samples_(max_samples) {
    api_.ogg_sync_init(&sync_);
  }
  ~StreamWalk() { api_.ogg_sync_clear(&sync_); }
  StreamWalk(const StreamWalk&) = delete;
  StreamWalk& operator=(const StreamWalk&) = delete;

  std::optional<DecodedNote> Run() {
    for (;;) {
      ReadBlock();
      ogg_page page;
      if (api_.ogg_sync_pageout(&sync_, &page) != 1) break;
      if (!DecodeStream(page)) return std::nullopt;
    }
    // A full block without a page is not an Ogg stream; otherwise the end of the
    // file was reached. A file without any stream has nothing to play.
    if (last_read_ >= kOggReadBlock || note_.channels <= 0) return std::nullopt;
    return std::move(note_);
  }

 private:
  // Reads up to one block into the sync buffer; false at the end of the source.
  bool ReadBlock() {
    char* buffer = api_.ogg_sync_buffer(&sync_, static_cast<long>(kOggReadBlock));
    last_read_ = buffer ? source_.Read(reinterpret_cast<std::uint8_t*>(buffer), kOggReadBlock) : 0;
    api_.ogg_sync_wrote(&sync_, static_cast<long>(last_read_));
    return last_read_ > 0;
  }

  // One logical stream, starting with its first page. False when it must not play.
  bool DecodeStream(ogg_page& page) {
    ogg_stream_state stream;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    const int serial = api_.ogg_page_serialno(&page);
    api_.ogg_stream_init(&stream, serial);
    api_.vorbis_info_init(&info);
    api_.vorbis_comment_init(&comment);
    bool ok = ReadHeaders(page, stream, info, comment);
    bool synthesis = false;
    if (ok && api_.vorbis_synthesis_init(&dsp, &info) == 0) {
      synthesis = true;
      api_.vorbis_block_init(&dsp, &block);
      note_.channels = info.channels;
      note_.rate = info.rate;
      ok = DecodeAudio(page, serial, stream, info, dsp, block);
    } else {
      ok = false;
    }
    api_.ogg_stream_clear(&stream);
    if (synthesis) {
      api_.vorbis_block_clear(&block);
      api_.vorbis_dsp_clear(&dsp);
    }
    api_.vorbis_comment_clear(&comment);
    api_.vorbis_info_clear(&info);
    return ok;
  }

  // The identification header from the first page, then pages until the comment
  // and codebook headers have gone through.
  bool ReadHeaders(ogg_page& page, ogg_stream_state& stream, vorbis_info& info, vorbis_comment& comment) {
    ogg_packet packet;
    if (api_.ogg_stream_pagein(&stream, &page) < 0) return false;
    if (api_.ogg_stream_packetout(&stream, &packet) != 1) return false;
    if (api_.vorbis_synthesis_headerin(&info, &comment, &packet) < 0) return false;
    int headers = 0;
    while (headers < 2) {
      while (headers < 2) {
        const int result = api_.ogg_sync_pageout(&sync_, &page);
        if (result == 0) break;
        if (result < 0) continue;
        api_.ogg_stream_pagein(&stream, &page);
        while (headers < 2) {
          const int got = api_.ogg_stream_packetout(&stream, &packet);
          if (got == 0) break;
          if (got < 0) return false;
          if (api_.vorbis_synthesis_headerin(&info, &comment, &packet) < 0) return false;
          ++headers;
        }
      }
      if (headers < 2 && !ReadBlock()) return false;
    }
    return true;
  }

  bool DecodeAudio(ogg_page& page, int serial, ogg_stream_state& stream, vorbis_info& info, vorbis_dsp_state& dsp,
                   vorbis_block& block) {
    const int channels = info.channels;
    bool eos = false;
    while (!eos) {
      while (!eos) {
        const int result = api_.ogg_sync_pageout(&sync_, &page);
        if (result == 0) break;
        if (result < 0) continue;  // a gap: go on with the next page
        api_.ogg_stream_pagein(&stream, &page);
        for (;;) {
          ogg_packet packet;
          const int got = api_.ogg_stream_packetout(&stream, &packet);
          if (got == 0) break;
          if (got < 0) continue;
          if (api_.vorbis_synthesis(&block, &packet) == 0) api_.vorbis_synthesis_blockin(&dsp, &block);
          float** pcm;
          int samples;
          while ((samples = api_.vorbis_synthesis_pcmout(&dsp, &pcm)) > 0) {
            if (!Append(pcm, samples, channels)) return false;
            api_.vorbis_synthesis_read(&dsp, samples);
          }
        }
        if (api_.ogg_page_eos(&page) && api_.ogg_page_serialno(&page) == serial) eos = true;
      }
      // The file ending before the stream's last page means it was cut off.
      if (!eos && !ReadBlock()) return false;
    }
    return true;
  }

  bool Append(float** pcm, int samples, int channels) {
    const std::size_t values = static_cast<std::size_t>(samples) * static_cast<std::size_t>(channels);
    if (values > max_samples_ - std::min(max_samples_, note_.pcm.size())) return false;
    const std::size_t at = note_.pcm.size();
    note_.pcm.resize(at + values);
    std::int16_t* out = note_.pcm.data() + at;
    for (int c = 0; c < channels; ++c) {
      const float* in = pcm[c];
      for (int i = 0; i < samples; ++i) out[static_cast<std::size_t>(i) * channels + c] = VorbisSampleToPcm16(in[i]);
    }
    return true;
  }

  const VorbisDecoderApi& api_;
  OggByteSource& source_;
  std::size_t max_samples_;
  ogg_sync_state sync_;
  std::size_t last_read_ = 0;
  DecodedNote note_;
};

}  // namespace

std::int16_t VorbisSampleToPcm16(float x) {
  const double scaled = static_cast<double>(x) * 32767.0;
  if (std::isnan(scaled)) return 0;
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  return static_cast<std::int16_t>(scaled);  // truncates toward zero
}

std::size_t OggMemorySource::Read(std::uint8_t* buffer, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size());
  if (n) std::memcpy(buffer, bytes_.data(), n);
  bytes_ = bytes_.subspan(n);
  return n;
}

std::size_t OggFileSource::Read(std::uint8_t* buffer, std::size_t size) {
  if (!file_) return 0;
  file_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(file_.gcount());
}

std::optional<DecodedNote> DecodeOggVorbis(const VorbisDecoderApi& api, OggByteSource& source,
                                           std::size_t max_samples) {
  StreamWalk walk(api, source, max_samples);
  return walk.Run();
}

OggPlayer::OggPlayer(std::filesystem::path path)
    : path_(std::move(path)), library_(VorbisDecoderLibrary::Load()) {}

OggPlayer::~OggPlayer() = default;

bool OggPlayer::Decode() {
  decoded_ = false;
  note_ = {};
  if (!library_) return false;
  OggFileSource source(path_);
  if (!source.is_open()) return false;
  auto note = DecodeOggVorbis(library_->api(), source);
  if (!note) return false;
  note_ = std::move(*note);
  decoded_ = true;
  return true;
}

void OggPlayer::WaveOutProc(platform::HWAVEOUT, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t,
                            std::uintptr_t) {
  if (msg == platform::WOM_DONE) reinterpret_cast<OggPlayer*>(instance)->playing_ = false;
}

bool OggPlayer::Play() {
  using namespace platform;
  if (!decoded_ || note_.channels <= 0 || note_.channels > 0xFFFF || note_.rate <= 0) return false;
  const auto channels = static_cast<std::uint32_t>(note_.channels);
  const std::uint64_t bytes_per_second = std::uint64_t{channels} * 2 * static_cast<std::uint64_t>(note_.rate);
  if (bytes_per_second > 0xFFFFFFFFu) return false;
  // Chained streams of different channel counts may leave a partial frame.
  const std::size_t values = note_.pcm.size() - note_.pcm.size() % channels;
  if (values == 0) return false;

  WAVEFORMATEX format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<std::uint16_t>(channels);
  format.nSamplesPerSec = static_cast<std::uint32_t>(note_.rate);
  format.nAvgBytesPerSec = static_cast<std::uint32_t>(bytes_per_second);
  format.nBlockAlign = static_cast<std::uint16_t>(channels * 2);
  format.wBitsPerSample = 16;
  format.cbSize = 0;

  HWAVEOUT device = nullptr;
  bool opened = false;
  const std::uint32_t devices = WaveOutGetNumDevs();
  for (std::uint32_t id = 0; id < devices && !opened; ++id) {
    opened = WaveOutOpen(&device, id, &format, &OggPlayer::WaveOutProc, reinterpret_cast<std::uintptr_t>(this)) ==
             MMSYSERR_NOERROR;
  }
  if (!opened) return false;

  WAVEHDR header;
  header.lpData = reinterpret_cast<std::uint8_t*>(note_.pcm.data());
  header.dwBufferLength = static_cast<std::uint32_t>(values * sizeof(std::int16_t));
  bool played = false;
  if (WaveOutPrepareHeader(device, &header) == MMSYSERR_NOERROR) {
    playing_ = true;
    if (WaveOutWrite(device, &header) == MMSYSERR_NOERROR) {
      const double seconds = static_cast<double>(values / channels) / static_cast<double>(note_.rate);
      const auto limit = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(static_cast<std::int64_t>((seconds + kPlayGraceSeconds) * 1000));
      while (playing_ && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(kPlayPoll);
      played = !playing_;
      if (playing_) WaveOutReset(device);
    }
    playing_ = false;
    WaveOutUnprepareHeader(device, &header);
  }
  WaveOutClose(device);
  note_ = {};
  decoded_ = false;
  return played;
}

}  // namespace audio
