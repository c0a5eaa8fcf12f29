#pragma once
// The account dialogs of the mail-server page: "Account Settings" with its
// authentication, SOCKS and SSL dialogs, "Connection Settings", and the list of
// Mailhaven accounts to import from. RegisterAccountResources puts their
// templates and soft-key bars into the toolkit's resource table (calling it
// again is harmless).

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// ---- dialog templates ----
inline constexpr UINT kAccountDialog = 230;
inline constexpr UINT kAuthenticationDialog = 231;
inline constexpr UINT kSocksDialog = 232;
inline constexpr UINT kSslDialog = 233;
inline constexpr UINT kConnectionDialog = 234;
inline constexpr UINT kMailhavenAccountsDialog = 235;

// ---- soft-key bars ----
inline constexpr UINT kOkCancelMenuBar = 310;     // "OK", "Cancel"
inline constexpr UINT kAccountMenuBar = 311;      // "OK", "Menu" (the popup below)
inline constexpr UINT kAccountMenuPopup = 312;    // "Save && Test", "Import from Mailhaven…", "Cancel"
inline constexpr UINT kSaveAndTestCommand = 2090;
inline constexpr UINT kImportMailhavenCommand = 2091;

// ---- "Account Settings" ----
inline constexpr int kAccountHostEdit = 2002;
inline constexpr int kAccountPortEdit = 2004;
inline constexpr int kAccountDefaultsButton = 2005;    // "Use Defaults"
inline constexpr int kAccountTimeoutSlider = 2007;
inline constexpr int kAccountTimeoutLabel = 2008;
inline constexpr int kAccountAuthCheck = 2009;         // "Authentication required"
inline constexpr int kAccountAuthSettings = 2010;
inline constexpr int kAccountSocksCheck = 2011;        // "Use SOCKS server"
inline constexpr int kAccountSocksSettings = 2012;
inline constexpr int kAccountSslCheck = 2013;          // "Use secure connection"
inline constexpr int kAccountSslSettings = 2014;
inline constexpr int kAccountSaslCheck = 2015;         // "Use secure authentication"

// ---- "SMTP Authentication Settings" ----
inline constexpr int kAuthUserEdit = 2021;
inline constexpr int kAuthPasswordEdit = 2023;
inline constexpr int kAuthCheckMailCheck = 2024;       // "Check mail before sending"

// ---- "Socks Settings" ----
inline constexpr int kSocksHostEdit = 2031;
inline constexpr int kSocksPortEdit = 2033;
inline constexpr int kSocksVersionCombo = 2035;        // "Socks 4", "Socks 4A", "Socks 5"
inline constexpr int kSocksAuthCheck = 2036;           // "Use Authentication"
inline constexpr int kSocksUserEdit = 2038;
inline constexpr int kSocksPasswordEdit = 2040;

// ---- "SSL Settings": tab "General" ----
inline constexpr int kSslTabs = 2050;
inline constexpr int kSslTypeGroup = 2051;             // "Connection Type"
inline constexpr int kSslImplicitRadio = 2052;
inline constexpr int kSslExplicitRadio = 2053;
inline constexpr int kSslInsecureCheck = 2054;
inline constexpr int kSslVersionsGroup = 2055;         // "Protocol Versions"
inline constexpr int kSslSsl2Check = 2056;
inline constexpr int kSslSsl3Check = 2057;
inline constexpr int kSslTls1Check = 2058;
inline constexpr int kSslStrongCheck = 2059;
// ---- "SSL Settings": tab "Certificates" ----
inline constexpr int kSslCertList = 2060;              // the trusted roots we imported
inline constexpr int kSslCertImport = 2061;            // "Import…"
inline constexpr int kSslCertRemove = 2062;            // "Remove"
inline constexpr int kSslCertLabel = 2063;

// ---- "Connection Settings": one radio button per ConnectionPolicy, in value order ----
inline constexpr int kConnectionFirstRadio = 2071;     // 2071-2075

// ---- Mailhaven accounts ----
inline constexpr int kMailhavenPrompt = 2080;
inline constexpr int kMailhavenList = 2081;

void RegisterAccountResources();

}  // namespace resources
