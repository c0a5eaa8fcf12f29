#pragma once
// Message boxes. A presenter shows them: the desktop renderer installs its own;
// without one the headless presenter writes the box to stderr and answers it
// from a script, so tests and starts without a display can run through them.
//
// Script: DICTALO_MESSAGEBOX_ANSWERS holds comma-separated answers ("IDOK",
// "IDNO", ... or their numbers), taken one per box in order. A box takes its
// default button when the script is used up, or when the answer is unknown or is
// not one of the box's buttons (a warning says so). An answer may end in
// ":checked" or ":unchecked" to set the check box of a notice that has one
// (CheckedNoticeBox); without it the check box keeps its initial state.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_system.h"

namespace toolkit {

using platform::HWND;
using platform::UINT;

// Buttons (type & MB_TYPEMASK).
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_TYPEMASK = 0xF;
// Icons (type & MB_ICONMASK).
inline constexpr UINT MB_ICONHAND = 0x10;
inline constexpr UINT MB_ICONERROR = MB_ICONHAND;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr UINT MB_ICONASTERISK = 0x40;
inline constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr UINT MB_ICONMASK = 0xF0;
// Default button (type & MB_DEFMASK).
inline constexpr UINT MB_DEFBUTTON1 = 0x000;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;
inline constexpr UINT MB_DEFBUTTON4 = 0x300;
inline constexpr UINT MB_DEFMASK = 0xF00;
// Modality and placement.
inline constexpr UINT MB_APPLMODAL = 0x0000;
inline constexpr UINT MB_SETFOREGROUND = 0x10000;
inline constexpr UINT MB_TOPMOST = 0x40000;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
  HWND owner = nullptr;
  std::u16string text;
  std::u16string caption;
  UINT type = MB_OK;
  std::vector<int> buttons;  // in display order
  int default_button = IDOK;
  // A notice with a check box ("Don't show this again"): its label and initial state.
  bool has_check = false;
  std::u16string check_label;
  bool checked = false;
};

struct MessageBoxAnswer {
  int button = IDOK;
  bool checked = false;  // the check box's state at close (the initial one when there is none)
};

// The buttons a box type shows, and the one it answers by default.
std::vector<int> MessageBoxButtons(UINT type);
int MessageBoxDefaultButton(UINT type);
// "IDOK" / "OK" / "1" and so on; nullopt for anything else.
std::optional<int> ParseMessageBoxAnswer(std::string_view answer);

// A scripted answer: the button and, after a colon, the check box's state.
struct ScriptedAnswer {
  std::optional<int> button;          // nullopt: unknown
  std::optional<bool> checked;        // nullopt: left as it is
  bool check_suffix_valid = true;     // false for a suffix other than checked / unchecked
};
ScriptedAnswer ParseScriptedAnswer(std::string_view answer);
// "OK", "Cancel", ...
std::string MessageBoxButtonName(int id);

class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // Shows the box until the user answers; returns one of request.buttons and,
  // for a box with a check box, its state at close. May be called from any
  // thread that shows a box.
  virtual MessageBoxAnswer Present(const MessageBoxRequest& request) = 0;
};

// Writes the box to stderr and answers from DICTALO_MESSAGEBOX_ANSWERS.
class HeadlessMessageBoxPresenter : public MessageBoxPresenter {
 public:
  MessageBoxAnswer Present(const MessageBoxRequest& request) override;
};

// Installs the presenter for all boxes (nullptr: the headless one) and returns the
// previous one. The presenter is not owned and must outlive its use.
MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter);

// Shows a box and returns the answer (IDOK, IDCANCEL, ...).
int MessageBoxW(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type);

// Shows a notice with a check box labelled check_label that starts as `checked`
// says; returns the answer and leaves the box's state at close in `checked`.
int CheckedNoticeBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type,
                     std::u16string_view check_label, bool& checked);

}  // namespace toolkit
