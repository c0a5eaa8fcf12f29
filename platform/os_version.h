#pragma once
// The handheld system version the program was made for. The setup library and
// the update utility compare it with what they and the product list support, so
// it reports what the handheld reported: Windows Mobile 5, system 5.1.

namespace platform {

struct OsVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
};

OsVersion GetOsVersion();

}  // namespace platform
