#pragma once
// "Web Service Signup": where to register for the Corvane mail service (a link
// that opens the sign-up page in the browser) and the user name and password
// of the subscription, written into the settings on OK.

#include "settings/app_settings.h"
#include "settings/options/options_dialog.h"
#include "settings/options/options_services.h"

namespace settings {

class SignupDialog : public OptionsDialog {
 public:
  // services may be null: the link then does nothing.
  SignupDialog(AppSettings& settings, OptionsServices* services);

 protected:
  void Load() override;
  void Store() override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;

 private:
  AppSettings& settings_;
  OptionsServices* services_;
};

}  // namespace settings
