#pragma once
// What the setup library does around installing and removing the program: the
// system check, the licence, clearing out earlier versions before the copy, and
// registering the product and the shared update utility after it.
//
// A SetupSession keeps what the installer's calls share (the install folder);
// the exported entry points (setup_entry_points.h) run one session per process.
// Places are given to the session so that a test can point them anywhere.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_version.h"
#include "platform/window_system.h"

namespace setup {

inline constexpr int kContinue = 0;
inline constexpr int kCancel = 1;

// The product's identity as the update utility finds it.
inline constexpr std::u16string_view kProductKey = u"Software\\Corvane\\Dictalo";
inline constexpr std::uint32_t kProductId = 10226;
inline constexpr std::uint32_t kMajorVersion = 2;
inline constexpr std::uint32_t kMinorVersion = 3514;
inline constexpr std::u16string_view kPredecessorKey = u"Software\\Corvane\\Echomark";
inline constexpr std::u16string_view kUpdateConfigKey = u"Software\\Tarnwick\\CorvaneUpdate";
inline constexpr std::u16string_view kSharedKey = u"Software\\Tarnwick\\Shared";
inline constexpr std::u16string_view kSharedCounterValue = u"CorvaneUpdate.exe";
inline constexpr std::u16string_view kUpdateDomain = u"http://updates.corvane.example";
// The update utility's file and its shortcut.
inline constexpr std::string_view kUpdateProgram = "corvane-update";
inline constexpr std::string_view kUpdateShortcut = "Corvane Update.desktop";
// The text of the parent window under which the installer removes a program.
inline constexpr std::u16string_view kRemoveWorkerText = u"REMOVEWORKER";

struct SetupPlaces {
  std::filesystem::path windows_dir;     // the share folder
  std::filesystem::path personal_dir;    // "My Documents"
  std::filesystem::path programs_dir;    // where .desktop shortcuts live
  std::filesystem::path start_menu_dir;  // the old "\Windows\Start Menu"
  // The places the platform maps.
  static SetupPlaces FromFolders();
};

// The base names of earlier files, as this system names them, in the order they
// are cleared out; each matches the name alone or with any extension.
const std::vector<std::string>& CleanupNames();

class SetupSession {
 public:
  SetupSession(platform::OsVersion os, SetupPlaces places) : os_(os), places_(std::move(places)) {}

  // kCancel on another system than Windows Mobile 5 (after saying so) or when the
  // licence is declined on the first call; else clears out earlier versions.
  int InstallInit(platform::HWND parent, bool first_call, bool previously_installed,
                  std::u16string_view install_dir);
  // Registers the product and the update utility; always kContinue.
  int InstallExit(platform::HWND parent, std::u16string_view install_dir);
  // Clears out settings and files only under the installer's removal window.
  int UninstallInit(platform::HWND parent, std::u16string_view install_dir);
  int UninstallExit(platform::HWND parent);

  const std::filesystem::path& install_dir() const { return install_dir_; }

 private:
  void CleanOut(const std::filesystem::path& install_dir) const;
  void RemoveOldShortcuts() const;
  void InstallUpdateUtility(const std::filesystem::path& install_dir) const;

  platform::OsVersion os_;
  SetupPlaces places_;
  std::filesystem::path install_dir_;
};

}  // namespace setup
