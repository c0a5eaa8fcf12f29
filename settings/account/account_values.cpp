#include "settings/account/account_values.h"

namespace settings {

AccountValues AccountValues::FromSettings(const AppSettings& s) {
  AccountValues v;
  v.host = s.smtp_host;
  v.port = s.smtp_port;
  v.timeout = s.smtp_timeout;
  v.authentication = s.smtp_authentication;
  v.user_name = s.smtp_user_name;
  v.password = s.smtp_password;
  v.socks_address = s.smtp_socks_address;
  v.socks_port = s.smtp_socks_port;
  v.socks_version = s.smtp_socks_version;
  v.socks_auth = s.smtp_socks_auth;
  v.socks_user_id = s.smtp_socks_user_id;
  v.socks_password = s.smtp_socks_password;
  v.use_ssl = s.smtp_use_ssl;
  v.use_sasl = s.smtp_use_sasl;
  v.ssl_explicit = s.smtp_ssl_explicit;
  v.ssl_allow_insecure = s.smtp_ssl_allow_insecure;
  v.ssl_versions = s.smtp_ssl_versions;
  v.ssl_strong_encryption = s.smtp_ssl_strong_encryption;
  return v;
}

void AccountValues::StoreInto(AppSettings& s) const {
  s.smtp_host = host;
  s.smtp_port = port;
  s.smtp_timeout = timeout;
  s.smtp_authentication = authentication;
  s.smtp_user_name = user_name;
  s.smtp_password = password;
  s.smtp_socks_address = socks_address;
  s.smtp_socks_port = socks_port;
  s.smtp_socks_version = socks_version;
  s.smtp_socks_auth = socks_auth;
  s.smtp_socks_user_id = socks_user_id;
  s.smtp_socks_password = socks_password;
  s.smtp_use_ssl = use_ssl;
  s.smtp_use_sasl = use_sasl;
  s.smtp_ssl_explicit = ssl_explicit;
  s.smtp_ssl_allow_insecure = ssl_allow_insecure;
  s.smtp_ssl_versions = ssl_versions;
  s.smtp_ssl_strong_encryption = ssl_strong_encryption;
}

}  // namespace settings
