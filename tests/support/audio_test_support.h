#pragma once
// Test helpers for capture and note writing: a window that records the progress
// messages it receives, and a reader of Ogg pages.

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/note_file.h"
#include "audio/stop_log.h"
#include "base/activity_log.h"
#include "base/program_messages.h"
#include "platform/window_system.h"

namespace audio::test {

// Encoding progress sent to a window as UM_ENCODE_PROGRESS, as the program does.
class WindowEncodeProgress : public EncodeProgress {
 public:
  explicit WindowEncodeProgress(platform::HWND window) : window_(window) {}
  void Encoded(std::size_t done, std::size_t total) override {
    platform::SendMessage(window_, base::UM_ENCODE_PROGRESS, static_cast<platform::WPARAM>(done),
                          static_cast<platform::LPARAM>(total));
  }

 private:
  platform::HWND window_;
};

// The recorder's stop steps into an activity log, each flushed, as the program
// writes them.
class ActivityStopLog : public StopLog {
 public:
  explicit ActivityStopLog(base::ActivityLog* log) : log_(log) {}
  void Line(std::string_view message) override {
    base::WriteLogLine(log_, message);
    log_->Flush();
  }

 private:
  base::ActivityLog* log_;
};

struct ProgressMessage {
  platform::UINT message;
  platform::WPARAM wparam;
  platform::LPARAM lparam;
  bool operator==(const ProgressMessage&) const = default;
};

// A window of the calling thread that keeps every UM_RECORD_PROGRESS and
// UM_ENCODE_PROGRESS it is sent or posted (posted ones arrive through Pump()).
class ProgressWindow {
 public:
  ProgressWindow() {
    platform::WNDCLASS wc;
    wc.lpfnWndProc = &Proc;
    wc.lpszClassName = u"AudioTestProgress";
    platform::RegisterClass(wc);  // false after the first time, which is fine
    hwnd_ = platform::CreateWindowEx(0, u"AudioTestProgress", u"", 0, 0, 0, 10, 10, nullptr, 0, nullptr);
    Messages().clear();
  }
  ~ProgressWindow() { platform::DestroyWindow(hwnd_); }
  platform::HWND hwnd() const { return hwnd_; }

  // Handles the posted messages waiting for this thread.
  void Pump() {
    platform::MSG msg;
    while (platform::PeekMessage(&msg, nullptr, 0, 0, platform::PM_REMOVE)) platform::DispatchMessage(msg);
  }
  std::vector<ProgressMessage> Received(platform::UINT message) {
    std::lock_guard<std::mutex> hold(Mutex());
    std::vector<ProgressMessage> out;
    for (const auto& m : Messages())
      if (m.message == message) out.push_back(m);
    return out;
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<ProgressMessage>& Messages() {
    static std::vector<ProgressMessage> messages;
    return messages;
  }
  static platform::LRESULT Proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
    if (msg == base::UM_RECORD_PROGRESS || msg == base::UM_ENCODE_PROGRESS) {
      std::lock_guard<std::mutex> hold(Mutex());
      Messages().push_back({msg, w, l});
      return 0;
    }
    return platform::DefWindowProc(hwnd, msg, w, l);
  }
  platform::HWND hwnd_ = nullptr;
};

struct OggPage {
  std::uint8_t header_type = 0;  // 0x01 continued, 0x02 first, 0x04 last
  std::int64_t granule = 0;
  std::uint32_t serial = 0;
  std::uint32_t sequence = 0;
  std::vector<std::string> packets;  // packets completed on this page
  bool valid = false;
};

// Splits a physical Ogg stream into pages (packets are joined across pages).
// Stops at the first malformed page; its valid flag stays false.
inline std::vector<OggPage> ParseOggPages(const std::string& bytes) {
  std::vector<OggPage> pages;
  std::string pending;
  std::size_t at = 0;
  while (at < bytes.size()) {
    OggPage page;
    if (bytes.size() - at < 27 || bytes.compare(at, 4, "OggS") != 0 || bytes[at + 4] != 0) {
      pages.push_back(page);
      break;
    }
    auto u8 = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[at + i]); };
    page.header_type = u8(5);
    for (int i = 7; i >= 0; --i) page.granule = (page.granule << 8) | u8(6 + i);
    for (int i = 3; i >= 0; --i) page.serial = (page.serial << 8) | u8(14 + i);
    for (int i = 3; i >= 0; --i) page.sequence = (page.sequence << 8) | u8(18 + i);
    std::size_t segments = u8(26);
    if (bytes.size() - at < 27 + segments) {
      pages.push_back(page);
      break;
    }
    std::size_t body = at + 27 + segments;
    std::size_t total = 0;
    for (std::size_t i = 0; i < segments; ++i) total += u8(27 + i);
    if (bytes.size() < body + total) {
      pages.push_back(page);
      break;
    }
    std::size_t offset = body;
    for (std::size_t i = 0; i < segments; ++i) {
      std::size_t len = u8(27 + i);
      pending.append(bytes, offset, len);
      offset += len;
      if (len < 255) page.packets.push_back(std::exchange(pending, std::string()));
    }
    page.valid = true;
    pages.push_back(page);
    at = body + total;
  }
  return pages;
}

}  // namespace audio::test
