// The cost of a large note message, in one run on the same 10 MB of random bytes:
//
//  - base64 encode and decode: our streaming codecs fed 4096-byte blocks, as the
//    message writer feeds them, against OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock
//    on the same data (ratio = our time / OpenSSL's; above 1 we are slower);
//  - quoted-printable encode: ours alone, OpenSSL has no such routine;
//  - a note message (a text part and the 10 MB as an attachment file on disk), built
//    as `dictaloctl compose` builds it, written to a file, then read back by the
//    parser. The growth of the peak resident memory (VmHWM) during the write shows
//    whether the writer holds the attachment in memory.
//
// Throughputs are in MB/s (10^6 bytes) of the 10 MB of data. Each timing is the best
// of a few runs.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mime/base64.h"
#include "mime/byte_stream.h"
#include "mime/message_parser.h"
#include "mime/mime_message.h"
#include "mime/note_message.h"
#include "mime/quoted_printable.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDataSize = 10 * 1024 * 1024;
constexpr std::size_t kBlock = 4096;  // the writer reads bodies in blocks of this size
constexpr int kCodecRuns = 5;
constexpr int kMessageRuns = 3;

double Mb(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

// Best wall time of `runs` calls, in seconds.
double BestOf(int runs, const std::function<void()>& body) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "mime_message_bench: %s\n", what.c_str());
  std::exit(1);
}

// ---- memory

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

// Lowers VmHWM to the current resident size, so that the next reading is the peak
// of what follows alone. False where the kernel does not allow it.
bool ResetPeak() {
  int fd = open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return false;
  bool ok = write(fd, "5", 1) == 1;
  close(fd);
  return ok;
}

// The peak growth of resident memory while `body` runs, in KB.
long PeakGrowthKb(const std::function<void()>& body) {
  const bool reset = ResetPeak();
  const long before = reset ? StatusKb("VmRSS") : StatusKb("VmHWM");
  body();
  return StatusKb("VmHWM") - before;
}

// ---- sinks

// Copies into a buffer sized once, as OpenSSL writes into the caller's buffer.
class BufferSink : public mime::ByteSink {
 public:
  explicit BufferSink(std::size_t capacity) : buffer_(capacity) {}
  void Clear() { used_ = 0; }
  std::string_view data() const { return {buffer_.data(), used_}; }

 protected:
  mime::MimeResult DoWrite(std::span<const std::uint8_t> bytes) override {
    if (used_ + bytes.size() > buffer_.size()) return mime::kMimeErrorWrite;
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    return mime::kMimeOk;
  }

 private:
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

class FileSink : public mime::ByteSink {
 public:
  explicit FileSink(const fs::path& path) : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {
    if (fd_ < 0) Die("cannot create " + path.string());
  }
  ~FileSink() override { close(fd_); }

 protected:
  mime::MimeResult DoWrite(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return mime::kMimeErrorWrite;
      done += static_cast<std::size_t>(n);
    }
    return mime::kMimeOk;
  }

 private:
  int fd_;
};

template <typename Filter>
void Stream(std::string_view input, Filter& filter) {
  for (std::size_t at = 0; at < input.size(); at += kBlock) {
    if (filter.Write(mime::AsBytes(input.substr(at, kBlock))) != mime::kMimeOk) Die("codec write failed");
  }
  if (filter.Finish() != mime::kMimeOk) Die("codec finish failed");
}

void PrintRow(const char* what, double ours_seconds, double openssl_seconds) {
  if (openssl_seconds > 0) {
    std::printf("%-36s %10.1f %13.1f %17.2f\n", what, Mb(kDataSize) / ours_seconds, Mb(kDataSize) / openssl_seconds,
                ours_seconds / openssl_seconds);
  } else {
    std::printf("%-36s %10.1f %13s %17s\n", what, Mb(kDataSize) / ours_seconds, "-", "-");
  }
}

}  // namespace

int main() {
  std::string data(kDataSize, '\0');
  {
    std::mt19937 gen(42);
    for (char& c : data) c = static_cast<char>(gen());
  }
  const auto* raw = reinterpret_cast<const unsigned char*>(data.data());

  // ---- codecs
  const std::size_t b64_size = (kDataSize + 2) / 3 * 4;
  BufferSink encoded(b64_size + b64_size / 76 * 2 + 16);
  const double ours_encode = BestOf(kCodecRuns, [&] {
    encoded.Clear();
    mime::Base64Encoder encoder(encoded, mime::kBase64BodyLineLength);
    Stream(data, encoder);
  });
  const std::string encoded76(encoded.data());

  // OpenSSL in blocks too (4095 is a multiple of 3, so the pieces join without padding).
  std::vector<unsigned char> theirs(b64_size + 1);
  std::size_t theirs_size = 0;
  const double openssl_encode = BestOf(kCodecRuns, [&] {
    unsigned char* out = theirs.data();
    for (std::size_t at = 0; at < kDataSize; at += 4095) {
      out += EVP_EncodeBlock(out, raw + at, static_cast<int>(std::min<std::size_t>(4095, kDataSize - at)));
    }
    theirs_size = static_cast<std::size_t>(out - theirs.data());
    benchmark::DoNotOptimize(out);
  });
  const std::string one_line(reinterpret_cast<const char*>(theirs.data()), theirs_size);
  if (mime::Base64Encode(data) != one_line) Die("our base64 differs from OpenSSL's");

  // Decoding: both on OpenSSL's one-line text (it takes no line breaks), in blocks
  // of 4096 characters, a multiple of 4.
  BufferSink decoded(kDataSize + 16);
  const double ours_decode = BestOf(kCodecRuns, [&] {
    decoded.Clear();
    mime::Base64Decoder decoder(decoded);
    Stream(one_line, decoder);
  });
  if (decoded.data() != data) Die("our base64 decoder lost data");
  const double ours_decode76 = BestOf(kCodecRuns, [&] {
    decoded.Clear();
    mime::Base64Decoder decoder(decoded);
    Stream(encoded76, decoder);
  });
  if (decoded.data() != data) Die("our base64 decoder lost data in 76-character lines");
  std::vector<unsigned char> plain(kDataSize + 16);
  std::size_t plain_size = 0;
  const double openssl_decode = BestOf(kCodecRuns, [&] {
    unsigned char* out = plain.data();
    const auto* in = reinterpret_cast<const unsigned char*>(one_line.data());
    for (std::size_t at = 0; at < one_line.size(); at += kBlock) {
      int n = EVP_DecodeBlock(out, in + at, static_cast<int>(std::min(kBlock, one_line.size() - at)));
      if (n < 0) Die("EVP_DecodeBlock failed");
      out += n;
    }
    plain_size = static_cast<std::size_t>(out - plain.data());
    benchmark::DoNotOptimize(out);
  });
  // EVP_DecodeBlock counts the padding as zero bytes.
  if (plain_size < kDataSize || std::memcmp(plain.data(), data.data(), kDataSize) != 0) Die("OpenSSL decode differs");

  BufferSink qp(kDataSize / 4 * 13);  // at worst 3 bytes a byte and a soft break every 25
  const double ours_qp = BestOf(kCodecRuns, [&] {
    qp.Clear();
    mime::QuotedPrintableEncoder encoder(qp);
    Stream(data, encoder);
  });
  if (mime::QuotedPrintableDecode(qp.data()) != data) Die("quoted-printable does not read back");

  std::printf("10 MB (%zu bytes) of random data; MB/s = 10^6 bytes of that data per second, best of %d\n", kDataSize,
              kCodecRuns);
  std::printf("%-36s %10s %13s %17s\n", "", "ours MB/s", "OpenSSL MB/s", "time ours/OpenSSL");
  PrintRow("base64 encode (ours: 76-char lines)", ours_encode, openssl_encode);
  PrintRow("base64 decode (one line)", ours_decode, openssl_decode);
  PrintRow("base64 decode (76-char lines)", ours_decode76, 0);
  PrintRow("quoted-printable encode", ours_qp, 0);
  std::printf("  (quoted-printable output: %.1f MB, %.2f bytes per byte)\n", Mb(qp.data().size()),
              static_cast<double>(qp.data().size()) / kDataSize);

  // ---- the note message
  std::string dir_template = (fs::temp_directory_path() / "mime-message-bench-XXXXXX").string();
  if (!mkdtemp(dir_template.data())) Die("cannot create a temporary folder");
  const fs::path dir(dir_template);
  const fs::path note = dir / "note.wav";
  const fs::path eml = dir / "note.eml";
  {
    std::ofstream out(note, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) Die("cannot write " + note.string());
  }

  mime::NoteMessageRequest request;
  request.from = u"Dictalo <me@example.org>";
  request.to = u"you@example.org";
  request.subject = u"Voice note";
  request.body_text = u"A long note, attached.";
  request.attachments.push_back({note, "audio/x-wav"});

  // The written file is freed between runs, so every run starts from the same state.
  long write_growth = 0;
  const double write_seconds = BestOf(kMessageRuns, [&] {
    mime::MimeMessage message;
    if (mime::BuildMessage(mime::ComposeNoteMessage(request), &message) != mime::kMimeOk) Die("cannot build");
    write_growth = std::max(write_growth, PeakGrowthKb([&] {
      FileSink sink(eml);
      if (message.Write(sink, mime::NoteWriteOptions()) != mime::kMimeOk) Die("the message write failed");
    }));
  });
  const std::size_t eml_size = fs::file_size(eml);

  // The commit write (what `dictaloctl compose` prints) keeps the whole message in
  // its stored stream by design; shown for comparison.
  long save_growth = 0;
  {
    mime::MimeMessage message;
    if (mime::BuildMessage(mime::ComposeNoteMessage(request), &message) != mime::kMimeOk) Die("cannot build");
    save_growth = PeakGrowthKb([&] {
      if (message.Save(mime::NoteWriteOptions()) != mime::kMimeOk) Die("the commit write failed");
    });
  }

  long parse_growth = 0;
  std::string attachment;
  double decode_seconds = 1e300;
  const double parse_seconds = BestOf(kMessageRuns, [&] {
    std::shared_ptr<const mime::FileSource> file;
    if (mime::FileSource::Open(eml, &file) != mime::kMimeOk) Die("cannot open " + eml.string());
    mime::MimeMessage read;
    parse_growth = std::max(parse_growth, PeakGrowthKb([&] {
      if (mime::ParseMessage(*file, &read) != mime::kMimeOk) Die("cannot read the message back");
    }));
    const mime::CElMultiPartPart* root = read.RootMultiPart();
    if (!root || root->children().size() != 2) Die("the message read back has another shape");
    // Decoding the attachment is timed apart: the parser only finds the bodies.
    decode_seconds = std::min(decode_seconds, BestOf(1, [&] {
      if (root->children()[1]->ReadContent(&attachment) != mime::kMimeOk) Die("cannot decode the attachment");
    }));
  });
  if (attachment != data) Die("the attachment read back differs");
  fs::remove_all(dir);

  std::printf("\nnote message: text part + %zu-byte attachment file -> %.1f MB message file, best of %d\n", kDataSize,
              Mb(eml_size), kMessageRuns);
  std::printf("  write to file (build + write):  %7.1f MB/s  peak memory growth %6ld KB\n",
              Mb(kDataSize) / write_seconds, write_growth);
  std::printf("  parse the file (read + split):  %7.1f MB/s  peak memory growth %6ld KB\n",
              Mb(kDataSize) / parse_seconds, parse_growth);
  std::printf("  decode the attachment:          %7.1f MB/s\n", Mb(kDataSize) / decode_seconds);
  std::printf("  for comparison, Save() into memory as `dictaloctl compose` does: peak growth %ld KB\n",
              save_growth);
  return 0;
}
