#include "audio/ogg_vorbis_writer.h"

#include <cstdlib>

#include "platform/time_locale.h"

namespace audio {
namespace {

bool WritePage(NoteSink& sink, const ogg_page& page) {
  sink.Write(page.header, static_cast<std::size_t>(page.header_len));
  return sink.Write(page.body, static_cast<std::size_t>(page.body_len));
}

void SendProgress(EncodeProgress* progress, std::size_t done, std::size_t total) {
  if (progress) progress->Encoded(done, total);
}

}  // namespace

OggWriteStatus WriteOggVorbis(NoteSink& sink, std::span<const std::uint8_t> samples, EncodeProgress* progress,
                              const VorbisEncoderApi& api) {
  ogg_stream_state stream;
  ogg_page page;
  ogg_packet packet;
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;

  api.vorbis_info_init(&info);
  // On failure the library has already cleared info.
  if (api.vorbis_encode_init_vbr(&info, 1, 11025, kOggQuality) != 0) return OggWriteStatus::kEncoderRefused;

  api.vorbis_comment_init(&comment);
  api.vorbis_comment_add_tag(&comment, "ENCODER", "Dictalo");
  api.vorbis_analysis_init(&dsp, &info);
  api.vorbis_block_init(&dsp, &block);

  std::srand(platform::GetTickCount());
  api.ogg_stream_init(&stream, std::rand());

  ogg_packet identification, comment_packet, codebooks;
  api.vorbis_analysis_headerout(&dsp, &comment, &identification, &comment_packet, &codebooks);
  api.ogg_stream_packetin(&stream, &identification);
  api.ogg_stream_packetin(&stream, &comment_packet);
  api.ogg_stream_packetin(&stream, &codebooks);
  // The headers end on their own pages, before any audio.
  bool ok = true;
  while (ok && api.ogg_stream_flush(&stream, &page) != 0) ok = WritePage(sink, page);

  const std::size_t total = samples.size();
  std::size_t remaining = total;
  const std::uint8_t* read = samples.data();
  bool eos = false;
  if (ok) SendProgress(progress, 0, total);
  while (ok && !eos) {
    std::size_t n = remaining <= kOggChunkSamples ? remaining : kOggChunkSamples;
    if (n == 0) {
      api.vorbis_analysis_wrote(&dsp, 0);  // end of input
    } else {
      float** buffer = api.vorbis_analysis_buffer(&dsp, static_cast<int>(n));
      for (std::size_t i = 0; i < n; ++i) buffer[0][i] = (static_cast<int>(read[i]) - 128) * 0.00390625f;
      read += n;
      api.vorbis_analysis_wrote(&dsp, static_cast<int>(n));
    }
    while (ok && api.vorbis_analysis_blockout(&dsp, &block) == 1) {
      api.vorbis_analysis(&block, nullptr);
      api.vorbis_bitrate_addblock(&block);
      while (ok && api.vorbis_bitrate_flushpacket(&dsp, &packet)) {
        api.ogg_stream_packetin(&stream, &packet);
        // Audio pages come out as the stream fills them; the end-of-stream packet
        // releases the last one.
        while (ok && !eos && api.ogg_stream_pageout(&stream, &page) != 0) {
          ok = WritePage(sink, page);
          if (api.ogg_page_eos(&page)) eos = true;
        }
      }
    }
    remaining -= n;
    if (ok) SendProgress(progress, total - remaining, total);
    // The end of input always yields the last page; never ask for more after it.
    if (n == 0) break;
  }
  // Only a library that ends a stream without marking its last page gets here.
  while (ok && !eos && api.ogg_stream_flush(&stream, &page) != 0) ok = WritePage(sink, page);

  api.ogg_stream_clear(&stream);
  api.vorbis_block_clear(&block);
  api.vorbis_dsp_clear(&dsp);
  api.vorbis_comment_clear(&comment);
  api.vorbis_info_clear(&info);
  return ok ? OggWriteStatus::kWritten : OggWriteStatus::kWriteFailed;
}

}  // namespace audio
