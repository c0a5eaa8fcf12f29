#pragma once
// Fonts, brushes and colours that a control's owner picks for it, in the shape
// of the platform's drawing functions, for a renderer to honour:
//
// - a font made by CreateFontIndirectW (or CreateFontW) is given to a static
//   control with WM_SETFONT; the control keeps the handle, not a copy, so the
//   owner deletes the font only after the control is gone;
// - while a renderer reads a static control it sends the parent
//   WM_CTLCOLORSTATIC (wParam the HDC below, lParam the control); the parent may
//   set the text colour on the HDC and return a brush (cast to LRESULT) for the
//   background. A parent whose answer changes calls InvalidateRect on the control
//   so that the renderer asks again.
//
// Handles are opaque; DeleteObject frees what Create* made (stock and system
// brushes stay). Every function may be called on any thread.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/window_system.h"

namespace toolkit {

using platform::HWND;
using platform::UINT;
using COLORREF = std::uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr unsigned GetRValue(COLORREF c) { return c & 0xFF; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }

struct HFONT__;
struct HBRUSH__;
using HFONT = HFONT__*;
using HBRUSH = HBRUSH__*;

inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr std::size_t LF_FACESIZE = 32;

struct LOGFONTW {
  int lfHeight = 0;  // pixels; negative: the height of the characters, positive: of the cell
  int lfWeight = FW_NORMAL;
  bool lfItalic = false;
  std::u16string lfFaceName;  // at most LF_FACESIZE - 1 characters are kept
  bool operator==(const LOGFONTW&) const = default;
};

// nullptr when the description is unusable (height 0 or beyond 1000 pixels).
HFONT CreateFontIndirectW(const LOGFONTW& font);
HFONT CreateFontW(int height, int weight, bool italic, std::u16string_view face);
// The description of a font; false for a handle that is no font.
bool GetObjectW(HFONT font, LOGFONTW* out);

HBRUSH CreateSolidBrush(COLORREF color);
// The brush's colour; false for a handle that is no brush.
bool GetBrushColor(HBRUSH brush, COLORREF* out);

// Frees a font or brush; false for an unknown handle and for system brushes.
bool DeleteObject(HFONT font);
bool DeleteObject(HBRUSH brush);

// System colours. The values are the classic defaults until a renderer tells
// the desktop's own (SetSysColor), so owners follow the desktop's theme.
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNFACE = 15;
COLORREF GetSysColor(int index);
// The brush of a system colour: made once, follows later SetSysColor calls,
// never deleted. nullptr for an unknown index.
HBRUSH GetSysColorBrush(int index);
void SetSysColor(int index, COLORREF color);

// The drawing state a parent sees in WM_CTLCOLORSTATIC.
struct DeviceContext {
  std::optional<COLORREF> text_color;
  std::optional<COLORREF> back_color;
  int bk_mode = 2;  // OPAQUE
};
using HDC = DeviceContext*;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
// The previous colour (black / white when none was set); CLR_INVALID for no dc.
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);

inline constexpr UINT WM_SETFONT = 0x0030;  // wParam HFONT (0: the default font), lParam redraw
inline constexpr UINT WM_GETFONT = 0x0031;  // returns the HFONT, 0 for the default

// The control (or window) looks different now: a renderer reads it again.
bool InvalidateRect(HWND hwnd, const platform::RECT* rect, bool erase);

// How a static control is to be drawn: its font (none: the renderer's default),
// text colour and background (none: the renderer's) as its parent answers.
// Only on the thread that owns the control.
struct StaticLook {
  std::optional<LOGFONTW> font;
  std::optional<COLORREF> text_color;
  std::optional<COLORREF> back_color;
  bool operator==(const StaticLook&) const = default;
};
StaticLook ReadStaticLook(HWND control);

}  // namespace toolkit
