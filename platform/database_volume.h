#pragma once
// DatabaseVolume: one database volume file (SQLite) holding the storage's
// tables, and the few statement and transaction helpers the storage needs.
// Every change the storage makes runs inside one Transaction, so a process
// killed at any moment leaves the file as it was before or after the change.
//
// Result codes are the platform's (HRESULT form of the Win32 errors) so that
// they read the same in the log as on the handheld:
//   kStorageFileNotFound  volume file missing when mounting open-existing
//   kStorageFileCorrupt   not a volume, or its tables are damaged
//   kStorageInvalidData   a record that breaks the layout (bad magic, ...)
//   kStorageNotFound      no such record
//   kStorageDiskFull, kStorageAccessDenied, kStorageBusy, kStorageFailure

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

using StorageResult = std::uint32_t;

inline constexpr StorageResult kStorageOk = 0;
inline constexpr StorageResult kStorageFailure = 0x80004005u;
inline constexpr StorageResult kStorageFileNotFound = 0x80070002u;
inline constexpr StorageResult kStorageAccessDenied = 0x80070005u;
inline constexpr StorageResult kStorageInvalidData = 0x8007000Du;
inline constexpr StorageResult kStorageOutOfMemory = 0x8007000Eu;
inline constexpr StorageResult kStorageDiskFull = 0x80070070u;
inline constexpr StorageResult kStorageBusy = 0x800700AAu;
inline constexpr StorageResult kStorageNotFound = 0x80070490u;
inline constexpr StorageResult kStorageFileCorrupt = 0x80070570u;

// The SQLite result as one of the codes above.
StorageResult StorageResultFromSqlite(int sqlite_code);

class DatabaseVolume {
 public:
  enum class MountMode { kOpenExisting, kOpenAlways };

  // Opens the volume file. kOpenExisting fails with kStorageFileNotFound when
  // the file is missing and kStorageFileCorrupt when it is not a volume.
  [[nodiscard]] static StorageResult Mount(const std::filesystem::path& path, MountMode mode,
                                           std::unique_ptr<DatabaseVolume>* out);
  ~DatabaseVolume();  // unmounts
  DatabaseVolume(const DatabaseVolume&) = delete;
  DatabaseVolume& operator=(const DatabaseVolume&) = delete;

  [[nodiscard]] StorageResult Exec(const char* sql);
  std::int64_t LastInsertId() const;
  const std::filesystem::path& path() const { return path_; }
  sqlite3* handle() const { return db_; }

 private:
  DatabaseVolume(sqlite3* db, std::filesystem::path path) : db_(db), path_(std::move(path)) {}
  sqlite3* db_;
  std::filesystem::path path_;
};

// One prepared statement; binds are 1-based, columns 0-based.
class Statement {
 public:
  Statement(DatabaseVolume& volume, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // The preparation's result; every later call is a no-op when it failed.
  StorageResult status() const { return status_; }
  void Bind(int index, std::int64_t value);
  void Bind(int index, std::u16string_view text);
  void BindBlob(int index, std::span<const std::uint8_t> bytes);
  // true for a row; false at the end or on failure (then status() says which).
  bool Step();
  // Runs to the end; the statement's result.
  [[nodiscard]] StorageResult Run();
  void Reset();

  std::int64_t Int(int column) const;
  std::u16string Text(int column) const;
  std::span<const std::uint8_t> Blob(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
  StorageResult status_ = kStorageOk;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when destroyed without Commit.
class Transaction {
 public:
  explicit Transaction(DatabaseVolume& volume);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  StorageResult status() const { return status_; }
  [[nodiscard]] StorageResult Commit();

 private:
  DatabaseVolume& volume_;
  StorageResult status_;
  bool open_ = false;
};

}  // namespace platform
