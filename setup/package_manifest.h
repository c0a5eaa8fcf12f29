#pragma once
// The list of files an installation copies. An update package is a tarball with
// a file "MANIFEST" at its top: the line "dictalo-package 1", then one path per
// line, relative to the package and to the prefix it is installed into. A built
// tree without a manifest gives its programs, the setup library and the share
// folder.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

inline constexpr std::string_view kManifestName = "MANIFEST";
inline constexpr std::string_view kManifestHeader = "dictalo-package 1";

// Whether an entry stays inside the folder it is taken relative to: not empty,
// not absolute, no "." or ".." component, no empty component, no control bytes.
bool IsSafeEntry(std::string_view entry);

// The entries of manifest text; nullopt, with the reason in *error, for a wrong
// header or any unsafe entry (one bad entry refuses the whole package).
std::optional<std::vector<std::string>> ParseManifest(std::string_view text, std::string* error);

// The entries of a built tree (bin/*, lib/libdcsetup.so, lib/libdictalo-ui.so,
// share/dictalo/**, share/icons/**), in name order.
std::vector<std::string> ListBuiltTree(const std::filesystem::path& root);

}  // namespace setup
