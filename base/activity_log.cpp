#include "base/activity_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "platform/process.h"
#include "platform/time_locale.h"

namespace base {
namespace {

constexpr char kLogName[] = "Dictalo.log";

}  // namespace

std::mutex& ActivityLogLock() {
  static std::mutex lock;
  return lock;
}

std::filesystem::path ActivityLogPath(const std::filesystem::path& install_dir) { return install_dir / kLogName; }

std::filesystem::path ActivityLogBackupPath(const std::filesystem::path& log_path) {
  std::string text = log_path.string();
  auto slash = text.rfind('/');
  auto dot = text.rfind('.');
  // Cut at the last full stop of the name, unless it is the name's first character.
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  if (dot != std::string::npos && dot > name_start) text.resize(dot);
  return text + ".bak";
}

std::unique_ptr<ActivityLog> OpenActivityLog(const std::filesystem::path& install_dir) {
  auto path = ActivityLogPath(install_dir);
  // Take the log first, then look at its size: checked before, another activity
  // could take, fill or rotate it in between, and its file (or the backup) would
  // be renamed from under it.
  std::lock_guard<std::mutex> hold(ActivityLogLock());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  bool unreadable = false;
  if (fd < 0) {
    // An existing log we cannot open is rotated away like a full one.
    if (errno != EACCES) return nullptr;
    unreadable = true;
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;  // another activity holds it: nothing is rotated
  }
  struct stat st {};
  bool full = unreadable || (fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= kLogRotationSize);
  if (!full) {
    lseek(fd, 0, SEEK_END);
    return std::unique_ptr<ActivityLog>(new ActivityLog(fd, path));
  }
  // Ours and full: move it to the backup (rename replaces the old backup in one
  // step) and start a new log, which must be ours as well.
  std::error_code ec;
  std::filesystem::rename(path, ActivityLogBackupPath(path), ec);
  if (fd >= 0) close(fd);
  if (ec) return nullptr;
  fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  lseek(fd, 0, SEEK_END);
  return std::unique_ptr<ActivityLog>(new ActivityLog(fd, path));
}

ActivityLog::~ActivityLog() {
  if (fd_ >= 0) close(fd_);
}

std::int64_t ActivityLog::Seek(std::int64_t offset, int origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_END : SEEK_CUR;
  return lseek(fd_, offset, whence);
}

std::int64_t ActivityLog::Read(void* buffer, std::size_t length) { return read(fd_, buffer, length); }

std::int64_t ActivityLog::Write(const void* buffer, std::size_t length) {
  // Write errors are ignored by the writers; the count says what happened.
  return platform::WriteAll(fd_, buffer, length) == 0 ? static_cast<std::int64_t>(length) : -1;
}

std::int64_t ActivityLog::Length() const {
  struct stat st {};
  return fstat(fd_, &st) == 0 ? st.st_size : -1;
}

bool ActivityLog::SetLength(std::uint64_t length) { return ftruncate(fd_, static_cast<off_t>(length)) == 0; }

bool ActivityLog::Flush() { return fdatasync(fd_) == 0; }

std::string FormatLogLine(unsigned long thread_id, int year, int month, int day, int hour, int minute, int second,
                          std::string_view message, int kind) {
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "%lu - %d.%d.%d %d:%d:%d ", thread_id, year, month, day, hour, minute,
                second);
  std::string line = prefix;
  if (kind == kLogSent) line += "S ";
  if (kind == kLogReceived) line += "R ";
  line += message;
  line += "\r\n";
  return line;
}

void WriteLogLine(ActivityLog* log, std::string_view message, int kind) {
  if (!log) return;
  std::lock_guard<std::mutex> hold(ActivityLogLock());
  auto t = platform::GetSystemTime();
  std::string line = FormatLogLine(platform::CurrentThreadId(), t.year, t.month, t.day, t.hour, t.minute, t.second,
                                   message, kind);
  log->Write(line.data(), line.size());
}

}  // namespace base
