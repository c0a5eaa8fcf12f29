#include "settings/account/provider_preset.h"

#include "platform/text.h"
#include "settings/account/account_dialogs.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

constexpr std::int32_t kProviderPort = 465;
constexpr std::int32_t kAllSslVersions = 7;

bool IsProviderAddress(std::u16string_view address) {
  if (address.size() < kProviderAddressSuffix.size()) return false;
  return platform::EqualsIgnoreAsciiCase(address.substr(address.size() - kProviderAddressSuffix.size()),
                                         kProviderAddressSuffix);
}

}  // namespace

bool ApplyProviderPreset(AppSettings& settings, std::u16string_view sender_address) {
  if (!settings.smtp_host.empty() || !IsProviderAddress(sender_address)) return false;
  settings.smtp_host = std::string(kProviderSmtpHost);
  settings.smtp_authentication = 3;
  settings.smtp_user_name = platform::Utf16ToUtf8(sender_address);
  settings.smtp_port = kProviderPort;
  settings.smtp_use_ssl = true;
  settings.smtp_ssl_explicit = false;
  return true;
}

bool NeedsProviderCorrection(const AccountValues& v) {
  if (!platform::EqualsIgnoreAsciiCase(v.host, kProviderSmtpHost)) return false;
  return !v.use_ssl || v.use_sasl || v.ssl_explicit || v.port != kProviderPort || v.ssl_versions != kAllSslVersions ||
         v.ssl_strong_encryption;
}

AccountValues CheckProviderSettings(platform::HWND owner, AccountValues values) {
  if (!NeedsProviderCorrection(values)) return values;
  const std::u16string question =
      u"The server " + platform::Utf8ToUtf16(values.host) +
      u" accepts mail only over a secure connection on port 465 (implicit TLS). Do you want to use these "
      u"connection settings instead of the ones entered?";
  if (toolkit::MessageBoxW(owner, question, u"Account Settings", toolkit::MB_YESNO | toolkit::MB_ICONWARNING) ==
      toolkit::IDYES) {
    values.ssl_versions = kAllSslVersions;
    values.ssl_explicit = false;
    values.ssl_strong_encryption = false;
    values.port = kProviderPort;
    values.use_ssl = true;
    values.use_sasl = false;
  }
  return values;
}

}  // namespace settings
