#include "platform/reg_hive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/folders.h"

namespace platform::reg_hive {
namespace {

namespace fs = std::filesystem;

// Hives whose damage could not be repaired (read-only folder): reported once,
// not retried by every read of this process.
std::mutex unrepairable_mutex;
std::set<std::string> unrepairable;

bool IsUnrepairable(const fs::path& hive) {
  std::lock_guard lock(unrepairable_mutex);
  return unrepairable.count(hive.string()) != 0;
}

void MarkUnrepairable(const fs::path& hive) {
  std::lock_guard lock(unrepairable_mutex);
  unrepairable.insert(hive.string());
}

// flock() on the hive's lock file; closing the descriptor releases it.
class HiveLock {
 public:
  HiveLock(const fs::path& hive, int operation) {
    fs::path path = hive;
    path += ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0 && operation == LOCK_SH) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, operation) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~HiveLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool ReplaceFile(const fs::path& hive, const std::string& content) {
  return ReplaceFileAtomically(hive, content, -1) == 0;
}

struct Loaded {
  std::unique_ptr<reg_text::Node> root = std::make_unique<reg_text::Node>();
  std::vector<reg_text::Problem> problems;
  std::size_t problem_count = 0;
  int read_error = 0;  // other than a missing file
};

Loaded Load(RegistryRoot root, const fs::path& hive) {
  Loaded loaded;
  std::string bytes;
  int err = ReadWholeFile(hive, bytes);
  if (err != 0) {
    if (err != ENOENT) loaded.read_error = err;
    return loaded;
  }
  reg_text::Parsed parsed = reg_text::Parse(bytes);
  loaded.problems = std::move(parsed.problems);
  loaded.problem_count = parsed.problem_count;
  std::vector<reg_text::Problem> apply_problems;
  reg_text::Apply(*loaded.root, root, parsed.ops, &apply_problems);
  loaded.problem_count += apply_problems.size();
  loaded.problems.insert(loaded.problems.end(), apply_problems.begin(), apply_problems.end());
  return loaded;
}

// Keeps the damaged file under a name of its own (a hard link, so the hive is
// never missing); a copy where links are not possible.
fs::path KeepAside(const fs::path& hive) {
  std::string base = hive.string() + ".damaged-" + std::to_string(static_cast<long long>(std::time(nullptr)));
  for (int attempt = 1; attempt < 1000; ++attempt) {
    fs::path aside = attempt == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(attempt));
    if (::link(hive.c_str(), aside.c_str()) == 0) return aside;
    if (errno == EEXIST) continue;
    std::error_code ec;
    if (fs::copy_file(hive, aside, fs::copy_options::none, ec)) return aside;
    if (ec == std::errc::file_exists) continue;
    return {};
  }
  return {};
}

void ReportDamage(const fs::path& hive, const Loaded& loaded, const fs::path& aside, bool replaced) {
  const reg_text::Problem& first = loaded.problems.front();
  std::fprintf(stderr, "dictalo: registry hive %s is damaged (%zu unreadable line(s), first at line %zu: %s); ",
               hive.c_str(), loaded.problem_count, first.line, first.what.c_str());
  if (!aside.empty())
    std::fprintf(stderr, "the damaged file is kept as %s", aside.c_str());
  else
    std::fprintf(stderr, "the damaged file could not be kept aside");
  std::fprintf(stderr, replaced ? " and the hive now holds what could be read\n" : "; the hive could not be replaced\n");
}

}  // namespace

fs::path HivePath(RegistryRoot root) {
  return folders::ConfigDir() / (root == RegistryRoot::CurrentUser ? "HKCU.reg" : "HKLM.reg");
}

bool Modify(RegistryRoot root, const std::function<Change(reg_text::Node&)>& change) {
  fs::path hive = HivePath(root);
  std::error_code ec;
  fs::create_directories(hive.parent_path(), ec);
  HiveLock lock(hive, LOCK_EX);
  if (!lock.held()) return false;
  Loaded loaded = Load(root, hive);
  if (loaded.read_error != 0) return false;  // never overwrite a hive we could not read
  bool damaged = loaded.problem_count != 0;
  fs::path aside;
  if (damaged) aside = KeepAside(hive);
  Change result = change(*loaded.root);
  bool written = true;
  if (result == Change::Changed || damaged) {
    // A damaged hive is only replaced once its original is safe.
    written = (!damaged || !aside.empty()) && ReplaceFile(hive, reg_text::SerializeHive(*loaded.root, root));
  }
  if (damaged) {
    if (!written) {
      if (!IsUnrepairable(hive)) ReportDamage(hive, loaded, aside, false);
      MarkUnrepairable(hive);
    } else {
      ReportDamage(hive, loaded, aside, true);
    }
  }
  return written && result != Change::Refused;
}

std::unique_ptr<reg_text::Node> Read(RegistryRoot root) {
  fs::path hive = HivePath(root);
  std::error_code ec;
  if (!fs::exists(hive, ec)) return std::make_unique<reg_text::Node>();
  Loaded loaded;
  {
    HiveLock lock(hive, LOCK_SH);  // without a lock file (read-only folder) read anyway
    loaded = Load(root, hive);
  }
  if (loaded.problem_count != 0 && !IsUnrepairable(hive)) {
    Modify(root, [](reg_text::Node&) { return Change::None; });
    HiveLock lock(hive, LOCK_SH);
    loaded = Load(root, hive);
  }
  return std::move(loaded.root);
}

}  // namespace platform::reg_hive
