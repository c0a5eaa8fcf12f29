#pragma once
// The wire form of a part's header block: every address header in list order, then
// "MIME-Version" if present, then every other field in insertion order. Each line ends
// in CR LF; long lines fold as header_encoding.h describes.

#include <string>
#include <string_view>

#include "mime/byte_stream.h"
#include "mime/header_encoding.h"
#include "mime/header_list.h"
#include "mime/result.h"

namespace mime {

// A field name as written: each character masked to 7 bits, cut to 70 characters.
std::string HeaderNameText(std::u16string_view name);

// One field with its closing CR LF. `charset` must be supported (ResolveWriteCharset).
std::string HeaderFieldText(const HeaderField& field, std::string_view charset, HeaderEncodingMode mode);

// One address header with its closing CR LF. A mailbox without an address is left
// out and sets *error to kMimeErrorNoAddress; the rest is still written.
std::string AddressHeaderText(const AddressHeader& header, std::string_view charset, HeaderEncodingMode mode,
                              MimeResult* error);

// Writes the whole block (without the empty line that ends it). Returns the sink's
// error, else kMimeErrorNoAddress when a mailbox had no address, else kMimeOk.
[[nodiscard]] MimeResult WriteHeaderBlock(const HeaderList& headers, ByteSink& out, std::string_view charset,
                                          HeaderEncodingMode mode);

}  // namespace mime
