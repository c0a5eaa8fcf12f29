#pragma once
// Content types by file extension, from the system's MIME type table
// (/etc/mime.types of the media-types package: "type/subtype ext ext ..." lines,
// "#" comments). This is where the handheld looked in HKEY_CLASSES_ROOT.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kSystemMimeTypesPath[] = "/etc/mime.types";

// "audio/x-wav" for "wav" or ".WAV"; nothing when the table has no entry or cannot
// be read. Extensions compare without regard to case; the first entry wins.
std::optional<std::string> ContentTypeForExtension(std::string_view ext);
// The same with another table (tests, or a user's own table).
std::optional<std::string> ContentTypeForExtension(std::string_view ext, const std::filesystem::path& table);

}  // namespace platform
