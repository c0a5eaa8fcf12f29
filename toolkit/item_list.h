#pragma once
// The list of texts with a value each and at most one selected entry that the
// drop-down list and the list box keep. Indexes out of range change nothing.

#include <string>
#include <string_view>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/common_controls.h"

namespace toolkit::control_internal {

struct ItemList {
  struct Item {
    std::u16string text;
    platform::LPARAM data = 0;
    ListItemParts parts;  // an owner-drawn list box's picture and texts
  };
  std::vector<Item> items;
  int selected = -1;

  int count() const { return static_cast<int>(items.size()); }
  bool valid(platform::WPARAM index) const { return index < items.size(); }

  // At the end, or in case-insensitive order when sorted; the new index.
  int Add(std::u16string text, bool sorted);
  // Before index (-1: at the end); -1 when index is beyond the end.
  int Insert(std::intptr_t index, std::u16string text);
  // Removes an entry; a selected entry leaves no selection. False when out of range.
  bool Delete(platform::WPARAM index);
  void Clear();
  // The first entry after start (-1: from the top, wrapping round) whose text
  // equals text ignoring case; -1 when none.
  int FindExact(std::intptr_t start, std::u16string_view text) const;
};

}  // namespace toolkit::control_internal
