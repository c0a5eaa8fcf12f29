// "SMTP Authentication Settings": the user name and password for the outgoing
// server, and whether to check mail (SMTP after POP3) first.

#include "platform/text.h"
#include "resources/account_resources.h"
#include "settings/account/account_dialogs_internal.h"
#include "settings/account/dialog_support.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using namespace dialog_support;

constexpr std::u16string_view kTitle = u"Invalid Credentials";
constexpr std::int32_t kAfterIncoming = 1;
constexpr std::int32_t kOwnCredentials = 3;

class AuthenticationDialog : public SoftKeyDialog {
 public:
  explicit AuthenticationDialog(AccountValues& values) : SoftKeyDialog(kOkCancelMenuBar), values_(values) {}

 protected:
  void Init() override {
    SetItemText(Hwnd(), kAuthUserEdit, platform::Utf8ToUtf16(values_.user_name));
    SetItemText(Hwnd(), kAuthPasswordEdit, platform::Utf8ToUtf16(values_.password));
    SetChecked(Hwnd(), kAuthCheckMailCheck, values_.authentication == kAfterIncoming);
  }

  void OnOK(bool& handled) override {
    handled = true;
    const std::u16string user = ItemText(Hwnd(), kAuthUserEdit);
    const std::u16string password = ItemText(Hwnd(), kAuthPasswordEdit);
    if (user.empty()) {
      Refuse(Hwnd(), kAuthUserEdit, u"Please enter user name.", kTitle);
      return;
    }
    if (password.empty()) {
      Refuse(Hwnd(), kAuthPasswordEdit, u"Please enter password.", kTitle);
      return;
    }
    values_.user_name = platform::Utf16ToUtf8(user);
    values_.password = platform::Utf16ToUtf8(password);
    values_.authentication = IsChecked(Hwnd(), kAuthCheckMailCheck) ? kAfterIncoming : kOwnCredentials;
    EndDialog(toolkit::IDOK);
  }

 private:
  AccountValues& values_;
};

}  // namespace

int ShowAuthenticationDialog(platform::HWND owner, AccountValues& values) {
  AuthenticationDialog dialog(values);
  return dialog.DoModal(kAuthenticationDialog, owner) == toolkit::IDOK ? toolkit::IDOK : toolkit::IDCANCEL;
}

}  // namespace settings
