// "Connection Settings": which network to bring up before sending.

#include "resources/account_resources.h"
#include "settings/account/account_dialogs.h"
#include "settings/account/dialog_support.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using namespace dialog_support;

constexpr int kChoices = 5;  // the ConnectionPolicy values 0-4

class ConnectionDialog : public SoftKeyDialog {
 public:
  explicit ConnectionDialog(AppSettings& settings) : SoftKeyDialog(kOkCancelMenuBar), settings_(settings) {}

 protected:
  void Init() override {
    // A stored value outside the choices behaves as "no connection", so show it so.
    const int current = static_cast<int>(settings_.EffectiveConnectionPolicy());
    for (int k = 0; k < kChoices; ++k) SetChecked(Hwnd(), kConnectionFirstRadio + k, k == current);
  }

  void OnOK(bool& handled) override {
    handled = true;
    for (int k = 0; k < kChoices; ++k) {
      if (IsChecked(Hwnd(), kConnectionFirstRadio + k)) settings_.connection = static_cast<std::uint16_t>(k);
    }
    EndDialog(toolkit::IDOK);
  }

 private:
  AppSettings& settings_;
};

}  // namespace

int ShowConnectionDialog(platform::HWND owner, AppSettings& settings) {
  ConnectionDialog dialog(settings);
  return dialog.DoModal(kConnectionDialog, owner) == toolkit::IDOK ? toolkit::IDOK : toolkit::IDCANCEL;
}

}  // namespace settings
