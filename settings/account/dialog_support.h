#pragma once
// Small helpers the account dialogs share: reading and setting their controls
// by id, and refusing a value with a message box while the faulty field takes
// the focus.

#include <string>
#include <string_view>

#include "platform/window_system.h"
#include "toolkit/ce_base_dialog.h"
#include "toolkit/menu_bar.h"

namespace settings::dialog_support {

using platform::HWND;

std::u16string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, std::u16string_view text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
void EnableItem(HWND dialog, int id, bool enable);

// Moves the focus to the control `id` and shows `text` in an error box titled
// `title`, modal to the dialog. Always false, so a check can `return Refuse(...)`.
bool Refuse(HWND dialog, int id, std::u16string_view text, std::u16string_view title);

// A modal dialog with a soft-key bar: the bar is made when the dialog opens,
// then Init fills the controls.
class SoftKeyDialog : public toolkit::CeBaseDialog {
 public:
  explicit SoftKeyDialog(platform::UINT menu_bar_id) : menu_bar_id_(menu_bar_id) {}

 protected:
  platform::LRESULT OnInitDialog(HWND focus, platform::LPARAM param, bool& handled) override;
  virtual void Init() = 0;
  HWND Hwnd() const { return GetSafeHwnd(); }

 private:
  platform::UINT menu_bar_id_;
  toolkit::CMenuBar menu_bar_;
};

}  // namespace settings::dialog_support
