#include "tests/support/test_environment.h"

#include <cstdint>
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

void UseTestAudio(const ScopedTestHome& home) {
  // A 44-byte PCM header for one second of 8-bit mono silence at 11025 Hz.
  const std::uint32_t samples = 11025;
  std::string wav = "RIFF";
  auto put32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) wav.push_back(static_cast<char>(v >> (8 * i))); };
  auto put16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) wav.push_back(static_cast<char>(v >> (8 * i))); };
  put32(36 + samples);
  wav += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(11025);
  put32(11025);
  put16(1);
  put16(8);
  wav += "data";
  put32(samples);
  wav.append(samples, static_cast<char>(128));
  auto path = home.root() / "silence.wav";
  WriteFileBytes(path, wav);
  setenv("DICTALO_AUDIO_INPUT", ("file:" + path.string()).c_str(), 1);
  setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
}

void StopTestAudio() {
  unsetenv("DICTALO_AUDIO_INPUT");
  unsetenv("DICTALO_AUDIO_OUTPUT");
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
