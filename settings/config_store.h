#pragma once
// ConfigStore: the typed key/value store behind the settings file.
//
// Values live under nodes whose paths use "\" as separator ("\Settings",
// "\Service.{...}"); the root node is "\". Node paths and key names compare
// without regard to ASCII case and keep the spelling they were first stored with.
// Nodes and keys keep the order in which they first appeared, so a file edited by
// hand is written back with its unknown nodes and keys where they were.
//
// The text form has no types, so every value is held in its text form and each
// read converts it; a read of a missing key, or of a value that does not convert
// to the asked type, gives the caller's default. A write replaces the value (and
// with it the type).
//
// Text form (UTF-8, written with LF line ends; LF and CR LF are both read):
//   ;Automatically generated file. DO NOT MODIFY!!!
//   [\Settings]
//   key=value
// bools "true"/"false"; ints decimal; texts as they are; binary values "454C"
// followed by two upper-case hex digits per byte. A text that holds a control
// character, begins with a double quote or has leading or trailing blanks is
// written in double quotes with C escapes (\\ \" \n \r \t \xHH); on reading, a
// value that begins and ends with a double quote is unescaped and every other
// value is taken verbatim, so backslashes in plain values survive untouched.
//
// Reading is tolerant: blank lines and comment lines (";" or "#") are skipped,
// blanks around keys and values are trimmed, lines that are neither a node, a
// key=value pair nor a comment are skipped, keys after a malformed node line are
// skipped up to the next good node line, and a line longer than kMaxLineBytes or
// a key or value over its limit is skipped. A key that appears twice in a node
// takes the later value. Comments are not kept.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace settings {

class ConfigStore {
 public:
  // Limits that keep a damaged or hostile file from exhausting memory. Writes
  // beyond them fail, so whatever the store holds can be written and read back.
  static constexpr std::size_t kMaxValueBytes = 1 << 20;  // a value in its text form
  static constexpr std::size_t kMaxNameBytes = 4096;      // a key or a node path
  static constexpr std::size_t kMaxLineBytes = 4 * kMaxValueBytes + 2 * kMaxNameBytes;

  static constexpr std::string_view kHeaderLine = ";Automatically generated file. DO NOT MODIFY!!!";

  // Removes every node and key; the selected node stays selected.
  void Clear();

  // Selects the node that the key operations below address. The path is
  // normalised: empty components are dropped and a leading "\" added, so
  // "Settings", "\Settings" and "\Settings\" name the same node. Selecting does
  // not create the node; the first write does. False (and nothing changes) when
  // the path holds a control character or is longer than kMaxNameBytes.
  bool SelectNode(std::string_view path);
  const std::string& SelectedNode() const { return selected_; }

  // Reads from the selected node.
  bool HasKey(std::string_view key) const;
  bool ReadBool(std::string_view key, bool default_value) const;      // true/false/1/0, any case
  std::int32_t ReadInt(std::string_view key, std::int32_t default_value) const;  // decimal, in range
  std::string ReadText(std::string_view key, std::string_view default_value) const;  // bytes as stored
  std::u16string ReadWideText(std::string_view key, std::u16string_view default_value) const;
  // "454C" followed by an even number of hex digits; anything else is nullopt.
  std::optional<std::vector<std::uint8_t>> ReadBinary(std::string_view key) const;

  // Writes into the selected node, creating it and the key when missing. False
  // (and nothing changes) when the key name is not storable (empty, holds "=" or a
  // control character, has leading or trailing blanks, begins with "[", ";" or
  // "#", or is too long) or the value's text form is longer than kMaxValueBytes.
  bool WriteBool(std::string_view key, bool value);
  bool WriteInt(std::string_view key, std::int32_t value);
  bool WriteText(std::string_view key, std::string_view value);
  bool WriteWideText(std::string_view key, std::u16string_view value);
  bool WriteBinary(std::string_view key, std::span<const std::uint8_t> value);

  // Deletes a key of the selected node; false when it did not exist. The node
  // itself stays, even when empty.
  bool DeleteKey(std::string_view key);

  // Every node path in order, e.g. {"\Settings", "\Other\Child"}.
  std::vector<std::string> NodePaths() const;
  // Names (last components) of the direct children of a node, in the order they
  // first appear; a child counts when it or any node below it exists.
  std::vector<std::string> ChildNodeNames(std::string_view path) const;
  // Key names of the selected node, in order.
  std::vector<std::string> KeyNames() const;

  // Reads text in the form above into the store, adding to (and overwriting
  // keys of) what it holds. Never fails: what cannot be understood is skipped.
  void LoadText(std::string_view text);
  // Reads a file the same way, in bounded memory whatever its size. False when
  // the file cannot be opened; a read error part way keeps what was read.
  bool LoadFile(const std::filesystem::path& path);

  // The text form of the whole store.
  std::string ToText() const;
  // Writes the text form to a temporary file in the same folder (mode 0600: the
  // file holds passwords), flushes it to disk and renames it over `path`, so the
  // old file stays whole until the new one is complete. False on any failure, in
  // which case `path` is left as it was.
  bool SaveFile(const std::filesystem::path& path) const;

 private:
  struct Entry {
    std::string key;    // as first stored
    std::string value;  // text form, unescaped
  };
  struct Node {
    std::string path;  // normalised, as first stored
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> index;  // lower-case key -> entry
  };
  class Parser;

  Node* FindNode(std::string_view normalised_path);
  const Node* FindNode(std::string_view normalised_path) const;
  Node& GetOrCreateNode(std::string_view normalised_path);
  const std::string* FindValue(std::string_view key) const;
  bool WriteEncoded(std::string_view key, std::string value);

  std::vector<Node> nodes_;
  std::unordered_map<std::string, std::size_t> node_index_;  // lower-case path -> node
  std::string selected_ = "\\";
};

}  // namespace settings
