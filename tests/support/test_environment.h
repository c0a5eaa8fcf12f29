#pragma once
// Test isolation: a fresh home for the duration of one test.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Points HOME, TMPDIR and every XDG variable at a new temporary directory and
// removes it (and restores the variables) at the end of the scope.
class ScopedTestHome {
 public:
  ScopedTestHome();
  ~ScopedTestHome();
  ScopedTestHome(const ScopedTestHome&) = delete;
  ScopedTestHome& operator=(const ScopedTestHome&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path data_home() const { return root_ / "data"; }
  std::filesystem::path config_home() const { return root_ / "config"; }
  std::filesystem::path runtime_dir() const { return root_ / "runtime"; }

 private:
  std::filesystem::path root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Points the program's sound input at a file device playing a short silent WAV
// (then silence for ever) and its output at the null device, so recording works
// on a machine without sound. StopTestAudio undoes it.
void UseTestAudio(const ScopedTestHome& home);
void StopTestAudio();

// Whole file as bytes; empty when missing.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The build tree's folder of programs (bin/), for tests that run real processes.
std::filesystem::path BinaryDir();
std::filesystem::path SourceDir();

}  // namespace testing_support
