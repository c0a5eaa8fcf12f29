#pragma once
// The delivery job's storage: "Local Folders" in the volume file
// "{00000000-0000-0000-0000-000000000000}.vol" of the installation folder.
// The file exists exactly while unsent notes exist.
//
// Opening loads the file when it is there and creates it when it is not. A
// file that is there but cannot be loaded is never written over: it is moved
// aside under a dated name (its unsent notes may still be read from it), the
// move is logged and reported to the caller, and a new storage is created.

#include <filesystem>
#include <memory>
#include <string>

#include "storage/mail_storage.h"

namespace storage {

inline constexpr char kDeliveryVolumeFileName[] = "{00000000-0000-0000-0000-000000000000}.vol";
inline constexpr char16_t kDeliveryStorageName[] = u"Local Folders";

std::filesystem::path DeliveryVolumePath(const std::filesystem::path& install_dir);

struct OpenedDeliveryStorage {
  std::unique_ptr<MailStorage> storage;  // null when none could be opened or created
  StorageResult result = kStorageOk;     // why storage is null
  StorageResult load_error = kStorageOk;  // why an existing file could not be loaded
  // Where a file that could not be loaded was moved; empty when none was.
  std::filesystem::path damaged_copy;
  bool created = false;
};

OpenedDeliveryStorage OpenDeliveryStorage(const std::filesystem::path& install_dir, StorageLog log);

// Moves a volume file (and a journal left beside it) to
// "<name>.damaged-YYYYMMDD-HHMMSS[.N]" in the same folder; the new path, or
// empty when it could not be moved.
std::filesystem::path MoveVolumeAside(const std::filesystem::path& path);

// Removes a volume file that holds no unsent notes any more (and its journal).
bool DeleteVolumeFile(const std::filesystem::path& path);

}  // namespace storage
