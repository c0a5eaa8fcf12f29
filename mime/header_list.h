#pragma once
// The header fields of one part: an ordered list of fields and an ordered list of
// address headers. Lookup by name ignores case. The list owns its fields and
// address headers.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mime {

// A value stored with surrounding double quotes is written quoted; any other bare.
struct HeaderParam {
  std::u16string name;
  std::u16string value;
  bool operator==(const HeaderParam&) const = default;
};

struct HeaderField {
  std::u16string name;      // written as 7-bit ASCII, at most 70 characters
  std::u16string rawValue;  // when not empty the field is written from it alone
  std::u16string value;     // main token of a structured field ("text/plain", "attachment")
  std::u16string comment;   // written in parentheses after the value
  std::vector<HeaderParam> params;

  const HeaderParam* FindParam(std::u16string_view param_name) const;
  // Replaces the first parameter of that name, or appends one.
  void SetParam(std::u16string_view param_name, std::u16string_view param_value);
  void RemoveParam(std::u16string_view param_name);
  // The parameter's value without its surrounding quotes; empty when absent.
  std::u16string ParamText(std::u16string_view param_name) const;
  bool operator==(const HeaderField&) const = default;
};

struct Mailbox {
  std::u16string displayName;  // stored with quotes: written quoted
  std::u16string address;      // never encoded; a mailbox without one cannot be written
  bool operator==(const Mailbox&) const = default;
};

struct AddressGroup {
  std::u16string displayName;
  std::vector<Mailbox> mailboxes;
  bool operator==(const AddressGroup&) const = default;
};

using AddressEntry = std::variant<Mailbox, AddressGroup>;

struct AddressHeader {
  std::u16string name;
  std::vector<AddressEntry> entries;
  bool operator==(const AddressHeader&) const = default;
};

class HeaderList {
 public:
  HeaderField* Find(std::u16string_view name);
  const HeaderField* Find(std::u16string_view name) const;
  // Appends a field (another field of the same name may exist).
  HeaderField& Add(HeaderField field);
  // Replaces the first field of that name where it stands, or appends.
  HeaderField& Replace(HeaderField field);
  void Remove(std::u16string_view name);

  AddressHeader* FindAddressHeader(std::u16string_view name);
  const AddressHeader* FindAddressHeader(std::u16string_view name) const;
  // The address header of that name, appended when missing.
  AddressHeader& AddressHeaderFor(std::u16string_view name);
  void AddMailbox(std::u16string_view header_name, Mailbox mailbox);
  void AddGroup(std::u16string_view header_name, AddressGroup group);
  void RemoveAddressHeader(std::u16string_view name);

  const std::vector<HeaderField>& fields() const { return fields_; }
  const std::vector<AddressHeader>& address_headers() const { return address_headers_; }

  // From, To, CC, BCC, Reply-To, Sender and their Resent forms.
  static bool IsAddressHeaderName(std::u16string_view name);

  // Same address headers and fields in the same order. Where MIME-Version stands in
  // the list does not count: it is always written right after the address headers.
  bool operator==(const HeaderList& other) const;

 private:
  std::vector<HeaderField> fields_;
  std::vector<AddressHeader> address_headers_;
};

// Text helpers for stored values.
bool IsQuoted(std::u16string_view text);
std::u16string Unquoted(std::u16string_view text);
std::u16string Quoted(std::u16string_view text);
std::u16string Trimmed(std::u16string_view text);
// A display name as it must be stored: quoted when it holds characters that are
// special in an address ("," ";" ":" "<" ">" "@" "(" ")" "[" "]" "\" '"' ".").
std::u16string DisplayNameForStorage(std::u16string_view name);

}  // namespace mime
