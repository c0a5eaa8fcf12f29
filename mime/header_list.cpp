#include "mime/header_list.h"

#include <algorithm>

#include "mime/names.h"
#include "platform/text.h"

namespace mime {
namespace {

bool Same(std::u16string_view a, std::u16string_view b) { return platform::EqualsIgnoreAsciiCase(a, b); }

}  // namespace

const HeaderParam* HeaderField::FindParam(std::u16string_view param_name) const {
  for (const auto& p : params) {
    if (Same(p.name, param_name)) return &p;
  }
  return nullptr;
}

void HeaderField::SetParam(std::u16string_view param_name, std::u16string_view param_value) {
  for (auto& p : params) {
    if (Same(p.name, param_name)) {
      p.value = param_value;
      return;
    }
  }
  params.push_back({std::u16string(param_name), std::u16string(param_value)});
}

void HeaderField::RemoveParam(std::u16string_view param_name) {
  std::erase_if(params, [&](const HeaderParam& p) { return Same(p.name, param_name); });
}

std::u16string HeaderField::ParamText(std::u16string_view param_name) const {
  const HeaderParam* p = FindParam(param_name);
  return p ? Unquoted(p->value) : std::u16string();
}

HeaderField* HeaderList::Find(std::u16string_view name) {
  for (auto& f : fields_) {
    if (Same(f.name, name)) return &f;
  }
  return nullptr;
}

const HeaderField* HeaderList::Find(std::u16string_view name) const {
  return const_cast<HeaderList*>(this)->Find(name);
}

HeaderField& HeaderList::Add(HeaderField field) { return fields_.emplace_back(std::move(field)); }

HeaderField& HeaderList::Replace(HeaderField field) {
  if (HeaderField* existing = Find(field.name)) {
    *existing = std::move(field);
    return *existing;
  }
  return Add(std::move(field));
}

void HeaderList::Remove(std::u16string_view name) {
  std::erase_if(fields_, [&](const HeaderField& f) { return Same(f.name, name); });
}

AddressHeader* HeaderList::FindAddressHeader(std::u16string_view name) {
  for (auto& h : address_headers_) {
    if (Same(h.name, name)) return &h;
  }
  return nullptr;
}

const AddressHeader* HeaderList::FindAddressHeader(std::u16string_view name) const {
  return const_cast<HeaderList*>(this)->FindAddressHeader(name);
}

AddressHeader& HeaderList::AddressHeaderFor(std::u16string_view name) {
  if (AddressHeader* h = FindAddressHeader(name)) return *h;
  return address_headers_.emplace_back(AddressHeader{std::u16string(name), {}});
}

void HeaderList::AddMailbox(std::u16string_view header_name, Mailbox mailbox) {
  AddressHeaderFor(header_name).entries.emplace_back(std::move(mailbox));
}

void HeaderList::AddGroup(std::u16string_view header_name, AddressGroup group) {
  AddressHeaderFor(header_name).entries.emplace_back(std::move(group));
}

void HeaderList::RemoveAddressHeader(std::u16string_view name) {
  std::erase_if(address_headers_, [&](const AddressHeader& h) { return Same(h.name, name); });
}

bool HeaderList::IsAddressHeaderName(std::u16string_view name) {
  return std::any_of(std::begin(names::kAddressFields), std::end(names::kAddressFields),
                     [&](std::u16string_view n) { return Same(n, name); });
}

bool HeaderList::operator==(const HeaderList& other) const {
  auto without_version = [](const std::vector<HeaderField>& fields) {
    std::vector<const HeaderField*> out;
    for (const auto& f : fields) {
      if (!Same(f.name, names::kMimeVersion)) out.push_back(&f);
    }
    return out;
  };
  auto a = without_version(fields_), b = without_version(other.fields_);
  const HeaderField* va = Find(names::kMimeVersion);
  const HeaderField* vb = other.Find(names::kMimeVersion);
  return address_headers_ == other.address_headers_ && a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](auto* x, auto* y) { return *x == *y; }) &&
         (va && vb ? *va == *vb : va == vb);
}

bool IsQuoted(std::u16string_view text) { return text.size() >= 2 && text.front() == u'"' && text.back() == u'"'; }

std::u16string Unquoted(std::u16string_view text) {
  return std::u16string(IsQuoted(text) ? text.substr(1, text.size() - 2) : text);
}

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

std::u16string Trimmed(std::u16string_view text) {
  auto is_space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::size_t b = 0, e = text.size();
  while (b < e && is_space(text[b])) ++b;
  while (e > b && is_space(text[e - 1])) --e;
  return std::u16string(text.substr(b, e - b));
}

std::u16string DisplayNameForStorage(std::u16string_view name) {
  if (IsQuoted(name)) return std::u16string(name);
  constexpr std::u16string_view kSpecials = u",;:<>@()[]\\\".";
  if (name.find_first_of(kSpecials) == std::u16string_view::npos) return std::u16string(name);
  return Quoted(name);
}

}  // namespace mime
