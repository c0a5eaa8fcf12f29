#include "toolkit/renderer.h"

#include <atomic>
#include <mutex>

#include "platform/text.h"

#include "toolkit/common_controls.h"
#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/headless_renderer.h"

namespace toolkit {
namespace pw = platform;
namespace {

std::atomic<Renderer*> g_renderer{nullptr};
std::mutex g_install_mu;

}  // namespace

Renderer* InitRenderer() {
  std::lock_guard lock(g_install_mu);
  RegisterControlClasses();
  if (Renderer* current = g_renderer.load()) return current;
  // Lives until the process ends: windows of other threads may still report to it.
  auto* renderer = new HeadlessRenderer(HeadlessRenderer::DumpPathFromEnvironment());
  pw::AddWindowObserver(renderer);
  SetMessageBoxPresenter(renderer->MessageBoxes());
  g_renderer.store(renderer);
  return renderer;
}

Renderer* CurrentRenderer() { return g_renderer.load(); }

Renderer* SetRenderer(Renderer* renderer) {
  std::lock_guard lock(g_install_mu);
  RegisterControlClasses();
  Renderer* previous = g_renderer.exchange(renderer);
  if (previous) pw::RemoveWindowObserver(previous);
  if (renderer) pw::AddWindowObserver(renderer);
  SetMessageBoxPresenter(renderer ? renderer->MessageBoxes() : nullptr);
  return previous;
}

void NotifyControlChanged(HWND control) {
  if (Renderer* renderer = g_renderer.load()) renderer->OnControlChanged(control);
}

bool PostClick(HWND control) { return control && pw::PostMessage(control, BM_CLICK, 0, 0); }

bool PostKey(HWND window, UINT virtual_key) {
  if (!window) return false;
  HWND dialog = window;
  while (dialog && !IsDialog(dialog)) dialog = pw::GetParent(dialog);
  HWND target = window;
  if (dialog) {
    HWND focus = GetDialogFocus(dialog);
    target = focus && pw::IsWindow(focus) ? focus : dialog;
  }
  // Repeat count 1; the release carries the previous-state and transition bits.
  return pw::PostMessage(target, pw::WM_KEYDOWN, virtual_key, pw::MAKELPARAM(1, 0)) &&
         pw::PostMessage(target, pw::WM_KEYUP, virtual_key, pw::MAKELPARAM(1, 0xC000));
}

bool PostUserText(HWND control, std::u16string text) {
  if (!control || !pw::IsWindow(control)) return false;
  // Only fields take typed text; a text kept for any other window would never be taken.
  std::u16string class_name = pw::GetClassName(control);
  if (!pw::EqualsIgnoreAsciiCase(class_name, kEditClass) && !pw::EqualsIgnoreAsciiCase(class_name, kComboBoxClass))
    return false;
  LPARAM token = control_internal::KeepUserText(control, std::move(text));
  if (pw::PostMessage(control, TKM_USER_TEXT, 0, token)) return true;
  control_internal::TakeUserText(control, token);  // nobody will take it now
  return false;
}

bool PostUserSelect(HWND control, std::intptr_t item) {
  return control && pw::PostMessage(control, TKM_USER_SELECT, 0, item);
}

bool PostUserActivate(HWND control, std::intptr_t item) {
  return control && pw::PostMessage(control, TKM_USER_ACTIVATE, 0, item);
}

bool PostUserExpand(HWND control, std::uintptr_t item, bool expand) {
  return control && pw::PostMessage(control, TKM_USER_EXPAND, expand ? 1 : 0, static_cast<LPARAM>(item));
}

bool PostUserPosition(HWND control, int position) {
  return control && pw::PostMessage(control, TKM_USER_POSITION, 0, position);
}

bool PostUserFocus(HWND control) { return control && pw::PostMessage(control, TKM_USER_FOCUS, 0, 0); }

}  // namespace toolkit
