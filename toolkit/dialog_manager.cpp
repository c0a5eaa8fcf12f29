// The dialog manager. Each dialog window has a small record (procedure, modal
// flag, owner, end flag and result, remembered focus) shared between the dialog's
// thread and whoever ends it from another thread; the records live in a table
// guarded by one mutex and are dropped at WM_DESTROY.

#include "toolkit/dialog_manager.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace toolkit {
namespace pw = platform;
namespace {

// Sent to a modeless dialog by EndDialog from another thread: destroy yourself.
constexpr UINT kEndModelessDialog = pw::WM_APP - 2;

struct DialogState {
  DLGPROC proc = nullptr;
  bool modal = false;
  HWND owner = nullptr;
  std::atomic<bool> ended{false};
  std::atomic<LRESULT> result{0};
  std::atomic<HWND> focus{nullptr};
};

std::mutex g_mu;
std::map<HWND, std::shared_ptr<DialogState>> g_dialogs;
std::atomic<HWND> g_main_window{nullptr};

// The record a dialog being made on this thread picks up at its WM_CREATE.
thread_local std::shared_ptr<DialogState> t_pending;
thread_local bool t_shift_down = false;

std::shared_ptr<DialogState> StateOf(HWND hwnd) {
  std::lock_guard lock(g_mu);
  auto it = g_dialogs.find(hwnd);
  return it == g_dialogs.end() ? nullptr : it->second;
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE)); }

bool IsDescendant(HWND ancestor, HWND hwnd) {
  for (HWND p = pw::GetParent(hwnd); p; p = pw::GetParent(p))
    if (p == ancestor) return true;
  return false;
}

bool TakesTab(HWND hwnd) {
  DWORD style = StyleOf(hwnd);
  return (style & WS_TABSTOP) && (style & pw::WS_VISIBLE) && !(style & pw::WS_DISABLED);
}

void FocusControl(HWND dialog, HWND control) {
  if (!control) return;
  pw::SetFocus(control);
  if (auto state = StateOf(dialog)) state->focus.store(control);
}

// Focus moved by the keyboard (Tab, the first control at the start) selects the
// whole text of an edit field, so typing replaces it.
void FocusByKeyboard(HWND dialog, HWND control) {
  if (!control) return;
  FocusControl(dialog, control);
  if (pw::GetFocus() == control && (pw::SendMessage(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
    pw::SendMessage(control, EM_SETSEL, 0, -1);
}

// The dialog's child that holds the calling thread's focus (or contains it).
HWND FocusedChild(HWND dialog) {
  HWND focus = pw::GetFocus();
  if (!focus || focus == dialog || !IsDescendant(dialog, focus)) return nullptr;
  return focus;
}

HWND DirectChildOf(HWND dialog, HWND hwnd) {
  while (hwnd && pw::GetParent(hwnd) != dialog) hwnd = pw::GetParent(hwnd);
  return hwnd;
}

}  // namespace

LRESULT DefDialogHandling(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case pw::WM_CLOSE:
      pw::SendMessage(hwnd, pw::WM_COMMAND, pw::MAKEWPARAM(IDCANCEL, BN_CLICKED),
                      reinterpret_cast<LPARAM>(pw::GetDlgItem(hwnd, IDCANCEL)));
      return 0;
    case pw::WM_NEXTDLGCTL: {
      HWND target;
      if (pw::LOWORD(static_cast<std::uintptr_t>(lparam)) != 0)
        target = reinterpret_cast<HWND>(wparam);
      else
        target = GetNextDlgTabItem(hwnd, DirectChildOf(hwnd, FocusedChild(hwnd)), wparam != 0);
      if (target && (target == hwnd || IsDescendant(hwnd, target))) FocusControl(hwnd, target);
      return 0;
    }
    case pw::WM_SETFOCUS: {
      // The dialog passes the focus on to the control that had it last.
      auto state = StateOf(hwnd);
      HWND last = state ? state->focus.load() : nullptr;
      if (last && pw::IsWindow(last) && IsDescendant(hwnd, last) && pw::IsWindowEnabled(last)) pw::SetFocus(last);
      return 0;
    }
    case kEndModelessDialog:
      pw::DestroyWindow(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

namespace {

LRESULT DialogWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE && t_pending) {
    pw::SetWindowLongPtr(hwnd, DWLP_DLGPROC, reinterpret_cast<std::intptr_t>(t_pending->proc));
    std::lock_guard lock(g_mu);
    g_dialogs[hwnd] = std::exchange(t_pending, nullptr);
  }
  auto proc = reinterpret_cast<DLGPROC>(pw::GetWindowLongPtr(hwnd, DWLP_DLGPROC));
  LRESULT answer = proc ? proc(hwnd, msg, wparam, lparam) : 0;
  LRESULT result;
  if (answer != 0)
    result = IsDirectResultMessage(msg) ? answer : pw::GetWindowLongPtr(hwnd, pw::DWLP_MSGRESULT);
  else
    result = DefDialogHandling(hwnd, msg, wparam, lparam);
  if (msg == pw::WM_DESTROY) {
    std::lock_guard lock(g_mu);
    g_dialogs.erase(hwnd);
  }
  return result;
}

void RegisterDialogClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    pw::WNDCLASS wc;
    wc.lpfnWndProc = DialogWindowProc;
    wc.cbWndExtra = static_cast<int>(sizeof(std::intptr_t));  // DWLP_DLGPROC
    wc.hbrBackground = pw::GetStockObject(pw::WHITE_BRUSH);
    wc.lpszClassName = std::u16string(kDialogClass);
    pw::RegisterClass(wc);
  });
  RegisterControlClasses();
}

HWND MakeDialog(const DialogTemplate& dialog, HWND parent, DLGPROC proc, LPARAM param, bool modal) {
  RegisterDialogClass();
  bool child = (dialog.style & pw::WS_CHILD) != 0;
  if (child && !parent) return nullptr;
  auto state = std::make_shared<DialogState>();
  state->proc = proc;
  state->modal = modal;
  state->owner = parent;
  t_pending = state;
  HWND hwnd = pw::CreateWindowEx(0, kDialogClass, dialog.title, dialog.style & ~pw::WS_VISIBLE, dialog.x, dialog.y,
                                 dialog.width, dialog.height, child ? parent : nullptr, 0, nullptr);
  t_pending.reset();
  if (!hwnd) return nullptr;
  for (const ControlTemplate& c : dialog.controls) {
    HWND control = pw::CreateWindowEx(c.ex_style, c.class_name, c.text, c.style | pw::WS_CHILD, c.rect.left, c.rect.top,
                                      c.rect.right - c.rect.left, c.rect.bottom - c.rect.top, hwnd,
                                      static_cast<UINT>(c.id), nullptr);
    if (!control) {
      pw::DestroyWindow(hwnd);
      return nullptr;
    }
  }
  HWND first = GetNextDlgTabItem(hwnd, nullptr, false);
  LRESULT focus_first = pw::SendMessage(hwnd, pw::WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!pw::IsWindow(hwnd)) return nullptr;
  if (focus_first && first && pw::IsWindow(first)) FocusByKeyboard(hwnd, first);
  if (!modal && (dialog.style & pw::WS_VISIBLE)) pw::ShowWindow(hwnd, pw::SW_SHOW);
  return hwnd;
}

// Enter: the focused push button, else the default push button, else IDOK.
void PressDefault(HWND dialog, HWND focus) {
  auto push_id = [](HWND control, UINT want) -> int {
    UINT code = static_cast<UINT>(pw::SendMessage(control, WM_GETDLGCODE, 0, 0));
    return (code & want) ? pw::GetDlgCtrlID(control) : -1;
  };
  HWND button = nullptr;
  if (focus && push_id(focus, DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON) >= 0) button = focus;
  if (!button) {
    for (HWND child : pw::GetChildWindows(dialog))
      if (push_id(child, DLGC_DEFPUSHBUTTON) >= 0) {
        button = child;
        break;
      }
  }
  if (button) {
    if (!pw::IsWindowEnabled(button)) return;
    pw::SendMessage(dialog, pw::WM_COMMAND,
                    pw::MAKEWPARAM(static_cast<std::uint16_t>(pw::GetDlgCtrlID(button)), BN_CLICKED),
                    reinterpret_cast<LPARAM>(button));
    return;
  }
  pw::SendMessage(dialog, pw::WM_COMMAND, pw::MAKEWPARAM(IDOK, BN_CLICKED),
                  reinterpret_cast<LPARAM>(pw::GetDlgItem(dialog, IDOK)));
}

}  // namespace

bool IsDirectResultMessage(UINT msg) {
  switch (msg) {
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case pw::WM_INITDIALOG:
      return true;
    default:
      return msg >= WM_CTLCOLORMSGBOX && msg <= pw::WM_CTLCOLORSTATIC;
  }
}

HWND CreateDialogParamW(UINT template_id, HWND parent, DLGPROC proc, LPARAM param) {
  auto dialog = FindDialogTemplate(template_id);
  return dialog ? MakeDialog(*dialog, parent, proc, param, false) : nullptr;
}

HWND CreateDialogIndirectParamW(const DialogTemplate& dialog, HWND parent, DLGPROC proc, LPARAM param) {
  return MakeDialog(dialog, parent, proc, param, false);
}

LRESULT DialogBoxParamW(UINT template_id, HWND owner, DLGPROC proc, LPARAM param) {
  auto dialog = FindDialogTemplate(template_id);
  return dialog ? DialogBoxIndirectParamW(*dialog, owner, proc, param) : -1;
}

LRESULT DialogBoxIndirectParamW(const DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param) {
  DialogTemplate popup = dialog;
  popup.style &= ~pw::WS_CHILD;
  HWND hwnd = MakeDialog(popup, owner, proc, param, true);
  if (!hwnd) return -1;
  auto state = StateOf(hwnd);
  if (!state) return -1;
  // The owner is disabled only once the dialog exists: an owner on another
  // thread may be waiting for the dialog before it looks at its messages again.
  bool disabled_owner = owner && pw::IsWindow(owner) && pw::IsWindowEnabled(owner);
  if (disabled_owner) pw::EnableWindow(owner, false);
  if (!state->ended.load() && pw::IsWindow(hwnd)) pw::ShowWindow(hwnd, pw::SW_SHOW);

  bool quit = false;
  WPARAM quit_code = 0;
  MSG msg;
  while (!state->ended.load() && pw::IsWindow(hwnd)) {
    if (pw::GetMessage(&msg) == 0) {
      quit = true;
      quit_code = msg.wParam;
      break;
    }
    if (!IsDialogMessageW(hwnd, &msg)) {
      pw::TranslateMessage(msg);
      pw::DispatchMessage(msg);
    }
  }
  LRESULT result = state->ended.load() ? state->result.load() : 0;
  if (pw::IsWindow(hwnd)) pw::ShowWindow(hwnd, pw::SW_HIDE);
  if (disabled_owner) pw::EnableWindow(owner, true);
  if (pw::IsWindow(hwnd)) pw::DestroyWindow(hwnd);
  if (quit) pw::PostQuitMessage(static_cast<int>(quit_code));
  return result;
}

bool EndDialog(HWND dialog, LRESULT result) {
  auto state = StateOf(dialog);
  if (!state) return false;
  if (state->modal) {
    state->result.store(result);
    state->ended.store(true);
    pw::PostMessage(dialog, pw::WM_NULL, 0, 0);  // wakes the modal loop
    return true;
  }
  if (pw::GetWindowThreadId(dialog) == pw::GetCurrentThreadId()) return pw::DestroyWindow(dialog);
  pw::SendMessage(dialog, kEndModelessDialog, 0, 0);
  return true;
}

bool IsModalDialog(HWND dialog) {
  auto state = StateOf(dialog);
  return state && state->modal;
}

HWND GetDialogOwner(HWND dialog) {
  auto state = StateOf(dialog);
  return state ? state->owner : nullptr;
}

bool IsDialog(HWND hwnd) { return StateOf(hwnd) != nullptr; }

bool IsDialogMessageW(HWND dialog, MSG* msg) {
  if (!msg || !dialog || !pw::IsWindow(dialog)) return false;
  if (msg->hwnd != dialog && !IsDescendant(dialog, msg->hwnd)) return false;
  if (msg->wParam == VK_SHIFT && (msg->message == pw::WM_KEYDOWN || msg->message == pw::WM_KEYUP))
    t_shift_down = msg->message == pw::WM_KEYDOWN;

  HWND focus = FocusedChild(dialog);
  if (focus)
    if (auto state = StateOf(dialog)) state->focus.store(focus);
  UINT code = focus ? static_cast<UINT>(pw::SendMessage(focus, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)))
                    : 0;
  bool wants_all = (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0;

  if (msg->message == pw::WM_KEYDOWN && !wants_all) {
    switch (msg->wParam) {
      case VK_TAB:
        if (code & DLGC_WANTTAB) break;
        FocusByKeyboard(dialog, GetNextDlgTabItem(dialog, DirectChildOf(dialog, focus), t_shift_down));
        return true;
      case pw::VK_RETURN:
        PressDefault(dialog, focus);
        return true;
      case pw::VK_ESCAPE:
        pw::SendMessage(dialog, pw::WM_COMMAND, pw::MAKEWPARAM(IDCANCEL, BN_CLICKED),
                        reinterpret_cast<LPARAM>(pw::GetDlgItem(dialog, IDCANCEL)));
        return true;
      default:
        break;
    }
  }
  if (msg->message == pw::WM_CHAR && !wants_all && !(code & DLGC_WANTCHARS) &&
      (msg->wParam == VK_TAB || msg->wParam == pw::VK_RETURN || msg->wParam == pw::VK_ESCAPE))
    return true;  // the key itself was used above
  pw::TranslateMessage(*msg);
  pw::DispatchMessage(*msg);
  return true;
}

bool IsShiftDown() { return t_shift_down; }

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
  std::vector<HWND> children = pw::GetChildWindows(dialog);
  if (children.empty()) return nullptr;
  if (previous) std::reverse(children.begin(), children.end());
  auto at = std::find(children.begin(), children.end(), control);
  std::size_t start = at == children.end() ? 0 : static_cast<std::size_t>(at - children.begin()) + 1;
  for (std::size_t i = 0; i < children.size(); ++i) {
    HWND candidate = children[(start + i) % children.size()];
    if (TakesTab(candidate)) return candidate;
  }
  return nullptr;
}

HWND GetDialogFocus(HWND dialog) {
  auto state = StateOf(dialog);
  if (!state) return nullptr;
  if (pw::GetWindowThreadId(dialog) == pw::GetCurrentThreadId())
    if (HWND focus = FocusedChild(dialog)) return focus;
  HWND focus = state->focus.load();
  return focus && pw::IsWindow(focus) ? focus : nullptr;
}

void SetProgramMainWindow(HWND hwnd) { g_main_window.store(hwnd); }
HWND GetProgramMainWindow() { return g_main_window.load(); }

}  // namespace toolkit
