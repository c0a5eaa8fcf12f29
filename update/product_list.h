#pragma once
// The server's product list: 8-bit text whose first field is "twproductlist",
// followed by one record per product. Fields end at a comma or at a line end (any
// run of CR and LF counts as one); each is kept up to 259 characters, every byte
// widened to one UTF-16 unit.
//
// A record is twenty fields read one after another. When the twentieth ends with
// a comma, the buy address follows, and after it, again only when a comma ends
// the buy address, the package's SHA-256 digest in hex. Anything further up to the
// line end is skipped, so lists written for later versions still read. A record
// cut short by the end of the text is dropped.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace update {

// A list longer than this is refused as a whole.
inline constexpr std::size_t kMaxProductListBytes = 100000;
// Characters kept of one field.
inline constexpr std::size_t kMaxFieldChars = 259;

struct ProductRecord {
  std::u16string name;
  int major = 0;
  int minor = 0;
  int build = 0;
  bool flag = false;
  std::u16string platform;
  int lowest_os = 0;
  int highest_os = 0;
  int product_id = 0;
  std::u16string info_address;
  std::u16string download_path;
  std::u16string image_base;
  std::u16string description;
  bool recommended = false;
  std::u16string registry_key;  // below "Software\", e.g. "Corvane\Dictalo"
  int section_limit = 0;        // 1: never new software; 2: never an upgrade
  int trial_days = 0;
  int free_upgrade_version = 0;
  int language = 0;             // 0: any
  std::u16string buy_address;   // empty when the record has none
  std::u16string sha256;        // hex digest of the package; empty when not given
};

enum class ProductListStatus {
  kOk,
  kTooLarge,   // more than kMaxProductListBytes
  kBadHeader,  // the first field is not "twproductlist"
};

struct ProductList {
  ProductListStatus status = ProductListStatus::kOk;
  std::vector<ProductRecord> records;  // every complete record, unfiltered
};

ProductList ParseProductList(std::string_view text);

// The code the list's OS range uses: minor (times 10 below 11) + major * 100.
int OsCode(int major, int minor);

// Whether a record is offered on this system: platform "PPC", os_code within the
// record's range, and the language equal to lang_id when both are non-zero.
bool IsOffered(const ProductRecord& record, int os_code, std::uint32_t lang_id);

// Whether data matches a record's digest. A record without a digest matches
// anything; a digest that is not 64 hex digits matches nothing.
bool DigestMatches(std::u16string_view sha256_hex, std::span<const std::uint8_t, 32> digest);

}  // namespace update
