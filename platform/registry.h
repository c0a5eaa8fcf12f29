#pragma once
// The registry: two hives, HKCU and HKLM, each a text file in .reg form under
// folders::ConfigDir(). Key paths use "\" as separator; a leading or trailing "\"
// is ignored and names compare without regard to ASCII case, as on the handheld.
//
// Every change is one transaction: the hive is re-read under an advisory lock,
// changed, written to a temporary file and renamed over the hive, so two processes
// writing at once lose nothing. A damaged hive is reported on stderr, kept aside as
// "<hive>.damaged-<time>" and replaced by what could be read of it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

enum class RegistryType { String, Dword, Binary };

struct RegistryValue {
  std::u16string name;  // empty: the key's default value
  RegistryType type = RegistryType::String;
  std::u16string text;               // String
  std::uint32_t dword = 0;           // Dword
  std::vector<std::uint8_t> bytes;   // Binary
};

// A handle on one key. It holds no lock and no copy of the hive: every read sees
// the hive as it is on disk now.
class RegistryKey {
 public:
  // Opens an existing key; nullopt when it does not exist.
  static std::optional<RegistryKey> Open(RegistryRoot root, std::u16string_view path);
  // Opens the key, creating it and any missing parents; nullopt when the hive
  // cannot be written.
  static std::optional<RegistryKey> Create(RegistryRoot root, std::u16string_view path);
  // Deletes the key with all its subkeys and values. False when it did not exist
  // or the hive could not be written.
  static bool DeleteKey(RegistryRoot root, std::u16string_view path);

  RegistryRoot root() const { return root_; }
  const std::u16string& path() const { return path_; }

  // Reads of a value that is missing, or stored with another type, give nullopt.
  std::optional<RegistryValue> ReadValue(std::u16string_view name) const;
  std::optional<std::u16string> ReadString(std::u16string_view name) const;
  std::optional<std::uint32_t> ReadDword(std::u16string_view name) const;
  std::optional<std::vector<std::uint8_t>> ReadBinary(std::u16string_view name) const;

  // Writes replace the value and its type; false when the hive cannot be written
  // or the key was deleted meanwhile.
  bool WriteString(std::u16string_view name, std::u16string_view value);
  bool WriteDword(std::u16string_view name, std::uint32_t value);
  bool WriteBinary(std::u16string_view name, const std::vector<std::uint8_t>& value);
  bool WriteValue(const RegistryValue& value);
  // False when the value did not exist.
  bool DeleteValue(std::u16string_view name);

  // Names of the direct subkeys and the values, in the order they were created.
  std::vector<std::u16string> SubkeyNames() const;
  std::vector<RegistryValue> Values() const;

 private:
  RegistryKey(RegistryRoot root, std::u16string path) : root_(root), path_(std::move(path)) {}
  RegistryRoot root_;
  std::u16string path_;  // normalised: no leading or trailing "\"
};

// Export of a key and everything below it as .reg text (UTF-8), starting with the
// "Windows Registry Editor Version 5.00" line. Empty when the key does not exist.
std::string ExportRegistryKey(RegistryRoot root, std::u16string_view path);

// Import of .reg text: "[HKEY_CURRENT_USER\...]" or "[HKEY_LOCAL_MACHINE\...]" sections
// create keys, "[-...]" deletes one, "name"=... / @=... set values, "name"=- deletes
// one. Lines it cannot understand are skipped and reported through *error (the first
// one). Returns false when nothing could be written.
bool ImportRegistryText(std::string_view reg_text, std::string* error = nullptr);

}  // namespace platform
