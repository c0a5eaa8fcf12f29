#pragma once
// The public webmail provider whose accounts need implicit TLS on port 465:
// a sender address of its domain pre-fills a new account (ApplyProviderPreset,
// in account_dialogs.h), and confirming its host with other security settings
// offers the proper ones.

#include <string_view>

#include "platform/window_system.h"
#include "settings/account/account_values.h"

namespace settings {

// "@" and the provider's 9-character mail domain, matched as the last 10
// characters of an address.
inline constexpr std::u16string_view kProviderAddressSuffix = u"@webmx.net";
inline constexpr std::string_view kProviderSmtpHost = "smtp.webmx.net";

// Whether the values differ from what the provider needs while naming its host.
bool NeedsProviderCorrection(const AccountValues& values);

// When the host is the provider's and the security settings are not its own,
// asks (yes/no, title "Account Settings", modal to owner) whether to use the
// provider's; on Yes corrects them. Returns the values to store.
AccountValues CheckProviderSettings(platform::HWND owner, AccountValues values);

}  // namespace settings
