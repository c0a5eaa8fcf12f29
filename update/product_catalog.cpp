#include "update/product_catalog.h"

#include "platform/registry.h"
#include "platform/text.h"

namespace update {

std::optional<InstalledVersion> FindInstalledInRegistry(std::u16string_view registry_key, int product_id) {
  if (registry_key.empty()) return std::nullopt;
  std::u16string path = u"Software\\" + std::u16string(registry_key);
  auto key = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, path);
  if (!key) return std::nullopt;
  auto read = [](const platform::RegistryKey& k) {
    InstalledVersion v;
    v.major = static_cast<int>(k.ReadDword(u"MajorVersion").value_or(0));
    v.minor = static_cast<int>(k.ReadDword(u"MinorVersion").value_or(0));
    v.language = static_cast<int>(k.ReadDword(u"LangID").value_or(0));
    return v;
  };
  // A product's own key (as the setup library writes it) counts as well as one
  // of its subkeys, so "Corvane\Dictalo" finds the values written right there.
  auto own = key->ReadDword(u"ProdID");
  if (own && static_cast<int>(*own) == product_id) return read(*key);
  for (const std::u16string& name : key->SubkeyNames()) {
    auto sub = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, path + u"\\" + name);
    if (!sub) continue;
    auto id = sub->ReadDword(u"ProdID");
    if (id && static_cast<int>(*id) == product_id) return read(*sub);
  }
  return std::nullopt;
}

ProductEntry ClassifyProduct(ProductRecord record, const std::optional<InstalledVersion>& installed) {
  ProductEntry entry;
  entry.record = std::move(record);
  const ProductRecord& r = entry.record;
  std::optional<InstalledVersion> have = installed;
  if (have && have->language != 0 && r.language != 0 && have->language != r.language) have.reset();
  if (have) {
    bool older = have->major < r.major || (have->major == r.major && have->minor < r.minor);
    entry.installed = older;
    entry.up_to_date = !older;
    entry.free = older && (have->major >= r.free_upgrade_version || r.free_upgrade_version <= 1);
  } else {
    entry.free = r.free_upgrade_version == 0 && r.trial_days == 0;
  }
  return entry;
}

std::vector<ListRow> BuildRows(const std::vector<ProductEntry>& entries, std::uint32_t options) {
  std::vector<ListRow> rows;
  auto section = [&](const char16_t* heading, auto wanted, const char16_t* empty_note) {
    std::vector<ListRow> products;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const ProductEntry& e = entries[i];
      if (e.up_to_date || !wanted(e)) continue;
      products.push_back({ListRow::Kind::kProduct, {}, static_cast<int>(i)});
    }
    if (products.empty() && !empty_note) return;
    rows.push_back({ListRow::Kind::kHeading, heading, -1});
    if (products.empty()) rows.push_back({ListRow::Kind::kNote, empty_note, -1});
    rows.insert(rows.end(), products.begin(), products.end());
  };
  section(u"Software Upgrades", [](const ProductEntry& e) { return e.installed && e.record.section_limit != 2; },
          u"< Your software is up-to-date >");
  if (!(options & kHideTryNew)) {
    section(u"Try New Software", [](const ProductEntry& e) {
      return !e.installed && !e.record.recommended && !e.free && e.record.section_limit != 1;
    }, nullptr);
  }
  if (!(options & kHideRecommended)) {
    section(u"Recommended Software", [](const ProductEntry& e) {
      return !e.installed && e.record.recommended && !e.free && e.record.section_limit != 1;
    }, nullptr);
  }
  if (!(options & kHideFree)) {
    section(u"Free Software", [](const ProductEntry& e) {
      return e.free && e.record.section_limit == 0 && !e.installed;
    }, nullptr);
  }
  return rows;
}

std::u16string ProductLabel(const ProductEntry& entry, std::uint32_t options) {
  if (entry.installed && entry.free) return u"Free update";
  if (entry.installed && (options & kLabelPaidUpgrades)) return u"Paid upgrade";
  if (!entry.installed && entry.free) return u"FREE";
  if (entry.record.trial_days <= 1) return u"Try and Buy";
  return FormatConfigured(u"%d-day trial", {{{}, entry.record.trial_days, false}});
}

std::u16string FormatConfigured(std::u16string_view format, const std::vector<FormatArg>& args) {
  std::u16string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c != u'%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    char16_t conv = format[i + 1];
    if (conv == u'%') {
      out += u'%';
      ++i;
    } else if (conv == u's' && next < args.size() && args[next].is_text) {
      out += args[next++].text;
      ++i;
    } else if (conv == u'd' && next < args.size() && !args[next].is_text) {
      out += platform::Utf8ToUtf16(std::to_string(args[next++].number));
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string ProductTitle(std::u16string_view fmt_name, const ProductRecord& r) {
  return FormatConfigured(fmt_name, {{r.name, 0, true}, {{}, r.major, false}, {{}, r.minor, false}, {{}, r.build, false}});
}

}  // namespace update
