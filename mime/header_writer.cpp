#include "mime/header_writer.h"

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
  std::string address = platform::Utf16ToUtf8(mailbox.address);
  if (line.LineLength() + address.size() < 74) {
    if (!line.EndsWithSpace()) line.AppendAscii(" ");
  } else {
    line.FoldAtEnd();
  }
  line.AppendAscii(has_name ? "<" + address + ">" : address);
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
