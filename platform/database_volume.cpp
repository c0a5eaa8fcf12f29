#include "platform/database_volume.h"

#include <sqlite3.h>

#include "platform/text.h"

namespace platform {

StorageResult StorageResultFromSqlite(int code) {
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kStorageOk;
    case SQLITE_NOMEM:
      return kStorageOutOfMemory;
    case SQLITE_FULL:
      return kStorageDiskFull;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return kStorageAccessDenied;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kStorageBusy;
    case SQLITE_CANTOPEN:
      return kStorageFileNotFound;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
      return kStorageFileCorrupt;
    case SQLITE_NOTFOUND:
      return kStorageNotFound;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
      return kStorageInvalidData;
    default:
      return kStorageFailure;
  }
}

StorageResult DatabaseVolume::Mount(const std::filesystem::path& path, MountMode mode,
                                    std::unique_ptr<DatabaseVolume>* out) {
  out->reset();
  std::error_code ec;
  if (mode == MountMode::kOpenExisting && !std::filesystem::is_regular_file(path, ec)) return kStorageFileNotFound;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
  if (mode == MountMode::kOpenAlways) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    StorageResult result = StorageResultFromSqlite(rc);
    sqlite3_close(db);
    return result;
  }
  std::unique_ptr<DatabaseVolume> volume(new DatabaseVolume(db, path));
  sqlite3_busy_timeout(db, 5000);
  // A rollback journal with full syncs: a change is on disk whole or not at all.
  // Reading the schema here also tells a file that is no volume at all.
  for (const char* pragma : {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=OFF",
                             "SELECT count(*) FROM sqlite_master"}) {
    StorageResult result = volume->Exec(pragma);
    if (result != kStorageOk) return result;
  }
  *out = std::move(volume);
  return kStorageOk;
}

DatabaseVolume::~DatabaseVolume() { sqlite3_close_v2(db_); }

StorageResult DatabaseVolume::Exec(const char* sql) {
  return StorageResultFromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

std::int64_t DatabaseVolume::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

Statement::Statement(DatabaseVolume& volume, const char* sql) {
  status_ = StorageResultFromSqlite(sqlite3_prepare_v2(volume.handle(), sql, -1, &stmt_, nullptr));
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::Bind(int index, std::int64_t value) {
  if (stmt_) sqlite3_bind_int64(stmt_, index, value);
}

void Statement::Bind(int index, std::u16string_view text) {
  if (!stmt_) return;
  std::string utf8 = platform::Utf16ToUtf8(text);
  sqlite3_bind_text(stmt_, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::BindBlob(int index, std::span<const std::uint8_t> bytes) {
  if (stmt_) sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

bool Statement::Step() {
  if (!stmt_ || status_ != kStorageOk) return false;
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) status_ = StorageResultFromSqlite(rc);
  return false;
}

StorageResult Statement::Run() {
  while (Step()) {
  }
  return status_;
}

void Statement::Reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  status_ = kStorageOk;
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::u16string Statement::Text(int column) const {
  auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  if (!text) return {};
  return platform::Utf8ToUtf16(std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))));
}

std::span<const std::uint8_t> Statement::Blob(int column) const {
  auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  if (!data || size <= 0) return {};
  return {data, static_cast<std::size_t>(size)};
}

Transaction::Transaction(DatabaseVolume& volume) : volume_(volume) {
  status_ = volume_.Exec("BEGIN IMMEDIATE");
  open_ = status_ == kStorageOk;
}

Transaction::~Transaction() {
  if (open_) (void)volume_.Exec("ROLLBACK");  // nothing of the failed change stays
}

StorageResult Transaction::Commit() {
  if (!open_) return status_ == kStorageOk ? kStorageFailure : status_;
  status_ = volume_.Exec("COMMIT");
  if (status_ == kStorageOk) open_ = false;
  return status_;
}

}  // namespace platform
