#pragma once
// Stand-ins for what the application gives a delivery job in the tests: its
// windows (FakeDeliveryUi), its notices and a scripted connection manager.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "delivery/delivery_job.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace delivery::test {

class FakeDeliveryUi : public DeliveryUi {
 public:
  void PostSessionDone() override { ++session_done; }
  void ShowSendProgress(std::uint32_t, std::uint32_t index, std::uint32_t, std::uint32_t) override {
    sending.push_back(index);
  }
  void ShowStatusText(std::u16string_view text) override { status.emplace_back(text); }
  void ShowConnectionError(std::u16string_view, std::u16string_view) override { ++connection_errors; }
  int session_done = 0;
  int connection_errors = 0;
  std::vector<std::uint32_t> sending;
  std::vector<std::u16string> status;
};

class FakeNotices : public DeliveryNotices {
 public:
  void ShowNotice(std::u16string_view, std::u16string_view text) override {
    texts.push_back(platform::Utf16ToUtf8(text));
  }
  std::vector<std::string> texts;
};

// Answers requests from a script: each destination up or down.
class FakeNetworkConnector : public NetworkConnector {
 public:
  bool Request(NetworkDestination destination) override {
    requests.push_back(destination);
    return destination == NetworkDestination::kWork ? work_up : internet_up;
  }
  void Release() override { ++releases; }
  bool work_up = true;
  bool internet_up = true;
  std::vector<NetworkDestination> requests;
  int releases = 0;
};

// Settings of a mail-server delivery into `root`.
inline settings::AppSettings JobSettings(const std::filesystem::path& root) {
  settings::AppSettings s;
  s.install_dir = platform::Utf8ToUtf16((root / "install").string() + "/");
  s.note_file_path = platform::Utf8ToUtf16((root / "notes").string());
  std::filesystem::create_directories(root / "install");
  s.notes_send_mode = settings::SendMode::MailServer;
  s.send_from_address = u"notes@example.org";
  s.send_to_address = u"alice@localhost";
  s.message_subject = u"Note %TimeStamp%";
  s.smtp_host = "127.0.0.1";
  s.smtp_port = 25;
  s.smtp_timeout = 20;
  return s;
}

inline std::filesystem::path WriteNote(const std::filesystem::path& folder, const std::string& name,
                                       const std::string& bytes) {
  std::filesystem::create_directories(folder);
  auto path = folder / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

}  // namespace delivery::test
