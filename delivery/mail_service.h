#pragma once
// MailService: one outgoing (SMTP) and one incoming (POP3) server
// configuration, a worker thread, and a local storage whose Outbox it sends.
//
// A run ("synchronization") connects, logs in, sends every Outbox message
// that has recipients, moves each sent one to Sent, and reports progress,
// errors and credential requests as events (mail_events.h). Every step and
// the whole SMTP and POP3 dialogue (credentials masked) go to the activity
// log. With SMTP after incoming (mode 1) a POP3 login comes first, and when
// it fails nothing is sent.
//
// Threads: the service is made, configured, started and destroyed on one
// thread (the UI thread, owner of the event sink); runs execute on the
// service's worker, which waits for Synchronize between runs. busy() is the
// only handshake: set by Synchronize, cleared as the last step of a run.
// Do not change the configuration while busy.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "base/activity_log.h"
#include "delivery/mail_events.h"
#include "protocols/mail_client.h"
#include "storage/mail_storage.h"

namespace protocols {
class SmtpClient;
class Pop3Client;
}

namespace delivery {

// How SMTP logs in (the value of SMTPAuthentication).
enum class SmtpAuthMode : int {
  kNotRequired = 0,        // no login
  kSmtpAfterIncoming = 1,  // a POP3 login to the incoming server first
  kSameAsIncoming = 2,     // the incoming side's user name and password
  kCredentials = 3,        // the SMTP side's user name and password
};
// "saNotRequired", "saSMTPAfterIncoming", "saSameAsIncoming", "saCredentials".
const char* SmtpAuthModeLogName(SmtpAuthMode mode);

struct ServerConfig {
  std::string host;
  int port = 25;
  SmtpAuthMode authentication = SmtpAuthMode::kNotRequired;  // SMTP side only
  std::string user_name;
  std::string password;
  bool store_password = false;  // keep a prompted password after a successful login
  std::uint16_t timeout = 60;   // seconds
  int socks_version = 0;        // 0 none, 1 "4", 2 "4A", 3 "5"
  std::string socks_address;
  std::uint16_t socks_port = 1080;
  bool socks_auth = false;
  std::string socks_user_id;
  std::string socks_password;
  bool use_ssl = false;
  bool ssl_explicit = false;
  bool ssl_allow_insecure = false;
  bool ssl_strong_encryption = false;
  int ssl_versions = 7;  // bit 0 SSL 2, bit 1 SSL 3, bit 2 TLS 1
  bool use_sasl = false;
};

// The mail library's context for a service: where it logs and where its
// events go. Both may be null; both must outlive the service.
struct MailServiceContext {
  base::ActivityLog* log = nullptr;
  MailEventSink* sink = nullptr;
};

// The longest reply line the session accepts from a server.
inline constexpr std::uint16_t kMaxReplyLine = 4096;

// The platform's code for an aborted operation: never reported.
inline constexpr std::uint32_t kOperationAborted = 0x80004004u;

class MailService {
 public:
  // Starts the worker, which waits for the first Synchronize. `storage` must
  // outlive the service.
  MailService(MailServiceContext context, storage::MailStorage* storage);
  // Ends the worker (cancelling a run in progress) and waits for it, handling
  // events sent to this thread meanwhile.
  ~MailService();
  MailService(const MailService&) = delete;
  MailService& operator=(const MailService&) = delete;

  ServerConfig& smtp() { return smtp_; }
  ServerConfig& pop3() { return pop3_; }
  // The account test: connect and log in, send nothing.
  void SetTestMode(bool on) { test_mode_ = on; }
  // Decides on server certificates the chain check refused; default: refuse.
  void SetCertificateAcceptance(protocols::MailClient::CertificateAcceptance callback) {
    accept_certificate_ = std::move(callback);
  }

  // Starts a run and returns at once; false when one is already going on.
  bool Synchronize();
  // Ends the run at its next step; a cancelled run reports no errors.
  void Cancel() { cancel_ = true; }
  bool busy() const { return busy_; }
  // Blocks until the run is over, checking every 500 ms and handling messages
  // sent to this thread (the run's events) meanwhile.
  void WaitWhileBusy();

  // Run results, for the owner once not busy.
  std::uint32_t connection_state() const { return connection_state_; }
  std::uint32_t messages_sent() const { return sent_count_; }

 private:
  struct SendItem;
  class Session;

  void WorkerLoop();
  void Run();
  void SmtpStep();
  void Pop3Step(bool login_only);
  // Connect and log in; false on failure (already reported).
  bool ConnectSmtp(protocols::SmtpClient& client, bool* secure);
  bool ConnectPop3(protocols::Pop3Client& client);
  void ConfigureClient(protocols::MailClient& client, const ServerConfig& config);
  void LogConnectionSettings(const ServerConfig& config, const char* protocol_suffix, bool smtp);
  // The error exit of connect and log in.
  void ErrorExit(const ServerConfig& config, const char* protocol, const std::string& response, bool reported);
  std::uint32_t SendOne(protocols::SmtpClient& client, const SendItem& item);

  void Log(std::string_view line);
  void Progress(int code, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0);
  void ReportError(bool critical, std::uint32_t code, const std::string& response, const ServerConfig& config,
                   const char* protocol);
  bool RequestCredentials(CredentialsRequest* request);

  MailServiceContext context_;
  storage::MailStorage* storage_;
  ServerConfig smtp_;
  ServerConfig pop3_;
  bool test_mode_ = false;
  protocols::MailClient::CertificateAcceptance accept_certificate_;

  std::atomic<bool> cancel_{false};
  std::atomic<bool> terminate_{false};
  std::atomic<bool> busy_{false};
  std::uint32_t error_ = 0;  // worker only
  std::string error_response_;
  std::atomic<std::uint32_t> connection_state_{0};
  std::atomic<std::uint32_t> sent_count_{0};
  // Send loop counters.
  std::uint32_t message_count_ = 0;
  std::uint32_t message_index_ = 0;
  std::uint64_t bytes_sent_ = 0;
  std::uint64_t bytes_total_ = 0;

  std::mutex mu_;
  std::condition_variable wake_;
  bool run_requested_ = false;
  platform::Event worker_done_{true, false};
  std::thread worker_;
};

}  // namespace delivery
