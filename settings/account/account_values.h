#pragma once
// AccountValues: what the account dialog edits — the outgoing server, its
// credentials, proxy and security options — apart from the settings record, so
// a Mailhaven import or the provider check can fill or correct them before the
// user confirms and they are stored.

#include <cstdint>
#include <string>

#include "settings/app_settings.h"

namespace settings {

struct AccountValues {
  std::string host;
  std::int32_t port = 25;
  std::int32_t timeout = 60;          // seconds
  std::int32_t authentication = 0;    // 0 none, 1 SMTP after incoming, 3 own credentials
  std::string user_name;
  std::string password;
  std::string socks_address;
  std::int32_t socks_port = 1028;
  std::int32_t socks_version = 0;     // 0 no SOCKS, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5
  bool socks_auth = false;
  std::string socks_user_id;
  std::string socks_password;
  bool use_ssl = false;
  bool use_sasl = false;
  bool ssl_explicit = true;
  bool ssl_allow_insecure = false;
  std::int32_t ssl_versions = 7;      // bit 0 SSL 2, 1 SSL 3, 2 TLS 1
  bool ssl_strong_encryption = false;

  static AccountValues FromSettings(const AppSettings& settings);
  // Writes every field above into the record's SMTP settings.
  void StoreInto(AppSettings& settings) const;

  bool operator==(const AccountValues&) const = default;
};

}  // namespace settings
