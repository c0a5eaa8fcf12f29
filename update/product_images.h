#pragma once
// The pictures of the product list: each product's image comes from the update
// server, named by "FmtImage" from the record's image base and the icon size,
// and is kept in the session's private folder. A product without a picture, or
// whose picture cannot be had, is no error: the list draws a placeholder.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "update/product_list.h"
#include "update/update_config.h"

namespace update {

// Pictures bigger than this are not taken: a list of small icons needs no more.
inline constexpr std::uint64_t kMaxImageBytes = 256 * 1024;

// 64 on 192 dpi displays and denser, 48 above 120 dpi, 32 otherwise.
int IconSizeForDpi(int dpi);

// The picture's path on the server: "FmtImage" filled with the image base and
// the size; a name without a folder lies beside the product list. Empty when
// the record names no image or the name would leave the server's folders.
std::u16string ImageServerPath(const UpdateConfig& config, const ProductRecord& record, int icon_size);

class ProductImages {
 public:
  // folder: where the pictures go (made when the first one comes).
  ProductImages(const UpdateConfig& config, std::filesystem::path folder);

  // The local file of the record's picture at icon_size, fetched once per
  // session (a failure too is remembered); nullopt when there is none.
  std::optional<std::filesystem::path> Fetch(const ProductRecord& record, int icon_size);

 private:
  const UpdateConfig& config_;
  std::filesystem::path folder_;
  std::map<std::u16string, std::optional<std::filesystem::path>> fetched_;
};

}  // namespace update
