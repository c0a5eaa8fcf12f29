#include "setup/license_dialog.h"

#include "platform/text.h"
#include "resources/setup_resources.h"
#include "toolkit/display.h"
#include "toolkit/resources.h"

namespace setup {
namespace {

bool IsVgaClass(int w, int h) { return (w == 640 && h == 480) || (w == 480 && h == 640) || (w == 480 && h == 480); }

std::u16string ReplaceFirst(std::u16string text, std::u16string_view what, std::u16string_view with) {
  std::size_t at = text.find(what);
  if (at != std::u16string::npos) text.replace(at, what.size(), with);
  return text;
}

}  // namespace

platform::RECT LicenseTextRect(int screen_width, int screen_height) {
  int width = 220;
  int height = 127;
  if (screen_width > screen_height) {
    width = 290;
    height = 60;
  } else if (screen_width == screen_height) {
    height = 60;
  }
  int x = 8;
  int y = 105;
  if (IsVgaClass(screen_width, screen_height)) {
    x *= 2;
    y *= 2;
    width *= 2;
    height *= 2;
  }
  return platform::RECT{x, y, x + width, y + height};
}

toolkit::LOGFONTW LicenseHeadingFont(int vertical_dpi) {
  toolkit::LOGFONTW font;
  font.lfHeight = -((11 * vertical_dpi + 48) / 96);
  font.lfWeight = toolkit::FW_BOLD;
  font.lfFaceName = u"Tahoma";
  return font;
}

LicenseDialog::~LicenseDialog() {
  if (heading_font_) toolkit::DeleteObject(heading_font_);
}

int LicenseDialog::Run(platform::HWND parent) {
  // The installer may have put them in already, and may have left the
  // licence text out.
  if (!toolkit::FindDialogTemplate(resources::kLicenseDialog)) resources::RegisterSetupResources();
  LicenseDialog dialog;
  dialog.SetSHInitFlags(toolkit::SHIDIF_SIZEDLGFULLSCREEN);
  platform::LRESULT result = dialog.DoModal(resources::kLicenseDialog, parent);
  return result == 0 ? 0 : 1;
}

platform::LRESULT LicenseDialog::OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) {
  platform::LRESULT result = CeBaseDialog::OnInitDialog(focus, param, handled);
  SetWindowTextW(toolkit::LoadStringW(resources::kSetupTitleString));
  // The agreement is 8-bit text; each byte is one character.
  std::u16string license = toolkit::HasString(resources::kLicenseTextString)
                               ? toolkit::LoadStringW(resources::kLicenseTextString)
                               : toolkit::LoadStringW(resources::kLicenseErrorString);
  SetDlgItemTextW(resources::kLicenseText, license);
  std::u16string line = toolkit::LoadStringW(resources::kProductLineString);
  line = ReplaceFirst(std::move(line), u"%s", toolkit::LoadStringW(resources::kSetupProductString));
  line = ReplaceFirst(std::move(line), u"%s", platform::Latin1ToUtf16(std::string_view(__DATE__, 11)));
  SetDlgItemTextW(resources::kLicenseProductLine, line);
  SetDlgItemTextW(resources::kLicenseNotice, toolkit::LoadStringW(resources::kSetupNoticeString));
  if (!heading_font_)
    heading_font_ = toolkit::CreateFontIndirectW(LicenseHeadingFont(toolkit::GetDisplayMetrics().dpi));
  for (int id : {resources::kLicenseHeading, resources::kLicenseProductLine})
    platform::SendMessage(GetDlgItem(id), toolkit::WM_SETFONT, reinterpret_cast<platform::WPARAM>(heading_font_), 1);
  toolkit::InvalidateRect(GetDlgItem(resources::kLicenseHeading), nullptr, true);
  PlaceText();
  // The soft keys come last, so the dialog is complete when they can be used.
  menu_bar_.Create(GetSafeHwnd(), resources::kLicenseMenuBar);
  return result;
}

void LicenseDialog::OnOK(bool& handled) {
  EndDialog(0);
  handled = true;
}

void LicenseDialog::OnCancel(bool& handled) {
  EndDialog(1);
  handled = true;
}

void LicenseDialog::OnSize(platform::UINT type, int width, int height, bool& handled) {
  CeBaseDialog::OnSize(type, width, height, handled);
  PlaceText();
}

void LicenseDialog::OnSettingChange(platform::UINT flag, platform::LPARAM lparam, bool& handled) {
  CeBaseDialog::OnSettingChange(flag, lparam, handled);
  PlaceText();
}

platform::LRESULT LicenseDialog::OnCtlColorStatic(std::uintptr_t dc, platform::HWND control, bool& handled) {
  if (control != GetDlgItem(resources::kLicenseHeading)) return 0;
  toolkit::SetTextColor(reinterpret_cast<toolkit::HDC>(dc), toolkit::GetSysColor(toolkit::COLOR_HIGHLIGHT));
  handled = true;
  return reinterpret_cast<platform::LRESULT>(toolkit::GetSysColorBrush(toolkit::COLOR_WINDOW));
}

void LicenseDialog::PlaceText() {
  if (!GetSafeHwnd()) return;
  toolkit::DisplayMetrics metrics = toolkit::GetDisplayMetrics();
  platform::RECT r = LicenseTextRect(metrics.screen_width, metrics.screen_height);
  platform::HWND text = GetDlgItem(resources::kLicenseText);
  if (text) platform::MoveWindow(text, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
}

}  // namespace setup
