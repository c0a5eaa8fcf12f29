// Note encoding and capture costs.
//
// BM_NoteOggWriter / BM_Oggenc: ten minutes of speech (espeak-ng, repeated; a
// synthetic speech-like signal when espeak-ng is missing) as unsigned 8-bit mono at
// 11025 Hz, encoded by our note writer and by `oggenc -q 0.1` from a WAV of the same
// samples. The ratio of the two is printed at the end.
//
// BM_CaptureBuffers/N/P: N minutes of 2048-byte buffers fed through the capture
// callback as the device would, with progress posted to a window (P = 1) or
// without (P = 0, the block's growth alone). Reports the cost per buffer over the
// whole recording and over its last minute, which stay flat as the block grows,
// and the page faults per buffer (fresh memory is the main cost; a 2048-byte
// buffer fills half a page).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/note_file.h"
#include "audio/recorder.h"
#include "base/program_messages.h"
#include "audio/recorder_internal.h"
#include "audio/wav_writer.h"
#include "platform/wave_in.h"
#include "platform/window_system.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kRate = 11025;
constexpr std::size_t kTenMinutes = 10 * 60 * kRate;

fs::path WorkDir() {
  static const fs::path dir = [] {
    std::string tmpl = (fs::temp_directory_path() / "note-encoding-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    return fs::path(tmpl);
  }();
  return dir;
}

// Runs a program quietly; its exit status, or -1.
int Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
  return v;
}

// espeak-ng's 16-bit mono WAV at 22050 Hz, halved to 11025 Hz unsigned 8-bit.
std::vector<std::uint8_t> SpeechFromEspeak() {
  const fs::path wav = WorkDir() / "speech.wav";
  if (Run({"espeak-ng", "-w", wav.string(),
           "Remember to call the garage about the brakes before Friday. Then pick up the parcel at the post "
           "office, buy milk, bread and coffee, and ask Anna whether the meeting moved to half past ten."}) != 0)
    return {};
  std::ifstream in(wav, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) return {};
  std::size_t at = 12;
  std::uint32_t rate = 0, bits = 0, channels = 0;
  while (at + 8 <= bytes.size()) {
    std::uint32_t size = Le(bytes, at + 4, 4);
    if (bytes.compare(at, 4, "fmt ") == 0) {
      channels = Le(bytes, at + 10, 2);
      rate = Le(bytes, at + 12, 4);
      bits = Le(bytes, at + 22, 2);
    } else if (bytes.compare(at, 4, "data") == 0) {
      if (rate != 22050 || bits != 16 || channels != 1) return {};
      std::size_t end = std::min(bytes.size(), at + 8 + std::size_t(size));
      std::vector<std::uint8_t> out;
      for (std::size_t i = at + 8; i + 4 <= end; i += 4) {
        int a = static_cast<std::int16_t>(Le(bytes, i, 2));
        int b = static_cast<std::int16_t>(Le(bytes, i + 2, 2));
        out.push_back(static_cast<std::uint8_t>(((a + b) / 2 >> 8) + 128));
      }
      return out;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

// Voiced stretches (a 90-170 Hz pitch with three formant-like partials) between
// pauses, for machines without espeak-ng.
std::vector<std::uint8_t> SyntheticSpeech(std::size_t samples) {
  std::vector<std::uint8_t> out(samples);
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < samples; ++i) {
    double t = double(i) / kRate;
    double syllable = std::fmod(t, 0.3) / 0.3;
    bool voiced = std::fmod(t, 2.7) < 2.0 && syllable < 0.8;
    double pitch = 130 + 40 * std::sin(2 * M_PI * 0.7 * t);
    double v = 0;
    if (voiced) {
      double envelope = std::sin(M_PI * syllable / 0.8);
      v = envelope * (0.5 * std::sin(2 * M_PI * pitch * t) + 0.3 * std::sin(2 * M_PI * 700 * t + std::sin(t)) +
                      0.15 * std::sin(2 * M_PI * 1200 * t));
    }
    noise = noise * 1664525 + 1013904223;
    v += ((noise >> 24) / 255.0 - 0.5) * 0.02;
    out[i] = static_cast<std::uint8_t>(std::lround(128 + 100 * v));
  }
  return out;
}

const std::vector<std::uint8_t>& TenMinutesOfSpeech() {
  static const std::vector<std::uint8_t> samples = [] {
    std::vector<std::uint8_t> speech = SpeechFromEspeak();
    if (speech.empty()) {
      std::fprintf(stderr, "espeak-ng unavailable: using a synthetic speech-like signal\n");
      return SyntheticSpeech(kTenMinutes);
    }
    std::vector<std::uint8_t> out;
    out.reserve(kTenMinutes);
    while (out.size() < kTenMinutes) {
      std::size_t n = std::min(speech.size(), kTenMinutes - out.size());
      out.insert(out.end(), speech.begin(), speech.begin() + n);
    }
    return out;
  }();
  return samples;
}

void BM_NoteOggWriter(benchmark::State& state) {
  const auto& samples = TenMinutesOfSpeech();
  std::uintmax_t size = 0;
  for (auto _ : state) {
    fs::path path = WorkDir() / "ours";
    fs::remove(WorkDir() / "ours.ogg");
    auto result = audio::WriteNoteFile(path, audio::kEncodingOggVorbis, audio::NoteRecording{samples, nullptr, 600});
    if (result.status != audio::NoteWriteStatus::kWritten) {
      state.SkipWithError("our writer failed");
      return;
    }
    size = fs::file_size(path);
  }
  state.counters["ogg_bytes"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(BM_NoteOggWriter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Oggenc(benchmark::State& state) {
  const auto& samples = TenMinutesOfSpeech();
  const fs::path wav = WorkDir() / "input.wav";
  {
    auto header = audio::WavHeader(static_cast<std::uint32_t>(samples.size()));
    std::ofstream out(wav, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
  }
  const fs::path ogg = WorkDir() / "oggenc.ogg";
  for (auto _ : state) {
    if (Run({"oggenc", "-Q", "-q", "0.1", "-o", ogg.string(), wav.string()}) != 0) {
      state.SkipWithError("oggenc (vorbis-tools) failed or is missing");
      return;
    }
  }
  state.counters["ogg_bytes"] = static_cast<double>(fs::file_size(ogg));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(BM_Oggenc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// ---- capture ----

platform::LRESULT SinkProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
  return platform::DefWindowProc(hwnd, msg, w, l);
}

platform::HWND ProgressWindow() {
  static platform::HWND hwnd = [] {
    platform::WNDCLASS wc;
    wc.lpfnWndProc = &SinkProc;
    wc.lpszClassName = u"NoteBenchProgress";
    platform::RegisterClass(wc);
    return platform::CreateWindowEx(0, u"NoteBenchProgress", u"", 0, 0, 0, 1, 1, nullptr, 0, nullptr);
  }();
  return hwnd;
}

// What the program does with each report: post it to its window.
class PostedCaptureProgress : public audio::CaptureProgress {
 public:
  void OnCaptured(std::uint32_t bytes, std::uint32_t seconds) override {
    platform::PostMessage(ProgressWindow(), base::UM_RECORD_PROGRESS, bytes, static_cast<platform::LPARAM>(seconds));
  }
};

void BM_CaptureBuffers(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const std::size_t minutes = static_cast<std::size_t>(state.range(0));
  const std::size_t buffers = minutes * 60 * kRate / audio::kCaptureBufferBytes;
  const std::size_t per_minute = 60 * kRate / audio::kCaptureBufferBytes;
  std::vector<std::uint8_t> sound(audio::kCaptureBufferBytes);
  for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<std::uint8_t>(128 + 60 * std::sin(i * 0.1));
  // A handle no device has: requeuing it is refused, as cheaply as a real queue takes it.
  auto* device = reinterpret_cast<platform::HWAVEIN>(std::uintptr_t{0x7fff0000});
  double whole_ns = 0, last_minute_ns = 0, faults = 0;
  auto minor_faults = [] {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_minflt);
  };
  for (auto _ : state) {
    auto capture = std::make_shared<audio::CaptureState>(platform::GetSystemTime, audio::kMaxRecordingBytes);
    if (state.range(1)) capture->progress = std::make_shared<PostedCaptureProgress>();
    capture->recording = true;
    platform::WAVEHDR header;
    header.lpData = sound.data();
    header.dwBufferLength = header.dwBytesRecorded = audio::kCaptureBufferBytes;
    const auto instance = reinterpret_cast<std::uintptr_t>(capture.get());
    const double faults_before = minor_faults();
    auto start = Clock::now();
    auto last_minute = start;
    for (std::size_t i = 0; i < buffers; ++i) {
      if (i == buffers - per_minute) last_minute = Clock::now();
      audio::Recorder::WaveInProc(device, platform::WIM_DATA, instance, reinterpret_cast<std::uintptr_t>(&header), 0);
    }
    auto end = Clock::now();
    faults = (minor_faults() - faults_before) / buffers;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    whole_ns = std::chrono::duration<double, std::nano>(end - start).count() / buffers;
    last_minute_ns = std::chrono::duration<double, std::nano>(end - last_minute).count() / per_minute;
    if (capture->data_length != buffers * audio::kCaptureBufferBytes) state.SkipWithError("buffers were lost");
    state.PauseTiming();
    platform::MSG msg;
    while (platform::PeekMessage(&msg, nullptr, 0, 0, platform::PM_REMOVE)) {
    }
    state.ResumeTiming();
  }
  state.counters["ns_per_buffer"] = whole_ns;
  state.counters["ns_per_buffer_last_minute"] = last_minute_ns;
  state.counters["page_faults_per_buffer"] = faults;
}
BENCHMARK(BM_CaptureBuffers)
    ->ArgsProduct({{1, 10, 30, 60}, {1, 0}})
    ->ArgNames({"minutes", "progress"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    auto a = times_.find("BM_NoteOggWriter/iterations:3/real_time");
    auto b = times_.find("BM_Oggenc/iterations:3/real_time");
    if (a == times_.end() || b == times_.end() || b->second <= 0) return;
    std::printf("ratio BM_NoteOggWriter / BM_Oggenc (oggenc -q 0.1) = %.2f\n", a->second / b->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Large blocks always come fresh from the kernel, as for a recording in a new
  // process, instead of from memory an earlier iteration has already touched.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(WorkDir(), ignored);
  return 0;
}
