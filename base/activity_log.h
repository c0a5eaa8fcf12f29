#pragma once
// The activity log: "Dictalo.log" in the installation folder, one time-stamped
// line per event of a recording stop, a delivery or a mail session. Each activity
// opens it for itself with exclusive write access (others may read), so a second
// activity running at the same time gets no log and goes on without one. The log
// is moved to "Dictalo.bak" when it has reached 204800 bytes.
//
// Line: "<thread id> - <y>.<m>.<d> <h>:<m>:<s> " (UTC, no zero padding), then "S "
// for kind 1 (sent) or "R " for kind 2 (received), the message, CR LF. One
// process-wide lock keeps every line whole.
//
// A null ActivityLog pointer means "no log"; every writer accepts it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>

namespace base {

inline constexpr std::uint64_t kLogRotationSize = 204800;

class ActivityLog {
 public:
  ~ActivityLog();
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  // Seek origins: 0 from the start, 1 from the end, 2 from the current position.
  std::int64_t Seek(std::int64_t offset, int origin);
  std::int64_t Read(void* buffer, std::size_t length);
  std::int64_t Write(const void* buffer, std::size_t length);
  std::int64_t Length() const;
  bool SetLength(std::uint64_t length);
  bool Flush();

  const std::filesystem::path& path() const { return path_; }

 private:
  friend std::unique_ptr<ActivityLog> OpenActivityLog(const std::filesystem::path& install_dir);
  ActivityLog(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  int fd_ = -1;
  std::filesystem::path path_;
};

// The log's path and its backup's path in an installation folder.
std::filesystem::path ActivityLogPath(const std::filesystem::path& install_dir);
std::filesystem::path ActivityLogBackupPath(const std::filesystem::path& log_path);

// Opens the log for appending, rotating it first when it has reached
// kLogRotationSize. Null when the log cannot be opened, or another activity holds
// it (then nothing is rotated, so the backup is never lost).
std::unique_ptr<ActivityLog> OpenActivityLog(const std::filesystem::path& install_dir);

enum LogKind : int { kLogPlain = 0, kLogSent = 1, kLogReceived = 2 };

// Writes one line; does nothing when log is null.
void WriteLogLine(ActivityLog* log, std::string_view message, int kind = kLogPlain);

// The line as WriteLogLine writes it, for a given thread and UTC time.
std::string FormatLogLine(unsigned long thread_id, int year, int month, int day, int hour, int minute, int second,
                          std::string_view message, int kind);

// The process-wide lock around log lines.
std::mutex& ActivityLogLock();

}  // namespace base
