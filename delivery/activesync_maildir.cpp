#include "delivery/activesync_maildir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "mime/byte_stream.h"
#include "mime/message_builder.h"
#include "mime/note_message.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/maildir.h"
#include "platform/mime_types.h"
#include "platform/owner_email.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace delivery {

MessagingResult MessagingResultFromErrno(int error) {
  if (error == 0) return kMessagingOk;
  return static_cast<MessagingResult>(0x80070000u | (static_cast<unsigned>(error) & 0xFFFFu));
}

std::filesystem::path ActiveSyncStoreRoot() {
  if (auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kActiveSyncKeyPath)) {
    if (auto root = key->ReadString(kActiveSyncStoreValue); root && !root->empty()) {
      return std::filesystem::path(platform::Utf16ToUtf8(*root));
    }
  }
  return platform::folders::InstallDir() / "ActiveSync";
}

namespace {

struct CommittedAttachment {
  std::u16string file_name;
  std::string data;
};

// Addresses go into the header unencoded: a line break in one would end the To
// header and let the rest of the text write headers of its own (a Bcc that a
// sendmail agent then obeys).
std::u16string HeaderSafeAddress(std::u16string address) {
  for (char16_t& c : address) {
    if (c < 0x20 || c == 0x7F) c = u'_';
  }
  return address;
}

// What a draft holds, shared by the message and its attachments.
struct DraftState {
  DraftState(platform::Maildir drafts_folder, platform::Maildir outbox_folder)
      : drafts(std::move(drafts_folder)), outbox(std::move(outbox_folder)) {}

  platform::Maildir drafts;
  platform::Maildir outbox;
  std::string name;  // the message's file in Drafts
  std::u16string message_id;
  std::vector<MessageRecipient> recipients;
  std::optional<std::u16string> subject;
  std::u16string body;
  std::vector<CommittedAttachment> attachments;
  bool submitted = false;

  std::string Render() {
    mime::ComposedMessage composed;
    if (auto owner = platform::DeviceOwnerEmail()) {
      composed.address_headers.push_back({u"From", {mime::Mailbox{{}, *owner}}});
    }
    mime::AddressHeader to{u"To", {}};
    mime::AddressHeader cc{u"Cc", {}};
    for (const MessageRecipient& r : recipients) (r.type == kRecipientTo ? to : cc).entries.push_back(mime::Mailbox{{}, HeaderSafeAddress(r.address)});
    if (!to.entries.empty()) composed.address_headers.push_back(std::move(to));
    if (!cc.entries.empty()) composed.address_headers.push_back(std::move(cc));
    if (subject) composed.subject = *subject;
    // Every message has a body, if only an empty one, as on the handheld.
    composed.bodies.push_back({body, false});
    for (const CommittedAttachment& a : attachments) {
      mime::AttachmentSpec part;
      // The name as given may be a whole path; the mail shows only its last part.
      std::filesystem::path path(platform::Utf16ToUtf8(a.file_name));
      part.file_name = platform::Utf8ToUtf16(path.filename().string());
      std::string ext = path.extension().string();
      auto type = ext.empty() ? std::nullopt : platform::ContentTypeForExtension(ext);
      mime::SplitContentType(type ? *type : std::string(), &part.major, &part.subtype);
      part.stream = std::make_shared<mime::MemorySource>(a.data);
      composed.attachments.push_back(std::move(part));
    }
    mime::MimeMessage message;
    if (mime::BuildMessage(composed, &message) != mime::kMimeOk) return {};
    // The message keeps one identity however often it is rewritten.
    if (message_id.empty()) {
      message_id = message.GetMessageId();
    } else {
      message.SetMessageId(message_id);
    }
    mime::StringSink sink;
    if (message.Write(sink, mime::NoteWriteOptions()) != mime::kMimeOk) return {};
    return sink.Take();
  }

  MessagingResult Save() {
    if (submitted) return kMessagingInvalidState;
    std::string bytes = Render();
    if (bytes.empty()) return kMessagingFail;
    if (name.empty()) return MessagingResultFromErrno(drafts.Deliver(bytes, platform::MaildirSubdir::kCur, "D", &name));
    return MessagingResultFromErrno(drafts.Replace(name, bytes));
  }
};

class MaildirAttachment : public MessageAttachment {
 public:
  explicit MaildirAttachment(std::shared_ptr<DraftState> draft) : draft_(std::move(draft)) {}
  ~MaildirAttachment() override { DropTemp(); }

  MessagingResult SetProperties(std::u16string_view file_name, std::uint32_t, std::uint32_t) override {
    file_name_ = file_name;
    return kMessagingOk;
  }
  MessagingResult OpenDataStream() override {
    if (draft_->submitted) return kMessagingInvalidState;
    DropTemp();
    if (int rc = draft_->drafts.CreateTempFile(&temp_path_)) return MessagingResultFromErrno(rc);
    fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return fd_ < 0 ? MessagingResultFromErrno(errno) : kMessagingOk;
  }
  MessagingResult WriteData(std::span<const std::uint8_t> bytes) override {
    if (fd_ < 0) return kMessagingInvalidState;
    return MessagingResultFromErrno(platform::WriteAll(fd_, bytes.data(), bytes.size()));
  }
  MessagingResult CommitData() override {
    if (fd_ < 0) return kMessagingInvalidState;
    std::string data;
    if (int rc = platform::ReadWholeFile(temp_path_, data)) return MessagingResultFromErrno(rc);
    draft_->attachments.push_back({file_name_, std::move(data)});
    MessagingResult result = draft_->Save();
    if (result != kMessagingOk) draft_->attachments.pop_back();
    DropTemp();
    return result;
  }

 private:
  void DropTemp() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  std::shared_ptr<DraftState> draft_;
  std::u16string file_name_;
  std::filesystem::path temp_path_;
  int fd_ = -1;
};

class MaildirDraft : public DraftMessage {
 public:
  explicit MaildirDraft(std::shared_ptr<DraftState> state) : state_(std::move(state)) {}

  MessagingResult AddRecipients(const std::vector<MessageRecipient>& recipients) override {
    state_->recipients.insert(state_->recipients.end(), recipients.begin(), recipients.end());
    return state_->Save();
  }
  MessagingResult SetProperties(std::uint32_t, std::uint32_t, const std::optional<std::u16string>& subject) override {
    if (subject) state_->subject = subject;
    return state_->Save();
  }
  MessagingResult WriteBody(std::u16string_view text_with_nul) override {
    std::u16string_view text = text_with_nul;
    if (!text.empty() && text.back() == u'\0') text.remove_suffix(1);
    state_->body = text;
    return state_->Save();
  }
  MessagingResult CreateAttachment(std::unique_ptr<MessageAttachment>* attachment) override {
    if (state_->submitted) return kMessagingInvalidState;
    *attachment = std::make_unique<MaildirAttachment>(state_);
    return kMessagingOk;
  }
  MessagingResult Submit() override {
    if (state_->submitted) return kMessagingInvalidState;
    std::string moved;
    if (int rc = state_->drafts.MoveTo(state_->name, state_->outbox, platform::MaildirSubdir::kNew, "", &moved)) {
      return MessagingResultFromErrno(rc);
    }
    state_->submitted = true;
    return kMessagingOk;
  }

 private:
  std::shared_ptr<DraftState> state_;
};

class MaildirFolder : public MessageFolder {
 public:
  MaildirFolder(platform::Maildir drafts, platform::Maildir outbox)
      : drafts_(std::move(drafts)), outbox_(std::move(outbox)) {}
  MessagingResult CreateMessage(std::unique_ptr<DraftMessage>* message) override {
    auto state = std::make_shared<DraftState>(drafts_, outbox_);
    if (MessagingResult result = state->Save()) return result;
    *message = std::make_unique<MaildirDraft>(std::move(state));
    return kMessagingOk;
  }

 private:
  platform::Maildir drafts_;
  platform::Maildir outbox_;
};

class MaildirStore : public MessageStore {
 public:
  explicit MaildirStore(std::filesystem::path root) : root_(std::move(root)) {}
  std::optional<std::u16string> DisplayName() override { return std::u16string(kActiveSyncStoreName); }
  std::optional<std::string> DraftsFolderId() override {
    return platform::Maildir::SubfolderPath(root_, kDraftsFolderName).string();
  }
  MessagingResult OpenFolder(const std::string& entry_id, std::unique_ptr<MessageFolder>* folder) override {
    int rc = 0;
    auto drafts = platform::Maildir::Create(entry_id, &rc);
    if (!drafts) return MessagingResultFromErrno(rc);
    auto outbox = platform::Maildir::Create(platform::Maildir::SubfolderPath(root_, kOutboxFolderName), &rc);
    if (!outbox) return MessagingResultFromErrno(rc);
    *folder = std::make_unique<MaildirFolder>(std::move(*drafts), std::move(*outbox));
    return kMessagingOk;
  }

 private:
  std::filesystem::path root_;
};

class MaildirSession : public MessagingSession {
 public:
  explicit MaildirSession(std::filesystem::path root) : root_(std::move(root)) {}
  MessagingResult OpenStoresTable() override {
    next_row_ = 0;
    return kMessagingOk;
  }
  bool NextStoreRow(StoreRow* row) override {
    if (next_row_ != 0) return false;
    ++next_row_;
    row->entry_id = root_.string();
    return true;
  }
  MessagingResult OpenStore(const std::string& entry_id, std::unique_ptr<MessageStore>* store) override {
    // The store's root is a Maildir of its own (the sync tool's inbox).
    int rc = 0;
    if (!platform::Maildir::Create(entry_id, &rc)) return MessagingResultFromErrno(rc);
    *store = std::make_unique<MaildirStore>(entry_id);
    return kMessagingOk;
  }

 private:
  std::filesystem::path root_;
  int next_row_ = 0;
};

}  // namespace

std::unique_ptr<MessagingSession> OpenMaildirMessaging(const std::filesystem::path& root) {
  return std::make_unique<MaildirSession>(root);
}

MessagingResult LogonMessaging(std::unique_ptr<MessagingSession>* session) {
  std::filesystem::path root = ActiveSyncStoreRoot();
  if (root.empty()) return kMessagingFail;
  *session = OpenMaildirMessaging(root);
  return kMessagingOk;
}

}  // namespace delivery
