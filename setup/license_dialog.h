#pragma once
// The licence agreement, shown full-screen before anything is installed. Accept
// ends it with 0, Decline with 1; the installation goes on only after Accept.

#include "platform/window_system.h"
#include "toolkit/ce_base_dialog.h"
#include "toolkit/gdi.h"
#include "toolkit/menu_bar.h"

namespace setup {

// Where the agreement text box goes on a screen of the given size (pixels):
// 220 x 127 portrait, 290 x 60 landscape, 220 x 60 square, at x 8, y 105; every
// number doubles on a VGA-class screen (640 x 480, 480 x 640, 480 x 480).
platform::RECT LicenseTextRect(int screen_width, int screen_height);

// The heading and product line font: bold "Tahoma", 11 pixels at 96 dpi scaled
// by the display's vertical density (negative: the characters' height).
toolkit::LOGFONTW LicenseHeadingFont(int vertical_dpi);

class LicenseDialog : public toolkit::CeBaseDialog {
 public:
  LicenseDialog() = default;
  // The font outlives the dialog's controls, which are gone by then.
  ~LicenseDialog() override;

  // Runs the dialog modally; 0 when the user accepted, 1 when declined (and 1
  // when the dialog cannot be made: nothing is installed without consent).
  static int Run(platform::HWND parent);

  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  // The soft keys send 1 and 2, which the dialog base takes for OK and Cancel.
  void OnOK(bool& handled) override;
  void OnCancel(bool& handled) override;
  void OnSize(platform::UINT type, int width, int height, bool& handled) override;
  void OnSettingChange(platform::UINT flag, platform::LPARAM lparam, bool& handled) override;
  // The heading in the highlight colour on the window's background.
  platform::LRESULT OnCtlColorStatic(std::uintptr_t dc, platform::HWND control, bool& handled) override;

 private:
  void PlaceText();
  toolkit::CMenuBar menu_bar_;
  toolkit::HFONT heading_font_ = nullptr;
};

}  // namespace setup
