// Reads arbitrary bytes as a product list. Whatever comes in, each kept field
// stays within its length limit and every record read is complete; a list over
// the size limit reads as nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update/product_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  update::ProductList list = update::ParseProductList(input);
  if (list.status != update::ProductListStatus::kOk && !list.records.empty()) __builtin_trap();
  for (const update::ProductRecord& r : list.records) {
    for (const std::u16string* field : {&r.name, &r.platform, &r.info_address, &r.download_path, &r.image_base,
                                        &r.description, &r.registry_key, &r.buy_address, &r.sha256}) {
      if (field->size() > update::kMaxFieldChars) __builtin_trap();
    }
    (void)update::IsOffered(r, update::OsCode(5, 1), 1033);
  }
  return 0;
}
