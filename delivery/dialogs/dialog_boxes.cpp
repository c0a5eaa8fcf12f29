#include "delivery/dialogs/dialog_boxes.h"

#include "resources/notes_resources.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace delivery::dialogs {

bool AskYesNo(platform::HWND owner, std::u16string_view text) {
  return toolkit::MessageBoxW(owner, text, toolkit::LoadStringW(resources::kNotesAppTitleString),
                              toolkit::MB_YESNO | toolkit::MB_ICONQUESTION) == toolkit::IDYES;
}

void ShowError(platform::HWND owner, std::u16string_view text) {
  (void)toolkit::MessageBoxW(owner, text, toolkit::LoadStringW(resources::kNotesAppTitleString),
                             toolkit::MB_OK | toolkit::MB_ICONERROR);
}

}  // namespace delivery::dialogs
