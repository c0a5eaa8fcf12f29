#include "settings/account/dialog_support.h"

#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace settings::dialog_support {

std::u16string ItemText(HWND dialog, int id) { return platform::GetWindowText(platform::GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, std::u16string_view text) {
  platform::SetWindowText(platform::GetDlgItem(dialog, id), text);
}

bool IsChecked(HWND dialog, int id) {
  return platform::SendMessage(platform::GetDlgItem(dialog, id), toolkit::BM_GETCHECK, 0, 0) == toolkit::BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
  platform::SendMessage(platform::GetDlgItem(dialog, id), toolkit::BM_SETCHECK,
                        checked ? toolkit::BST_CHECKED : toolkit::BST_UNCHECKED, 0);
}

void EnableItem(HWND dialog, int id, bool enable) { platform::EnableWindow(platform::GetDlgItem(dialog, id), enable); }

bool Refuse(HWND dialog, int id, std::u16string_view text, std::u16string_view title) {
  // Focus first: the field at fault is where the user goes on typing after the box.
  platform::SetFocus(platform::GetDlgItem(dialog, id));
  toolkit::MessageBoxW(dialog, text, title, toolkit::MB_OK | toolkit::MB_ICONERROR);
  return false;
}

platform::LRESULT SoftKeyDialog::OnInitDialog(HWND focus, platform::LPARAM param, bool& handled) {
  platform::LRESULT result = toolkit::CeBaseDialog::OnInitDialog(focus, param, handled);
  menu_bar_.Create(GetSafeHwnd(), menu_bar_id_);
  Init();
  handled = true;
  return result;
}

}  // namespace settings::dialog_support
