#include "mime/message_parser.h"

#include <algorithm>
#include <map>
#include <optional>

#include "mime/charset.h"
#include "mime/header_encoding.h"
#include "mime/names.h"
#include "platform/text.h"

namespace mime {
namespace {

constexpr int kMaxDepth = 48;
constexpr std::size_t kMaxParts = 10000;

bool Same(std::u16string_view a, std::u16string_view b) { return platform::EqualsIgnoreAsciiCase(a, b); }
bool IsWs(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (IsWs(s[b]) || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (IsWs(s[e - 1]) || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

std::u16string Text(std::string_view bytes) { return DecodeHeaderText(bytes); }

// The contents of a quoted string without its quotes and quoted-pairs.
std::string Unescape(std::string_view quoted) {
  std::string out;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 2 < quoted.size()) ++i;
    out.push_back(quoted[i]);
  }
  return out;
}

bool IsQuotedString(std::string_view s) { return s.size() >= 2 && s.front() == '"' && s.back() == '"'; }

// ---- lines

struct Line {
  std::size_t begin;  // first byte
  std::size_t end;    // before the line break
  std::size_t next;   // after the line break
};

Line LineAt(const std::string& data, std::size_t pos, std::size_t limit) {
  std::size_t nl = data.find('\n', pos);
  if (nl == std::string::npos || nl >= limit) return {pos, limit, limit};
  std::size_t end = nl > pos && data[nl - 1] == '\r' ? nl - 1 : nl;
  return {pos, end, nl + 1};
}

// ---- headers

struct RawHeader {
  std::string name;
  std::string value;  // unfolded
};

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return c >= 33 && c <= 126 && c != ':'; });
}

// Reads the header block of [begin, limit); returns where the body starts.
std::size_t ReadHeaders(const std::string& data, std::size_t begin, std::size_t limit, bool first_of_message,
                        std::vector<RawHeader>* out) {
  std::size_t pos = begin;
  bool first_line = true;
  while (pos < limit) {
    Line line = LineAt(data, pos, limit);
    std::string_view text(data.data() + line.begin, line.end - line.begin);
    if (text.empty()) return line.next;  // the empty line that ends the block
    if (IsWs(text.front()) && !out->empty()) {
      out->back().value.append(text);  // a continuation: the line break goes, the white space stays
      pos = line.next;
      first_line = false;
      continue;
    }
    std::size_t colon = text.find(':');
    std::string_view name = colon == std::string_view::npos ? std::string_view() : text.substr(0, colon);
    while (!name.empty() && IsWs(name.back())) name.remove_suffix(1);
    if (!ValidName(name)) {
      if (first_line && first_of_message && text.starts_with("From ")) {  // mbox separator
        pos = line.next;
        first_line = false;
        continue;
      }
      return pos;  // not a header: the body starts here
    }
    out->push_back({std::string(name), std::string(text.substr(colon + 1))});
    pos = line.next;
    first_line = false;
  }
  return limit;
}

// ---- structured values

// Splits at top-level ";" (outside quoted strings and comments).
std::vector<std::string_view> SplitParams(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  bool quoted = false;
  int comment = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
    } else if (comment > 0) {
      if (c == '\\') ++i;
      else if (c == '(') ++comment;
      else if (c == ')') --comment;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      ++comment;
    } else if (c == ';') {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(text.substr(std::min(start, text.size())));
  return out;
}

// A character that may stand in a MIME token.
bool IsTokenChar(char c) {
  return c > 32 && c < 127 && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

struct Rfc2231Piece {
  bool extended = false;
  std::string value;
};

}  // namespace

HeaderField ParseStructuredField(std::u16string name, std::string_view text) {
  HeaderField field;
  field.name = std::move(name);
  std::vector<std::string_view> pieces = SplitParams(text);
  // The main token, with a comment taken out.
  std::string main(TrimView(pieces[0]));
  if (std::size_t open = main.find('('); open != std::string::npos) {
    std::size_t close = main.rfind(')');
    if (close == std::string::npos || close < open) close = main.size();
    // Kept as plain text: without the parentheses and escapes inside it, it
    // stays one comment when written back, encoded or not.
    std::string comment = main.substr(open + 1, close - open - 1);
    std::erase_if(comment, [](char c) { return c == '(' || c == ')' || c == '\\'; });
    field.comment = Text(comment);
    main = std::string(TrimView(main.substr(0, open))) +
           (close + 1 < main.size() ? std::string(TrimView(main.substr(close + 1))) : std::string());
  }
  // The value is a token (type "/" subtype for Content-Type). Whatever follows
  // the first character that cannot stand in one is junk, not part of the
  // type: kept, it would be written back encoded and read as another type.
  main.resize(std::find_if(main.begin(), main.end(), [](char c) {
                return c != ' ' && c != '\t' && c != '/' && !IsTokenChar(c);
              }) -
              main.begin());
  field.value = Text(TrimView(main));

  std::map<std::string, std::map<int, Rfc2231Piece>> extended;  // base name -> section -> piece
  std::vector<std::string> extended_order;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    std::string_view piece = TrimView(pieces[i]);
    std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) continue;
    std::string pname(TrimView(piece.substr(0, eq)));
    std::string_view raw = TrimView(piece.substr(eq + 1));
    // A parameter name is a token; anything else is not a parameter we can keep.
    if (pname.empty() || !std::all_of(pname.begin(), pname.end(), IsTokenChar)) {
      continue;
    }
    if (std::size_t star = pname.find('*'); star != std::string::npos) {
      std::string base = pname.substr(0, star);
      std::string rest = pname.substr(star + 1);
      Rfc2231Piece p;
      p.extended = !rest.empty() && rest.back() == '*';
      if (p.extended) rest.pop_back();
      if (rest.empty() && pname.back() == '*') p.extended = true;
      int section = 0;
      if (!rest.empty()) {
        if (rest.size() > 4 || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        section = std::stoi(rest);
      }
      p.value = IsQuotedString(raw) ? Unescape(raw) : std::string(raw);
      if (!extended.count(base)) extended_order.push_back(base);
      extended[base][section] = std::move(p);
      continue;
    }
    // A bare value that is no token (stray quotes, spaces, 8-bit bytes) is kept
    // as the text of a quoted string, so that it is written back escaped and
    // cannot swallow the parameters after it.
    std::u16string value = IsQuotedString(raw)                               ? Quoted(Text(Unescape(raw)))
                           : std::all_of(raw.begin(), raw.end(), IsTokenChar) ? Text(raw)
                                                                              : Quoted(Text(raw));
    field.params.push_back({platform::Latin1ToUtf16(pname), std::move(value)});
  }
  for (const std::string& base : extended_order) {
    std::string bytes, charset;
    bool first = true;
    for (const auto& [section, piece] : extended[base]) {
      std::string_view v = piece.value;
      if (first && piece.extended) {
        std::size_t q1 = v.find('\''), q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) {
          charset = std::string(v.substr(0, q1));
          v = v.substr(q2 + 1);
        }
      }
      bytes += piece.extended ? PercentDecode(v) : std::string(v);
      first = false;
    }
    std::u16string text = charset.empty() ? Text(bytes) : DecodeText(bytes, charset);
    std::u16string wide_base = platform::Latin1ToUtf16(base);
    field.RemoveParam(wide_base);  // the RFC 2231 form wins over a plain one
    field.params.push_back({wide_base, Quoted(text)});
  }
  return field;
}

namespace {

Mailbox ParseMailbox(std::string_view text) {
  Mailbox m;
  // Find "<" outside quoted strings.
  bool quoted = false;
  std::size_t lt = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (quoted) {
      if (text[i] == '\\') ++i;
      else if (text[i] == '"') quoted = false;
    } else if (text[i] == '"') {
      quoted = true;
    } else if (text[i] == '<') {
      lt = i;
      break;
    }
  }
  std::string_view address, display;
  if (lt != std::string_view::npos) {
    std::size_t gt = text.find('>', lt);
    address = TrimView(text.substr(lt + 1, (gt == std::string_view::npos ? text.size() : gt) - lt - 1));
    if (std::size_t colon = address.rfind(':'); colon != std::string_view::npos) address = address.substr(colon + 1);
    display = TrimView(text.substr(0, lt));
  } else {
    address = TrimView(text);
  }
  m.address = IsValidUtf8(address) ? platform::Utf8ToUtf16(address) : platform::Latin1ToUtf16(address);
  if (IsQuotedString(display)) {
    m.displayName = Quoted(Text(Unescape(display)));
  } else {
    m.displayName = Text(display);
  }
  return m;
}

}  // namespace

std::vector<AddressEntry> ParseAddressList(std::string_view text) {
  std::vector<AddressEntry> entries;
  std::optional<AddressGroup> group;
  std::string current;
  auto flush = [&] {
    if (!TrimView(current).empty()) {
      Mailbox m = ParseMailbox(current);
      if (group) {
        group->mailboxes.push_back(std::move(m));
      } else {
        entries.emplace_back(std::move(m));
      }
    }
    current.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      std::size_t start = i++;
      while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
      current.append(text.substr(start, std::min(i + 1, text.size()) - start));
    } else if (c == '(') {
      int depth = 1;
      while (++i < text.size() && depth > 0) {
        if (text[i] == '\\') ++i;
        else if (text[i] == '(') ++depth;
        else if (text[i] == ')') --depth;
      }
      --i;
      current.push_back(' ');
    } else if (c == '<') {
      std::size_t gt = text.find('>', i);
      std::size_t stop = gt == std::string_view::npos ? text.size() : gt + 1;
      current.append(text.substr(i, stop - i));
      i = stop - 1;
    } else if (c == ':' && !group) {
      group = AddressGroup{};
      std::string_view name = TrimView(current);
      group->displayName = IsQuotedString(name) ? Quoted(Text(Unescape(name))) : Text(name);
      current.clear();
    } else if (c == ',') {
      flush();
    } else if (c == ';') {
      flush();
      if (group) {
        entries.emplace_back(std::move(*group));
        group.reset();
      }
    } else {
      current.push_back(c);
    }
  }
  flush();
  if (group) entries.emplace_back(std::move(*group));
  return entries;
}

namespace {

class Parser {
 public:
  explicit Parser(const std::string& data, MimeMessage* message) : data_(data), message_(message) {}

  std::unique_ptr<CElMessagePart> ParsePart(std::size_t begin, std::size_t end, CElMultiPartPart* parent, int depth) {
    ++parts_;
    std::vector<RawHeader> raw;
    std::size_t body = ReadHeaders(data_, begin, end, parent == nullptr, &raw);
    HeaderList headers;
    for (const RawHeader& h : raw) {
      std::u16string name = platform::Latin1ToUtf16(h.name);
      if (HeaderList::IsAddressHeaderName(name)) {
        for (AddressEntry& e : ParseAddressList(h.value)) headers.AddressHeaderFor(name).entries.push_back(std::move(e));
        if (!headers.FindAddressHeader(name)) headers.AddressHeaderFor(name);
      } else if (Same(name, names::kContentType) || Same(name, names::kContentDisposition)) {
        headers.Add(ParseStructuredField(std::move(name), h.value));
      } else {
        headers.Add(HeaderField{std::move(name), Trimmed(Text(h.value)), {}, {}, {}});
      }
    }

    const HeaderField* ct = headers.Find(names::kContentType);
    std::u16string type = ct ? Trimmed(ct->value) : std::u16string();
    std::u16string major = Trimmed(type.substr(0, type.find(u'/')));
    std::u16string sub = type.find(u'/') == std::u16string::npos ? std::u16string() : Trimmed(type.substr(type.find(u'/') + 1));

    if (Same(major, names::kMultipart) && depth < kMaxDepth && parts_ < kMaxParts) {
      std::string boundary = platform::Utf16ToUtf8(ct->ParamText(names::kBoundary));
      if (!boundary.empty()) {
        auto part = std::make_unique<CElMultiPartPart>(message_, parent);
        if (ParseMultipartBody(part.get(), boundary, body, end, depth)) {
          part->headers() = std::move(headers);
          return part;
        }
      }
    }
    std::unique_ptr<CElMessagePart> part;
    bool body_text = !ct || (Same(major, names::kText) && (Same(sub, names::kPlain) || Same(sub, names::kHtml)) &&
                             !headers.Find(names::kContentDisposition));
    if (body_text) {
      part = std::make_unique<CElPlainTextPart>(message_, parent);
    } else {
      part = std::make_unique<CElMessagePart>(message_, parent);
    }
    part->headers() = std::move(headers);
    part->SetStoredBody(body, end - body);
    return part;
  }

 private:
  // Finds the next delimiter line "--boundary" (optionally closing with "--") at a
  // line start in [from, end).
  bool FindDelimiter(const std::string& boundary, std::size_t from, std::size_t end, std::size_t* at,
                     bool* closing, std::size_t* after) const {
    const std::string marker = "--" + boundary;
    std::size_t pos = from;
    while (pos < end) {
      std::size_t hit = data_.find(marker, pos);
      if (hit == std::string::npos || hit + marker.size() > end) return false;
      pos = hit + 1;
      if (hit != from && data_[hit - 1] != '\n') continue;
      std::size_t k = hit + marker.size();
      bool close = k + 2 <= end && data_[k] == '-' && data_[k + 1] == '-';
      if (close) k += 2;
      while (k < end && IsWs(data_[k])) ++k;
      if (k < end && data_[k] != '\r' && data_[k] != '\n') continue;
      if (k < end && data_[k] == '\r') ++k;
      if (k < end && data_[k] == '\n') ++k;
      *at = hit;
      *closing = close;
      *after = k;
      return true;
    }
    return false;
  }

  // Where the content before a delimiter at `at` ends: the line break before it
  // belongs to the delimiter.
  std::size_t ContentEnd(std::size_t at, std::size_t floor) const {
    if (at >= floor + 2 && data_[at - 2] == '\r' && data_[at - 1] == '\n') return at - 2;
    if (at >= floor + 1 && data_[at - 1] == '\n') return at - 1;
    return at;
  }

  bool ParseMultipartBody(CElMultiPartPart* part, const std::string& boundary, std::size_t body, std::size_t end,
                          int depth) {
    std::size_t at, after;
    bool closing;
    if (!FindDelimiter(boundary, body, end, &at, &closing, &after)) return false;
    part->set_no_preamble(ContentEnd(at, body) == body);
    while (!closing && parts_ < kMaxParts) {
      std::size_t start = after;
      std::size_t next_at, next_after;
      bool next_closing;
      if (!FindDelimiter(boundary, start, end, &next_at, &next_closing, &next_after)) {
        part->AppendChild(ParsePart(start, end, part, depth + 1));  // unterminated last part
        break;
      }
      part->AppendChild(ParsePart(start, std::max(start, ContentEnd(next_at, start)), part, depth + 1));
      after = next_after;
      closing = next_closing;
    }
    return true;
  }

  const std::string& data_;
  MimeMessage* message_;
  std::size_t parts_ = 0;
};

}  // namespace

void ParseMessage(std::string bytes, MimeMessage* message) {
  auto stored = std::make_shared<MemorySource>(std::move(bytes));
  message->SetStored(stored);
  Parser parser(stored->bytes(), message);
  message->SetRoot(parser.ParsePart(0, stored->bytes().size(), nullptr, 0));
}

MimeResult ParseMessage(const ByteSource& source, MimeMessage* message) {
  std::string bytes;
  MimeResult r = ReadAll(source, &bytes);
  if (r != kMimeOk) return r;
  ParseMessage(std::move(bytes), message);
  return kMimeOk;
}

}  // namespace mime
