// "Account Settings": the outgoing server, with the time-out slider, the
// authentication, SOCKS and SSL dialogs behind it, the Mailhaven import and
// "Save && Test".

#include <algorithm>
#include <string>

#include "platform/text.h"
#include "resources/account_resources.h"
#include "settings/account/account_dialogs.h"
#include "settings/account/account_dialogs_internal.h"
#include "settings/account/dialog_support.h"
#include "settings/account/mailhaven_accounts.h"
#include "settings/account/provider_preset.h"
#include "settings/settings_validation.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using namespace dialog_support;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

constexpr std::u16string_view kTitle = u"Account Settings";
constexpr std::int32_t kSmtpPort = 25;
constexpr std::int32_t kImplicitTlsPort = 465;
constexpr std::int32_t kDefaultTimeout = 60;
constexpr std::int32_t kSocks5 = 3;
constexpr std::int32_t kSocksPort = 1080;
// The SOCKS port of a configuration that never used SOCKS.
constexpr std::int32_t kUnusedSocksPort = 1028;

std::u16string Number(std::int32_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

class AccountDialog : public SoftKeyDialog {
 public:
  AccountDialog(AppSettings& settings, OptionsServices& services)
      : SoftKeyDialog(kAccountMenuBar), settings_(settings), services_(services),
        values_(AccountValues::FromSettings(settings)) {}

 protected:
  void Init() override {
    HWND slider = GetDlgItem(kAccountTimeoutSlider);
    platform::SendMessage(slider, toolkit::TBM_SETRANGE, 0, platform::MAKELPARAM(kMinTimeout, kMaxTimeout));
    platform::SendMessage(slider, toolkit::TBM_SETLINESIZE, 0, kTimeoutStep);
    platform::SendMessage(slider, toolkit::TBM_SETPAGESIZE, 0, 60);
    Show(values_);
  }

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    const int id = platform::LOWORD(wparam);
    if (platform::HIWORD(wparam) != toolkit::BN_CLICKED) return 0;
    switch (id) {
      case kAccountDefaultsButton:
        SetItemText(Hwnd(), kAccountPortEdit, Number(ImplicitTls() ? kImplicitTlsPort : kSmtpPort));
        SetTimeout(kDefaultTimeout);
        break;
      case kAccountSslCheck:
        OnSecureConnectionTicked();
        break;
      case kAccountSslSettings:
        OnSslSettings();
        break;
      case kAccountAuthCheck:
        OnAuthenticationTicked();
        break;
      case kAccountAuthSettings:
        ShowAuthenticationDialog(Hwnd(), values_);
        break;
      case kAccountSocksCheck:
        OnSocksTicked();
        break;
      case kAccountSocksSettings:
        ShowSocksDialog(Hwnd(), values_);
        break;
      case kAccountSaslCheck:
        values_.use_sasl = IsChecked(Hwnd(), kAccountSaslCheck);
        break;
      case kSaveAndTestCommand:
        if (Confirm()) {
          services_.TestAccount(Hwnd(), settings_);
          EndDialog(toolkit::IDOK);
        }
        break;
      case kImportMailhavenCommand:
        OnImport();
        break;
      default:
        return 0;
    }
    handled = true;
    return 0;
  }

  void OnOK(bool& handled) override {
    if (Confirm()) EndDialog(toolkit::IDOK);
    handled = true;
  }

  LRESULT OnMessage(UINT msg, WPARAM, LPARAM lparam, bool& handled) override {
    if (msg == platform::WM_HSCROLL && reinterpret_cast<HWND>(lparam) == GetDlgItem(kAccountTimeoutSlider)) {
      timeout_ = static_cast<int>(
          platform::SendMessage(GetDlgItem(kAccountTimeoutSlider), toolkit::TBM_GETPOS, 0, 0));
      ShowTimeoutLabel();
      handled = true;
    }
    return 0;
  }

 private:
  bool ImplicitTls() const { return values_.use_ssl && !values_.ssl_explicit; }
  std::u16string PortText() const { return ItemText(Hwnd(), kAccountPortEdit); }

  void Show(const AccountValues& v) {
    SetItemText(Hwnd(), kAccountHostEdit, platform::Utf8ToUtf16(v.host));
    SetItemText(Hwnd(), kAccountPortEdit, Number(v.port));
    SetTimeout(v.timeout);
    SetChecked(Hwnd(), kAccountAuthCheck, v.authentication != 0);
    EnableItem(Hwnd(), kAccountAuthSettings, v.authentication != 0);
    SetChecked(Hwnd(), kAccountSocksCheck, v.socks_version != 0);
    EnableItem(Hwnd(), kAccountSocksSettings, v.socks_version != 0);
    SetChecked(Hwnd(), kAccountSslCheck, v.use_ssl);
    EnableItem(Hwnd(), kAccountSslSettings, v.use_ssl);
    SetChecked(Hwnd(), kAccountSaslCheck, v.use_sasl);
  }

  // The time-out is kept apart from the slider, so a long one stored beyond
  // the slider's range survives until the user moves it; one too short to
  // wait for anything (an imported 0 or less) is raised to the slider's least.
  void SetTimeout(int seconds) {
    timeout_ = std::max(seconds, kMinTimeout);
    platform::SendMessage(GetDlgItem(kAccountTimeoutSlider), toolkit::TBM_SETPOS, 1, seconds);
    ShowTimeoutLabel();
  }
  void ShowTimeoutLabel() { SetItemText(Hwnd(), kAccountTimeoutLabel, FormatTimeoutLabel(timeout_)); }

  void OnSecureConnectionTicked() {
    values_.use_ssl = IsChecked(Hwnd(), kAccountSslCheck);
    EnableItem(Hwnd(), kAccountSslSettings, values_.use_ssl);
    const std::u16string port = PortText();
    if (values_.use_ssl && !values_.ssl_explicit && port == Number(kSmtpPort))
      SetItemText(Hwnd(), kAccountPortEdit, Number(kImplicitTlsPort));
    else if (!values_.use_ssl && port == Number(kImplicitTlsPort))
      SetItemText(Hwnd(), kAccountPortEdit, Number(kSmtpPort));
  }

  void OnSslSettings() {
    if (ShowSslDialog(Hwnd(), values_) != toolkit::IDOK) return;
    const std::u16string port = PortText();
    if (port == Number(kSmtpPort) || port == Number(kImplicitTlsPort))
      SetItemText(Hwnd(), kAccountPortEdit, Number(values_.ssl_explicit ? kSmtpPort : kImplicitTlsPort));
  }

  void OnAuthenticationTicked() {
    if (!IsChecked(Hwnd(), kAccountAuthCheck)) {
      values_.authentication = 0;
      EnableItem(Hwnd(), kAccountAuthSettings, false);
      return;
    }
    if (values_.authentication == 0) values_.authentication = 3;
    EnableItem(Hwnd(), kAccountAuthSettings, true);
    if (values_.user_name.empty() || values_.password.empty()) {
      if (ShowAuthenticationDialog(Hwnd(), values_) != toolkit::IDOK) {
        SetChecked(Hwnd(), kAccountAuthCheck, false);
        values_.authentication = 0;
        EnableItem(Hwnd(), kAccountAuthSettings, false);
      }
    }
  }

  void OnSocksTicked() {
    const bool on = IsChecked(Hwnd(), kAccountSocksCheck);
    EnableItem(Hwnd(), kAccountSocksSettings, on);
    if (!on) {
      values_.socks_version = 0;
      return;
    }
    if (values_.socks_version == 0) values_.socks_version = kSocks5;
    // A proxy never set up still has the first-start port, which no SOCKS server
    // listens on by convention; offer the usual one instead.
    if (values_.socks_port == 0 || (values_.socks_port == kUnusedSocksPort && values_.socks_address.empty()))
      values_.socks_port = kSocksPort;
  }

  void OnImport() {
    std::optional<MailAccountChoice> choice = ChooseMailhavenAccount(Hwnd());
    if (!choice) return;
    AccountValues imported = values_;
    if (!ImportMailhavenAccount(Hwnd(), *choice, imported)) return;
    values_ = imported;
    Show(values_);
  }

  // Checks the fields in the order the user reads them, then stores them.
  bool Confirm() {
    const std::u16string host = ItemText(Hwnd(), kAccountHostEdit);
    if (auto problem = CheckRequiredText(host, u"Host Address"))
      return Refuse(Hwnd(), kAccountHostEdit, *problem, kTitle);
    const std::u16string port = PortText();
    if (auto problem = CheckPortText(port)) return Refuse(Hwnd(), kAccountPortEdit, *problem, kTitle);
    if (values_.socks_version != 0 && values_.socks_address.empty()) {
      return Refuse(Hwnd(), kAccountSocksSettings,
                    u"Invalid Socks Server settings. Press \"Settings\u2026\" button and enter correct server "
                    u"parameters.",
                    kTitle);
    }
    values_.host = platform::Utf16ToUtf8(host);
    values_.port = std::stoi(platform::Utf16ToUtf8(port));
    values_.timeout = timeout_;
    values_ = CheckProviderSettings(Hwnd(), values_);
    values_.StoreInto(settings_);
    return true;
  }

  AppSettings& settings_;
  OptionsServices& services_;
  AccountValues values_;
  int timeout_ = 0;
};

}  // namespace

std::u16string FormatTimeoutLabel(int seconds) {
  char text[48];
  if (seconds < 60)
    std::snprintf(text, sizeof text, "%d sec", seconds);
  else if (seconds % 60 == 0)
    std::snprintf(text, sizeof text, "%d min", seconds / 60);
  else
    std::snprintf(text, sizeof text, "%d%s%.2d min", seconds / 60, ":", seconds % 60);
  return platform::Utf8ToUtf16(text);
}

int ShowAccountDialog(platform::HWND owner, AppSettings& settings, OptionsServices& services, bool preset_applied) {
  AccountDialog dialog(settings, services);
  const int result = static_cast<int>(dialog.DoModal(kAccountDialog, owner));
  // The preset filled a server the user has not agreed to; a cancelled dialog
  // leaves no server behind (the preset applies only while none is set).
  if (result != toolkit::IDOK && preset_applied) settings.smtp_host.clear();
  return result == toolkit::IDOK ? toolkit::IDOK : toolkit::IDCANCEL;
}

}  // namespace settings
