#include "settings/config_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "platform/file_io.h"
#include "platform/text.h"

namespace settings {
namespace {

constexpr std::string_view kBinaryPrefix = "454C";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool HasControl(std::string_view s) {
  for (char c : s)
    if (IsControl(c)) return true;
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A key the text form can carry unchanged: the reader splits at the first "=",
// trims blanks and takes lines beginning with "[", ";" or "#" for something else.
bool IsStorableKey(std::string_view key) {
  if (key.empty() || key.size() > ConfigStore::kMaxNameBytes) return false;
  if (IsBlank(key.front()) || IsBlank(key.back())) return false;
  if (key.front() == '[' || key.front() == ';' || key.front() == '#') return false;
  return key.find('=') == std::string_view::npos && !HasControl(key);
}

std::optional<std::string> NormaliseNodePath(std::string_view path) {
  if (path.size() > 2 * ConfigStore::kMaxNameBytes || HasControl(path)) return std::nullopt;
  std::string out;
  while (!path.empty()) {
    std::size_t sep = path.find('\\');
    std::string_view part = TrimBlanks(path.substr(0, sep));
    if (!part.empty()) {
      out += '\\';
      out += part;
    }
    if (sep == std::string_view::npos) break;
    path.remove_prefix(sep + 1);
  }
  if (out.empty()) out.push_back('\\');
  if (out.size() > ConfigStore::kMaxNameBytes) return std::nullopt;
  return out;
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (value.front() == '"' || IsBlank(value.front()) || IsBlank(value.back())) return true;
  return HasControl(value);
}

std::string EncodeValue(std::string_view value) {
  if (!NeedsQuotes(value)) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (IsControl(c)) {
          auto b = static_cast<unsigned char>(c);
          out += "\\x";
          out += kHexDigits[b >> 4];
          out += kHexDigits[b & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

// Undoes EncodeValue. Unknown or incomplete escapes are kept as they stand, so
// hand-written quoted values lose nothing.
std::string DecodeValue(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return std::string(raw);
  std::string_view in = raw.substr(1, raw.size() - 2);
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c != '\\' || i + 1 == in.size()) {
      out += c;
      continue;
    }
    char e = in[i + 1];
    switch (e) {
      case '\\': out += '\\'; ++i; break;
      case '"': out += '"'; ++i; break;
      case 'n': out += '\n'; ++i; break;
      case 'r': out += '\r'; ++i; break;
      case 't': out += '\t'; ++i; break;
      case 'x':
        if (i + 3 < in.size() && HexValue(in[i + 2]) >= 0 && HexValue(in[i + 3]) >= 0) {
          out += static_cast<char>(HexValue(in[i + 2]) * 16 + HexValue(in[i + 3]));
          i += 3;
        } else {
          out += c;
        }
        break;
      default: out += c;
    }
  }
  return out;
}


}  // namespace

// Splits input that may arrive in pieces into lines and applies each line to the
// store. Lines are collected up to kMaxLineBytes; the rest of a longer line is
// dropped unread.
class ConfigStore::Parser {
 public:
  explicit Parser(ConfigStore& store) : store_(store) {}

  void Feed(std::string_view chunk) {
    while (!chunk.empty()) {
      std::size_t lf = chunk.find('\n');
      std::string_view piece = chunk.substr(0, lf);
      if (!overlong_) {
        if (line_.size() + piece.size() > kMaxLineBytes) {
          overlong_ = true;
          line_.clear();
          line_.shrink_to_fit();
        } else {
          line_.append(piece);
        }
      }
      if (lf == std::string_view::npos) return;
      EndLine();
      chunk.remove_prefix(lf + 1);
    }
  }

  // The last line counts even without a line end: hand-edited files often lack one.
  void Finish() {
    if (!line_.empty() || overlong_) EndLine();
  }

 private:
  void EndLine() {
    if (!overlong_) HandleLine(line_);
    line_.clear();
    overlong_ = false;
    first_line_ = false;
  }

  void HandleLine(std::string_view line) {
    if (first_line_ && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
      // A node line we cannot read would file the keys below it under the wrong
      // node; skip them until the next good node line instead.
      std::optional<std::string> path;
      if (line.size() >= 2 && line.back() == ']') path = NormaliseNodePath(line.substr(1, line.size() - 2));
      skipping_ = !path;
      if (path) {
        node_ = &store_.GetOrCreateNode(*path);
        node_path_ = std::move(*path);
      }
      return;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || skipping_) return;
    std::string_view key = TrimBlanks(line.substr(0, eq));
    if (!IsStorableKey(key)) return;
    std::string value = DecodeValue(TrimBlanks(line.substr(eq + 1)));
    if (value.size() > kMaxValueBytes) return;
    Node& node = node_ ? *node_ : store_.GetOrCreateNode(node_path_);
    node_ = &node;
    std::string folded = platform::AsciiLower(key);
    auto it = node.index.find(folded);
    if (it != node.index.end()) {
      node.entries[it->second].value = std::move(value);
    } else {
      node.index.emplace(std::move(folded), node.entries.size());
      node.entries.push_back(Entry{std::string(key), std::move(value)});
    }
  }

  ConfigStore& store_;
  std::string line_;
  bool overlong_ = false;
  bool first_line_ = true;
  bool skipping_ = false;
  std::string node_path_ = "\\";  // keys before any node line belong to the root
  Node* node_ = nullptr;          // valid until the next node is created
};

void ConfigStore::Clear() {
  nodes_.clear();
  node_index_.clear();
}

bool ConfigStore::SelectNode(std::string_view path) {
  std::optional<std::string> normalised = NormaliseNodePath(path);
  if (!normalised) return false;
  selected_ = std::move(*normalised);
  return true;
}

ConfigStore::Node* ConfigStore::FindNode(std::string_view normalised_path) {
  auto it = node_index_.find(platform::AsciiLower(normalised_path));
  return it == node_index_.end() ? nullptr : &nodes_[it->second];
}

const ConfigStore::Node* ConfigStore::FindNode(std::string_view normalised_path) const {
  auto it = node_index_.find(platform::AsciiLower(normalised_path));
  return it == node_index_.end() ? nullptr : &nodes_[it->second];
}

ConfigStore::Node& ConfigStore::GetOrCreateNode(std::string_view normalised_path) {
  if (Node* node = FindNode(normalised_path)) return *node;
  node_index_.emplace(platform::AsciiLower(normalised_path), nodes_.size());
  nodes_.push_back(Node{std::string(normalised_path), {}, {}});
  return nodes_.back();
}

const std::string* ConfigStore::FindValue(std::string_view key) const {
  const Node* node = FindNode(selected_);
  if (!node) return nullptr;
  auto it = node->index.find(platform::AsciiLower(key));
  return it == node->index.end() ? nullptr : &node->entries[it->second].value;
}

bool ConfigStore::HasKey(std::string_view key) const { return FindValue(key) != nullptr; }

bool ConfigStore::ReadBool(std::string_view key, bool default_value) const {
  const std::string* value = FindValue(key);
  if (!value) return default_value;
  if (platform::EqualsIgnoreAsciiCase(*value, "true") || *value == "1") return true;
  if (platform::EqualsIgnoreAsciiCase(*value, "false") || *value == "0") return false;
  return default_value;
}

std::int32_t ConfigStore::ReadInt(std::string_view key, std::int32_t default_value) const {
  const std::string* value = FindValue(key);
  if (!value) return default_value;
  std::string_view digits = *value;
  if (digits.starts_with('+')) {
    digits.remove_prefix(1);
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') return default_value;
  }
  std::int32_t result = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result);
  if (ec != std::errc() || end != digits.data() + digits.size()) return default_value;
  return result;
}

std::string ConfigStore::ReadText(std::string_view key, std::string_view default_value) const {
  const std::string* value = FindValue(key);
  return value ? *value : std::string(default_value);
}

std::u16string ConfigStore::ReadWideText(std::string_view key, std::u16string_view default_value) const {
  const std::string* value = FindValue(key);
  return value ? platform::Utf8ToUtf16(*value) : std::u16string(default_value);
}

std::optional<std::vector<std::uint8_t>> ConfigStore::ReadBinary(std::string_view key) const {
  const std::string* value = FindValue(key);
  if (!value || value->size() < kBinaryPrefix.size() ||
      !platform::EqualsIgnoreAsciiCase(std::string_view(*value).substr(0, kBinaryPrefix.size()), kBinaryPrefix))
    return std::nullopt;
  std::string_view hex = std::string_view(*value).substr(kBinaryPrefix.size());
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexValue(hex[i]);
    int lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return bytes;
}

bool ConfigStore::WriteEncoded(std::string_view key, std::string value) {
  if (!IsStorableKey(key) || value.size() > kMaxValueBytes) return false;
  Node& node = GetOrCreateNode(selected_);
  std::string folded = platform::AsciiLower(key);
  auto it = node.index.find(folded);
  if (it != node.index.end()) {
    node.entries[it->second].value = std::move(value);
  } else {
    node.index.emplace(std::move(folded), node.entries.size());
    node.entries.push_back(Entry{std::string(key), std::move(value)});
  }
  return true;
}

bool ConfigStore::WriteBool(std::string_view key, bool value) {
  return WriteEncoded(key, value ? "true" : "false");
}

bool ConfigStore::WriteInt(std::string_view key, std::int32_t value) {
  return WriteEncoded(key, std::to_string(value));
}

bool ConfigStore::WriteText(std::string_view key, std::string_view value) {
  if (value.size() > kMaxValueBytes) return false;
  return WriteEncoded(key, std::string(value));
}

bool ConfigStore::WriteWideText(std::string_view key, std::u16string_view value) {
  if (value.size() > kMaxValueBytes) return false;  // UTF-8 is never shorter
  return WriteEncoded(key, platform::Utf16ToUtf8(value));
}

bool ConfigStore::WriteBinary(std::string_view key, std::span<const std::uint8_t> value) {
  if (value.size() > (kMaxValueBytes - kBinaryPrefix.size()) / 2) return false;
  std::string text(kBinaryPrefix);
  text.reserve(kBinaryPrefix.size() + value.size() * 2);
  for (std::uint8_t b : value) {
    text += kHexDigits[b >> 4];
    text += kHexDigits[b & 15];
  }
  return WriteEncoded(key, std::move(text));
}

bool ConfigStore::DeleteKey(std::string_view key) {
  Node* node = FindNode(selected_);
  if (!node) return false;
  auto it = node->index.find(platform::AsciiLower(key));
  if (it == node->index.end()) return false;
  node->entries.erase(node->entries.begin() + static_cast<std::ptrdiff_t>(it->second));
  node->index.clear();
  for (std::size_t i = 0; i < node->entries.size(); ++i)
    node->index.emplace(platform::AsciiLower(node->entries[i].key), i);
  return true;
}

std::vector<std::string> ConfigStore::NodePaths() const {
  std::vector<std::string> paths;
  paths.reserve(nodes_.size());
  for (const Node& node : nodes_) paths.push_back(node.path);
  return paths;
}

std::vector<std::string> ConfigStore::ChildNodeNames(std::string_view path) const {
  std::vector<std::string> names;
  std::optional<std::string> parent = NormaliseNodePath(path);
  if (!parent) return names;
  std::string prefix = *parent == "\\" ? "\\" : *parent + "\\";
  std::unordered_map<std::string, bool> seen;
  for (const Node& node : nodes_) {
    if (node.path.size() <= prefix.size() ||
        !platform::EqualsIgnoreAsciiCase(std::string_view(node.path).substr(0, prefix.size()), prefix))
      continue;
    std::string_view rest = std::string_view(node.path).substr(prefix.size());
    std::string name(rest.substr(0, rest.find('\\')));
    if (seen.emplace(platform::AsciiLower(name), true).second) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> ConfigStore::KeyNames() const {
  std::vector<std::string> keys;
  if (const Node* node = FindNode(selected_))
    for (const Entry& entry : node->entries) keys.push_back(entry.key);
  return keys;
}

void ConfigStore::LoadText(std::string_view text) {
  Parser parser(*this);
  parser.Feed(text);
  parser.Finish();
}

bool ConfigStore::LoadFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  Parser parser(*this);
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    parser.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
  parser.Finish();
  ::close(fd);
  return true;
}

std::string ConfigStore::ToText() const {
  std::string out(kHeaderLine);
  out += '\n';
  for (const Node& node : nodes_) {
    out += '[';
    out += node.path;
    out += "]\n";
    for (const Entry& entry : node.entries) {
      out += entry.key;
      out += '=';
      out += EncodeValue(entry.value);
      out += '\n';
    }
  }
  return out;
}

bool ConfigStore::SaveFile(const std::filesystem::path& path) const {
  if (path.empty() || !path.has_filename()) return false;
  // The file holds passwords: 0600 whatever it had.
  return platform::ReplaceFileAtomically(path, ToText(), 0600) == 0;
}

}  // namespace settings
