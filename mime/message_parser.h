#pragma once
// Reading a stored or received message back into its part tree.
//
// The parser never fails on malformed input; it keeps what it can read: bare LF line
// ends, a missing or unterminated closing boundary, multipart parts without any
// boundary line (read as a leaf), unknown transfer encodings (the body kept as it
// is), encoded words and RFC 2231 parameters in headers, an mbox "From " line. A
// message this library wrote reads back into the same tree.
//
// Leaf parts refer to their encoded bodies in the message's stored stream (the parsed
// bytes), so writing the tree again copies them unchanged.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/byte_stream.h"
#include "mime/header_list.h"
#include "mime/mime_message.h"
#include "mime/result.h"

namespace mime {

// Replaces the message's root and stored stream. Returns only the source's read error.
[[nodiscard]] MimeResult ParseMessage(const ByteSource& source, MimeMessage* message);
void ParseMessage(std::string bytes, MimeMessage* message);

// Header helpers, on unfolded header text.
std::vector<AddressEntry> ParseAddressList(std::string_view text);
// "type/subtype (comment); p=v; q="w"" into value, comment and params; quoted
// values keep their quotes, encoded words and RFC 2231 values are decoded.
HeaderField ParseStructuredField(std::u16string name, std::string_view text);

}  // namespace mime
