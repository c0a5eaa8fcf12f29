#pragma once
// The accounts of Mailhaven, the maker's mail client, as a source of outgoing
// server settings: listed from Mailhaven's settings file or, when that file is
// missing, from its registry key, and imported into the account dialog's values.
//
// Where Mailhaven lives: the folder named by HKCU "Software\Corvane\Mail2"
// "InstallDir" (when present and short enough), else the folder "mailhaven"
// beside our own installation folder ($XDG_DATA_HOME/mailhaven/). Its accounts
// are the nodes "Service.{GUID}" of "Data/Settings.ini" there, or the subkeys of
// HKCU "Software\Corvane\Mail2\Services" named by their GUID.
//
// Only accounts of class "POP3" or "IMAP4" (exactly so) are offered. Values the
// account does not hold take Mailhaven's defaults. Stored passwords are
// deciphered as our own are, but keyed with the server the credentials belong
// to and with the account's name and GUID.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "settings/account/account_values.h"

namespace settings {

using MailAccountGuid = std::array<std::uint8_t, 16>;

enum class MailAccountSource { SettingsFile, Registry };

// One account as the list shows it.
struct MailAccount {
  MailAccountGuid guid{};
  std::u16string service_name;
};

struct MailAccountList {
  bool mailhaven_found = false;  // false: no settings file and no registry accounts
  MailAccountSource source = MailAccountSource::SettingsFile;
  std::vector<MailAccount> accounts;  // POP3 and IMAP4 accounts, in stored order
};

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower case; the first three groups
// are the little-endian numbers of bytes 0-3, 4-5 and 6-7.
std::string MailAccountGuidText(const MailAccountGuid& guid);
// The reverse; hex digits of either case. nullopt for anything not in that form.
std::optional<MailAccountGuid> ParseMailAccountGuid(std::u16string_view text);

// Mailhaven's settings file ("Data/Settings.ini" in its installation folder).
std::filesystem::path MailhavenSettingsFile();

// The POP3 and IMAP4 accounts, from the settings file when it opens, else from
// the registry.
MailAccountList ListMailhavenAccounts();

enum class ImportResult { Imported, MailhavenNotFound, NoSuchAccount };

// Reads one account into `values` (the fields the account dialog shows); values
// is untouched unless the result is Imported. Authentication 2 (same as
// incoming) comes back as 3 with the incoming account's credentials.
ImportResult ReadMailhavenAccount(const MailAccountGuid& guid, MailAccountSource source, AccountValues& values);

// A Mailhaven password from its enciphered stored form: RC4 keyed with MD5 of
// host and port and bytes 16-19 of SHA-1 over the account's name (UTF-16LE)
// and GUID; the 38-character salt is dropped. A stored value over 128 bytes is
// not Mailhaven's and gives an empty password.
std::string DecipherMailhavenPassword(std::span<const std::uint8_t> stored, std::string_view host, std::int32_t port,
                                      std::u16string_view service_name, const MailAccountGuid& guid);

// ---- the user's side ----
struct MailAccountChoice {
  MailAccountGuid guid{};
  MailAccountSource source = MailAccountSource::SettingsFile;
};

// The list dialog, modal to owner: lists the accounts, the first selected; OK
// gives the selected one. When Mailhaven is missing or has no POP3/IMAP4
// account, says so in a box titled "Account Import" and gives nothing.
std::optional<MailAccountChoice> ChooseMailhavenAccount(platform::HWND owner);

// Fills `values` from the chosen account; "Mailhaven not found. Import failed."
// (modal to owner) when its settings file has gone meanwhile. True when imported.
bool ImportMailhavenAccount(platform::HWND owner, const MailAccountChoice& choice, AccountValues& values);

}  // namespace settings
