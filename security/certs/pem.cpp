#include "security/certs/pem.h"

#include <optional>

namespace security {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::uint32_t accumulator = 0;
  int bits = 0;
  int padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = Sextet(c);
    if (value < 0 || padding != 0) return std::nullopt;  // a stray character, or data after '='
    accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>(accumulator >> bits));
    }
  }
  if (padding > 2 || bits >= 6) return std::nullopt;
  return out;
}

}  // namespace

std::vector<PemBlock> ParsePem(std::string_view text) {
  std::vector<PemBlock> blocks;
  constexpr std::string_view kBegin = "-----BEGIN ";
  std::size_t pos = 0;
  while ((pos = text.find(kBegin, pos)) != std::string_view::npos) {
    const std::size_t label_start = pos + kBegin.size();
    const std::size_t label_end = text.find("-----", label_start);
    if (label_end == std::string_view::npos) break;
    const std::string label(text.substr(label_start, label_end - label_start));
    if (label.find('\n') != std::string::npos) {
      pos = label_start;
      continue;
    }
    const std::string end_line = "-----END " + label + "-----";
    const std::size_t body_start = label_end + 5;
    const std::size_t body_end = text.find(end_line, body_start);
    if (body_end == std::string_view::npos) break;
    // Drop RFC 1421 header lines (they contain a colon) before the Base64.
    std::string body;
    std::string_view rest = text.substr(body_start, body_end - body_start);
    while (!rest.empty()) {
      const std::size_t newline = rest.find('\n');
      const std::string_view line = rest.substr(0, newline);
      if (line.find(':') == std::string_view::npos) body.append(line);
      if (newline == std::string_view::npos) break;
      rest.remove_prefix(newline + 1);
    }
    if (auto data = DecodeBase64(body)) blocks.push_back({label, std::move(*data)});
    pos = body_end + end_line.size();
  }
  return blocks;
}

std::string EncodePem(std::string_view label, std::span<const std::uint8_t> data) {
  std::string base64;
  for (std::size_t k = 0; k < data.size(); k += 3) {
    const std::uint32_t chunk = (static_cast<std::uint32_t>(data[k]) << 16) |
                                (k + 1 < data.size() ? static_cast<std::uint32_t>(data[k + 1]) << 8 : 0) |
                                (k + 2 < data.size() ? data[k + 2] : 0);
    base64.push_back(kAlphabet[(chunk >> 18) & 63]);
    base64.push_back(kAlphabet[(chunk >> 12) & 63]);
    base64.push_back(k + 1 < data.size() ? kAlphabet[(chunk >> 6) & 63] : '=');
    base64.push_back(k + 2 < data.size() ? kAlphabet[chunk & 63] : '=');
  }
  std::string out = "-----BEGIN " + std::string(label) + "-----\n";
  for (std::size_t k = 0; k < base64.size(); k += 64) out += base64.substr(k, 64) + "\n";
  out += "-----END " + std::string(label) + "-----\n";
  return out;
}

}  // namespace security
