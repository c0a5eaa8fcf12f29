#pragma once
// The dialogs behind the mail-server page of the options screen: the account
// ("Account Settings") with its authentication, proxy and security dialogs, and
// the connection dialog ("Connection Settings"). Each edits the settings record
// it is given and writes into it only when the user confirms.

#include <string_view>

#include "platform/window_system.h"
#include "settings/app_settings.h"
#include "settings/options/options_services.h"

namespace settings {

// Fills the account of a new configuration for the public webmail provider
// when the sender address belongs to it and no server is set yet. True when it
// did (the account dialog then knows the preset was applied).
bool ApplyProviderPreset(AppSettings& settings, std::u16string_view sender_address);

// Runs "Account Settings" modal to owner. Returns IDOK (1) when the user
// confirmed (the settings then hold the dialog's values), IDCANCEL (2) when not.
// "Save && Test" confirms and then runs services.TestAccount.
int ShowAccountDialog(platform::HWND owner, AppSettings& settings, OptionsServices& services, bool preset_applied);

// Runs "Connection Settings" modal to owner; IDOK or IDCANCEL as above.
int ShowConnectionDialog(platform::HWND owner, AppSettings& settings);

}  // namespace settings
