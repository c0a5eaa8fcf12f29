#pragma once
// Internal to the registry: the in-memory key tree and its .reg text form (the
// hive files and export/import share one reader and one writer). Nothing here
// touches files, so the fuzzer and the tests can drive it directly.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform::reg_text {

// Registry paths nest at most this deep, as on the handheld's model.
inline constexpr std::size_t kMaxDepth = 512;

// One key: values and subkeys in the order they were created. Lookups ignore
// ASCII case; the stored spelling is the one given when the entry was created.
struct Node {
  std::u16string name;
  std::vector<RegistryValue> values;
  std::vector<std::unique_ptr<Node>> subkeys;

  Node* FindChild(std::u16string_view child_name) const;
  Node& FindOrAddChild(std::u16string_view child_name);
  bool RemoveChild(std::u16string_view child_name);
  const RegistryValue* FindValue(std::u16string_view value_name) const;
  // Replaces the value's type and data, keeping its position and spelling.
  void SetValue(const RegistryValue& value);
  bool RemoveValue(std::u16string_view value_name);

  // The node at path below this one, or null.
  Node* Find(const std::vector<std::u16string>& path);
  Node& FindOrCreate(const std::vector<std::u16string>& path);
};

// Splits a key path at "\" and drops empty components (leading, trailing or
// doubled separators). Components are kept as given.
std::vector<std::u16string> SplitPath(std::u16string_view path);
std::u16string JoinPath(const std::vector<std::u16string>& path);

// A key name the text form can hold unchanged: not empty, no control character
// but tab, no "\", no blank at either end, no unpaired surrogate.
bool IsValidKeyName(std::u16string_view name);
// A value name the text form can hold unchanged: no control character but tab,
// no unpaired surrogate. Empty is the default value.
bool IsValidValueName(std::u16string_view name);
bool IsValidPath(const std::vector<std::u16string>& path);

// "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE".
std::string_view RootName(RegistryRoot root);

enum class OpKind { CreateKey, DeleteKey, SetValue, DeleteValue };

// One instruction of a .reg text, in file order.
struct Op {
  OpKind kind = OpKind::CreateKey;
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::vector<std::u16string> path;
  RegistryValue value;  // SetValue: the value; DeleteValue: its name only
  std::size_t line = 0;
};

struct Problem {
  std::size_t line = 0;  // 1-based; 0 for the text as a whole
  std::string what;
};

struct Parsed {
  std::vector<Op> ops;
  std::vector<Problem> problems;  // the first kMaxProblems found
  std::size_t problem_count = 0;  // all of them
};
inline constexpr std::size_t kMaxProblems = 50;

// Reads .reg text: UTF-8 (an optional BOM is skipped) or UTF-16LE with its BOM.
// A nonempty text must start with "Windows Registry Editor Version 5.00" or
// "REGEDIT4"; lines starting with ";" are comments, and a comment may also follow
// a complete section or value line. Lines that do not parse are reported and
// skipped; the rest is kept. Never throws on any input.
Parsed Parse(std::string_view text);

// Applies the ops of one hive to its root node. Ops for the other root are
// reported as problems, as is an attempt to delete the root itself. Returns the
// number of ops applied.
std::size_t Apply(Node& hive_root, RegistryRoot root, const std::vector<Op>& ops,
                  std::vector<Problem>* problems);

// Writes node (found at path below root) and everything below it as section and
// value lines, without the header. The node's own section is written when it has
// values, or always when include_empty_self is set; subkeys always get one.
void AppendSections(std::string& out, const Node& node, RegistryRoot root,
                    std::vector<std::u16string>& path, bool include_empty_self);

// A whole hive file: header line, blank line, sections.
std::string SerializeHive(const Node& hive_root, RegistryRoot root);

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

}  // namespace platform::reg_text
