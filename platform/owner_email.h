#pragma once
#include <optional>
#include <string>

namespace platform {

// The device owner's e-mail address: HKCU "ControlPanel\Owner" "E-mail" when set
// and not empty, else the EMAIL environment variable when set and not empty.
std::optional<std::u16string> DeviceOwnerEmail();

}  // namespace platform
