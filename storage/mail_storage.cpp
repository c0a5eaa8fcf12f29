#include "storage/mail_storage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "mime/message_parser.h"
#include "platform/text.h"
#include "storage/db_mime_message.h"

namespace storage {
namespace {

constexpr const char* kSchema[] = {
    "CREATE TABLE Info(id INTEGER PRIMARY KEY AUTOINCREMENT, f0 INTEGER, f1 INTEGER, f2 TEXT, f3 TEXT)",
    "CREATE TABLE Folders(id INTEGER PRIMARY KEY AUTOINCREMENT, f0 INTEGER, f1 INTEGER, f2 TEXT, f3 INTEGER,"
    " f4 INTEGER)",
    "CREATE INDEX Folders_sort ON Folders(f0)",
    "CREATE TABLE Messages(id INTEGER PRIMARY KEY AUTOINCREMENT, f0 INTEGER, f1 INTEGER, f2 TEXT, f3 TEXT,"
    " f4 TEXT, f5 TEXT, f6 TEXT, f7 INTEGER, f8 INTEGER, f9 INTEGER, f10 TEXT, f11 TEXT, f12 TEXT,"
    " f13 INTEGER, f14 INTEGER, f15 INTEGER)",
    "CREATE INDEX Messages_sort ON Messages(f0)",
    "CREATE TABLE Bodies(id INTEGER PRIMARY KEY AUTOINCREMENT, f0 INTEGER, f1 INTEGER, f2 BLOB)",
    "CREATE UNIQUE INDEX Bodies_sort ON Bodies(f0, f1)",
    // Walking one message's chunks and deleting them goes by message id first.
    "CREATE INDEX Bodies_message ON Bodies(f1, f0)",
};

constexpr const char* kMessageColumns =
    "id, f0, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15";

struct StandardFolder {
  FolderType type;
  const char16_t* name;
};
constexpr StandardFolder kStandardFolders[] = {{FolderType::kInbox, u"Inbox"},
                                               {FolderType::kOutbox, u"Outbox"},
                                               {FolderType::kSent, u"Sent"},
                                               {FolderType::kDeleted, u"Deleted"},
                                               {FolderType::kDrafts, u"Drafts"}};

std::string Hex(StorageResult result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", result);
  return text;
}

std::u16string NewIdentifierText() {
  std::random_device device;
  std::uint8_t bytes[16];
  for (auto& b : bytes) b = static_cast<std::uint8_t>(device());
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return platform::Utf8ToUtf16(text);
}

MessageRecord ReadMessageRow(const Statement& s) {
  MessageRecord r;
  r.id = static_cast<RecordId>(s.Int(0));
  r.folder = static_cast<RecordId>(s.Int(1));
  r.flags = static_cast<std::uint32_t>(s.Int(2));
  r.subject = s.Text(3);
  r.from = s.Text(4);
  r.to = s.Text(5);
  r.cc = s.Text(6);
  r.bcc = s.Text(7);
  r.size = static_cast<std::uint32_t>(s.Int(8));
  r.created = static_cast<std::uint64_t>(s.Int(9));
  r.saved = static_cast<std::uint64_t>(s.Int(10));
  r.identifier = s.Text(11);
  r.text11 = s.Text(12);
  r.text12 = s.Text(13);
  r.value13 = static_cast<std::uint32_t>(s.Int(14));
  r.value14 = static_cast<std::uint32_t>(s.Int(15));
  r.value15 = static_cast<std::uint32_t>(s.Int(16));
  return r;
}

bool IsUnread(const MessageRecord& r) { return (r.flags & kMessageRead) == 0; }

StorageResult WriteFolderCounts(DatabaseVolume& volume, const MailFolder& folder, std::uint32_t unread) {
  Statement s(volume, "UPDATE Folders SET f3 = ?, f4 = ? WHERE id = ?");
  s.Bind(1, static_cast<std::int64_t>(folder.counter()));
  s.Bind(2, static_cast<std::int64_t>(unread));
  s.Bind(3, static_cast<std::int64_t>(folder.id()));
  return s.Run();
}

void InsertSorted(std::vector<MessageRecord>& list, MessageRecord record) {
  auto at = std::lower_bound(list.begin(), list.end(), record.id,
                             [](const MessageRecord& r, RecordId id) { return r.id < id; });
  list.insert(at, std::move(record));
}

}  // namespace

std::uint64_t FileTimeNow() {
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
  return static_cast<std::uint64_t>(ticks) + 116444736000000000ull;
}

std::u16string AddressListText(const std::vector<mime::AddressEntry>& entries) {
  std::u16string text;
  auto add = [&text](const mime::Mailbox& box) {
    if (box.address.empty()) return;
    if (!text.empty()) text += u", ";
    text += box.displayName.empty() ? box.address : box.displayName + u" <" + box.address + u">";
  };
  for (const auto& entry : entries) {
    if (const auto* box = std::get_if<mime::Mailbox>(&entry)) {
      add(*box);
    } else {
      for (const auto& member : std::get<mime::AddressGroup>(entry).mailboxes) add(member);
    }
  }
  return text;
}

std::vector<std::string> AddressesOf(std::u16string_view list_text) {
  std::vector<std::string> out;
  auto push = [&out](const mime::Mailbox& box) {
    if (!box.address.empty()) out.push_back(platform::Utf16ToUtf8(box.address));
  };
  for (const auto& entry : mime::ParseAddressList(platform::Utf16ToUtf8(list_text))) {
    if (const auto* box = std::get_if<mime::Mailbox>(&entry)) {
      push(*box);
    } else {
      for (const auto& member : std::get<mime::AddressGroup>(entry).mailboxes) push(member);
    }
  }
  return out;
}

// ---- MailStorage ----

MailStorage::~MailStorage() = default;

StorageResult MailStorage::Create(const std::filesystem::path& path, std::u16string_view name, StorageLog log,
                                  std::unique_ptr<MailStorage>* out) {
  out->reset();
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return kStorageFileExists;
  // Built beside the target and renamed into place when complete, so that the
  // volume file is never there half-made.
  std::filesystem::path building = path;
  building += ".creating";
  std::filesystem::remove(building, ec);
  auto journal = building;
  journal += "-journal";
  std::filesystem::remove(journal, ec);
  StorageResult result;
  {
    std::unique_ptr<DatabaseVolume> volume;
    result = DatabaseVolume::Mount(building, DatabaseVolume::MountMode::kOpenAlways, &volume);
    if (result == kStorageOk) {
      Transaction transaction(*volume);
      result = transaction.status();
      for (const char* sql : kSchema)
        if (result == kStorageOk) result = volume->Exec(sql);
      if (result == kStorageOk) {
        Statement info(*volume, "INSERT INTO Info(f0, f1, f2, f3) VALUES(?, 0, ?, ?)");
        info.Bind(1, static_cast<std::int64_t>(kStorageMagic));
        info.Bind(2, name);
        info.Bind(3, u"{00000000-0000-0000-0000-000000000000}");
        result = info.Run();
      }
      RecordId root = 0;
      if (result == kStorageOk) {
        Statement folder(*volume, "INSERT INTO Folders(f0, f1, f2, f3, f4) VALUES(0, 6, ?, 0, 0)");
        folder.Bind(1, name);
        result = folder.Run();
        root = static_cast<RecordId>(volume->LastInsertId());
      }
      for (const auto& standard : kStandardFolders) {
        if (result != kStorageOk) break;
        Statement folder(*volume, "INSERT INTO Folders(f0, f1, f2, f3, f4) VALUES(?, ?, ?, 0, 0)");
        folder.Bind(1, static_cast<std::int64_t>(root));
        folder.Bind(2, static_cast<std::int64_t>(standard.type));
        folder.Bind(3, standard.name);
        result = folder.Run();
      }
      if (result == kStorageOk) result = transaction.Commit();
    }
  }
  if (result == kStorageOk) {
    std::filesystem::rename(building, path, ec);
    if (ec) result = kStorageAccessDenied;
  }
  if (result != kStorageOk) {
    std::filesystem::remove(building, ec);
    std::filesystem::remove(journal, ec);
    return result;
  }
  result = Load(path, std::move(log), out);
  if (result != kStorageOk) std::filesystem::remove(path, ec);
  return result;
}

StorageResult MailStorage::Load(const std::filesystem::path& path, StorageLog log, std::unique_ptr<MailStorage>* out) {
  out->reset();
  std::unique_ptr<MailStorage> storage(new MailStorage());
  storage->path_ = path;
  storage->log_ = std::move(log);
  storage->Log("Loading storage: " + path.filename().string());
  StorageResult result = DatabaseVolume::Mount(path, DatabaseVolume::MountMode::kOpenExisting, &storage->volume_);
  if (result == kStorageOk) result = storage->ReadInfo();
  if (result == kStorageOk) {
    storage->Log("Storage name: " + platform::Utf16ToUtf8(storage->name_));
    result = storage->ReadFolders();
  }
  if (result != kStorageOk) {
    storage->Log("Storage loading error: " + Hex(result));
    return result;
  }
  storage->Log("Storage loaded");
  *out = std::move(storage);
  return kStorageOk;
}

StorageResult MailStorage::ReadInfo() {
  Statement s(*volume_, "SELECT f0, f1, f2, f3 FROM Info ORDER BY id LIMIT 1");
  if (!s.Step()) return s.status() != kStorageOk ? s.status() : kStorageInvalidData;
  if (static_cast<std::uint32_t>(s.Int(0)) != kStorageMagic) return kStorageInvalidData;
  flags_ = static_cast<std::uint32_t>(s.Int(1));
  name_ = s.Text(2);
  identifier_ = s.Text(3);
  return kStorageOk;
}

StorageResult MailStorage::ReadFolders() {
  // The root, then its children in the order of the parent-id sort.
  std::vector<RecordId> parents;
  {
    Statement s(*volume_, "SELECT id, f0, f1, f2, f3, f4 FROM Folders WHERE f1 = 6 ORDER BY id LIMIT 1");
    if (!s.Step()) return s.status() != kStorageOk ? s.status() : kStorageInvalidData;
    auto root = std::unique_ptr<MailFolder>(new MailFolder(this));
    root->id_ = static_cast<RecordId>(s.Int(0));
    root->parent_ = static_cast<RecordId>(s.Int(1));
    root->type_ = FolderType::kRoot;
    root->name_ = s.Text(3);
    root->counter_ = static_cast<std::uint32_t>(s.Int(4));
    parents.push_back(root->id_);
    folders_.push_back(std::move(root));
  }
  for (std::size_t i = 0; i < parents.size(); ++i) {
    Statement s(*volume_, "SELECT id, f0, f1, f2, f3, f4 FROM Folders WHERE f0 = ? ORDER BY f0, id");
    s.Bind(1, static_cast<std::int64_t>(parents[i]));
    while (s.Step()) {
      std::uint32_t type = static_cast<std::uint32_t>(s.Int(2));
      if (type < 1 || type > 6) return kStorageInvalidData;
      auto folder = std::unique_ptr<MailFolder>(new MailFolder(this));
      folder->id_ = static_cast<RecordId>(s.Int(0));
      folder->parent_ = parents[i];
      folder->type_ = static_cast<FolderType>(type);
      folder->name_ = s.Text(3);
      folder->counter_ = static_cast<std::uint32_t>(s.Int(4));
      if (folders_.size() > 4096) return kStorageInvalidData;  // a cycle of parent ids
      parents.push_back(folder->id_);
      folders_.push_back(std::move(folder));
    }
    if (s.status() != kStorageOk) return s.status();
  }
  for (const auto& standard : kStandardFolders)
    if (!GetFolder(standard.type)) return kStorageInvalidData;
  for (auto& folder : folders_) {
    Log("Loading messages");
    StorageResult result = ReadMessages(*folder);
    if (result != kStorageOk) {
      Log("Folder loading error: " + Hex(result));
      return result;
    }
    Log("Folder loaded");
  }
  return kStorageOk;
}

StorageResult MailStorage::ReadMessages(MailFolder& folder) {
  std::string sql = std::string("SELECT ") + kMessageColumns + " FROM Messages WHERE f0 = ? ORDER BY id";
  Statement s(*volume_, sql.c_str());
  s.Bind(1, static_cast<std::int64_t>(folder.id_));
  folder.messages_.clear();
  folder.unread_ = 0;
  while (s.Step()) {
    MessageRecord record = ReadMessageRow(s);
    if (record.flags & kMessageSkipped) continue;
    if (IsUnread(record)) ++folder.unread_;
    folder.messages_.push_back(std::move(record));
  }
  return s.status();
}

MailFolder* MailStorage::GetFolder(FolderType type) const {
  for (const auto& folder : folders_)
    if (folder->type_ == type) return folder.get();
  return nullptr;
}

MailFolder* MailStorage::FolderById(RecordId id) const {
  for (const auto& folder : folders_)
    if (folder->id_ == id) return folder.get();
  return nullptr;
}

MessageRecord* MailStorage::FindRecord(RecordId id) {
  for (auto& folder : folders_)
    if (MessageRecord* r = folder->FindMutable(id)) return r;
  return nullptr;
}

void MailStorage::Unmount() { volume_.reset(); }

// ---- MailFolder ----

const MessageRecord* MailFolder::Find(RecordId id) const {
  for (const auto& r : messages_)
    if (r.id == id) return &r;
  return nullptr;
}

MessageRecord* MailFolder::FindMutable(RecordId id) {
  for (auto& r : messages_)
    if (r.id == id) return &r;
  return nullptr;
}

StorageResult MailFolder::CreateMessage(std::unique_ptr<CElDBMimeMessage>* out) {
  out->reset();
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  MessageRecord record;
  record.folder = id_;
  record.flags = kMessageRead;  // written here, so never unread
  record.created = record.saved = FileTimeNow();
  record.identifier = NewIdentifierText();
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  Statement s(*volume,
              "INSERT INTO Messages(f0, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15)"
              " VALUES(?, ?, '', '', '', '', '', 0, ?, ?, ?, '', '', 0, 0, 0)");
  s.Bind(1, static_cast<std::int64_t>(id_));
  s.Bind(2, static_cast<std::int64_t>(record.flags));
  s.Bind(3, static_cast<std::int64_t>(record.created));
  s.Bind(4, static_cast<std::int64_t>(record.saved));
  s.Bind(5, record.identifier);
  StorageResult result = s.Run();
  if (result != kStorageOk) return result;
  record.id = static_cast<RecordId>(volume->LastInsertId());
  result = transaction.Commit();
  if (result != kStorageOk) return result;
  messages_.push_back(record);
  out->reset(new CElDBMimeMessage(storage_, std::move(record)));
  return kStorageOk;
}

StorageResult MailFolder::OpenMessage(RecordId id, std::unique_ptr<CElDBMimeMessage>* out) {
  out->reset();
  const MessageRecord* record = Find(id);
  if (!record) return kStorageNotFound;
  out->reset(new CElDBMimeMessage(storage_, *record));
  return kStorageOk;
}

StorageResult MailFolder::MoveMessage(RecordId id, MailFolder& target) {
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  MessageRecord* record = FindMutable(id);
  if (!record) return kStorageNotFound;
  if (&target == this) return kStorageOk;
  bool unread = IsUnread(*record);
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  Statement s(*volume, "UPDATE Messages SET f0 = ? WHERE id = ?");
  s.Bind(1, static_cast<std::int64_t>(target.id_));
  s.Bind(2, static_cast<std::int64_t>(id));
  StorageResult result = s.Run();
  if (result == kStorageOk && unread) result = WriteFolderCounts(*volume, *this, unread_ - 1);
  if (result == kStorageOk && unread) result = WriteFolderCounts(*volume, target, target.unread_ + 1);
  if (result == kStorageOk) result = transaction.Commit();
  if (result != kStorageOk) return result;
  MessageRecord moved = std::move(*record);
  moved.folder = target.id_;
  std::erase_if(messages_, [id](const MessageRecord& r) { return r.id == id; });
  InsertSorted(target.messages_, std::move(moved));
  if (unread) {
    --unread_;
    ++target.unread_;
  }
  return kStorageOk;
}

StorageResult MailFolder::DeleteMessage(RecordId id) {
  if (type_ != FolderType::kDeleted) {
    MailFolder* deleted = storage_->GetFolder(FolderType::kDeleted);
    if (!deleted) return kStorageNotFound;
    return MoveMessage(id, *deleted);
  }
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  MessageRecord* record = FindMutable(id);
  if (!record) return kStorageNotFound;
  bool unread = IsUnread(*record);
  std::uint32_t flags = record->flags | kMessageLink;
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  Statement mark(*volume, "UPDATE Messages SET f1 = ? WHERE id = ?");
  mark.Bind(1, static_cast<std::int64_t>(flags));
  mark.Bind(2, static_cast<std::int64_t>(id));
  StorageResult result = mark.Run();
  if (result == kStorageOk) {
    Statement drop(*volume, "DELETE FROM Bodies WHERE f1 = ?");
    drop.Bind(1, static_cast<std::int64_t>(id));
    result = drop.Run();
  }
  std::uint32_t new_unread = unread && unread_ > 0 ? unread_ - 1 : unread_;
  if (result == kStorageOk) result = WriteFolderCounts(*volume, *this, new_unread);
  if (result == kStorageOk) result = transaction.Commit();
  if (result != kStorageOk) return result;
  record->flags = flags;
  unread_ = new_unread;
  return kStorageOk;
}

StorageResult MailFolder::SetFlags(RecordId id, std::uint32_t set, std::uint32_t clear) {
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  MessageRecord* record = FindMutable(id);
  if (!record) return kStorageNotFound;
  std::uint32_t flags = (record->flags & ~clear) | set;
  bool was_unread = IsUnread(*record);
  bool now_unread = (flags & kMessageRead) == 0;
  std::uint32_t new_unread = unread_ + (now_unread ? 1 : 0) - (was_unread ? 1 : 0);
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  Statement s(*volume, "UPDATE Messages SET f1 = ? WHERE id = ?");
  s.Bind(1, static_cast<std::int64_t>(flags));
  s.Bind(2, static_cast<std::int64_t>(id));
  StorageResult result = s.Run();
  if (result == kStorageOk && new_unread != unread_) result = WriteFolderCounts(*volume, *this, new_unread);
  if (result == kStorageOk) result = transaction.Commit();
  if (result != kStorageOk) return result;
  record->flags = flags;
  unread_ = new_unread;
  return kStorageOk;
}

StorageResult MailFolder::Save() {
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  StorageResult result = WriteFolderCounts(*volume, *this, unread_);
  if (result == kStorageOk) result = transaction.Commit();
  return result;
}

}  // namespace storage
