#include "toolkit/ce_base_dialog.h"

#include <exception>
#include <utility>

#include "platform/text.h"
#include "toolkit/handler_guard.h"
#include "toolkit/display.h"
#include "toolkit/message_box.h"

namespace toolkit {
namespace pw = platform;

std::set<HWND> CeBaseDialog::m_setModeless;
std::mutex CeBaseDialog::modeless_mu_;

namespace {

// The text of the "Software Error" box for a handler of this kind.
std::u16string DialogCrashText(const std::u16string& window_text, const char* what) {
  return window_text + u" at " + pw::Utf8ToUtf16(what) + u" had an internal crash. Now closing program.";
}

template <typename F>
LRESULT Guarded(HWND hwnd, F&& f) {
  return GuardHandler(hwnd, DialogCrashText, std::forward<F>(f));
}

}  // namespace

CeBaseDialog::CeBaseDialog() = default;

CeBaseDialog::~CeBaseDialog() {
  HWND hwnd = dialog_hwnd_.load();
  if (hwnd && FromDialog(hwnd) == this) UnbindDialog(hwnd);
}

void CeBaseDialog::OnCancel(bool& handled) {
  if (!modal_) return;
  EndDialog(IDCANCEL);
  handled = true;
}

void CeBaseDialog::OnOK(bool& handled) {
  if (!modal_) return;
  EndDialog(IDOK);
  handled = true;
}

LRESULT CeBaseDialog::OnInitDialog(HWND, LPARAM, bool& handled) {
  if (sh_init_flags_)
    SizeForShellFlags();
  else if (modal_)
    CenterWindow();
  handled = true;
  return 1;
}

LRESULT CeBaseDialog::OnCtlColorStatic(std::uintptr_t, HWND, bool&) { return 0; }

void CeBaseDialog::SizeForShellFlags() {
  if (!(sh_init_flags_ & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR))) return;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  GetWorkArea(&area);
  MoveWindow(area);
}

LRESULT CeBaseDialog::DoModal(UINT template_id, HWND parent) {
  HWND owner = parent;
  if (owner && (pw::GetWindowLongPtr(owner, pw::GWL_STYLE) & pw::WS_CHILD) &&
      !pw::EqualsIgnoreAsciiCase(pw::GetClassName(owner), kDialogClass))
    owner = pw::GetTopLevelWindow(owner);
  if (!owner) owner = GetProgramMainWindow();
  HWND focus = pw::GetFocus();
  template_id_ = template_id;
  modal_ = true;
  LRESULT result = DialogBoxParamW(template_id, owner, DialogProc, reinterpret_cast<LPARAM>(this));
  // The object may be gone now (OnFinalMessage): only locals from here.
  if (focus && pw::IsWindow(focus)) pw::SetFocus(focus);
  return result;
}

HWND CeBaseDialog::Create(UINT template_id, HWND parent) {
  if (dialog_hwnd_.load()) return nullptr;
  template_id_ = template_id;
  modal_ = false;
  HWND hwnd = CreateDialogParamW(template_id, parent, DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd) {
    std::lock_guard lock(modeless_mu_);
    m_setModeless.insert(hwnd);
  }
  return hwnd;
}

bool CeBaseDialog::EndDialog(LRESULT result) {
  HWND hwnd = dialog_hwnd_.load();
  return hwnd && toolkit::EndDialog(hwnd, result);
}

bool CeBaseDialog::IsDialogMsg(MSG* msg) {
  DWORD me = pw::GetCurrentThreadId();
  for (HWND dialog : ModelessDialogs())
    if (pw::GetWindowThreadId(dialog) == me && IsDialogMessageW(dialog, msg)) return true;
  return false;
}

std::vector<HWND> CeBaseDialog::ModelessDialogs() {
  std::lock_guard lock(modeless_mu_);
  return std::vector<HWND>(m_setModeless.begin(), m_setModeless.end());
}

LRESULT CeBaseDialog::ProcessMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = false;
  switch (msg) {
    case pw::WM_ACTIVATE:
      // The shell's activation handler keeps the input panel's state; there is
      // none to keep here beyond the control that had the focus.
      if (pw::LOWORD(wparam) == 0) activate_info_.hwndLastFocus = pw::GetFocus();
      handled = true;
      return 0;
    case pw::WM_INITDIALOG: {
      inside_init_ = true;
      LRESULT result = OnInitDialog(reinterpret_cast<HWND>(wparam), lparam, handled);
      inside_init_ = false;
      return result;
    }
    case pw::WM_COMMAND: {
      UINT id = pw::LOWORD(wparam);
      UINT code = pw::HIWORD(wparam);
      if (id == IDOK) {
        OnOK(handled);
        return 0;
      }
      if (id == IDCANCEL) {
        OnCancel(handled);
        return 0;
      }
      if (id == 0xFFFF && code == 0) {
        // Focus to the control after the sender.
        HWND sender = reinterpret_cast<HWND>(lparam);
        HWND next = GetNextDlgTabItem(hwnd, sender, false);
        if (next)
          pw::PostMessage(hwnd, pw::WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), 1);
        else
          pw::PostMessage(hwnd, pw::WM_NEXTDLGCTL, 0, 0);
        handled = true;
        return 0;
      }
      if (inside_init_) return 0;
      return OnCommand(wparam, lparam, handled);
    }
    case pw::WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(wparam, reinterpret_cast<HWND>(lparam), handled);
    case pw::WM_NOTIFY:
      if (inside_init_) return 0;
      return CeMsgWnd::ProcessMessage(hwnd, msg, wparam, lparam, handled);
    default:
      return CeMsgWnd::ProcessMessage(hwnd, msg, wparam, lparam, handled);
  }
}

LRESULT CeBaseDialog::Default() {
  const CurrentMessage& m = current_message();
  if (prev_dlg_proc_) return prev_dlg_proc_(m.hwnd, m.msg, m.wparam, m.lparam);
  return DefDialogHandling(m.hwnd, m.msg, m.wparam, m.lparam);
}

void CeBaseDialog::OnSize(UINT, int width, int height, bool&) { child_mgr_.OnSize(width, height); }

void CeBaseDialog::OnSettingChange(UINT, LPARAM, bool& handled) {
  if (!(sh_init_flags_ & SHIDIF_SIZEDLGFULLSCREEN)) return;
  SizeForShellFlags();
  handled = true;
}

CeBaseDialog* CeBaseDialog::FromDialog(HWND hwnd) {
  if (!hwnd || reinterpret_cast<DLGPROC>(pw::GetWindowLongPtr(hwnd, DWLP_DLGPROC)) != DialogProc) return nullptr;
  return reinterpret_cast<CeBaseDialog*>(pw::GetWindowLongPtr(hwnd, pw::DWLP_USER));
}

LRESULT CeBaseDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* dialog = reinterpret_cast<CeBaseDialog*>(pw::GetWindowLongPtr(hwnd, pw::DWLP_USER));
  if (!dialog) {
    if (msg != pw::WM_INITDIALOG || !lparam) return 0;
    dialog = reinterpret_cast<CeBaseDialog*>(lparam);
    return Guarded(hwnd, [&]() -> LRESULT {
      pw::SetWindowLongPtr(hwnd, pw::DWLP_USER, lparam);
      dialog->OnFirstMessage(hwnd);
      dialog->hwnd_ = hwnd;
      dialog->dialog_hwnd_.store(hwnd);
      return dialog->HandleDialogMessage(hwnd, msg, wparam, lparam);
    });
  }
  return Guarded(hwnd, [&] { return dialog->HandleDialogMessage(hwnd, msg, wparam, lparam); });
}

LRESULT CeBaseDialog::HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  std::weak_ptr<char> alive = AliveToken();
  CurrentMessage outer = current_;
  current_ = CurrentMessage{hwnd, msg, wparam, lparam};
  bool handled = false;
  LRESULT result = ProcessMessage(hwnd, msg, wparam, lparam, handled);
  LRESULT answer = 0;
  if (handled) {
    if (IsDirectResultMessage(msg)) {
      answer = result;
    } else {
      if (pw::IsWindow(hwnd)) pw::SetWindowLongPtr(hwnd, pw::DWLP_MSGRESULT, result);
      answer = 1;
    }
  }
  if (alive.expired()) return answer;  // a handler deleted the object
  if (msg == pw::WM_DESTROY && FromDialog(hwnd) == this) {
    UnbindDialog(hwnd);
    OnFinalMessage(hwnd);  // may delete this
    return answer;
  }
  current_ = outer;
  return answer;
}

void CeBaseDialog::UnbindDialog(HWND hwnd) {
  if (prev_dlg_proc_) pw::SetWindowLongPtr(hwnd, DWLP_DLGPROC, reinterpret_cast<std::intptr_t>(prev_dlg_proc_));
  pw::SetWindowLongPtr(hwnd, pw::DWLP_USER, 0);
  prev_dlg_proc_ = nullptr;
  hwnd_ = nullptr;
  dialog_hwnd_.store(nullptr);
  std::lock_guard lock(modeless_mu_);
  m_setModeless.erase(hwnd);
}

}  // namespace toolkit
