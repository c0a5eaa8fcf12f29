#include "toolkit/gdi.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "toolkit/renderer.h"

namespace toolkit {
namespace {

namespace pw = platform;

struct Brush {
  COLORREF color = 0;
  int system_index = -1;  // >= 0: follows that system colour, never deleted
};
using Object = std::variant<LOGFONTW, Brush>;

constexpr int kSysColorCount = 31;

struct Table {
  std::mutex mu;
  std::uintptr_t next = 1;
  std::unordered_map<std::uintptr_t, Object> objects;
  std::array<COLORREF, kSysColorCount> colors{};
  std::array<std::uintptr_t, kSysColorCount> system_brushes{};
  Table() {
    colors.fill(0xC0C0C0);
    colors[COLOR_WINDOW] = 0xFFFFFF;
    colors[COLOR_WINDOWTEXT] = 0x000000;
    colors[COLOR_HIGHLIGHT] = RGB(0x00, 0x78, 0xD7);
    colors[COLOR_HIGHLIGHTTEXT] = 0xFFFFFF;
    colors[COLOR_BTNFACE] = 0xF0F0F0;
  }
};

Table& Objects() {
  static Table* table = new Table;  // used until the process ends
  return *table;
}

std::uintptr_t Add(Object object) {
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  // Handles are never reused, so a stale one finds nothing.
  std::uintptr_t id = t.next++ << 4;
  t.objects.emplace(id, std::move(object));
  return id;
}

bool Delete(std::uintptr_t id) {
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(id);
  if (it == t.objects.end()) return false;
  if (auto* brush = std::get_if<Brush>(&it->second); brush && brush->system_index >= 0) return false;
  t.objects.erase(it);
  return true;
}

bool ValidSysColor(int index) { return index >= 0 && index < kSysColorCount; }

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW& font) {
  if (font.lfHeight == 0 || font.lfHeight > 1000 || font.lfHeight < -1000) return nullptr;
  LOGFONTW kept = font;
  if (kept.lfFaceName.size() >= LF_FACESIZE) kept.lfFaceName.resize(LF_FACESIZE - 1);
  kept.lfWeight = std::clamp(kept.lfWeight, 0, 1000);
  return reinterpret_cast<HFONT>(Add(kept));
}

HFONT CreateFontW(int height, int weight, bool italic, std::u16string_view face) {
  LOGFONTW font;
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfItalic = italic;
  font.lfFaceName = std::u16string(face);
  return CreateFontIndirectW(font);
}

bool GetObjectW(HFONT font, LOGFONTW* out) {
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(font));
  if (it == t.objects.end()) return false;
  const auto* found = std::get_if<LOGFONTW>(&it->second);
  if (!found) return false;
  if (out) *out = *found;
  return true;
}

HBRUSH CreateSolidBrush(COLORREF color) { return reinterpret_cast<HBRUSH>(Add(Brush{color & 0xFFFFFF, -1})); }

bool GetBrushColor(HBRUSH brush, COLORREF* out) {
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(brush));
  if (it == t.objects.end()) return false;
  const auto* found = std::get_if<Brush>(&it->second);
  if (!found) return false;
  if (out) *out = found->system_index >= 0 ? t.colors[static_cast<std::size_t>(found->system_index)] : found->color;
  return true;
}

bool DeleteObject(HFONT font) { return Delete(reinterpret_cast<std::uintptr_t>(font)); }
bool DeleteObject(HBRUSH brush) { return Delete(reinterpret_cast<std::uintptr_t>(brush)); }

COLORREF GetSysColor(int index) {
  if (!ValidSysColor(index)) return 0;
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  return t.colors[static_cast<std::size_t>(index)];
}

HBRUSH GetSysColorBrush(int index) {
  if (!ValidSysColor(index)) return nullptr;
  Table& t = Objects();
  {
    std::lock_guard lock(t.mu);
    if (std::uintptr_t id = t.system_brushes[static_cast<std::size_t>(index)]) return reinterpret_cast<HBRUSH>(id);
  }
  std::uintptr_t made = Add(Brush{0, index});
  std::lock_guard lock(t.mu);
  std::uintptr_t& slot = t.system_brushes[static_cast<std::size_t>(index)];
  if (slot) {
    t.objects.erase(made);  // another thread was first
  } else {
    slot = made;
  }
  return reinterpret_cast<HBRUSH>(slot);
}

void SetSysColor(int index, COLORREF color) {
  if (!ValidSysColor(index)) return;
  Table& t = Objects();
  std::lock_guard lock(t.mu);
  t.colors[static_cast<std::size_t>(index)] = color & 0xFFFFFF;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->text_color.value_or(0x000000);
  dc->text_color = color & 0xFFFFFF;
  return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->back_color.value_or(0xFFFFFF);
  dc->back_color = color & 0xFFFFFF;
  return previous;
}

int SetBkMode(HDC dc, int mode) {
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = dc->bk_mode;
  dc->bk_mode = mode;
  return previous;
}

bool InvalidateRect(HWND hwnd, const pw::RECT*, bool) {
  if (!pw::IsWindow(hwnd)) return false;
  NotifyControlChanged(hwnd);
  return true;
}

StaticLook ReadStaticLook(HWND control) {
  StaticLook look;
  auto font = reinterpret_cast<HFONT>(pw::SendMessage(control, WM_GETFONT, 0, 0));
  LOGFONTW described;
  if (font && GetObjectW(font, &described)) look.font = std::move(described);
  HWND parent = pw::GetParent(control);
  if (!parent) return look;
  DeviceContext dc;
  auto answer = pw::SendMessage(parent, pw::WM_CTLCOLORSTATIC, reinterpret_cast<pw::WPARAM>(&dc),
                                reinterpret_cast<pw::LPARAM>(control));
  look.text_color = dc.text_color;
  COLORREF back = 0;
  // The background is the brush's; a parent that returns none leaves it to the renderer.
  if (answer && GetBrushColor(reinterpret_cast<HBRUSH>(answer), &back)) look.back_color = back;
  return look;
}

}  // namespace toolkit
