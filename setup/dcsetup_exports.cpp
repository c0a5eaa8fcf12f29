// The exported entry points of libdcsetup.so. One session serves the calls of
// one installation, which the installer makes from one thread in order.
#include <cstdint>
#include <string_view>

#include "setup/setup_hooks.h"

namespace {

setup::SetupSession& Session() {
  static setup::SetupSession session(platform::GetOsVersion(), setup::SetupPlaces::FromFolders());
  return session;
}

std::u16string_view Text(const char16_t* text) { return text ? std::u16string_view(text) : std::u16string_view(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int Install_Init(platform::HWND parent, int first_call,
                                                                   int previously_installed,
                                                                   const char16_t* install_dir) {
  return Session().InstallInit(parent, first_call != 0, previously_installed != 0, Text(install_dir));
}

extern "C" __attribute__((visibility("default"))) int Install_Exit(platform::HWND parent, const char16_t* install_dir,
                                                                   std::uint16_t, std::uint16_t, std::uint16_t,
                                                                   std::uint16_t, std::uint16_t) {
  return Session().InstallExit(parent, Text(install_dir));
}

extern "C" __attribute__((visibility("default"))) int Uninstall_Init(platform::HWND parent,
                                                                     const char16_t* install_dir) {
  return Session().UninstallInit(parent, Text(install_dir));
}

extern "C" __attribute__((visibility("default"))) int Uninstall_Exit(platform::HWND parent) {
  return Session().UninstallExit(parent);
}
