#include "platform/os_version.h"

namespace platform {

OsVersion GetOsVersion() { return OsVersion{5, 1, 14847}; }

}  // namespace platform
