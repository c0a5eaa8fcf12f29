#pragma once
// PEM armour: "-----BEGIN label-----", Base64 lines, "-----END label-----".

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace security {

struct PemBlock {
  std::string label;  // "CERTIFICATE", "PKCS7", ...
  std::vector<std::uint8_t> data;
};

// Every well-formed block of `text`, in order. Text between blocks is ignored;
// a block with bad Base64 or without its END line is skipped. Header lines
// ("Name: value") inside a block are skipped.
std::vector<PemBlock> ParsePem(std::string_view text);

// One block with 64-character lines and a final newline.
std::string EncodePem(std::string_view label, std::span<const std::uint8_t> data);

}  // namespace security
