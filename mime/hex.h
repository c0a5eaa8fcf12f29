#pragma once
// Lowercase hex text of bytes, two digits a byte, high nibble first (the form the
// authentication digests are sent in).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mime {

std::string ToLowerHex(std::span<const std::uint8_t> bytes);
std::string ToLowerHex(std::string_view bytes);

}  // namespace mime
