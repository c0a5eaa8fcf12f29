#include "mime/header_writer.h"

#include <algorithm>
#include <vector>

#include "mime/charset.h"
#include "mime/names.h"
#include "platform/text.h"

namespace mime {
namespace {

constexpr std::size_t kMaxNameLength = 70;
constexpr std::size_t kFoldBeforeValueAt = 72;

void AppendMaybeQuoted(HeaderLine& line, std::u16string_view text, std::string_view charset,
                       HeaderEncodingMode mode) {
  if (IsQuoted(text)) {
    line.AppendAscii("\"");
    line.AppendValue(text.substr(1, text.size() - 2), charset, mode, /*in_quotes=*/true);
    line.AppendAscii("\"");
  } else {
    line.AppendValue(text, charset, mode);
  }
}

void AppendMailbox(HeaderLine& line, const Mailbox& mailbox, std::string_view charset, HeaderEncodingMode mode) {
  const bool has_name = !mailbox.displayName.empty();
  if (has_name) {
    if (line.LineLength() + mailbox.displayName.size() > 73) line.FoldAtEnd();
    AppendMaybeQuoted(line, mailbox.displayName, charset, mode);
  }
  // An address is never encoded; a control character in it is dropped, so
  // that it cannot end the header line.
  std::u16string clean = mailbox.address;
  std::erase_if(clean, [](char16_t c) { return c < 0x20 || c == 0x7F; });
  std::string address = platform::Utf16ToUtf8(clean);
  if (line.LineLength() + address.size() < 74) {
    if (!line.EndsWithSpace()) line.AppendAscii(" ");
  } else {
    line.FoldAtEnd();
  }
  line.AppendAscii(has_name ? "<" + address + ">" : address);
}

bool IsAttrChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Beside a non-ASCII file name in an encoded word (which many readers take,
// though it is not meant for parameters), the RFC 2231 form "filename*" in
// UTF-8, in sections of a line each when it is long.
void AppendExtendedFileName(HeaderLine& line, const HeaderField& field) {
  if (!platform::EqualsIgnoreAsciiCase(field.name, names::kContentDisposition)) return;
  if (!field.FindParam(names::kFilename)) return;
  for (const HeaderParam& p : field.params) {
    if (p.name.size() > names::kFilename.size() && p.name[names::kFilename.size()] == u'*' &&
        platform::EqualsIgnoreAsciiCase(std::u16string_view(p.name).substr(0, names::kFilename.size()),
                                        names::kFilename)) {
      return;  // the part carries its own
    }
  }
  const std::u16string name = WithoutControlCharacters(field.ParamText(names::kFilename));
  if (std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; })) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> units;  // one character of the value each, never split
  for (unsigned char c : platform::Utf16ToUtf8(name)) {
    if (IsAttrChar(c)) {
      units.emplace_back(1, static_cast<char>(c));
    } else {
      units.push_back({'%', kHex[c >> 4], kHex[c & 15]});
    }
  }
  constexpr std::size_t kSection = 54;
  std::vector<std::string> sections(1, "utf-8''");
  for (const std::string& unit : units) {
    if (sections.back().size() + unit.size() > kSection) sections.emplace_back();
    sections.back() += unit;
  }
  const std::string base = HeaderNameText(names::kFilename);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::string attribute = sections.size() == 1 ? base + "*" : base + "*" + std::to_string(i) + "*";
    line.AppendAscii("; ");
    line.AppendToken(attribute + "=" + sections[i]);
  }
}

}  // namespace

std::string HeaderNameText(std::u16string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size() && i < kMaxNameLength; ++i) out.push_back(static_cast<char>(name[i] & 0x7F));
  return out;
}

std::string HeaderFieldText(const HeaderField& field, std::string_view charset, HeaderEncodingMode mode) {
  HeaderLine line(HeaderNameText(field.name) + ": ");
  if (line.LineLength() >= kFoldBeforeValueAt) line.Fold();
  if (!field.rawValue.empty()) {
    line.AppendValue(field.rawValue, charset, mode);
    return line.text() + "\r\n";
  }
  line.AppendValue(field.value, charset, mode);
  if (!field.comment.empty()) {
    // The parentheses stay outside any encoded word: inside one, the closing
    // one would be hidden and the comment would run over the parameters.
    line.AppendAscii(" (");
    line.AppendValue(field.comment, charset, mode);
    line.AppendAscii(")");
  }
  if (!field.params.empty()) {
    line.AppendAscii(";");
    for (std::size_t i = 0; i < field.params.size(); ++i) {
      if (i > 0) line.AppendAscii(";");
      line.AppendAscii(" " + HeaderNameText(field.params[i].name) + "=");
      AppendMaybeQuoted(line, field.params[i].value, charset, mode);
    }
    AppendExtendedFileName(line, field);
  }
  return line.text() + "\r\n";
}

std::string AddressHeaderText(const AddressHeader& header, std::string_view charset, HeaderEncodingMode mode,
                              MimeResult* error) {
  HeaderLine line(HeaderNameText(header.name) + ":");
  if (line.LineLength() >= kFoldBeforeValueAt) line.Fold();
  bool first_entry = true;
  for (const AddressEntry& entry : header.entries) {
    if (const auto* mailbox = std::get_if<Mailbox>(&entry)) {
      if (mailbox->address.empty()) {
        *error = kMimeErrorNoAddress;
        continue;
      }
      if (!first_entry) line.AppendAscii(",");
      line.AppendAscii(" ");
      AppendMailbox(line, *mailbox, charset, mode);
    } else {
      const auto& group = std::get<AddressGroup>(entry);
      if (!first_entry) line.AppendAscii(",");
      line.AppendAscii(" ");
      AppendMaybeQuoted(line, group.displayName, charset, mode);
      line.AppendAscii(":");
      bool first_member = true;
      for (const Mailbox& member : group.mailboxes) {
        if (member.address.empty()) {
          *error = kMimeErrorNoAddress;
          continue;
        }
        if (!first_member) line.AppendAscii(",");
        line.AppendAscii(" ");
        AppendMailbox(line, member, charset, mode);
        first_member = false;
      }
      line.AppendAscii(";");
    }
    first_entry = false;
  }
  return line.text() + "\r\n";
}

MimeResult WriteHeaderBlock(const HeaderList& headers, ByteSink& out, std::string_view charset,
                            HeaderEncodingMode mode) {
  const std::string resolved = ResolveWriteCharset(charset);
  MimeResult address_error = kMimeOk;
  std::string block;
  for (const AddressHeader& h : headers.address_headers()) block += AddressHeaderText(h, resolved, mode, &address_error);
  if (const HeaderField* version = headers.Find(names::kMimeVersion)) block += HeaderFieldText(*version, resolved, mode);
  for (const HeaderField& f : headers.fields()) {
    if (platform::EqualsIgnoreAsciiCase(f.name, names::kMimeVersion)) continue;
    block += HeaderFieldText(f, resolved, mode);
  }
  MimeResult r = out.WriteText(block);
  return r != kMimeOk ? r : address_error;
}

}  // namespace mime
