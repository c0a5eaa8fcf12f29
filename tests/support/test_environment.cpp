#include "tests/support/test_environment.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testing_support {
namespace {

const char* const kVariables[] = {"HOME",          "TMPDIR",          "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                  "XDG_CACHE_HOME", "XDG_STATE_HOME",  "XDG_RUNTIME_DIR", "XDG_DOCUMENTS_DIR"};

}  // namespace

ScopedTestHome::ScopedTestHome() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "dictalo-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  root_ = tmpl;
  for (const char* name : kVariables) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  }
  auto set = [this](const char* name, const std::string& sub) {
    auto dir = root_ / sub;
    std::filesystem::create_directories(dir);
    setenv(name, dir.c_str(), 1);
  };
  set("HOME", "home");
  set("TMPDIR", "tmp");
  set("XDG_CONFIG_HOME", "config");
  set("XDG_DATA_HOME", "data");
  set("XDG_CACHE_HOME", "cache");
  set("XDG_STATE_HOME", "state");
  set("XDG_RUNTIME_DIR", "runtime");
  set("XDG_DOCUMENTS_DIR", "home/Documents");
  std::filesystem::permissions(root_ / "runtime", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
}

ScopedTestHome::~ScopedTestHome() {
  for (const auto& [name, value] : saved_) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::filesystem::path BinaryDir() {
  const char* dir = std::getenv("DICTALO_BINARY_DIR");
  return std::filesystem::path(dir ? dir : DICTALO_DEFAULT_BINARY_DIR) / "bin";
}

std::filesystem::path SourceDir() {
  const char* dir = std::getenv("DICTALO_SOURCE_DIR");
  return std::filesystem::path(dir ? dir : DICTALO_DEFAULT_SOURCE_DIR);
}

}  // namespace testing_support
