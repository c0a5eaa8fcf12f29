#pragma once
// dictalo-setup: installs a built tree or an update package into a prefix, and
// removes an installation, calling the setup library's entry points in the
// installer's order: Install_Init, the copy, Install_Exit; Uninstall_Init, the
// removal, Uninstall_Exit. The setup library is the one the source carries
// (lib/libdcsetup.so); for removal, the installed one.
//
// An installation writes the list of the files it copied to
// <prefix>/lib/dictalo/installed-files, which a removal reads.

#include <filesystem>
#include <string>

namespace setup {

struct InstallRequest {
  std::filesystem::path source;  // a built tree, or a package tarball
  std::filesystem::path prefix;
  bool accept_license = false;   // the user agreed on the command line
  bool delete_package = false;   // delete the package afterwards, whatever happened
};

enum class InstallOutcome { kInstalled, kCancelled, kFailed };

// Messages go to stderr; *error (when given) receives the reason of a failure.
InstallOutcome Install(const InstallRequest& request, std::string* error = nullptr);
InstallOutcome Uninstall(const std::filesystem::path& prefix, std::string* error = nullptr);

// The installer's window text while it removes a program.
inline constexpr std::u16string_view kInstallerWindowText = u"Dictalo Setup";

}  // namespace setup
