// "Socks Settings": the proxy the outgoing connection goes through.

#include "platform/text.h"
#include "resources/account_resources.h"
#include "settings/account/account_dialogs_internal.h"
#include "settings/account/dialog_support.h"
#include "settings/settings_validation.h"
#include "toolkit/common_controls.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using namespace dialog_support;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

constexpr std::u16string_view kTitle = u"Socks Settings";
constexpr std::u16string_view kPortRange = u"Port number must be in range between 1 and 65535";
constexpr const char16_t* kVersions[] = {u"Socks 4", u"Socks 4A", u"Socks 5"};

class SocksDialog : public SoftKeyDialog {
 public:
  explicit SocksDialog(AccountValues& values) : SoftKeyDialog(kOkCancelMenuBar), values_(values) {}

 protected:
  void Init() override {
    SetItemText(Hwnd(), kSocksHostEdit, platform::Utf8ToUtf16(values_.socks_address));
    SetItemText(Hwnd(), kSocksPortEdit, platform::Utf8ToUtf16(std::to_string(values_.socks_port)));
    platform::HWND combo = GetDlgItem(kSocksVersionCombo);
    for (const char16_t* text : kVersions)
      platform::SendMessage(combo, toolkit::CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    // SOCKS 5 unless a version is chosen already.
    const int index = values_.socks_version >= 1 && values_.socks_version <= 3 ? values_.socks_version - 1 : 2;
    platform::SendMessage(combo, toolkit::CB_SETCURSEL, index, 0);
    SetChecked(Hwnd(), kSocksAuthCheck, values_.socks_auth);
    SetItemText(Hwnd(), kSocksUserEdit, platform::Utf8ToUtf16(values_.socks_user_id));
    SetItemText(Hwnd(), kSocksPasswordEdit, platform::Utf8ToUtf16(values_.socks_password));
    ShowAuthenticationFields();
  }

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    if (platform::LOWORD(wparam) != kSocksAuthCheck) return 0;
    ShowAuthenticationFields();
    handled = true;
    return 0;
  }

  void OnOK(bool& handled) override {
    handled = true;
    const std::u16string host = ItemText(Hwnd(), kSocksHostEdit);
    const std::u16string port = ItemText(Hwnd(), kSocksPortEdit);
    if (auto problem = CheckRequiredText(host, u"Host Address")) {
      Refuse(Hwnd(), kSocksHostEdit, *problem, kTitle);
      return;
    }
    if (auto problem = CheckRequiredText(port, u"Port")) {
      Refuse(Hwnd(), kSocksPortEdit, *problem, kTitle);
      return;
    }
    // Here anything that is not a port gets the range message.
    if (CheckPortText(port)) {
      Refuse(Hwnd(), kSocksPortEdit, kPortRange, kTitle);
      return;
    }
    const LRESULT index = platform::SendMessage(GetDlgItem(kSocksVersionCombo), toolkit::CB_GETCURSEL, 0, 0);
    values_.socks_address = platform::Utf16ToUtf8(host);
    values_.socks_port = std::stoi(platform::Utf16ToUtf8(port));
    values_.socks_version = index >= 0 && index <= 2 ? static_cast<std::int32_t>(index) + 1 : 3;
    values_.socks_auth = IsChecked(Hwnd(), kSocksAuthCheck);
    values_.socks_user_id = platform::Utf16ToUtf8(ItemText(Hwnd(), kSocksUserEdit));
    values_.socks_password = platform::Utf16ToUtf8(ItemText(Hwnd(), kSocksPasswordEdit));
    EndDialog(toolkit::IDOK);
  }

 private:
  void ShowAuthenticationFields() {
    const bool on = IsChecked(Hwnd(), kSocksAuthCheck);
    EnableItem(Hwnd(), kSocksUserEdit, on);
    EnableItem(Hwnd(), kSocksPasswordEdit, on);
  }

  AccountValues& values_;
};

}  // namespace

int ShowSocksDialog(platform::HWND owner, AccountValues& values) {
  SocksDialog dialog(values);
  return dialog.DoModal(kSocksDialog, owner) == toolkit::IDOK ? toolkit::IDOK : toolkit::IDCANCEL;
}

}  // namespace settings
