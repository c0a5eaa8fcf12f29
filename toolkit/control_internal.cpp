#include "toolkit/control_internal.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/text.h"
#include "toolkit/dialog_manager.h"

namespace toolkit::control_internal {
namespace pw = platform;

void RegisterControl(std::u16string_view name, pw::WNDPROC proc) {
  pw::WNDCLASS wc;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = kStateBytes;
  wc.hbrBackground = pw::GetStockObject(pw::WHITE_BRUSH);
  wc.lpszClassName = std::u16string(name);
  wc.style = pw::CS_GLOBALCLASS;
  pw::RegisterClass(wc);
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE)); }

void SendCommand(HWND control, UINT code) {
  HWND parent = pw::GetParent(control);
  if (!parent) return;
  auto id = static_cast<std::uint16_t>(pw::GetDlgCtrlID(control));
  pw::SendMessage(parent, pw::WM_COMMAND, pw::MAKEWPARAM(id, static_cast<std::uint16_t>(code)),
                  reinterpret_cast<LPARAM>(control));
}

LRESULT SendNotify(HWND control, NMHDR& hdr) {
  HWND parent = pw::GetParent(control);
  if (!parent) return 0;
  hdr.hwndFrom = control;
  hdr.idFrom = static_cast<std::uintptr_t>(pw::GetDlgCtrlID(control));
  return pw::SendMessage(parent, pw::WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}

std::size_t CopyOut(std::u16string_view text, char16_t* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  std::size_t count = std::min(text.size(), size - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = u'\0';
  return count;
}

std::u16string TextAt(const char16_t* p) { return p ? std::u16string(p) : std::u16string(); }

int CompareItemText(std::u16string_view a, std::u16string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = pw::AsciiToLower(a[i]), y = pw::AsciiToLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool AcceptsUserInput(HWND control) {
  if (!pw::IsWindow(control)) return false;
  for (HWND w = control; w; w = pw::GetParent(w))
    if (!pw::IsWindowEnabled(w)) return false;
  return true;
}

void TakeUserFocus(HWND control) {
  if (!AcceptsUserInput(control) || !pw::IsWindowVisible(control)) return;
  HWND dialog = pw::GetParent(control);
  while (dialog && !IsDialog(dialog)) dialog = pw::GetParent(dialog);
  if (dialog)
    pw::SendMessage(dialog, pw::WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), 1);
  else
    pw::SetFocus(control);
}

namespace {

std::mutex g_texts_mu;
std::map<LPARAM, std::pair<HWND, std::unique_ptr<std::u16string>>> g_texts;

}  // namespace

LPARAM KeepUserText(HWND control, std::u16string text) {
  auto owned = std::make_unique<std::u16string>(std::move(text));
  auto token = reinterpret_cast<LPARAM>(owned.get());
  std::lock_guard lock(g_texts_mu);
  g_texts[token] = {control, std::move(owned)};
  return token;
}

std::optional<std::u16string> TakeUserText(HWND control, LPARAM token) {
  std::lock_guard lock(g_texts_mu);
  auto it = g_texts.find(token);
  if (it == g_texts.end() || it->second.first != control) return std::nullopt;
  std::u16string text = std::move(*it->second.second);
  g_texts.erase(it);
  return text;
}

void DropUserTexts(HWND control) {
  std::lock_guard lock(g_texts_mu);
  std::erase_if(g_texts, [&](const auto& entry) { return entry.second.first == control; });
}

}  // namespace toolkit::control_internal
