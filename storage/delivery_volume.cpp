#include "storage/delivery_volume.h"

#include <cstdio>
#include <ctime>

namespace storage {
namespace {

std::filesystem::path WithSuffix(const std::filesystem::path& path, const std::string& suffix) {
  std::filesystem::path out = path;
  out += suffix;
  return out;
}

std::string Hex(StorageResult result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", result);
  return text;
}

bool LooksDamaged(StorageResult result) {
  return result == kStorageFileCorrupt || result == kStorageInvalidData || result == kStorageFailure;
}

}  // namespace

std::filesystem::path DeliveryVolumePath(const std::filesystem::path& install_dir) {
  return install_dir / kDeliveryVolumeFileName;
}

std::filesystem::path MoveVolumeAside(const std::filesystem::path& path) {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, ".damaged-%Y%m%d-%H%M%S", &utc);
  std::error_code ec;
  std::filesystem::path target = WithSuffix(path, stamp);
  for (int n = 1; std::filesystem::exists(target, ec) || std::filesystem::exists(WithSuffix(target, "-journal"), ec);
       ++n)
    target = WithSuffix(path, std::string(stamp) + "." + std::to_string(n));
  // The journal first: a volume without its hot journal would read as changed.
  auto journal = WithSuffix(path, "-journal");
  if (std::filesystem::exists(journal, ec)) {
    std::filesystem::rename(journal, WithSuffix(target, "-journal"), ec);
    if (ec) return {};
  }
  std::filesystem::rename(path, target, ec);
  if (ec) return {};
  return target;
}

bool DeleteVolumeFile(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(WithSuffix(path, "-journal"), ec);
  std::filesystem::remove(path, ec);
  return !ec && !std::filesystem::exists(path, ec);
}

namespace {

// A note's message is created, moved to the Outbox and only then given its
// content; a process killed in between leaves an empty message behind. It holds
// nothing to send and would keep the Outbox (and so the volume) from ever
// emptying, so it goes to Deleted when the volume is next opened.
void RemoveUnsavedNotes(MailStorage& storage, const StorageLog& log) {
  for (FolderType type : {FolderType::kDrafts, FolderType::kOutbox}) {
    MailFolder* folder = storage.GetFolder(type);
    if (folder == nullptr) continue;
    std::vector<RecordId> unsaved;
    for (const MessageRecord& record : folder->messages())
      if (record.size == 0) unsaved.push_back(record.id);
    for (RecordId id : unsaved) {
      const StorageResult r = folder->DeleteMessage(id);
      if (log) log("Removed an unsaved message (" + std::to_string(id) + "): " + (r == kStorageOk ? "done" : Hex(r)));
    }
  }
}

}  // namespace

OpenedDeliveryStorage OpenDeliveryStorage(const std::filesystem::path& install_dir, StorageLog log) {
  OpenedDeliveryStorage opened;
  std::filesystem::path path = DeliveryVolumePath(install_dir);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    opened.load_error = MailStorage::Load(path, log, &opened.storage);
    if (opened.load_error == kStorageOk) {
      RemoveUnsavedNotes(*opened.storage, log);
      return opened;
    }
    if (!LooksDamaged(opened.load_error)) {
      // Busy (another process has it open), no access, no memory: the file may
      // be fine, so it stays where it is and this delivery goes without.
      opened.result = opened.load_error;
      return opened;
    }
    opened.damaged_copy = MoveVolumeAside(path);
    if (opened.damaged_copy.empty()) {
      // Neither loadable nor movable: leave it alone rather than lose its notes.
      if (log) log("Storage file " + path.string() + " could not be loaded or moved aside");
      opened.result = opened.load_error;
      return opened;
    }
    if (log)
      log("Storage file could not be loaded (" + Hex(opened.load_error) + "); it was kept as " +
          opened.damaged_copy.string());
  }
  opened.result = MailStorage::Create(path, kDeliveryStorageName, log, &opened.storage);
  opened.created = opened.result == kStorageOk;
  return opened;
}

}  // namespace storage
