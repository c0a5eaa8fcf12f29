#pragma once
// What the utility makes of the product list: which products are installed and
// in which version, which are free, and the rows of the list window in their
// sections with their labels.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/product_list.h"

namespace update {

struct InstalledVersion {
  int major = 0;
  int minor = 0;
  int language = 0;
};

// Looks for the product below HKLM "Software\<registry_key>": the first subkey
// whose "ProdID" equals product_id gives "MajorVersion", "MinorVersion" and
// "LangID" (missing values read as 0). nullopt when none matches.
std::optional<InstalledVersion> FindInstalledInRegistry(std::u16string_view registry_key, int product_id);

struct ProductEntry {
  ProductRecord record;
  bool installed = false;   // an older version is installed
  bool up_to_date = false;  // this version or a newer one is installed
  bool free = false;        // a free product, or a free upgrade of the installed one
};

// Classifies a record given what is installed (nullopt: nothing).
ProductEntry ClassifyProduct(ProductRecord record, const std::optional<InstalledVersion>& installed);

// "Options" bits.
inline constexpr std::uint32_t kHideTryNew = 1u << 0;
inline constexpr std::uint32_t kHideRecommended = 1u << 1;
inline constexpr std::uint32_t kHideFree = 1u << 2;
inline constexpr std::uint32_t kHideBuyNow = 1u << 3;
inline constexpr std::uint32_t kLabelPaidUpgrades = 1u << 4;

struct ListRow {
  enum class Kind { kHeading, kNote, kProduct };
  Kind kind = Kind::kHeading;
  std::u16string text;  // heading or note text; empty for a product
  int entry = -1;       // index into the entries for a product row
};

// The list in its sections, each with its heading row. The upgrades section is
// always there (with a note when empty); the others only when they hold products
// and their "Options" bit is clear.
std::vector<ListRow> BuildRows(const std::vector<ProductEntry>& entries, std::uint32_t options);

// The label shown beside a product.
std::u16string ProductLabel(const ProductEntry& entry, std::uint32_t options);

// printf-like formatting of a configured format ("FmtName", "FmtImage") with the
// given arguments in order: "%s" takes the next text, "%d" the next number, "%%"
// is a percent sign. A conversion without a matching argument, or any other one,
// is copied as it stands, so a bad registry value cannot crash the program.
struct FormatArg {
  std::u16string text;
  int number = 0;
  bool is_text = false;
};
std::u16string FormatConfigured(std::u16string_view format, const std::vector<FormatArg>& args);

// The title from "FmtName": name, major, minor, build.
std::u16string ProductTitle(std::u16string_view fmt_name, const ProductRecord& record);

}  // namespace update
