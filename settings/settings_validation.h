#pragma once
// The checks a value must pass before it is stored, shared by the options
// dialogs and `dictaloctl settings set`, so a value the dialogs refuse cannot
// reach the settings file another way. Each check returns the message the user
// reads (the dialogs' own wording), or nothing when the value is fine.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/app_settings.h"

namespace settings {

// An address is valid when it is not empty and holds an at sign and a "."
// anywhere.
bool IsValidAddress(std::u16string_view address);

// A port as typed: empty, not a number, or outside 1-65535 each give their
// message; `field` names the field in the empty-field message ("Port").
std::optional<std::u16string> CheckPortText(std::u16string_view text, std::u16string_view field = u"Port");
// A port that must not be empty (`field` as above).
std::optional<std::u16string> CheckRequiredText(std::u16string_view text, std::u16string_view field);
// The SSL version bits: SSL 2 with TLS 1 but without SSL 3 is refused.
std::optional<std::u16string> CheckSslVersions(std::uint32_t versions);

// The check for one setting of the table (settings_table), given as text the
// way `dictaloctl settings set` receives it: the same rules as the dialogs for
// the keys a dialog validates, and the range of the type for the rest.
std::optional<std::u16string> CheckSettingText(std::string_view key, std::string_view text);

}  // namespace settings
