#include "platform/folders.h"

#include "platform/folders_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <fstream>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::folders {
namespace {

namespace fs = std::filesystem;

// An environment variable that is set and not empty.
const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// XDG folders must be absolute; anything else is ignored as the XDG rules say.
const char* AbsoluteEnv(const char* name) {
  const char* value = Env(name);
  return value && value[0] == '/' ? value : nullptr;
}

fs::path HomeDir() {
  if (const char* home = Env("HOME")) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

fs::path DataHome() {
  if (const char* dir = AbsoluteEnv("XDG_DATA_HOME")) return dir;
  return HomeDir() / ".local" / "share";
}

fs::path ConfigHome() {
  if (const char* dir = AbsoluteEnv("XDG_CONFIG_HOME")) return dir;
  return HomeDir() / ".config";
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" from user-dirs.dirs: a quoted path that is
// absolute or starts with $HOME.
std::optional<fs::path> DocumentsFromUserDirs() {
  std::ifstream in(ConfigHome() / "user-dirs.dirs");
  std::string line;
  std::optional<fs::path> found;
  while (std::getline(in, line)) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    if (line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
      found = HomeDir().string() + value.substr(5);
    else if (!value.empty() && value.front() == '/')
      found = value;
  }
  return found;
}

// The build tree's resources, for programs run from where they were built.
fs::path SourceResources() {
  fs::path here(__FILE__);
  return here.is_absolute() ? here.parent_path().parent_path() / "resources" / "share" : fs::path();
}

}  // namespace

namespace internal {

bool EnsurePrivateDir(const fs::path& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "dictalo: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
    return false;
  }
  // In a shared folder like /tmp someone else may have made it first: only a
  // real folder of ours, closed to others, will do for our sockets.
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    std::fprintf(stderr, "dictalo: %s is not a folder of this user; refusing to use it\n", dir.c_str());
    return false;
  }
  if ((st.st_mode & 07777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace internal

fs::path InstallDir() { return DataHome() / "dictalo"; }

fs::path ConfigDir() { return ConfigHome() / "dictalo"; }

fs::path PersonalDir() {
  if (const char* dir = AbsoluteEnv("XDG_DOCUMENTS_DIR")) return dir;
  if (auto dir = DocumentsFromUserDirs()) return *dir;
  return HomeDir() / "Documents";
}

fs::path WindowsDir() {
  if (const char* dir = Env("DICTALO_SHARE_DIR")) return dir;
  std::error_code ec;
  fs::path beside = ExecutableDir().parent_path() / "share" / "dictalo";
  if (fs::is_directory(beside, ec)) return beside;
  fs::path resources = SourceResources();
  if (!resources.empty() && fs::is_directory(resources, ec)) return resources;
  return beside;
}

fs::path ProgramsDir() { return DataHome() / "applications"; }

fs::path TempDir() {
  if (const char* dir = Env("TMPDIR")) return dir;
  return "/tmp";
}

fs::path PrivateTempDir() {
  fs::path dir = TempDir() / ("dictalo-notes-" + std::to_string(::getuid()));
  if (internal::EnsurePrivateDir(dir)) return dir;
  std::error_code ec;
  fs::create_directories(InstallDir(), ec);
  fs::path fallback = InstallDir() / "temporary";
  return internal::EnsurePrivateDir(fallback) ? fallback : fs::path();
}

fs::path RuntimeDir() {
  if (const char* dir = Env("XDG_RUNTIME_DIR")) return dir;
  fs::path dir = "/tmp/dictalo-" + std::to_string(::getuid());
  return internal::EnsurePrivateDir(dir) ? dir : fs::path();
}

fs::path ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : exe.parent_path();
}

}  // namespace platform::folders
