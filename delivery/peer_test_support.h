#pragma once
// Real mail servers from tests/peers for the delivery tests, on ports of this
// subsystem's own range, and what a test needs around a mail service: a
// storage with notes in its Outbox, trust in the peer's certificate, and a
// record of the service's events.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delivery/delivery_job_test_support.h"
#include "delivery/mail_events.h"
#include "mime/message_builder.h"
#include "mime/note_message.h"
#include "protocols/mail_client.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "storage/db_mime_message.h"
#include "storage/mail_storage.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace delivery::test {

namespace fs = std::filesystem;

// Ports of the delivery tests (24000-24999).
inline constexpr std::uint16_t kSmtpPort = 24025;
inline constexpr std::uint16_t kSmtpsPort = 24465;
inline constexpr std::uint16_t kPop3Port = 24110;
inline constexpr std::uint16_t kClosedPort = 24999;  // nothing listens here
inline constexpr char kUser[] = "alice";
inline constexpr char kPassword[] = "secret";

// Settings of a mail-server delivery into `root` through an exim on `port`
// with STARTTLS and the test account's credentials.
inline settings::AppSettings StartTlsJobSettings(const std::filesystem::path& root, std::uint16_t port) {
  settings::AppSettings s = JobSettings(root);
  s.smtp_port = port;
  s.smtp_use_ssl = true;
  s.smtp_ssl_explicit = true;
  s.smtp_authentication = 3;
  s.smtp_user_name = kUser;
  s.smtp_password = kPassword;
  return s;
}

// A folder for a peer's files under the test home, which the server (running
// as its own user) can reach.
inline std::filesystem::path PeerFolder(const std::filesystem::path& home, const std::string& name) {
  namespace fs = std::filesystem;
  fs::permissions(home, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  fs::path dir = home / "peers" / name;
  fs::create_directories(dir);
  fs::permissions(home / "peers", fs::perms::others_exec, fs::perm_options::add);
  return dir;
}

// A peer serving until the object goes (SIGTERM; the script stops its server by pid).
class Peer {
 public:
  Peer(const std::string& script, const fs::path& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"serve", dir.string()});
    process_ = std::make_unique<testing_support::ChildProcess>(
        testing_support::SourceDir() / "tests" / "peers" / script, args);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (process_->Output().find("ready") != std::string::npos) {
        ready_ = true;
        return;
      }
      if (!process_->Running()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    status_ = process_->Wait(std::chrono::seconds(5)).value_or(-1);
  }
  ~Peer() {
    if (process_ && process_->Running()) {
      process_->Signal(SIGTERM);
      (void)process_->Wait(std::chrono::seconds(20));
    }
  }
  bool ready() const { return ready_; }
  int status() const { return status_; }
  std::string errors() const { return process_->Errors(); }

 private:
  std::unique_ptr<testing_support::ChildProcess> process_;
  bool ready_ = false;
  int status_ = 0;
};

#define START_DELIVERY_PEER(name, ...)                                            \
  ::delivery::test::Peer name(__VA_ARGS__);                                       \
  if (!name.ready() && name.status() == 4) GTEST_SKIP() << "the peers need root"; \
  ASSERT_TRUE(name.ready()) << #name " did not start: " << name.errors()

// Accepts exactly the certificate the peer made in `dir`.
inline protocols::MailClient::CertificateAcceptance TrustPeer(const fs::path& dir) {
  fs::path certificate = dir / "rsa.crt";
  return [certificate](protocols::MailClient& client, security::CertificateStore& received) {
    security::MemoryCertificateStore trusted;
    for (const auto& anchor : security::LoadCertificateFile(certificate)) trusted.Add(anchor);
    return security::CheckServerCertificate(client.host(), received, trusted, security::CurrentDayNumber()).accepted;
  };
}

// Every event of a run, as the application would see it; credential
// requests get `answer` (cancel by default).
class EventRecord : public MailEventHandler {
 public:
  void OnMailEvent(MailEvent& event) override {
    switch (event.type) {
      case MailEventType::kProgress:
        progress.push_back(event.code);
        if (event.code == kProgressSending) sending.push_back(event.params);
        break;
      case MailEventType::kError:
        errors.push_back(event.error);
        break;
      case MailEventType::kCredentials:
        requests.push_back(event.credentials);
        event.credentials = answer;
        break;
    }
  }
  bool Saw(int code) const { return std::find(progress.begin(), progress.end(), code) != progress.end(); }

  std::vector<int> progress;
  std::vector<std::array<std::uint32_t, 4>> sending;
  std::vector<ErrorReport> errors;
  std::vector<CredentialsRequest> requests;
  CredentialsRequest answer{"", "", "", "", false, true};
};

// A note message in the Outbox of `storage`; `to` may be empty.
inline storage::RecordId AddOutboxNote(storage::MailStorage& storage, const fs::path& scratch, std::u16string to,
                                       std::size_t bytes = 3000) {
  auto* drafts = storage.GetFolder(storage::FolderType::kDrafts);
  std::unique_ptr<storage::CElDBMimeMessage> message;
  EXPECT_EQ(drafts->CreateMessage(&message), storage::kStorageOk);
  fs::path note = scratch / "note.wav";
  std::ofstream(note, std::ios::binary | std::ios::trunc) << std::string(bytes, 'n');
  mime::NoteMessageRequest request;
  request.from = u"notes@example.org";
  request.to = std::move(to);
  request.subject = u"Voice note";
  request.attachments.push_back({note, "audio/x-wav"});
  EXPECT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &message->mime()), mime::kMimeOk);
  EXPECT_EQ(message->Save(mime::NoteWriteOptions()), storage::kStorageOk);
  EXPECT_EQ(drafts->MoveMessage(message->id(), *storage.GetFolder(storage::FolderType::kOutbox)),
            storage::kStorageOk);
  return message->id();
}

inline std::vector<fs::path> Files(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) out.push_back(entry.path());
  return out;
}

inline std::string ReadText(const fs::path& file) { return testing_support::ReadFileBytes(file); }

}  // namespace delivery::test
