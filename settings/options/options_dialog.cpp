#include "settings/options/options_dialog.h"

#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace settings {

namespace pw = platform;

OptionsDialog::OptionsDialog(pw::UINT template_id, pw::UINT menu_bar_id) : menu_bar_id_(menu_bar_id) {
  template_id_ = template_id;
}

pw::LRESULT OptionsDialog::Run(pw::HWND owner) {
  ending_ = false;
  return DoModal(template_id_, owner);
}

pw::LRESULT OptionsDialog::OnInitDialog(pw::HWND focus, pw::LPARAM param, bool& handled) {
  pw::LRESULT result = CeBaseDialog::OnInitDialog(focus, param, handled);
  (void)menu_bar_.Create(GetSafeHwnd(), menu_bar_id_);
  Load();
  return result;
}

void OptionsDialog::OnOK(bool& handled) {
  handled = true;
  if (ending_) return;
  if (!Validate()) return;
  ending_ = true;
  Store();
  EndDialog(toolkit::IDOK);
}

void OptionsDialog::OnCancel(bool& handled) {
  handled = true;
  if (ending_) return;
  ending_ = true;
  EndDialog(toolkit::IDCANCEL);
}

void OptionsDialog::OnDestroy(bool& handled) {
  // The bar's window goes with the dialog; the object forgets it.
  menu_bar_.Destroy();
  handled = false;
}

bool OptionsDialog::Checked(int id) const {
  return pw::SendMessage(GetDlgItem(id), toolkit::BM_GETCHECK, 0, 0) == toolkit::BST_CHECKED;
}

void OptionsDialog::SetChecked(int id, bool checked) {
  pw::SendMessage(GetDlgItem(id), toolkit::BM_SETCHECK, checked ? toolkit::BST_CHECKED : toolkit::BST_UNCHECKED, 0);
}

void OptionsDialog::Refuse(int id, std::u16string_view message) {
  toolkit::MessageBoxW(GetSafeHwnd(), message, kPageMessageTitle, toolkit::MB_OK | toolkit::MB_ICONERROR);
  if (pw::HWND field = GetDlgItem(id)) pw::SetFocus(field);
}

}  // namespace settings
