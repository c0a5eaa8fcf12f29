#include "update/product_list.h"

#include <climits>

#include "platform/text.h"

namespace update {
namespace {

enum class FieldEnd { kComma, kLineEnd, kText };

struct Field {
  std::u16string text;
  FieldEnd end = FieldEnd::kText;
};

class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }

  Field Next() {
    Field field;
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    std::string_view raw = text_.substr(start, pos_ - start);
    if (raw.size() > kMaxFieldChars) raw = raw.substr(0, kMaxFieldChars);
    field.text = platform::Latin1ToUtf16(raw);
    if (pos_ >= text_.size()) {
      field.end = FieldEnd::kText;
    } else if (text_[pos_] == ',') {
      field.end = FieldEnd::kComma;
      ++pos_;
    } else {
      field.end = FieldEnd::kLineEnd;
      while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) ++pos_;
    }
    return field;
  }

  // Skips what is left of the current line, line end included.
  void SkipLine() {
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) ++pos_;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Leading blanks, a sign and decimal digits, as the list's writers expect;
// anything else ends the number, and a number too large for int is clamped.
int ToInt(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

constexpr int kRecordFields = 20;

}  // namespace

ProductList ParseProductList(std::string_view text) {
  ProductList list;
  if (text.size() > kMaxProductListBytes) {
    list.status = ProductListStatus::kTooLarge;
    return list;
  }
  FieldReader reader(text);
  Field header = reader.Next();
  if (!platform::EqualsIgnoreAsciiCase(header.text, u"twproductlist")) {
    list.status = ProductListStatus::kBadHeader;
    return list;
  }
  while (!reader.AtEnd()) {
    Field fields[kRecordFields];
    int count = 0;
    while (count < kRecordFields && !reader.AtEnd()) fields[count++] = reader.Next();
    if (count < kRecordFields) break;
    ProductRecord r;
    r.name = std::move(fields[0].text);
    r.major = ToInt(fields[1].text);
    r.minor = ToInt(fields[2].text);
    r.build = ToInt(fields[3].text);
    r.flag = ToInt(fields[4].text) == 1;
    r.platform = std::move(fields[5].text);
    r.lowest_os = ToInt(fields[6].text);
    r.highest_os = ToInt(fields[7].text);
    r.product_id = ToInt(fields[9].text);
    r.info_address = std::move(fields[10].text);
    r.download_path = std::move(fields[11].text);
    r.image_base = std::move(fields[12].text);
    r.description = std::move(fields[13].text);
    r.recommended = ToInt(fields[14].text) == 1;
    r.registry_key = std::move(fields[15].text);
    r.section_limit = ToInt(fields[16].text);
    r.trial_days = ToInt(fields[17].text);
    r.free_upgrade_version = ToInt(fields[18].text);
    r.language = ToInt(fields[19].text);
    if (fields[19].end == FieldEnd::kComma) {
      Field buy = reader.Next();
      r.buy_address = std::move(buy.text);
      if (buy.end == FieldEnd::kComma) {
        Field digest = reader.Next();
        r.sha256 = std::move(digest.text);
        if (digest.end == FieldEnd::kComma) reader.SkipLine();
      }
    }
    list.records.push_back(std::move(r));
  }
  return list;
}

int OsCode(int major, int minor) { return (minor < 11 ? minor * 10 : minor) + major * 100; }

bool IsOffered(const ProductRecord& record, int os_code, std::uint32_t lang_id) {
  if (!platform::EqualsIgnoreAsciiCase(record.platform, u"PPC")) return false;
  if (os_code < record.lowest_os || os_code > record.highest_os) return false;
  if (lang_id != 0 && record.language != 0 && static_cast<std::uint32_t>(record.language) != lang_id) return false;
  return true;
}

bool DigestMatches(std::u16string_view sha256_hex, std::span<const std::uint8_t, 32> digest) {
  if (sha256_hex.empty()) return true;
  if (sha256_hex.size() != 64) return false;
  for (std::size_t i = 0; i < 32; ++i) {
    int high = HexValue(sha256_hex[2 * i]);
    int low = HexValue(sha256_hex[2 * i + 1]);
    if (high < 0 || low < 0 || ((high << 4) | low) != digest[i]) return false;
  }
  return true;
}

}  // namespace update
