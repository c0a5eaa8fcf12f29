#pragma once
// The installer's four entry points of libdcsetup.so, looked up by name with
// dlsym. Text is UTF-16 with a terminating zero; each returns 0 to go on and 1
// (Install_Init only) to cancel the installation.

#include <cstdint>

#include "platform/window_system.h"

namespace setup {

using InstallInitFn = int (*)(platform::HWND parent, int first_call, int previously_installed,
                              const char16_t* install_dir);
using InstallExitFn = int (*)(platform::HWND parent, const char16_t* install_dir, std::uint16_t failed_dirs,
                              std::uint16_t failed_files, std::uint16_t failed_reg_keys, std::uint16_t failed_reg_vals,
                              std::uint16_t failed_shortcuts);
using UninstallInitFn = int (*)(platform::HWND parent, const char16_t* install_dir);
using UninstallExitFn = int (*)(platform::HWND parent);

}  // namespace setup
