#include "settings/options/signup_dialog.h"

#include <string>

#include "resources/options_resources.h"
#include "toolkit/common_controls.h"

namespace settings {

namespace pw = platform;
namespace rs = resources;

SignupDialog::SignupDialog(AppSettings& settings, OptionsServices* services)
    : OptionsDialog(rs::kSignupDialog, rs::kOptionsOkCancelMenuBar), settings_(settings), services_(services) {}

void SignupDialog::Load() {
  SetText(rs::kUserNameEdit, settings_.subscription_user_name);
  SetText(rs::kPasswordEdit, settings_.subscription_password);
}

void SignupDialog::Store() {
  settings_.subscription_user_name = Text(rs::kUserNameEdit);
  settings_.subscription_password = Text(rs::kPasswordEdit);
}

pw::LRESULT SignupDialog::OnCommand(pw::WPARAM wparam, pw::LPARAM, bool& handled) {
  if (pw::LOWORD(wparam) != rs::kSignupLink || pw::HIWORD(wparam) != toolkit::STN_CLICKED) return 0;
  handled = true;
  if (services_) services_->OpenAddress(std::string(rs::kSignupAddress));
  return 0;
}

}  // namespace settings
