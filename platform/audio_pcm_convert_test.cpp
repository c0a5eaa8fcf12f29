// The PCM conversion and the WAV reader behind the file capture device and
// PlaySound: known tones in every layout come out as the expected 8-bit mono
// 11025 Hz samples, input split anywhere gives the same bytes, and damaged WAV
// files are refused with a reason instead of being played as noise.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/audio_pcm_convert.h"
#include "tests/support/platform_audio_test_support.h"
#include "platform/audio_wav_reader.h"
#include "tests/support/test_environment.h"

namespace platform::audio_internal {
namespace {

using audio_test::MonoTone;
using audio_test::ToneSamples;
using audio_test::WavBytes;

constexpr PcmLayout kCapture{11025, 1, 8};

struct ToneCase {
  PcmLayout from;
  int tolerance;  // in 8-bit steps: interpolation between input frames costs one
};

// Resampling ratios 1, 2, 4, 48000/11025 and 8000/11025 (up), 1 to 3 channels, every width.
const ToneCase kToneCases[] = {
    {{11025, 1, 16}, 1}, {{22050, 2, 16}, 1}, {{44100, 1, 24}, 1},
    {{48000, 2, 32}, 2}, {{8000, 1, 16}, 2},  {{16000, 3, 8}, 2},
};

TEST(PcmConverterTest, TonesInEveryLayoutBecomeTheSameCaptureSamples) {
  for (const ToneCase& c : kToneCases) {
    SCOPED_TRACE(std::to_string(c.from.rate) + " Hz, " + std::to_string(c.from.channels) + " ch, " +
                 std::to_string(c.from.bits) + " bit");
    PcmConverter converter(c.from, kCapture);
    std::vector<std::uint8_t> out;
    converter.Convert(ToneSamples(c.from, 0.5), out);
    converter.Flush(out);
    // Half a second of input gives half a second of output, give or take a frame.
    EXPECT_NEAR(static_cast<double>(out.size()), 11025 / 2.0, 1.0);
    // The last output frame may lie past the last input frame, which it holds.
    const double last_input = c.from.rate * 0.5 - 1;
    for (std::size_t k = 0; k < out.size() && double(k) * c.from.rate / 11025 <= last_input; ++k) {
      const double expected = 128 + 128 * MonoTone(double(k) / 11025, c.from.channels);
      ASSERT_NEAR(out[k], expected, c.tolerance + 0.5) << "sample " << k;
    }
  }
}

TEST(PcmConverterTest, SplitInputGivesTheSameBytes) {
  const PcmLayout from{22050, 2, 24};
  const std::vector<std::uint8_t> in = ToneSamples(from, 0.2);
  std::vector<std::uint8_t> whole;
  PcmConverter reference(from, PcmLayout{8000, 2, 16});
  reference.Convert(in, whole);
  reference.Flush(whole);
  for (std::size_t chunk : {1u, 16u, 1024u, 4096u}) {
    PcmConverter converter(from, PcmLayout{8000, 2, 16});
    std::vector<std::uint8_t> pieces;
    for (std::size_t at = 0; at < in.size(); at += chunk)
      converter.Convert(std::span(in).subspan(at, std::min(chunk, in.size() - at)), pieces);
    converter.Flush(pieces);
    EXPECT_EQ(pieces, whole) << "chunk " << chunk;
  }
}

TEST(PcmConverterTest, WidthsRoundAndClampAtTheEnds) {
  // 16-bit extremes and mid values to 8-bit; 8-bit to 16-bit; mono to stereo copies.
  PcmConverter narrow({11025, 1, 16}, kCapture);
  std::vector<std::uint8_t> out;
  narrow.Convert(std::vector<std::uint8_t>{0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x7F, 0xFF}, out);
  narrow.Flush(out);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 255, 128, 129, 127}));

  PcmConverter wide({11025, 1, 8}, {11025, 2, 16});
  out.clear();
  wide.Convert(std::vector<std::uint8_t>{0, 128, 255}, out);
  wide.Flush(out);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0x00, 0x80, 0x00, 0x80, 0, 0, 0, 0, 0x00, 0x7F, 0x00, 0x7F}));
}

class WavReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    auto path = home_.root() / ("f" + std::to_string(++files_) + ".wav");
    testing_support::WriteFileBytes(path, bytes);
    return path;
  }
  testing_support::ScopedTestHome home_;
  int files_ = 0;
};

TEST_F(WavReaderTest, ReadsLayoutAndDataAfterOtherChunks) {
  const PcmLayout layout{22050, 2, 16};
  const std::vector<std::uint8_t> data = ToneSamples(layout, 0.01);
  std::string wav = WavBytes(layout, data);
  // A LIST chunk of odd size (padded) between "fmt " and "data".
  wav.insert(36, std::string("LIST\x03\x00\x00\x00" "abc\0", 12));
  WavReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Write(wav), &error)) << error;
  EXPECT_EQ(reader.layout(), layout);
  std::vector<std::uint8_t> read(data.size() + 10);
  std::size_t got = 0, n;
  while ((n = reader.Read(std::span(read).subspan(got))) > 0) got += n;
  read.resize(got);
  EXPECT_EQ(read, data);
}

TEST_F(WavReaderTest, ExtensibleFormatWithPcmSubFormatIsPcm) {
  std::string wav = WavBytes({16000, 1, 24}, std::vector<std::uint8_t>(30, 0));
  std::string ext("\xFE\xFF", 2);
  wav.replace(20, 2, ext);                 // format tag
  wav.replace(16, 4, std::string("\x28\0\0\0", 4));  // fmt size 40
  std::string tail("\x16\0\x18\0\x04\0\0\0\x01\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 24);
  wav.insert(36, tail);
  WavReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Write(wav), &error)) << error;
  EXPECT_EQ(reader.layout(), (PcmLayout{16000, 1, 24}));
  EXPECT_EQ(reader.data_bytes(), 30u);
}

TEST_F(WavReaderTest, DataChunkLongerThanTheFileEndsAtTheFile) {
  std::string wav = WavBytes({8000, 2, 16}, std::vector<std::uint8_t>(400, 7));
  wav.resize(wav.size() - 101);  // cut inside a frame
  WavReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Write(wav), &error)) << error;
  EXPECT_EQ(reader.data_bytes(), 296u);  // whole frames only
}

TEST_F(WavReaderTest, RefusesWhatIsNotAPcmWav) {
  const std::string good = WavBytes({8000, 1, 16}, std::vector<std::uint8_t>(20, 0));
  auto with = [&](std::size_t at, const std::string& bytes) {
    std::string wav = good;
    wav.replace(at, bytes.size(), bytes);
    return wav;
  };
  const struct {
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"", "no RIFF"},
      {with(8, "AVI "), "no RIFF"},
      {with(20, std::string("\x03\0", 2)), "not PCM (format 3)"},  // float samples
      {with(34, std::string("\x0C\0", 2)), "unsupported PCM layout"},
      {with(32, std::string("\x04\0", 2)), "block size"},
      {with(22, std::string("\0\0", 2)), "unsupported PCM layout"},
      {good.substr(0, 30), "truncated \"fmt \""},
      {good.substr(0, 36), "no \"data\" chunk"},
      {with(12, "LIST"), "before the \"fmt \" chunk"},
  };
  for (const auto& c : cases) {
    WavReader reader;
    std::string error;
    EXPECT_FALSE(reader.Open(Write(c.bytes), &error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  WavReader reader;
  std::string error;
  EXPECT_FALSE(reader.Open(home_.root() / "missing.wav", &error));
  EXPECT_NE(error.find("missing.wav: cannot open"), std::string::npos) << error;
}

}  // namespace
}  // namespace platform::audio_internal
