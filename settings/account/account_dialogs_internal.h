#pragma once
// The dialogs behind the account dialog's "Settings…" buttons, and the time-out
// label. Each edits `values` only when the user confirms; each returns IDOK (1)
// or IDCANCEL (2).

#include <string>

#include "platform/window_system.h"
#include "settings/account/account_values.h"

namespace settings {

// The time-out slider: seconds, in steps of kTimeoutStep.
inline constexpr int kMinTimeout = 5;
inline constexpr int kMaxTimeout = 600;
inline constexpr int kTimeoutStep = 5;

// "45 sec", "2 min", "1:30 min".
std::u16string FormatTimeoutLabel(int seconds);

// "SMTP Authentication Settings": user name, password and the mode (1 with
// "Check mail before sending", else 3).
int ShowAuthenticationDialog(platform::HWND owner, AccountValues& values);
// "Socks Settings": the SOCKS host, port, version, authentication flag, user ID
// and password.
int ShowSocksDialog(platform::HWND owner, AccountValues& values);
// "SSL Settings": implicit or explicit TLS, the insecure fallback, the protocol
// versions and strong encryption; its "Certificates" tab manages our trusted
// roots at once, whatever the dialog's outcome.
int ShowSslDialog(platform::HWND owner, AccountValues& values);

}  // namespace settings
