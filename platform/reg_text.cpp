#include "platform/reg_text.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/text.h"

namespace platform::reg_text {
namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";
// Folded hex lines stay within the 80 columns the text form has always used.
constexpr std::size_t kLineWidth = 80;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

// Nothing left on a line but blanks or a comment.
bool RestIsEmpty(std::string_view rest) {
  rest = Trim(rest);
  return rest.empty() || rest.front() == ';';
}

bool HasUnpairedSurrogate(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

bool HasControl(std::u16string_view s) {
  return std::any_of(s.begin(), s.end(), [](char16_t c) { return c < 0x20 && c != u'\t'; });
}

// A line the reader accepts: UTF-8 that converts without loss, and no control
// bytes but tab. Anything else is damage, not text.
bool LineIsClean(std::string_view line) {
  for (char c : line) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 && b != '\t') return false;
  }
  bool ascii = std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii || Utf16ToUtf8(Utf8ToUtf16(line)) == line;
}

bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreAsciiCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to max_digits hex digits at the start of s; advances pos past them.
bool ParseHexNumber(std::string_view s, std::size_t& pos, std::size_t max_digits, std::uint32_t& value) {
  std::size_t start = pos;
  value = 0;
  while (pos < s.size() && HexDigit(s[pos]) >= 0 && pos - start < max_digits) {
    value = (value << 4) | static_cast<std::uint32_t>(HexDigit(s[pos]));
    ++pos;
  }
  return pos > start;
}

// A quoted name or text with the two escapes \\ and \". Any other backslash is
// kept as it stands. pos is at the opening quote and ends after the closing one.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  ++pos;
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
      out.push_back(s[pos + 1]);
      pos += 2;
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out.push_back(c);
      ++pos;
    }
  }
  return false;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
  out.push_back('"');
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

bool ParseHexList(std::string_view list, std::vector<std::uint8_t>& bytes) {
  std::size_t cut = list.find(';');
  if (cut != std::string_view::npos) list = list.substr(0, cut);
  list = Trim(list);
  if (list.empty()) return true;
  std::size_t pos = 0;
  while (true) {
    std::size_t comma = list.find(',', pos);
    std::string_view item = Trim(list.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
    bool last = comma == std::string_view::npos;
    if (item.empty()) return last && !bytes.empty();  // one trailing comma is fine
    if (item.size() > 2) return false;
    std::size_t p = 0;
    std::uint32_t v = 0;
    if (!ParseHexNumber(item, p, 2, v) || p != item.size()) return false;
    bytes.push_back(static_cast<std::uint8_t>(v));
    if (last) return true;
    pos = comma + 1;
  }
}

std::u16string Utf16LeBytesToText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text = Utf16FromLeBytes(bytes);
  if (!text.empty() && text.back() == u'\0') text.pop_back();  // the stored terminator
  return text;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : lines_(SplitLines(text)) {}

  Parsed Run() {
    bool header_seen = false;
    for (index_ = 0; index_ < lines_.size(); ++index_) {
      std::string_view raw = lines_[index_];
      if (!LineIsClean(raw)) {
        Report("unreadable bytes");
        continue;
      }
      std::string_view line = Trim(raw);
      if (line.empty()) continue;
      if (!header_seen) {
        header_seen = true;
        if (line == kHeader || line == kRegedit4) continue;
        Report("missing \"" + std::string(kHeader) + "\" line");
      }
      if (line.front() == ';') continue;
      if (line.front() == '[')
        Section(line);
      else if (line.front() == '"' || line.front() == '@')
        Value(line);
      else
        Report("neither a [key] nor a value line");
    }
    return std::move(result_);
  }

 private:
  enum class State { BeforeFirstSection, InKey, InDeletedKey, InBadSection };

  void Report(std::string what) { ReportAt(index_ + 1, std::move(what)); }
  void ReportAt(std::size_t line, std::string what) {
    if (result_.problems.size() < kMaxProblems) result_.problems.push_back({line, std::move(what)});
    ++result_.problem_count;
  }

  void Section(std::string_view line) {
    state_ = State::InBadSection;
    // Normally the line ends with the bracket; otherwise a comment follows it.
    std::size_t close = line.size() - 1;
    if (line.back() != ']') {
      close = std::string_view::npos;
      for (std::size_t p = line.find(']'); p != std::string_view::npos; p = line.find(']', p + 1)) {
        if (RestIsEmpty(line.substr(p + 1))) {
          close = p;
          break;
        }
      }
      if (close == std::string_view::npos) return Report("key line without closing \"]\"");
    }
    std::string_view inner = Trim(line.substr(1, close - 1));
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner = Trim(inner.substr(1));
    std::size_t sep = inner.find('\\');
    std::string_view root_text = Trim(inner.substr(0, sep));
    std::optional<RegistryRoot> root;
    if (EqualsIgnoreAsciiCase(root_text, "HKEY_CURRENT_USER") || EqualsIgnoreAsciiCase(root_text, "HKCU"))
      root = RegistryRoot::CurrentUser;
    else if (EqualsIgnoreAsciiCase(root_text, "HKEY_LOCAL_MACHINE") || EqualsIgnoreAsciiCase(root_text, "HKLM"))
      root = RegistryRoot::LocalMachine;
    if (!root) return Report("unknown root key \"" + std::string(root_text) + "\"");
    std::vector<std::u16string> path;
    if (sep != std::string_view::npos) {
      for (const std::u16string& part : SplitPath(Utf8ToUtf16(inner.substr(sep + 1)))) {
        std::u16string_view name = Trim(part);
        if (!name.empty()) path.emplace_back(name);
      }
    }
    if (path.size() > kMaxDepth) return Report("key nested too deep");
    root_ = *root;
    path_ = path;
    result_.ops.push_back({remove ? OpKind::DeleteKey : OpKind::CreateKey, root_, std::move(path), {}, index_ + 1});
    state_ = remove ? State::InDeletedKey : State::InKey;
  }

  void Value(std::string_view line) {
    std::size_t first_line = index_ + 1;
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, pos, name)) {
      return Report("value name without closing quote");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Report("value without \"=\"");
    ++pos;
    std::string_view data = Trim(line.substr(pos));

    Op op;
    op.kind = OpKind::SetValue;
    op.line = first_line;
    op.value.name = Utf8ToUtf16(name);
    std::string problem;
    if (!data.empty() && data.front() == '-' && RestIsEmpty(data.substr(1))) {
      op.kind = OpKind::DeleteValue;
    } else if (!data.empty() && data.front() == '"') {
      std::size_t p = 0;
      std::string text;
      if (!ParseQuoted(data, p, text))
        problem = "text without closing quote";
      else if (!RestIsEmpty(data.substr(p)))
        problem = "text followed by more than a comment";
      op.value.type = RegistryType::String;
      op.value.text = Utf8ToUtf16(text);
    } else if (StartsWithIgnoreCase(data, "dword:")) {
      std::size_t p = 6;
      std::uint32_t v = 0;
      if (!ParseHexNumber(data, p, 8, v) || !RestIsEmpty(data.substr(p))) problem = "bad dword";
      op.value.type = RegistryType::Dword;
      op.value.dword = v;
    } else if (StartsWithIgnoreCase(data, "hex")) {
      problem = HexValue(data.substr(3), op.value);
    } else {
      problem = "unknown value type";
    }
    if (!problem.empty()) return ReportAt(first_line, problem);

    switch (state_) {
      case State::InKey:
        op.root = root_;
        op.path = path_;
        result_.ops.push_back(std::move(op));
        break;
      case State::BeforeFirstSection:
        ReportAt(first_line, "value before any [key] line");
        break;
      case State::InDeletedKey:  // values of a removed key mean nothing
      case State::InBadSection:  // already reported with its key line
        break;
    }
  }

  // data is what follows "hex": ":" or "(type):" and the byte list, which may go
  // on over further lines each ending in "\".
  std::string HexValue(std::string_view data, RegistryValue& value) {
    std::size_t p = 0;
    std::optional<std::uint32_t> kind;
    if (p < data.size() && data[p] == '(') {
      ++p;
      std::uint32_t k = 0;
      if (!ParseHexNumber(data, p, 8, k) || p >= data.size() || data[p] != ')') return "bad hex type";
      ++p;
      kind = k;
    }
    if (p >= data.size() || data[p] != ':') return "bad hex value";
    ++p;
    std::string joined;
    std::string_view part = data.substr(p);
    while (true) {
      part = Trim(part);
      if (part.empty() || part.back() != '\\') {
        joined.append(part);
        break;
      }
      joined.append(part.substr(0, part.size() - 1));
      // A cut-off file may follow a folded line with the next key or value;
      // those are not part of the list.
      if (index_ + 1 >= lines_.size()) break;
      std::string_view next = Trim(lines_[index_ + 1]);
      if (!LineIsClean(next) || next.empty() || next.front() == '[' || next.front() == '"' ||
          next.front() == '@' || next.front() == ';')
        break;
      ++index_;
      part = next;
    }
    std::vector<std::uint8_t> bytes;
    if (!ParseHexList(joined, bytes)) return "bad hex byte list";
    if (!kind || *kind == 0 || *kind == 3 || *kind > 5) {
      value.type = RegistryType::Binary;
      value.bytes = std::move(bytes);
    } else if (*kind == 1 || *kind == 2) {
      if (bytes.size() % 2 != 0) return "text of odd byte length";
      value.type = RegistryType::String;
      value.text = Utf16LeBytesToText(bytes);
    } else {
      if (bytes.size() != 4) return "dword of other than 4 bytes";
      value.type = RegistryType::Dword;
      value.dword = *kind == 4 ? (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24)
                               : (bytes[3] | bytes[2] << 8 | bytes[1] << 16 | static_cast<std::uint32_t>(bytes[0]) << 24);
    }
    return {};
  }

  std::vector<std::string_view> lines_;
  std::size_t index_ = 0;
  Parsed result_;
  State state_ = State::BeforeFirstSection;
  RegistryRoot root_ = RegistryRoot::CurrentUser;
  std::vector<std::u16string> path_;
};

void AppendHex(std::string& out, std::string_view prefix, const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  out.append(prefix);
  std::size_t line_start = out.rfind('\n');
  std::size_t column = out.size() - (line_start == std::string::npos ? 0 : line_start + 1);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (column + 3 >= kLineWidth) {
      out.append("\\\n  ");
      column = 2;
    }
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
    column += 2;
    if (i + 1 < bytes.size()) {
      out.push_back(',');
      ++column;
    }
  }
}

void AppendValue(std::string& out, const RegistryValue& value) {
  if (value.name.empty())
    out.push_back('@');
  else
    AppendQuoted(out, value.name);
  out.push_back('=');
  switch (value.type) {
    case RegistryType::String:
      if (!HasControl(value.text) && !HasUnpairedSurrogate(value.text)) {
        AppendQuoted(out, value.text);
      } else {
        // Line breaks and the like cannot stand in a quoted line: hex(1) holds
        // the text as UTF-16LE with its terminator, exactly.
        std::vector<std::uint8_t> bytes = Utf16ToLeBytes(value.text);
        bytes.push_back(0);
        bytes.push_back(0);
        AppendHex(out, "hex(1):", bytes);
      }
      break;
    case RegistryType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
      out.append(buf);
      break;
    }
    case RegistryType::Binary:
      AppendHex(out, "hex:", value.bytes);
      break;
  }
  out.push_back('\n');
}

}  // namespace

Node* Node::FindChild(std::u16string_view child_name) const {
  for (const auto& child : subkeys)
    if (EqualsIgnoreAsciiCase(child->name, child_name)) return child.get();
  return nullptr;
}

Node& Node::FindOrAddChild(std::u16string_view child_name) {
  if (Node* found = FindChild(child_name)) return *found;
  subkeys.push_back(std::make_unique<Node>());
  subkeys.back()->name = std::u16string(child_name);
  return *subkeys.back();
}

bool Node::RemoveChild(std::u16string_view child_name) {
  auto it = std::find_if(subkeys.begin(), subkeys.end(),
                         [&](const auto& child) { return EqualsIgnoreAsciiCase(child->name, child_name); });
  if (it == subkeys.end()) return false;
  subkeys.erase(it);
  return true;
}

const RegistryValue* Node::FindValue(std::u16string_view value_name) const {
  for (const auto& v : values)
    if (EqualsIgnoreAsciiCase(v.name, value_name)) return &v;
  return nullptr;
}

void Node::SetValue(const RegistryValue& value) {
  for (auto& v : values) {
    if (EqualsIgnoreAsciiCase(v.name, value.name)) {
      std::u16string kept = std::move(v.name);
      v = value;
      v.name = std::move(kept);
      return;
    }
  }
  values.push_back(value);
}

bool Node::RemoveValue(std::u16string_view value_name) {
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const auto& v) { return EqualsIgnoreAsciiCase(v.name, value_name); });
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

Node* Node::Find(const std::vector<std::u16string>& path) {
  Node* node = this;
  for (const auto& part : path) {
    node = node->FindChild(part);
    if (!node) return nullptr;
  }
  return node;
}

Node& Node::FindOrCreate(const std::vector<std::u16string>& path) {
  Node* node = this;
  for (const auto& part : path) node = &node->FindOrAddChild(part);
  return *node;
}

std::vector<std::u16string> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::u16string JoinPath(const std::vector<std::u16string>& path) {
  std::u16string joined;
  for (const auto& part : path) {
    if (!joined.empty()) joined.push_back(u'\\');
    joined += part;
  }
  return joined;
}

bool IsValidKeyName(std::u16string_view name) {
  return !name.empty() && Trim(name).size() == name.size() && name.find(u'\\') == std::u16string_view::npos &&
         !HasControl(name) && !HasUnpairedSurrogate(name);
}

bool IsValidValueName(std::u16string_view name) { return !HasControl(name) && !HasUnpairedSurrogate(name); }

bool IsValidPath(const std::vector<std::u16string>& path) {
  return path.size() <= kMaxDepth && std::all_of(path.begin(), path.end(), [](const auto& p) { return IsValidKeyName(p); });
}

std::string_view RootName(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

Parsed Parse(std::string_view text) {
  std::string converted;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < text.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                           static_cast<unsigned char>(text[i + 1]) << 8));
    converted = Utf16ToUtf8(wide);
    text = converted;
  } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  return Parser(text).Run();
}

std::size_t Apply(Node& hive_root, RegistryRoot root, const std::vector<Op>& ops, std::vector<Problem>* problems) {
  std::size_t applied = 0;
  auto report = [&](const Op& op, const char* what) {
    if (problems && problems->size() < kMaxProblems) problems->push_back({op.line, what});
  };
  for (const Op& op : ops) {
    if (op.root != root) {
      report(op, "key of the other root");
      continue;
    }
    switch (op.kind) {
      case OpKind::CreateKey:
        hive_root.FindOrCreate(op.path);
        break;
      case OpKind::DeleteKey: {
        if (op.path.empty()) {
          report(op, "a root key cannot be removed");
          continue;
        }
        std::vector<std::u16string> parent_path(op.path.begin(), op.path.end() - 1);
        if (Node* parent = hive_root.Find(parent_path)) parent->RemoveChild(op.path.back());
        break;
      }
      case OpKind::SetValue:
        hive_root.FindOrCreate(op.path).SetValue(op.value);
        break;
      case OpKind::DeleteValue:
        if (Node* node = hive_root.Find(op.path)) node->RemoveValue(op.value.name);
        break;
    }
    ++applied;
  }
  return applied;
}

void AppendSections(std::string& out, const Node& node, RegistryRoot root, std::vector<std::u16string>& path,
                    bool include_empty_self) {
  if (include_empty_self || !node.values.empty()) {
    out.push_back('[');
    out.append(RootName(root));
    for (const auto& part : path) {
      out.push_back('\\');
      out.append(Utf16ToUtf8(part));
    }
    out.append("]\n");
    for (const auto& value : node.values) AppendValue(out, value);
    out.push_back('\n');
  }
  for (const auto& child : node.subkeys) {
    path.push_back(child->name);
    AppendSections(out, *child, root, path, true);
    path.pop_back();
  }
}

std::string SerializeHive(const Node& hive_root, RegistryRoot root) {
  std::string out(kHeader);
  out.append("\n\n");
  std::vector<std::u16string> path;
  AppendSections(out, hive_root, root, path, false);
  return out;
}

}  // namespace platform::reg_text
