#pragma once
// Helpers of the storage tests: a temporary folder, a captured storage log,
// raw looks at the volume file, and a note-like message.

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "mime/message_builder.h"
#include "mime/note_message.h"
#include "storage/db_mime_message.h"
#include "storage/mail_storage.h"

namespace storage::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "storage-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct LogLines {
  std::vector<std::string> lines;
  StorageLog sink() {
    return [this](std::string_view line) { lines.emplace_back(line); };
  }
};

// The first column of every row of a query on the file, as text.
inline std::vector<std::string> Query(const std::filesystem::path& file, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
          if (c) row += "|";
          auto* text = sqlite3_column_text(stmt, c);
          row += text ? reinterpret_cast<const char*>(text) : "";
        }
        rows.push_back(row);
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return rows;
}

inline void Execute(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

inline std::string ReadFileBytesForTest(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(n, '\0');
  for (auto& c : bytes) c = static_cast<char>(gen());
  return bytes;
}

// Builds a note message into `message` with `attachment` as its file.
inline mime::MimeResult BuildNote(CElDBMimeMessage& message, const std::filesystem::path& attachment,
                                  std::u16string subject = u"Voice note") {
  mime::NoteMessageRequest request;
  request.from = u"alice@example.org";
  request.to = u"Bob <bob@example.org>";
  request.subject = std::move(subject);
  request.attachments.push_back({attachment, "audio/x-wav"});
  return mime::BuildMessage(mime::ComposeNoteMessage(request), &message.mime());
}

}  // namespace storage::test
