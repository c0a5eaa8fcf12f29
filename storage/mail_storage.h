#pragma once
// MailStorage: the mail library's local message storage, a root folder with
// Inbox, Outbox, Sent, Deleted and Drafts kept in one database volume file.
//
// Tables (fields by index; record ids never reused):
//   Info      0 magic 0x4C4D4959, 1 flags, 2 storage name, 3 identifier text
//   Folders   0 parent id, 1 type, 2 name, 3 counter, 4 unread count   (sorted on 0)
//   Messages  0 folder id, 1 flags, 2 subject, 3-6 From/To/Cc/Bcc lists,
//             7 size, 8-9 file times, 10 identifier, 11-12 texts, 13-15 values
//                                                                      (sorted on 0)
//   Bodies    0 chunk index, 1 message id, 2 at most 2048 bytes       (sorted on 0, 1)
//
// Every change (create, move, delete, save) is one transaction. A storage is
// used by one thread at a time; it may move between threads (the delivery
// job composes on the UI thread, the mail service sends on its worker).
//
// Results are the codes of database_volume.h; the storage log (the mail
// library's log) gets the loading lines.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/mime_message.h"
#include "platform/database_volume.h"

namespace storage {

// The volume file and its result codes come from the platform's database.
using platform::DatabaseVolume;
using platform::kStorageAccessDenied;
using platform::kStorageBusy;
using platform::kStorageDiskFull;
using platform::kStorageFailure;
using platform::kStorageFileCorrupt;
using platform::kStorageFileNotFound;
using platform::kStorageInvalidData;
using platform::kStorageNotFound;
using platform::kStorageOk;
using platform::kStorageOutOfMemory;
using platform::Statement;
using platform::StorageResult;
using platform::StorageResultFromSqlite;
using platform::Transaction;

using RecordId = std::uint32_t;
using StorageLog = std::function<void(std::string_view line)>;

inline constexpr std::uint32_t kStorageMagic = 0x4C4D4959u;
inline constexpr std::size_t kBodyChunkSize = 2048;
inline constexpr StorageResult kStorageFileExists = 0x80070050u;

enum class FolderType : std::uint32_t { kInbox = 1, kOutbox = 2, kSent = 3, kDeleted = 4, kDrafts = 5, kRoot = 6 };

// Message flags (field 1).
inline constexpr std::uint32_t kMessageLink = 0x0001;         // a link to a message kept elsewhere (field 10)
inline constexpr std::uint32_t kMessageRead = 0x0002;
inline constexpr std::uint32_t kMessageSent = 0x0004;
inline constexpr std::uint32_t kMessageLinkVariant = 0x1000;
inline constexpr std::uint32_t kMessageSkipped = 0x8000;      // not loaded

struct MessageRecord {
  RecordId id = 0;
  RecordId folder = 0;
  std::uint32_t flags = 0;
  std::u16string subject;                 // 2
  std::u16string from, to, cc, bcc;       // 3-6, address lists as text
  std::uint32_t size = 0;                 // 7, bytes of the MIME text
  std::uint64_t created = 0, saved = 0;   // 8, 9: 100 ns since 1601
  std::u16string identifier;              // 10
  std::u16string text11, text12;          // 11, 12
  std::uint32_t value13 = 0, value14 = 0, value15 = 0;
};

class MailStorage;
class CElDBMimeMessage;

class MailFolder {
 public:
  RecordId id() const { return id_; }
  RecordId parent() const { return parent_; }
  FolderType type() const { return type_; }
  const std::u16string& name() const { return name_; }
  std::uint32_t unread_count() const { return unread_; }
  std::uint32_t counter() const { return counter_; }
  void set_counter(std::uint32_t counter) { counter_ = counter; }

  // The message header records in record order.
  const std::vector<MessageRecord>& messages() const { return messages_; }
  std::size_t Count() const { return messages_.size(); }
  const MessageRecord* Find(RecordId id) const;

  // A new, empty message in this folder (its record is written at once).
  [[nodiscard]] StorageResult CreateMessage(std::unique_ptr<CElDBMimeMessage>* out);
  [[nodiscard]] StorageResult OpenMessage(RecordId id, std::unique_ptr<CElDBMimeMessage>* out);
  [[nodiscard]] StorageResult MoveMessage(RecordId id, MailFolder& target);
  // Outside Deleted: moves the message to Deleted. Inside Deleted: the record
  // stays as a link (flag kMessageLink) and its body chunks are deleted.
  [[nodiscard]] StorageResult DeleteMessage(RecordId id);
  // Sets or clears flags of a message record.
  [[nodiscard]] StorageResult SetFlags(RecordId id, std::uint32_t set, std::uint32_t clear);
  // Writes the folder record (counter, unread count).
  [[nodiscard]] StorageResult Save();

 private:
  friend class MailStorage;
  friend class CElDBMimeMessage;
  explicit MailFolder(MailStorage* storage) : storage_(storage) {}
  MessageRecord* FindMutable(RecordId id);

  MailStorage* storage_;
  RecordId id_ = 0;
  RecordId parent_ = 0;
  FolderType type_ = FolderType::kRoot;
  std::u16string name_;
  std::uint32_t counter_ = 0;
  std::uint32_t unread_ = 0;
  std::vector<MessageRecord> messages_;
};

class MailStorage {
 public:
  // Makes a new volume file at `path` with the four tables, the Info record,
  // the root folder (named `name`) and the five standard folders. Refuses
  // (kStorageFileExists) when the file is there; on any other failure nothing
  // is left at `path`.
  [[nodiscard]] static StorageResult Create(const std::filesystem::path& path, std::u16string_view name, StorageLog log,
                                            std::unique_ptr<MailStorage>* out);
  // Opens an existing volume file and reads every folder and message header.
  // Fails when the file is missing, is no volume, or breaks the layout.
  [[nodiscard]] static StorageResult Load(const std::filesystem::path& path, StorageLog log,
                                          std::unique_ptr<MailStorage>* out);
  ~MailStorage();
  MailStorage(const MailStorage&) = delete;
  MailStorage& operator=(const MailStorage&) = delete;

  const std::u16string& name() const { return name_; }
  const std::u16string& identifier() const { return identifier_; }
  std::uint32_t flags() const { return flags_; }
  const std::filesystem::path& path() const { return path_; }
  // The folder of a type, null when the storage has none.
  MailFolder* GetFolder(FolderType type) const;
  const std::vector<std::unique_ptr<MailFolder>>& folders() const { return folders_; }
  // Closes the volume file; the storage is unusable afterwards.
  void Unmount();
  bool mounted() const { return volume_ != nullptr; }

 private:
  friend class MailFolder;
  friend class CElDBMimeMessage;
  MailStorage() = default;
  [[nodiscard]] StorageResult ReadInfo();
  [[nodiscard]] StorageResult ReadFolders();
  [[nodiscard]] StorageResult ReadMessages(MailFolder& folder);
  MailFolder* FolderById(RecordId id) const;
  MessageRecord* FindRecord(RecordId id);
  void Log(std::string_view line) const {
    if (log_) log_(line);
  }
  DatabaseVolume* volume() const { return volume_.get(); }

  std::unique_ptr<DatabaseVolume> volume_;
  std::filesystem::path path_;
  StorageLog log_;
  std::u16string name_;
  std::u16string identifier_;
  std::uint32_t flags_ = 0;
  std::vector<std::unique_ptr<MailFolder>> folders_;
};

// The current time as a file time (100 ns since 1601, UTC).
std::uint64_t FileTimeNow();

// "a@x.org, Ann <b@y.org>": every mailbox of the list, groups flattened.
std::u16string AddressListText(const std::vector<mime::AddressEntry>& entries);
// The bare addresses of an address list text.
std::vector<std::string> AddressesOf(std::u16string_view list_text);

}  // namespace storage
