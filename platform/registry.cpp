#include "platform/registry.h"

#include <algorithm>

#include "platform/reg_hive.h"
#include "platform/reg_text.h"

namespace platform {
namespace {

using reg_hive::Change;
using reg_text::Node;

// The path split into names, or nullopt when a name cannot be stored.
std::optional<std::vector<std::u16string>> ParsePath(std::u16string_view path) {
  auto parts = reg_text::SplitPath(path);
  if (!reg_text::IsValidPath(parts)) return std::nullopt;
  return parts;
}

// A value of the handle's key, or nullopt when the key or value is missing.
std::optional<RegistryValue> Lookup(RegistryRoot root, const std::u16string& key_path, std::u16string_view name) {
  auto hive = reg_hive::Read(root);
  Node* node = hive->Find(reg_text::SplitPath(key_path));
  if (!node) return std::nullopt;
  const RegistryValue* value = node->FindValue(name);
  if (!value) return std::nullopt;
  return *value;
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, std::u16string_view path) {
  auto parts = ParsePath(path);
  if (!parts) return std::nullopt;
  auto hive = reg_hive::Read(root);
  if (!hive->Find(*parts)) return std::nullopt;
  return RegistryKey(root, reg_text::JoinPath(*parts));
}

std::optional<RegistryKey> RegistryKey::Create(RegistryRoot root, std::u16string_view path) {
  auto parts = ParsePath(path);
  if (!parts) return std::nullopt;
  bool ok = reg_hive::Modify(root, [&](Node& hive) {
    if (hive.Find(*parts)) return Change::None;
    hive.FindOrCreate(*parts);
    return Change::Changed;
  });
  if (!ok) return std::nullopt;
  return RegistryKey(root, reg_text::JoinPath(*parts));
}

bool RegistryKey::DeleteKey(RegistryRoot root, std::u16string_view path) {
  auto parts = ParsePath(path);
  if (!parts || parts->empty()) return false;
  std::vector<std::u16string> parent_path(parts->begin(), parts->end() - 1);
  return reg_hive::Modify(root, [&](Node& hive) {
    Node* parent = hive.Find(parent_path);
    return parent && parent->RemoveChild(parts->back()) ? Change::Changed : Change::Refused;
  });
}

std::optional<RegistryValue> RegistryKey::ReadValue(std::u16string_view name) const {
  return Lookup(root_, path_, name);
}

std::optional<std::u16string> RegistryKey::ReadString(std::u16string_view name) const {
  auto value = Lookup(root_, path_, name);
  if (!value || value->type != RegistryType::String) return std::nullopt;
  return std::move(value->text);
}

std::optional<std::uint32_t> RegistryKey::ReadDword(std::u16string_view name) const {
  auto value = Lookup(root_, path_, name);
  if (!value || value->type != RegistryType::Dword) return std::nullopt;
  return value->dword;
}

std::optional<std::vector<std::uint8_t>> RegistryKey::ReadBinary(std::u16string_view name) const {
  auto value = Lookup(root_, path_, name);
  if (!value || value->type != RegistryType::Binary) return std::nullopt;
  return std::move(value->bytes);
}

bool RegistryKey::WriteString(std::u16string_view name, std::u16string_view value) {
  RegistryValue v;
  v.name = name;
  v.type = RegistryType::String;
  v.text = value;
  return WriteValue(v);
}

bool RegistryKey::WriteDword(std::u16string_view name, std::uint32_t value) {
  RegistryValue v;
  v.name = name;
  v.type = RegistryType::Dword;
  v.dword = value;
  return WriteValue(v);
}

bool RegistryKey::WriteBinary(std::u16string_view name, const std::vector<std::uint8_t>& value) {
  RegistryValue v;
  v.name = name;
  v.type = RegistryType::Binary;
  v.bytes = value;
  return WriteValue(v);
}

bool RegistryKey::WriteValue(const RegistryValue& value) {
  if (!reg_text::IsValidValueName(value.name)) return false;
  // Only the data of the value's own type is kept.
  RegistryValue stored;
  stored.name = value.name;
  stored.type = value.type;
  switch (value.type) {
    case RegistryType::String: stored.text = value.text; break;
    case RegistryType::Dword: stored.dword = value.dword; break;
    case RegistryType::Binary: stored.bytes = value.bytes; break;
  }
  auto parts = reg_text::SplitPath(path_);
  return reg_hive::Modify(root_, [&](Node& hive) {
    Node* node = hive.Find(parts);
    if (!node) return Change::Refused;
    node->SetValue(stored);
    return Change::Changed;
  });
}

bool RegistryKey::DeleteValue(std::u16string_view name) {
  auto parts = reg_text::SplitPath(path_);
  return reg_hive::Modify(root_, [&](Node& hive) {
    Node* node = hive.Find(parts);
    return node && node->RemoveValue(name) ? Change::Changed : Change::Refused;
  });
}

std::vector<std::u16string> RegistryKey::SubkeyNames() const {
  std::vector<std::u16string> names;
  auto hive = reg_hive::Read(root_);
  if (Node* node = hive->Find(reg_text::SplitPath(path_)))
    for (const auto& child : node->subkeys) names.push_back(child->name);
  return names;
}

std::vector<RegistryValue> RegistryKey::Values() const {
  auto hive = reg_hive::Read(root_);
  Node* node = hive->Find(reg_text::SplitPath(path_));
  return node ? node->values : std::vector<RegistryValue>{};
}

std::string ExportRegistryKey(RegistryRoot root, std::u16string_view path) {
  auto parts = ParsePath(path);
  if (!parts) return {};
  auto hive = reg_hive::Read(root);
  Node* node = hive->Find(*parts);
  if (!node) return {};
  // The stored spelling of every name on the way down.
  std::vector<std::u16string> stored_path;
  const Node* walk = hive.get();
  for (const auto& part : *parts) {
    walk = walk->FindChild(part);
    stored_path.push_back(walk->name);
  }
  std::string out(reg_text::kHeader);
  out.append("\n\n");
  reg_text::AppendSections(out, *node, root, stored_path, true);
  return out;
}

bool ImportRegistryText(std::string_view reg_text_in, std::string* error) {
  reg_text::Parsed parsed = reg_text::Parse(reg_text_in);
  std::vector<reg_text::Problem> problems = parsed.problems;
  std::size_t applied = 0;
  bool write_failed = false;
  for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    std::vector<reg_text::Op> ops;
    for (const auto& op : parsed.ops)
      if (op.root == root) ops.push_back(op);
    if (ops.empty()) continue;
    std::size_t count = 0;
    std::vector<reg_text::Problem> apply_problems;
    bool ok = reg_hive::Modify(root, [&](Node& hive) {
      count = reg_text::Apply(hive, root, ops, &apply_problems);
      return count ? Change::Changed : Change::None;
    });
    if (ok)
      applied += count;
    else
      write_failed = true;
    problems.insert(problems.end(), apply_problems.begin(), apply_problems.end());
  }
  if (error) {
    error->clear();
    if (write_failed) {
      *error = "the registry could not be written";
    } else if (!problems.empty()) {
      auto first = std::min_element(problems.begin(), problems.end(),
                                    [](const auto& a, const auto& b) { return a.line < b.line; });
      *error = "line " + std::to_string(first->line) + ": " + first->what;
    } else if (applied == 0) {
      *error = "no registry keys or values found";
    }
  }
  return applied != 0;
}

}  // namespace platform
