#pragma once
// The messaging interface that ActiveSync delivery talks to: a session lists the
// message stores, a store names its Drafts folder, a folder creates messages, a
// message takes recipients, properties, a body, attachments, and can be submitted.
// The calls mirror the handheld's messaging API so that delivery makes them in
// the same order; activesync_maildir.h implements them over a Maildir tree.
//
// Results are 32-bit codes: 0 success, negative failure (kMessaging* below, or
// MessagingResultFromErrno). Objects are owned by whoever opened them and
// released by destroying them; a message or attachment must not outlive the
// folder or message it came from.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace delivery {

using MessagingResult = std::int32_t;
inline constexpr MessagingResult kMessagingOk = 0;
inline constexpr MessagingResult kMessagingFail = static_cast<std::int32_t>(0x80004005);
inline constexpr MessagingResult kMessagingNotFound = static_cast<std::int32_t>(0x8004010F);
inline constexpr MessagingResult kMessagingInvalidState = static_cast<std::int32_t>(0x8004011F);
// 0x8007xxxx with the errno in the low bits; 0 stays 0.
MessagingResult MessagingResultFromErrno(int error);

// Property values as the messaging system knows them.
inline constexpr std::uint32_t kRecipientTo = 1;                 // MAPI_TO
inline constexpr std::uint32_t kMessageFlagsUnsentFromMe = 0x28;  // PR_MESSAGE_FLAGS
inline constexpr std::uint32_t kMessageStatusValue = 0x20000;     // PR_MSG_STATUS

struct MessageRecipient {
  std::uint32_t type = kRecipientTo;
  std::u16string address_type = u"SMTP";
  std::u16string address;
};

class MessageAttachment {
 public:
  virtual ~MessageAttachment() = default;
  // File name (as given), size in bytes and status, in one call.
  [[nodiscard]] virtual MessagingResult SetProperties(std::u16string_view file_name, std::uint32_t size,
                                                      std::uint32_t status) = 0;
  // Opens the attachment's data for writing; may fail for a while when the
  // message is busy, so callers retry.
  [[nodiscard]] virtual MessagingResult OpenDataStream() = 0;
  [[nodiscard]] virtual MessagingResult WriteData(std::span<const std::uint8_t> bytes) = 0;
  // Makes the written data part of the message.
  [[nodiscard]] virtual MessagingResult CommitData() = 0;
};

class DraftMessage {
 public:
  virtual ~DraftMessage() = default;
  [[nodiscard]] virtual MessagingResult AddRecipients(const std::vector<MessageRecipient>& recipients) = 0;
  // Flags, status and (when given) the subject, in one call.
  [[nodiscard]] virtual MessagingResult SetProperties(std::uint32_t flags, std::uint32_t status,
                                                      const std::optional<std::u16string>& subject) = 0;
  // The body as written to its stream: the text with its terminating NUL.
  [[nodiscard]] virtual MessagingResult WriteBody(std::u16string_view text_with_nul) = 0;
  [[nodiscard]] virtual MessagingResult CreateAttachment(std::unique_ptr<MessageAttachment>* attachment) = 0;
  // Hands the message to the mail system for sending.
  [[nodiscard]] virtual MessagingResult Submit() = 0;
};

class MessageFolder {
 public:
  virtual ~MessageFolder() = default;
  [[nodiscard]] virtual MessagingResult CreateMessage(std::unique_ptr<DraftMessage>* message) = 0;
};

class MessageStore {
 public:
  virtual ~MessageStore() = default;
  // nullopt when the name cannot be read.
  virtual std::optional<std::u16string> DisplayName() = 0;
  // The Drafts folder's entry identifier; nullopt when the store has none.
  virtual std::optional<std::string> DraftsFolderId() = 0;
  [[nodiscard]] virtual MessagingResult OpenFolder(const std::string& entry_id, std::unique_ptr<MessageFolder>* folder) = 0;
};

// One row of the stores table: the store's entry identifier, when the row has one.
struct StoreRow {
  std::optional<std::string> entry_id;
};

class MessagingSession {
 public:
  virtual ~MessagingSession() = default;
  [[nodiscard]] virtual MessagingResult OpenStoresTable() = 0;
  // The next row; false when the fetch fails or no row is left.
  virtual bool NextStoreRow(StoreRow* row) = 0;
  // Opens a store for modification.
  [[nodiscard]] virtual MessagingResult OpenStore(const std::string& entry_id, std::unique_ptr<MessageStore>* store) = 0;
};

}  // namespace delivery
