#pragma once
// Result codes of the MIME library. 0 is success; errors are negative 32-bit values
// of the 0xA000xxxx family, plus the platform's out-of-memory code.

#include <cstdint>

namespace mime {

using MimeResult = std::uint32_t;

inline constexpr MimeResult kMimeOk = 0;
// A content stream could not be read (file vanished, I/O error).
inline constexpr MimeResult kMimeErrorRead = 0xA0001001;
// The output stream refused bytes.
inline constexpr MimeResult kMimeErrorWrite = 0xA0001002;
// An attachment file could not be opened.
inline constexpr MimeResult kMimeErrorOpen = 0xA0001003;
// A part refers to a stored body, but the message holds no stored stream
// (or the reference lies outside it).
inline constexpr MimeResult kMimeErrorNoStoredBody = 0xA0001004;
// A mailbox without an address cannot be written; the rest of the header still is.
inline constexpr MimeResult kMimeErrorNoAddress = 0xA0003000;
// Allocation failure.
inline constexpr MimeResult kMimeErrorOutOfMemory = 0x8007000E;

inline constexpr bool Failed(MimeResult r) { return r != kMimeOk; }

}  // namespace mime
