#include "platform/maildir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/file_io.h"

namespace platform {
namespace {

std::atomic<unsigned> g_delivery_count{0};

int MakeDir(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return 0;
  if (errno != EEXIST) return errno;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Host names may hold the two characters that Maildir names reserve.
std::string SafeHostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || !host[0]) return "localhost";
  std::string out;
  for (const char* p = host; *p; ++p) {
    if (*p == '/') {
      out += "\\057";
    } else if (*p == ':') {
      out += "\\072";
    } else {
      out += *p;
    }
  }
  return out;
}

std::string NameIn(MaildirSubdir subdir, const std::string& unique, std::string_view flags) {
  if (subdir == MaildirSubdir::kNew) return "new/" + unique;
  std::string sorted(flags);
  std::sort(sorted.begin(), sorted.end());
  return "cur/" + unique + ":2," + sorted;
}

// The unique part of a message name: without its folder and its flags.
std::string UniquePart(const std::string& name) {
  std::string base = std::filesystem::path(name).filename().string();
  return base.substr(0, base.find(':'));
}

}  // namespace

std::optional<Maildir> Maildir::Create(const std::filesystem::path& path, int* error) {
  int rc = 0;
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) {
    std::filesystem::create_directories(path, ec);
    if (ec) rc = ec.value();
  }
  for (const char* sub : {"", "tmp", "new", "cur"}) {
    if (rc == 0) rc = MakeDir(*sub ? path / sub : path);
  }
  if (rc != 0) {
    if (error) *error = rc;
    return std::nullopt;
  }
  return Maildir(path);
}

std::filesystem::path Maildir::SubfolderPath(const std::filesystem::path& root, std::string_view name) {
  return root / ("." + std::string(name));
}

std::string Maildir::UniqueName() {
  struct timeval now {};
  ::gettimeofday(&now, nullptr);
  return std::to_string(now.tv_sec) + ".M" + std::to_string(now.tv_usec) + "P" + std::to_string(::getpid()) + "Q" +
         std::to_string(++g_delivery_count) + "." + SafeHostName();
}

int Maildir::WriteTemp(std::string_view bytes, std::filesystem::path* temp) const {
  *temp = path_ / "tmp" / UniqueName();
  int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int rc = WriteAll(fd, bytes);
  if (rc == 0 && ::fsync(fd) != 0) rc = errno;
  if (::close(fd) != 0 && rc == 0) rc = errno;
  if (rc != 0) ::unlink(temp->c_str());
  return rc;
}

int Maildir::Deliver(std::string_view bytes, MaildirSubdir subdir, std::string_view flags, std::string* name) const {
  std::filesystem::path temp;
  if (int rc = WriteTemp(bytes, &temp)) return rc;
  std::string target = NameIn(subdir, temp.filename().string(), flags);
  if (::rename(temp.c_str(), (path_ / target).c_str()) != 0) {
    int rc = errno;
    ::unlink(temp.c_str());
    return rc;
  }
  SyncFolder(path_ / target.substr(0, 3));
  *name = target;
  return 0;
}

int Maildir::Replace(const std::string& name, std::string_view bytes) const {
  struct stat st {};
  if (::stat((path_ / name).c_str(), &st) != 0) return errno;
  std::filesystem::path temp;
  if (int rc = WriteTemp(bytes, &temp)) return rc;
  if (::rename(temp.c_str(), (path_ / name).c_str()) != 0) {
    int rc = errno;
    ::unlink(temp.c_str());
    return rc;
  }
  SyncFolder((path_ / name).parent_path());
  return 0;
}

int Maildir::MoveTo(const std::string& name, const Maildir& target, MaildirSubdir subdir, std::string_view flags,
                    std::string* new_name) const {
  std::string moved = NameIn(subdir, UniquePart(name), flags);
  if (::rename((path_ / name).c_str(), (target.path_ / moved).c_str()) != 0) return errno;
  SyncFolder((target.path_ / moved).parent_path());
  SyncFolder((path_ / name).parent_path());
  *new_name = moved;
  return 0;
}

int Maildir::Remove(const std::string& name) const {
  if (::unlink((path_ / name).c_str()) != 0) return errno;
  SyncFolder((path_ / name).parent_path());
  return 0;
}

std::vector<std::string> Maildir::List() const {
  std::vector<std::string> names;
  for (const char* sub : {"new", "cur"}) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_ / sub, ec)) {
      std::string file = entry.path().filename().string();
      if (file.empty() || file[0] == '.') continue;
      names.push_back(std::string(sub) + "/" + file);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

int Maildir::CreateTempFile(std::filesystem::path* path) const {
  *path = path_ / "tmp" / UniqueName();
  int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

}  // namespace platform
