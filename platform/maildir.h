#pragma once
// Maildir folders: tmp/, new/ and cur/ under one directory, subfolders of a root
// named "<root>/.<name>" (Maildir++), as mail sync tools and mail readers expect.
//
// A message is written under tmp/, synced, and only then renamed into new/ or
// cur/, so a reader, or a sync tool running at the same moment, sees it whole or
// not at all; a crash leaves at most a stray file in tmp/. Messages in cur/ carry
// their flags after ":2," ("D" draft, "S" seen).
//
// Names returned and taken by these calls are relative to the folder:
// "new/<unique>" or "cur/<unique>:2,<flags>". Results are 0 or an errno value.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MaildirSubdir { kNew, kCur };

class Maildir {
 public:
  // Opens the folder, creating it with tmp/, new/ and cur/ (mode 0700) where
  // missing. nullopt, with the errno in *error, when that fails or the path is no
  // directory.
  static std::optional<Maildir> Create(const std::filesystem::path& path, int* error = nullptr);
  // The Maildir++ subfolder "name" of a root: "<root>/.<name>".
  static std::filesystem::path SubfolderPath(const std::filesystem::path& root, std::string_view name);
  // A name no other delivery uses: "<seconds>.M<microseconds>P<pid>Q<count>.<host>".
  static std::string UniqueName();

  const std::filesystem::path& path() const { return path_; }

  // Delivers bytes as a new message into new/ or into cur/ with flags.
  [[nodiscard]] int Deliver(std::string_view bytes, MaildirSubdir subdir, std::string_view flags, std::string* name) const;
  // Gives an existing message new content; readers see the old or the new.
  [[nodiscard]] int Replace(const std::string& name, std::string_view bytes) const;
  // Moves a message into another folder of the same file system, into new/ or
  // into cur/ with flags; *new_name is its name there.
  [[nodiscard]] int MoveTo(const std::string& name, const Maildir& target, MaildirSubdir subdir, std::string_view flags,
                           std::string* new_name) const;
  // Removes a message.
  [[nodiscard]] int Remove(const std::string& name) const;
  // The messages of new/ and cur/, sorted by name.
  std::vector<std::string> List() const;
  // A new empty file under tmp/ for content still being written (the caller
  // removes it); its path goes to *path.
  [[nodiscard]] int CreateTempFile(std::filesystem::path* path) const;

 private:
  explicit Maildir(std::filesystem::path path) : path_(std::move(path)) {}
  [[nodiscard]] int WriteTemp(std::string_view bytes, std::filesystem::path* temp) const;
  std::filesystem::path path_;
};

}  // namespace platform
