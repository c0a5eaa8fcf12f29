// From the end of a recording to the message accepted by the mail server: our
// pipeline as a Stop & Send runs it (Ogg Vorbis encoding of the captured
// samples, composing the note message, storing it in the Outbox, sending it
// over STARTTLS), timed in one go. bench/delivery_bench.sh runs it against exim
// next to `oggenc` + `curl smtp://` on the same samples and prints the ratio.
//
//   delivery_bench PCM HOST PORT RECIPIENT
//
// PCM: unsigned 8-bit mono samples at 11025 Hz, as the recorder holds them.
// The environment's XDG folders say where the settings and the volume live.
// Prints "seconds: S", "sent: N" and "peak_rss_kb: K".

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/note_file.h"
#include "delivery/delivery_job.h"
#include "delivery/network_connection.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "protocols/socket_layer.h"
#include "settings/app_settings.h"

namespace {

class BenchUi : public delivery::DeliveryUi {
 public:
  void PostSessionDone() override { done = true; }
  void ShowSendProgress(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {}
  void ShowConnectionError(std::u16string_view, std::u16string_view text) override {
    std::fprintf(stderr, "connection error: %s\n", platform::Utf16ToUtf8(text).c_str());
  }
  std::atomic<bool> done{false};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: delivery_bench PCM HOST PORT RECIPIENT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<std::uint8_t> samples((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (samples.empty()) {
    std::fprintf(stderr, "no samples in %s\n", argv[1]);
    return 2;
  }
  protocols::ScopedSocketLayer socket_layer;
  settings::AppSettings settings;
  settings.Load();
  settings.notes_send_mode = settings::SendMode::MailServer;
  settings.smtp_host = argv[2];
  settings.smtp_port = std::atoi(argv[3]);
  settings.smtp_use_ssl = true;
  settings.smtp_ssl_explicit = true;  // STARTTLS
  settings.send_to_address = platform::Utf8ToUtf16(argv[4]);

  BenchUi ui;
  delivery::AlwaysConnected connector;
  auto start = std::chrono::steady_clock::now();
  std::uint32_t sent = 0;
  {
    delivery::DeliveryJob job(settings, &ui, nullptr, &connector);
    // The peer is our own local exim with a throw-away certificate.
    job.SetCertificateAcceptance([](protocols::MailClient&, security::CertificateStore&) { return true; });
    std::filesystem::path note;
    auto written = audio::WriteNoteFile(note, audio::kEncodingOggVorbis,
                                        audio::NoteRecording{samples, nullptr,
                                                             static_cast<std::uint32_t>(samples.size() / 11025)});
    if (written.status != audio::NoteWriteStatus::kWritten) {
      std::fprintf(stderr, "the note could not be encoded\n");
      return 1;
    }
    if (!job.DeliverNote(note, true).note_safe) {
      std::fprintf(stderr, "the note could not be stored\n");
      return 1;
    }
    std::error_code ec;
    std::filesystem::remove(note, ec);
    platform::MSG msg;
    while (!ui.done) {
      while (platform::PeekMessage(&msg)) {
        platform::TranslateMessage(msg);
        platform::DispatchMessage(msg);
      }
      (void)platform::MsgWaitForEvents({}, std::chrono::milliseconds(5), true);  // a timeout is normal
    }
    if (job.service()) sent = job.service()->messages_sent();
    job.ReleaseMailService();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds: %.3f\nsent: %u\npeak_rss_kb: %ld\n", seconds, sent, usage.ru_maxrss);
  return sent == 1 ? 0 : 1;
}
