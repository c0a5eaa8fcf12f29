#include "toolkit/ce_combo.h"

#include <charconv>
#include <limits>

#include "platform/text.h"
#include "toolkit/controls.h"

namespace toolkit {
namespace pw = platform;
namespace {

LPARAM TextParam(const std::u16string& text) { return reinterpret_cast<LPARAM>(text.c_str()); }

int AsInt(LRESULT r) { return static_cast<int>(r); }

}  // namespace

int CeCombo::AddString(std::u16string_view text) {
  std::u16string t(text);
  return AsInt(SendMessageW(CB_ADDSTRING, 0, TextParam(t)));
}

int CeCombo::InsertString(int index, std::u16string_view text) {
  std::u16string t(text);
  return AsInt(SendMessageW(CB_INSERTSTRING, static_cast<WPARAM>(index), TextParam(t)));
}

int CeCombo::DeleteString(int index) { return AsInt(SendMessageW(CB_DELETESTRING, static_cast<WPARAM>(index))); }
void CeCombo::ResetContent() { SendMessageW(CB_RESETCONTENT); }
int CeCombo::GetCount() const { return AsInt(SendMessageW(CB_GETCOUNT)); }
int CeCombo::GetCurSel() const { return AsInt(SendMessageW(CB_GETCURSEL)); }
int CeCombo::SetCurSel(int index) { return AsInt(SendMessageW(CB_SETCURSEL, static_cast<WPARAM>(index))); }

std::optional<std::u16string> CeCombo::GetLBText(int index) const {
  LRESULT length = SendMessageW(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length < 0) return std::nullopt;
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  LRESULT copied = SendMessageW(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  if (copied < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(std::min(copied, length)));
  return text;
}

LPARAM CeCombo::GetItemData(int index) const { return SendMessageW(CB_GETITEMDATA, static_cast<WPARAM>(index)); }

bool CeCombo::SetItemData(int index, LPARAM data) {
  return SendMessageW(CB_SETITEMDATA, static_cast<WPARAM>(index), data) != CB_ERR;
}

int CeCombo::FindStringExact(std::u16string_view text, int start) const {
  std::u16string t(text);
  return AsInt(SendMessageW(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), TextParam(t)));
}

int CeCombo::AddItem(std::u16string_view text, LPARAM data) {
  int index = AddString(text);
  if (index >= 0) SetItemData(index, data);
  return index;
}

bool CeCombo::SelectByData(LPARAM data) {
  for (int i = 0, n = GetCount(); i < n; ++i)
    if (GetItemData(i) == data) return SetCurSel(i) == i;
  return false;
}

LPARAM CeCombo::GetSelectedData(LPARAM fallback) const {
  int selected = GetCurSel();
  return selected < 0 ? fallback : GetItemData(selected);
}

std::pair<int, int> CeComboEdit::GetEditSel() const {
  auto sel = static_cast<std::uintptr_t>(SendMessageW(CB_GETEDITSEL));
  return {pw::LOWORD(sel), pw::HIWORD(sel)};
}

CeDlgControlContext::CeDlgControlContext(HWND dialog, int id) : dialog_(dialog), id_(id) {
  if (HWND control = pw::GetDlgItem(dialog, id)) Attach(control);
}

std::optional<int> CeDlgControlContext::GetInt() const {
  std::string text = pw::Utf16ToUtf8(GetText());
  std::size_t first = text.find_first_not_of(' ');
  std::size_t last = text.find_last_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const char* begin = text.data() + first;
  const char* end = text.data() + last + 1;
  if (*begin == '+') {  // from_chars takes no plus sign
    if (++begin == end || *begin == '-') return std::nullopt;
  }
  int value = 0;
  auto [at, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

bool CeDlgControlContext::SetInt(int value) {
  return SetText(pw::Utf8ToUtf16(std::to_string(value)));
}

bool CeDlgControlContext::GetCheck() const { return SendMessageW(BM_GETCHECK) == BST_CHECKED; }
void CeDlgControlContext::SetCheck(bool checked) { SendMessageW(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
void CeDlgControlContext::Show(bool show) { ShowWindow(show ? pw::SW_SHOW : pw::SW_HIDE); }

}  // namespace toolkit
