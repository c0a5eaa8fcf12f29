#include "delivery/activesync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "delivery/activesync_maildir.h"
#include "platform/text.h"

namespace delivery {
namespace {

constexpr int kStreamAttempts = 5;
constexpr auto kStreamRetryDelay = std::chrono::milliseconds(200);
constexpr std::size_t kCopyBlock = 1024;

void Log(base::ActivityLog* log, const std::string& line) { base::WriteLogLine(log, line); }

std::string Format(const char* format, long value) {
  char text[160];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The debug trace of a failed messaging call, for whoever watches standard error.
void TraceFailure(MessagingResult result, int line) {
  std::fprintf(stderr, "CEMAPI: FAILED(%x)at %s:%d\n", static_cast<unsigned>(result), ".\\EMMAPIUtils", line);
}

#define DICTALO_MAPI_FAILED(result) (((result) != kMessagingOk) ? (TraceFailure((result), __LINE__), true) : false)

bool SetAddressAndSubject(DraftMessage& message, std::u16string_view to, std::u16string_view subject,
                          std::u16string_view body_text) {
  std::vector<MessageRecipient> recipients;
  for (std::u16string& address : SplitActiveSyncRecipients(to)) {
    recipients.push_back(MessageRecipient{kRecipientTo, u"SMTP", std::move(address)});
  }
  MessagingResult result = message.AddRecipients(recipients);
  if (DICTALO_MAPI_FAILED(result)) return false;
  std::optional<std::u16string> subject_property;
  if (!subject.empty()) subject_property = std::u16string(subject);
  result = message.SetProperties(kMessageFlagsUnsentFromMe, kMessageStatusValue, subject_property);
  if (DICTALO_MAPI_FAILED(result)) return false;
  std::u16string body(body_text);
  body.push_back(u'\0');
  result = message.WriteBody(body);
  return !DICTALO_MAPI_FAILED(result);
}

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() {
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_;
};

// True when the note's bytes are committed to the attachment.
bool AttachNote(base::ActivityLog* log, DraftMessage& message, const std::filesystem::path& note_path) {
  int fd = ::open(note_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    Log(log, "ERROR: Cannot open attachment file");
    return false;
  }
  FileCloser closer(fd);
  Log(log, "Attachment file opened");
  Log(log, Format("Attachment file size: %ld", static_cast<long>(st.st_size)));

  std::unique_ptr<MessageAttachment> attachment;
  MessagingResult result = message.CreateAttachment(&attachment);
  if (DICTALO_MAPI_FAILED(result)) {
    Log(log, Format("ERROR: Cannot create message's attachment (code %d)", result));
    return false;
  }
  Log(log, "Message's attachment created");

  result = attachment->SetProperties(platform::Utf8ToUtf16(note_path.string()), static_cast<std::uint32_t>(st.st_size),
                                     kMessageStatusValue);
  if (DICTALO_MAPI_FAILED(result)) {
    Log(log, Format("ERROR: Error on setting attachment's properties (code %d)", result));
    return false;
  }
  Log(log, "Attachment's properties set");

  for (int attempt = 1;; ++attempt) {
    result = attachment->OpenDataStream();
    if (result == kMessagingOk) break;
    TraceFailure(result, __LINE__);
    if (attempt == kStreamAttempts) {
      Log(log, Format("ERROR: Cannot create attachment's stream (code %d)", result));
      return false;
    }
    std::this_thread::sleep_for(kStreamRetryDelay);
  }
  Log(log, "Attachment's stream set");

  std::array<std::uint8_t, kCopyBlock> block;
  for (;;) {
    ssize_t got = ::read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result = attachment->WriteData(std::span<const std::uint8_t>(block.data(), static_cast<std::size_t>(got)));
    // A stream that refuses bytes must not be committed as if it held the note.
    if (DICTALO_MAPI_FAILED(result)) {
      Log(log, Format("ERROR: Cannot write attachment's stream (code %d)", result));
      return false;
    }
  }
  Log(log, "File is saved to attachment");

  result = attachment->CommitData();
  if (DICTALO_MAPI_FAILED(result)) {
    Log(log, Format("ERROR: Cannot commit attachment's stream (code %d)", result));
    return false;
  }
  Log(log, "Attachment's stream commited");
  return true;
}

}  // namespace

std::vector<std::u16string> SplitActiveSyncRecipients(std::u16string_view to) {
  std::vector<std::u16string> addresses;
  std::size_t i = 0;
  while (i < to.size()) {
    while (i < to.size() && to[i] == u' ') ++i;
    std::size_t start = i;
    while (i < to.size() && to[i] != u' ' && to[i] != u';') ++i;
    if (i > start) addresses.emplace_back(to.substr(start, i - start));
    if (i < to.size() && to[i] == u';') ++i;
  }
  return addresses;
}

bool SendViaActiveSync(base::ActivityLog* log, std::u16string_view to, std::u16string_view subject,
                       const std::filesystem::path& note_path, std::u16string_view body_text, bool send_now) {
  return SendViaActiveSync(LogonMessaging, log, to, subject, note_path, body_text, send_now);
}

bool SendViaActiveSync(const MessagingLogon& logon, base::ActivityLog* log, std::u16string_view to,
                       std::u16string_view subject, const std::filesystem::path& note_path,
                       std::u16string_view body_text, bool send_now) {
  Log(log, "-----------------------------------------");
  Log(log, "*** Starting MAPI message sending ***");
  Log(log, "To = \"" + platform::Utf16ToUtf8(to) + "\", Subject = \"" + platform::Utf16ToUtf8(subject) +
               "\", File Name = \"" + note_path.string() + "\", Send now = \"" + (send_now ? "true" : "false") + "\"");

  bool attached = false;
  std::unique_ptr<MessagingSession> session;
  if (logon(&session) == kMessagingOk && session) {
    Log(log, "Message store logon succeeded");
    if (session->OpenStoresTable() == kMessagingOk) {
      Log(log, "Message stores table retrieved");
      StoreRow row;
      while (session->NextStoreRow(&row)) {
        Log(log, "Iterating stores");
        if (!row.entry_id) continue;
        std::unique_ptr<MessageStore> store;
        if (session->OpenStore(*row.entry_id, &store) != kMessagingOk || !store) continue;
        // A store whose name cannot be read is taken for the ActiveSync store.
        std::u16string name = store->DisplayName().value_or(u"ActiveSync");
        if (name != u"ActiveSync") continue;

        Log(log, "ActiveSync store found");
        std::unique_ptr<MessageFolder> folder;
        std::optional<std::string> drafts_id = store->DraftsFolderId();
        MessagingResult result = drafts_id ? store->OpenFolder(*drafts_id, &folder) : kMessagingNotFound;
        if (!DICTALO_MAPI_FAILED(result) && folder) {
          Log(log, "ActiveSync's Drafts folder found");
          std::unique_ptr<DraftMessage> message;
          result = folder->CreateMessage(&message);
          if (!DICTALO_MAPI_FAILED(result) && message) {
            Log(log, "Message created");
            // A failure here is traced and the message stays in Drafts as it is.
            (void)SetAddressAndSubject(*message, to, subject, body_text);
            Log(log, "Address and subject set");
            attached = AttachNote(log, *message, note_path);
            Log(log, "Recording attached");
            if (send_now) {
              result = message->Submit();
              (void)DICTALO_MAPI_FAILED(result);
            }
            Log(log, "Message sent");
          }
        }
        break;
      }
    }
  }
  Log(log, "Finishing MAPI message sending");
  return attached;
}

}  // namespace delivery
