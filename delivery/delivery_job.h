#pragma once
// DeliveryJob: a finished note becomes a message in the Outbox of the local
// storage, and with "send now" the Outbox goes out through the mail service
// (mail server and web service by SMTP), or to the web upload. In the
// ActiveSync mode the note becomes a message of the ActiveSync store instead.
//
// One delivery at a time, on the UI thread: DeliverNote, then (after the
// session-done message) ReleaseMailService, which waits for the run, and
// deletes the volume file when the Outbox is empty. The run's events come to
// the thread that called DeliverNote, so it must keep handling messages
// (a message loop, or MsgWaitForEvents) until the session-done call. A saved, failed or
// cancelled delivery leaves the file with its Outbox for the next one.
//
// The note handed in is the session's temporary file, which the session may
// delete once DeliverNote says the note is safe: committed in the storage,
// or, when no storage could take it, copied to the notes folder (the user is
// told where). When neither worked DeliverNote says so and the file must stay.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/activity_log.h"
#include "delivery/application_events.h"
#include "delivery/mail_events.h"
#include "delivery/mail_service.h"
#include "delivery/network_connection.h"
#include "delivery/web_upload.h"
#include "settings/app_settings.h"
#include "storage/mail_storage.h"

namespace delivery {

// The web service's mail server and its account.
inline constexpr char kWebServiceMailHost[] = "mail.notes.corvane.com";
inline constexpr char kWebServiceUserName[] = "echomark_service";
inline constexpr char16_t kOggPlayerPage[] = u"http://www.vorbis.com/setup/";

// "This voice note is saved in OGG format. If you cannot open it please visit
// <page> to download a player for your platform."
std::u16string OggBodyText();
// The note's content type from its own extension in the system's type table;
// "application/octet-stream" when the table has none.
std::string NoteContentType(const std::filesystem::path& note);

// What the job tells the user outside the mail service's events.
class DeliveryNotices {
 public:
  virtual ~DeliveryNotices() = default;
  virtual void ShowNotice(std::u16string_view title, std::u16string_view text) = 0;
};

// The web upload of a stored message: 0 when the service accepted it.
class MessageUploader {
 public:
  virtual ~MessageUploader() = default;
  virtual int Upload(storage::CElDBMimeMessage& message, const std::u16string& user, const std::u16string& password) = 0;
};

// Posts the message to the web service (web_upload.h), reading its stored
// content first.
class WebServiceUploader : public MessageUploader {
 public:
  explicit WebServiceUploader(WebUploadOptions options = {}) : options_(std::move(options)) {}
  int Upload(storage::CElDBMimeMessage& message, const std::u16string& user, const std::u16string& password) override;

 private:
  WebUploadOptions options_;
};

struct DeliveryResult {
  // The note is committed in the storage or kept as a file: the session may
  // delete its temporary file.
  bool note_safe = false;
  // Where the note was kept when no storage could take it.
  std::filesystem::path kept_note;
};

class DeliveryJob {
 public:
  // All pointers must outlive the job; `ui`, `notices` and `connector` may be
  // null (no connection is requested then); a null `uploader` is the web service.
  DeliveryJob(const settings::AppSettings& settings, DeliveryUi* ui, DeliveryNotices* notices,
              NetworkConnector* connector, MessageUploader* uploader = nullptr);
  ~DeliveryJob();  // ReleaseMailService
  DeliveryJob(const DeliveryJob&) = delete;
  DeliveryJob& operator=(const DeliveryJob&) = delete;

  // What the recorder said about closing the note file.
  void SetRecorderOutcome(bool closed, std::int32_t result) {
    recorder_closed_ = closed;
    recorder_result_ = result;
  }
  // Mail server, web service and ActiveSync modes (the caller keeps
  // SaveAsFile notes itself). An ActiveSync note that does not reach the
  // store is kept as a file, like a note no storage could take.
  DeliveryResult DeliverNote(const std::filesystem::path& note, bool send_now);
  // Opens or creates the storage and makes and configures the service; false
  // when no storage could be opened or created.
  bool CreateMailService();
  bool EstablishConnection();
  // Waits for a run, lets go of the service and deletes the volume file when
  // its Outbox is empty. Does nothing without a service.
  void ReleaseMailService();

  bool busy() const { return service_ && service_->busy(); }
  MailService* service() const { return service_.get(); }
  // The application's side of the current service's events (null without one).
  ApplicationEvents* events() const { return events_.get(); }
  storage::MailStorage* storage() const { return storage_.get(); }
  // Applied to every service this job makes (the tests trust their peers).
  void SetCertificateAcceptance(protocols::MailClient::CertificateAcceptance callback) {
    accept_certificate_ = std::move(callback);
  }

 private:
  void Log(std::string_view line);
  std::filesystem::path KeepNote(const std::filesystem::path& note);
  // Composes, moves and saves the note message; its id, or 0 on failure.
  storage::RecordId StoreNote(const std::filesystem::path& note);
  void ConfigureService();
  DeliveryResult DeliverViaActiveSync(const std::filesystem::path& note, bool send_now);
  void LogRecorderOutcome();

  const settings::AppSettings& settings_;
  DeliveryUi* ui_;
  DeliveryNotices* notices_;
  NetworkConnector* connector_;
  MessageUploader* uploader_;
  WebServiceUploader web_uploader_;
  protocols::MailClient::CertificateAcceptance accept_certificate_;
  bool recorder_closed_ = false;
  std::int32_t recorder_result_ = 0;

  // The mail library's context of the current delivery.
  std::unique_ptr<base::ActivityLog> log_;
  std::unique_ptr<storage::MailStorage> storage_;
  std::unique_ptr<ApplicationEvents> events_;
  std::unique_ptr<MailEventSink> sink_;
  std::unique_ptr<MailService> service_;
};

}  // namespace delivery
