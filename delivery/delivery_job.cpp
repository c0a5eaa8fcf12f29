#include "delivery/delivery_job.h"

#include <algorithm>
#include <cstdio>

#include "delivery/activesync.h"
#include "delivery/kept_notes.h"
#include "mime/message_parser.h"
#include "mime/names.h"
#include "mime/note_message.h"
#include "platform/mime_types.h"
#include "platform/text.h"
#include "settings/stored_password_cipher.h"
#include "storage/db_mime_message.h"
#include "storage/delivery_volume.h"

namespace delivery {
namespace {

// The web service account's password, enciphered under its host and port 25.
constexpr std::uint8_t kWebServicePassword[] = {
    0x8C, 0xBE, 0x5A, 0xBB, 0x2B, 0x9D, 0x26, 0x5F, 0x67, 0x71, 0x77, 0xB8, 0xB2, 0x8D, 0x02, 0x3A, 0x7D, 0xE9, 0xEF,
    0x04, 0x97, 0xEA, 0xEE, 0x50, 0xE7, 0x8A, 0xB5, 0xAA, 0x67, 0x69, 0xA0, 0xF3, 0xBE, 0x1C, 0x8D, 0x90, 0xCE, 0xC3,
    0x11, 0x03, 0x42, 0x91, 0x5C, 0xD8, 0x2A, 0x79, 0x53, 0x73, 0xFF, 0x69, 0x5F, 0x57, 0xAB, 0xAA, 0x66};

constexpr char16_t kUnsentNotesTitle[] = u"Unsent notes";

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", code);
  return text;
}

void AddAddresses(mime::MimeMessage& message, std::u16string_view header, std::u16string_view list) {
  for (auto& entry : mime::ParseAddressList(platform::Utf16ToUtf8(list))) {
    if (auto* box = std::get_if<mime::Mailbox>(&entry)) {
      message.AddMailbox(header, std::move(*box));
    } else {
      message.AddGroup(header, std::move(std::get<mime::AddressGroup>(entry)));
    }
  }
}

std::uint16_t ClampTimeout(std::int32_t seconds) {
  return static_cast<std::uint16_t>(std::clamp<std::int32_t>(seconds, 0, 65535));
}

}  // namespace

std::u16string OggBodyText() {
  return std::u16string(u"This voice note is saved in OGG format. If you cannot open it please visit ") +
         kOggPlayerPage + u" to download a player for your platform.";
}

std::string NoteContentType(const std::filesystem::path& note) {
  // The note's own extension: an Ogg note labelled as WAV would not play.
  auto type = platform::ContentTypeForExtension(note.extension().string());
  return type.value_or("application/octet-stream");
}

DeliveryJob::DeliveryJob(const settings::AppSettings& settings, DeliveryUi* ui, DeliveryNotices* notices,
                         NetworkConnector* connector, MessageUploader* uploader)
    : settings_(settings), ui_(ui), notices_(notices), connector_(connector),
      uploader_(uploader ? uploader : &web_uploader_) {}

int WebServiceUploader::Upload(storage::CElDBMimeMessage& message, const std::u16string& user,
                               const std::u16string& password) {
  if (message.LoadContent() != storage::kStorageOk) return kUploadNoRequest;
  return UploadNote(message.mime(), platform::Utf16ToUtf8(user), platform::Utf16ToUtf8(password), options_);
}

DeliveryJob::~DeliveryJob() { ReleaseMailService(); }

void DeliveryJob::Log(std::string_view line) { base::WriteLogLine(log_.get(), line); }

void DeliveryJob::LogRecorderOutcome() {
  char line[64];
  if (recorder_closed_) {
    std::snprintf(line, sizeof line, "Recording handle closed, result %d", recorder_result_);
    Log(line);
  } else {
    Log("Recording handle not closed!!!");
  }
}

DeliveryResult DeliveryJob::DeliverNote(const std::filesystem::path& note, bool send_now) {
  if (settings_.notes_send_mode == settings::SendMode::ActiveSync) return DeliverViaActiveSync(note, send_now);
  DeliveryResult result;
  bool have_service = CreateMailService();
  LogRecorderOutcome();
  Log("\t Service initialization finished");

  storage::RecordId id = have_service ? StoreNote(note) : 0;
  if (id != 0) {
    result.note_safe = true;
  } else {
    // No storage took the note: it must not go with the session's temporary file.
    result.kept_note = KeepNote(note);
    result.note_safe = !result.kept_note.empty();
  }
  if (!have_service) {
    if (send_now && ui_) ui_->PostSessionDone();
    return result;
  }

  if (send_now) {
    if (EstablishConnection()) {
      if (settings_.notes_send_mode == settings::SendMode::WebService && !settings_.use_smtp_for_web) {
        if (ui_) ui_->ShowStatusText(u"Sending...");
        storage::MailFolder* outbox = storage_->GetFolder(storage::FolderType::kOutbox);
        std::unique_ptr<storage::CElDBMimeMessage> message;
        int uploaded = -1;
        if (id != 0 && outbox->OpenMessage(id, &message) == storage::kStorageOk)
          uploaded = uploader_->Upload(*message, settings_.SubscriptionUserName(), settings_.SubscriptionPassword());
        if (uploaded != 0) Log("\t Web upload result " + std::to_string(uploaded) + "; the note stays in the outbox");
        if (uploaded == 0 && outbox->DeleteMessage(id) != storage::kStorageOk) Log("\t Uploaded message not deleted");
        if (ui_) ui_->PostSessionDone();
      } else if (!service_->Synchronize()) {
        if (ui_) ui_->PostSessionDone();
      }
    } else if (ui_) {
      ui_->PostSessionDone();
    }
  }
  Log("\t Message sent");
  return result;
}

DeliveryResult DeliveryJob::DeliverViaActiveSync(const std::filesystem::path& note, bool send_now) {
  ReleaseMailService();
  DeliveryResult result;
  log_ = base::OpenActivityLog(platform::Utf16ToUtf8(settings_.install_dir));
  LogRecorderOutcome();
  std::u16string body = settings_.encoding_type == 1 ? OggBodyText() : std::u16string();
  if (SendViaActiveSync(log_.get(), settings_.send_to_address, settings_.ExpandSubject(), note, body, send_now)) {
    result.note_safe = true;
  } else {
    // The store did not take the note; the session's temporary file must not be its only copy.
    result.kept_note = KeepNote(note);
    result.note_safe = !result.kept_note.empty();
  }
  log_.reset();
  if (send_now && ui_) ui_->PostSessionDone();
  return result;
}

std::filesystem::path DeliveryJob::KeepNote(const std::filesystem::path& note) {
  auto kept = KeepNoteCopy(note, platform::Utf16ToUtf8(settings_.note_file_path), settings_.ExpandSubject());
  if (kept.empty()) {
    Log("\t The note could not be stored or kept; it stays at " + note.string());
    if (notices_)
      notices_->ShowNotice(kUnsentNotesTitle, u"The note could not be stored for sending and could not be copied. It "
                                              u"is still at " + platform::Utf8ToUtf16(note.string()) + u".");
    return {};
  }
  Log("\t The note could not be stored for sending; it was kept as " + kept.string());
  if (notices_)
    notices_->ShowNotice(kUnsentNotesTitle, u"The note could not be stored for sending. It was kept as " +
                                                platform::Utf8ToUtf16(kept.string()) + u".");
  return kept;
}

storage::RecordId DeliveryJob::StoreNote(const std::filesystem::path& note) {
  Log("\t Creating message");
  storage::MailFolder* drafts = storage_->GetFolder(storage::FolderType::kDrafts);
  std::unique_ptr<storage::CElDBMimeMessage> message;
  if (storage::StorageResult r = drafts->CreateMessage(&message); r != storage::kStorageOk) {
    Log("\t Message not created: " + Hex(r));
    return 0;
  }
  Log("\t Message created");
  Log("\t Storage received");
  storage::MailFolder* outbox = storage_->GetFolder(storage::FolderType::kOutbox);
  Log("\t Outbox folder received");
  storage::RecordId id = message->id();
  if (storage::StorageResult r = drafts->MoveMessage(id, *outbox); r != storage::kStorageOk) {
    Log("\t Message not moved to the outbox: " + Hex(r));
    (void)drafts->DeleteMessage(id);  // an empty draft; failing here leaves an empty draft, which is never sent
    return 0;
  }
  Log("\t Message moved to the outbox");

  mime::MimeMessage& mime = message->mime();
  auto* root = mime.CreateRoot<mime::CElMultiPartPart>();
  mime.InitializeNew();
  AddAddresses(mime, mime::names::kFrom, settings_.send_from_address);
  AddAddresses(mime, mime::names::kTo, settings_.send_to_address);
  Log("\t Adresses set");
  mime.SetSubject(settings_.ExpandSubject());
  Log("\t Subject set");
  mime::MajorType major;
  std::u16string subtype;
  mime::SplitContentType(NoteContentType(note), &major, &subtype);
  mime::CElMessagePart* part = root->AddPart(mime::MajorTypeName(major), subtype);
  storage::StorageResult saved = part->AttachFile(note);
  if (saved == storage::kStorageOk) {
    Log("\t Note attached");
    if (settings_.encoding_type == 1) root->AddTextPart(OggBodyText());
    saved = message->Save(mime::NoteWriteOptions());
  }
  if (saved != storage::kStorageOk) {
    Log("\t Message not saved: " + Hex(saved));
    // Nothing of it was committed; an empty message must not wait in the Outbox.
    (void)outbox->DeleteMessage(id);
    return 0;
  }
  Log("\t Message saved");
  return id;
}

bool DeliveryJob::CreateMailService() {
  ReleaseMailService();
  std::filesystem::path install_dir = platform::Utf16ToUtf8(settings_.install_dir);
  log_ = base::OpenActivityLog(install_dir);
  auto opened = storage::OpenDeliveryStorage(install_dir, [this](std::string_view line) { Log(line); });
  if (!opened.damaged_copy.empty() && notices_)
    notices_->ShowNotice(kUnsentNotesTitle, u"The file of unsent notes could not be read. It was kept as " +
                                                platform::Utf8ToUtf16(opened.damaged_copy.string()) +
                                                u"; new notes go into a new file.");
  if (!opened.storage) {
    Log("\t Storage not available: " + Hex(opened.result));
    return false;
  }
  storage_ = std::move(opened.storage);
  events_ = std::make_unique<ApplicationEvents>(log_.get(), std::string());
  events_->SetDeliveryUi(ui_);
  sink_ = std::make_unique<MailEventSink>(events_.get());
  service_ = std::make_unique<MailService>(MailServiceContext{log_.get(), sink_.get()}, storage_.get());
  ConfigureService();
  events_->SetSmtpHost(service_->smtp().host);
  if (accept_certificate_) service_->SetCertificateAcceptance(accept_certificate_);
  return true;
}

void DeliveryJob::ConfigureService() {
  ServerConfig& smtp = service_->smtp();
  ServerConfig& pop3 = service_->pop3();
  const settings::AppSettings& s = settings_;
  if (s.notes_send_mode == settings::SendMode::WebService) {
    smtp = ServerConfig();
    smtp.host = kWebServiceMailHost;
    smtp.port = 25;
    smtp.authentication = SmtpAuthMode::kCredentials;
    smtp.user_name = kWebServiceUserName;
    smtp.password = settings::StoredPasswordCipher(kWebServiceMailHost, 25).Decipher(kWebServicePassword);
    smtp.store_password = true;
    smtp.timeout = 60;
    smtp.socks_version = 0;
    smtp.socks_port = 1080;
    smtp.use_ssl = true;
    smtp.use_sasl = true;
    smtp.ssl_explicit = true;
    smtp.ssl_allow_insecure = false;
    smtp.ssl_versions = 7;
    smtp.ssl_strong_encryption = false;
    return;
  }
  for (ServerConfig* side : {&smtp, &pop3}) {
    side->host = s.smtp_host;
    side->user_name = s.smtp_user_name;
    side->password = s.smtp_password;
    side->store_password = true;
    side->timeout = ClampTimeout(s.smtp_timeout);
    side->socks_version = s.smtp_socks_version;
    side->socks_address = s.smtp_socks_address;
    side->socks_port = static_cast<std::uint16_t>(s.smtp_socks_port);
    side->socks_user_id = s.smtp_socks_user_id;
    side->socks_password = s.smtp_socks_password;
    side->socks_auth = s.smtp_socks_auth;
    side->use_ssl = s.smtp_use_ssl;
    side->use_sasl = s.smtp_use_sasl;
    side->ssl_explicit = s.smtp_ssl_explicit;
    side->ssl_allow_insecure = s.smtp_ssl_allow_insecure;
    side->ssl_versions = s.smtp_ssl_versions;
    side->ssl_strong_encryption = s.smtp_ssl_strong_encryption;
  }
  smtp.port = s.smtp_port;
  pop3.port = s.smtp_port == 465 ? 995 : 110;
  int mode = s.smtp_authentication;
  smtp.authentication = mode >= 0 && mode <= 3 ? static_cast<SmtpAuthMode>(mode) : SmtpAuthMode::kNotRequired;
}

bool DeliveryJob::EstablishConnection() {
  AlwaysConnected fallback;
  bool connected = delivery::EstablishConnection(connector_ ? *connector_ : fallback, settings_.connection);
  if (!connected) Log("\t No network connection; the notes stay in the outbox");
  return connected;
}

void DeliveryJob::ReleaseMailService() {
  if (!service_) {
    storage_.reset();
    log_.reset();
    return;
  }
  service_->WaitWhileBusy();
  bool outbox_empty = storage_->GetFolder(storage::FolderType::kOutbox)->Count() == 0;
  service_.reset();
  sink_.reset();
  events_.reset();
  std::filesystem::path path = storage_->path();
  storage_.reset();
  if (outbox_empty && !storage::DeleteVolumeFile(path)) Log("Storage file could not be deleted: " + path.string());
  log_.reset();
}

}  // namespace delivery
