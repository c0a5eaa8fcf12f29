#pragma once
// The process-wide resource table: strings, dialog templates and soft-key menu
// bars by numeric id. The program fills it once at start (see
// resources/status_dialog.h) before any dialog is made; later additions under an
// id already there replace the entry. Every function may be called from any
// thread; lookups return copies, so a caller never holds a reference into the table.
//
// Dialog geometry is in pixels at 96 dpi; dialogs are made at that size and the
// renderer scales what it shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_system.h"

namespace toolkit {

using platform::DWORD;
using platform::RECT;
using platform::UINT;

// ---- strings ----
void AddString(UINT id, std::u16string_view text);
// The string, or an empty text when the table has none under the id.
std::u16string LoadStringW(UINT id);
// Whether the table holds a string under the id.
bool HasString(UINT id);
// Takes the string out of the table; false when there was none.
bool RemoveString(UINT id);

// ---- dialog templates ----
// One control of a dialog template: made as a child window of the dialog, of the
// window class class_name ("STATIC", "BUTTON", "msctls_progress32", ...; see
// toolkit/controls.h), with WS_CHILD added to style. Without WS_VISIBLE the
// control starts hidden.
struct ControlTemplate {
  std::u16string class_name;
  int id = 0;
  std::u16string text;
  RECT rect{};  // in the dialog's client area
  DWORD style = 0;
  DWORD ex_style = 0;
};

struct DialogTemplate {
  std::u16string title;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  // WS_POPUP for a dialog of its own, WS_CHILD for one placed inside its parent
  // (a page of another window). With WS_VISIBLE a modeless dialog shows at once;
  // a modal one is always shown.
  DWORD style = 0;
  std::vector<ControlTemplate> controls;  // in creation and tab order
};

void AddDialogTemplate(UINT id, DialogTemplate dialog);
std::optional<DialogTemplate> FindDialogTemplate(UINT id);
// The ids of every dialog template in the table, ascending.
std::vector<UINT> DialogTemplateIds();

// ---- soft-key menu bars ----
// One entry of a soft key's popup menu.
struct MenuItemResource {
  std::u16string text;
  UINT command = 0;  // 0: a separator
  bool grayed = false;  // shown but not choosable
};

// A soft key either sends its command or opens its popup menu.
struct SoftKeyResource {
  std::u16string text;
  UINT command = 0;
  UINT popup_id = 0;                     // when the key opens a popup: its menu's id
  std::vector<MenuItemResource> popup;   // the popup's items
};

struct MenuBarResource {
  std::vector<SoftKeyResource> keys;  // left to right
};

void AddMenuBar(UINT id, MenuBarResource bar);
std::optional<MenuBarResource> FindMenuBar(UINT id);

// Empties the table (tests).
void ClearResources();

}  // namespace toolkit
