#include "delivery/pending_notes.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "delivery/delivery_job.h"
#include "delivery/kept_notes.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "storage/db_mime_message.h"

namespace delivery {
namespace {

// Files the user gets are ordinary documents, not secrets.
constexpr int kNoteFileMode = 0644;

// The storage of one operation, opened like a delivery's and released when
// the operation ends (the volume file goes with the last note).
class NotesSession {
 public:
  explicit NotesSession(const settings::AppSettings& settings,
                        const protocols::MailClient::CertificateAcceptance& accept = {})
      : job_(settings, nullptr, nullptr, nullptr) {
    if (accept) job_.SetCertificateAcceptance(accept);
    open_ = job_.CreateMailService();
  }
  ~NotesSession() { job_.ReleaseMailService(); }
  NotesSession(const NotesSession&) = delete;
  NotesSession& operator=(const NotesSession&) = delete;

  bool open() const { return open_; }
  DeliveryJob& job() { return job_; }
  storage::MailFolder* outbox() const { return job_.storage()->GetFolder(storage::FolderType::kOutbox); }

  std::vector<storage::RecordId> NoteIds() const {
    std::vector<storage::RecordId> ids;
    for (const auto& record : outbox()->messages()) ids.push_back(record.id);
    return ids;
  }

  // The stored message with its content; null when it is gone or unreadable.
  std::unique_ptr<storage::CElDBMimeMessage> Load(storage::RecordId id) const {
    std::unique_ptr<storage::CElDBMimeMessage> message;
    if (!outbox()->Find(id) || outbox()->OpenMessage(id, &message) != storage::kStorageOk || !message ||
        message->LoadContent() != storage::kStorageOk)
      return nullptr;
    return message;
  }

 private:
  DeliveryJob job_;
  bool open_ = false;
};

std::u16string Number(std::uint64_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

// The parts of a note the conversions and the list need: the same reading
// of recipients, text and first attachment as the web upload's.
WebUploadForm NoteParts(storage::CElDBMimeMessage& message) { return WebUploadFormFromMessage(message.mime(), {}, {}); }

bool HasRecording(const WebUploadForm& parts) { return !parts.file_name.empty() || !parts.file_content.empty(); }

// The attachment's name as a plain file name: no folder parts, no characters
// a file name cannot carry.
std::u16string RecordingFileName(const WebUploadForm& parts) {
  std::u16string name = NoteFileNameFromSubject(platform::Utf8ToUtf16(parts.file_name));
  if (name.empty() || name == u"." || name == u"..") name = u"note";
  return name;
}

// The recipients of a stored To list as the ActiveSync store splits them:
// bare addresses separated by "; " (display names would split into words).
std::u16string ActiveSyncRecipients(std::u16string_view to_list) {
  std::u16string out;
  for (const std::string& address : storage::AddressesOf(to_list)) {
    if (!out.empty()) out += u"; ";
    out += platform::Utf8ToUtf16(address);
  }
  return out;
}

// A folder of our own under the temporary folder, so that no other user's
// file or link can stand where the recording is written.
class PrivateTempFolder {
 public:
  PrivateTempFolder() {
    std::string pattern = (platform::folders::TempDir() / "dictalo-convert-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~PrivateTempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  PrivateTempFolder(const PrivateTempFolder&) = delete;
  PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

bool ConvertToFile(const WebUploadForm& parts, const std::filesystem::path& folder, ConversionResult* result) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::u16string name = NoteFileNameFromSubject(platform::Utf8ToUtf16(parts.subject));
  std::filesystem::path recording = platform::Utf16ToUtf8(RecordingFileName(parts));
  if (name.empty()) name = platform::Utf8ToUtf16(recording.stem().string());
  // Notes often share a subject; none may overwrite another or a file already there.
  std::filesystem::path target = FirstFreeName(folder, name, recording.extension().string());
  if (platform::ReplaceFileAtomically(target, parts.file_content, kNoteFileMode) != 0) return false;
  result->files.push_back(target);
  return true;
}

bool ConvertToActiveSync(const storage::MessageRecord& record, const WebUploadForm& parts,
                         const PendingNotesOptions& options) {
  PrivateTempFolder temp;
  if (temp.path().empty()) return false;
  std::filesystem::path file = temp.path() / platform::Utf16ToUtf8(RecordingFileName(parts));
  if (platform::ReplaceFileAtomically(file, parts.file_content, kNoteFileMode) != 0) return false;
  std::u16string to = ActiveSyncRecipients(record.to);
  std::u16string subject = platform::Utf8ToUtf16(parts.subject);
  std::u16string body = platform::Utf8ToUtf16(parts.message_text);
  if (options.activesync_logon)
    return SendViaActiveSync(options.activesync_logon, nullptr, to, subject, file, body, false);
  return SendViaActiveSync(nullptr, to, subject, file, body, false);
}

}  // namespace

PendingNotesCount CountPendingNotes(const settings::AppSettings& settings) {
  PendingNotesCount count;
  NotesSession session(settings);
  if (!session.open()) {
    count.storage_available = false;
    return count;
  }
  for (const auto& record : session.outbox()->messages()) {
    ++count.count;
    count.size += record.size;
  }
  return count;
}

std::u16string PendingNotesStatusLine(const PendingNotesCount& count) {
  std::uint64_t kilobytes = std::max<std::uint64_t>(count.size / 1024, 1);
  return Number(count.count) + u" unsent note(s), size " + Number(kilobytes) + u"KB";
}

std::u16string PendingNoteSizeText(std::uint64_t size) {
  if (size <= 1024) return Number(size);
  if (size <= 1048576) return Number(size / 1024) + u"K";
  return Number(size / 1048576) + u"M";
}

std::vector<PendingNote> ListPendingNotes(const settings::AppSettings& settings) {
  std::vector<PendingNote> notes;
  NotesSession session(settings);
  if (!session.open()) return notes;
  for (const auto& record : session.outbox()->messages()) {
    PendingNote note;
    note.id = record.id;
    note.date = record.created ? record.created : record.saved;
    note.size = record.size;
    note.recipient = record.to;
    note.subject = record.subject;
    note.from = record.from;
    notes.push_back(std::move(note));
  }
  // Outbox order is the order of arrival; equal dates keep it.
  std::stable_sort(notes.begin(), notes.end(),
                   [](const PendingNote& a, const PendingNote& b) { return a.date < b.date; });
  return notes;
}

std::u16string PendingNoteDateText(std::uint64_t file_time) {
  constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
  std::time_t seconds = static_cast<std::time_t>(static_cast<std::int64_t>(file_time / 10000000) -
                                                 kUnixEpochInFileTimeSeconds);
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min);
  return platform::Utf8ToUtf16(text);
}

bool DeleteAllPendingNotes(const settings::AppSettings& settings) {
  NotesSession session(settings);
  if (!session.open()) return false;
  for (storage::RecordId id : session.NoteIds()) (void)session.outbox()->DeleteMessage(id);
  return session.outbox()->Count() == 0;
}

bool DeletePendingNote(const settings::AppSettings& settings, storage::RecordId id) {
  NotesSession session(settings);
  if (!session.open() || !session.outbox()->Find(id)) return false;
  return session.outbox()->DeleteMessage(id) == storage::kStorageOk;
}

PendingNoteRecording ReadPendingNoteRecording(const settings::AppSettings& settings, storage::RecordId id) {
  PendingNoteRecording recording;
  NotesSession session(settings);
  if (!session.open()) return recording;
  auto message = session.Load(id);
  if (!message) return recording;
  WebUploadForm parts = NoteParts(*message);
  if (!HasRecording(parts)) return recording;
  recording.found = true;
  recording.file_name = RecordingFileName(parts);
  recording.content = std::move(parts.file_content);
  return recording;
}

bool SavePendingNoteRecording(const settings::AppSettings& settings, storage::RecordId id,
                              const std::filesystem::path& target) {
  PendingNoteRecording recording = ReadPendingNoteRecording(settings, id);
  return recording.found && platform::ReplaceFileAtomically(target, recording.content, kNoteFileMode) == 0;
}

ResendResult ResendPendingNotes(const settings::AppSettings& settings, bool send, const PendingNotesOptions& options) {
  ResendResult result;
  NotesSession session(settings, options.accept_certificate);
  if (!session.open()) {
    result.storage_available = false;
    return result;
  }
  storage::MailFolder* outbox = session.outbox();
  std::size_t before = outbox->Count();

  if (send && settings.notes_send_mode == settings::SendMode::WebService && !settings.use_smtp_for_web) {
    result.web_upload = true;
    std::vector<storage::RecordId> ids = session.NoteIds();
    std::size_t next = 0;
    std::unique_ptr<storage::CElDBMimeMessage> current;
    result.upload_result = UploadNotesOneByOne(
        [&]() -> const mime::MimeMessage* {
          while (next < ids.size()) {
            current = session.Load(ids[next++]);
            if (current) return &current->mime();
          }
          return nullptr;
        },
        // Each accepted note leaves at once: a later refusal must not send it again on the next resend.
        [&](const mime::MimeMessage&) { (void)outbox->DeleteMessage(current->id()); },
        platform::Utf16ToUtf8(settings.SubscriptionUserName()), platform::Utf16ToUtf8(settings.SubscriptionPassword()),
        options.web);
    result.remaining = static_cast<std::uint32_t>(outbox->Count());
    result.sent = static_cast<std::uint32_t>(before - result.remaining);
    result.succeeded = result.upload_result == kUploadAccepted && result.remaining == 0;
    return result;
  }

  ApplicationEvents* events = session.job().events();
  events->SetStatusView(options.status_view);
  events->SetTestMode(!send);
  MailService* service = session.job().service();
  service->SetTestMode(!send);
  if (service->Synchronize()) service->WaitWhileBusy();
  result.remaining = static_cast<std::uint32_t>(outbox->Count());
  result.sent = static_cast<std::uint32_t>(before - result.remaining);
  result.succeeded = events->logged_in() && (!send || result.remaining == 0);
  return result;
}

ConversionResult ConvertPendingNotes(const settings::AppSettings& settings, settings::SendMode mode,
                                     const PendingNotesOptions& options) {
  ConversionResult result;
  if (mode != settings::SendMode::SaveAsFile && mode != settings::SendMode::ActiveSync) return result;
  NotesSession session(settings);
  if (!session.open()) {
    result.storage_available = false;
    return result;
  }
  std::filesystem::path folder = platform::Utf16ToUtf8(settings.NoteFilePath());
  for (storage::RecordId id : session.NoteIds()) {
    auto message = session.Load(id);
    bool converted = false;
    if (message) {
      WebUploadForm parts = NoteParts(*message);
      if (HasRecording(parts)) {
        converted = mode == settings::SendMode::SaveAsFile ? ConvertToFile(parts, folder, &result)
                                                           : ConvertToActiveSync(message->record(), parts, options);
      }
    }
    // Only a note that now exists elsewhere may leave the Outbox.
    if (converted && session.outbox()->DeleteMessage(id) == storage::kStorageOk) {
      ++result.converted;
    } else {
      ++result.failed;
    }
  }
  return result;
}

std::u16string ConvertPendingNotesQuestion(settings::SendMode mode) {
  switch (mode) {
    case settings::SendMode::ActiveSync:
      return u"There are unsent notes on your PDA. Do you want to save them as ActiveSync messages?";
    case settings::SendMode::SaveAsFile:
      return u"There are unsent notes on your PDA. Do you want to save them as files?";
    default:
      return {};
  }
}

}  // namespace delivery
