#pragma once
// OptionsDialog: what every dialog of the options screen shares. It runs
// modally over its owner with a soft-key bar, fills its controls when it opens
// (Load), and on OK checks them (Validate) and takes them (Store); Cancel, or
// closing the dialog any other way, takes nothing. A check that fails tells the
// user why, in a box titled "Dictalo", and puts the focus on the field at
// fault; the dialog then stays open.

#include <string>
#include <string_view>

#include "platform/window_system.h"
#include "toolkit/ce_base_dialog.h"
#include "toolkit/menu_bar.h"

namespace settings {

class OptionsDialog : public toolkit::CeBaseDialog {
 public:
  OptionsDialog(platform::UINT template_id, platform::UINT menu_bar_id);

  // Runs the dialog modal to owner; IDOK (1) when the user confirmed (Store
  // has run), anything else when not.
  platform::LRESULT Run(platform::HWND owner);

  toolkit::CMenuBar& menu_bar() { return menu_bar_; }

 protected:
  // Fill the controls.
  virtual void Load() = 0;
  // Check the controls; false after telling the user (see Refuse).
  virtual bool Validate() { return true; }
  // Take the values of the controls.
  virtual void Store() = 0;

  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  void OnOK(bool& handled) override;
  void OnCancel(bool& handled) override;
  void OnDestroy(bool& handled) override;

  std::u16string Text(int id) const { return GetDlgItemTextW(id); }
  void SetText(int id, std::u16string_view text) { SetDlgItemTextW(id, text); }
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  // Shows message (error icon, title "Dictalo") and gives the focus to control id.
  void Refuse(int id, std::u16string_view message);

 private:
  platform::UINT menu_bar_id_;
  toolkit::CMenuBar menu_bar_;
  // Set once the dialog is ending: a second OK (a double tap, a queued key)
  // must neither store again nor end it twice.
  bool ending_ = false;
};

// The title of every message these dialogs show.
inline constexpr std::u16string_view kPageMessageTitle = u"Dictalo";

}  // namespace settings
