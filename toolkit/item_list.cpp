#include "toolkit/item_list.h"

#include "toolkit/control_internal.h"

namespace toolkit::control_internal {

int ItemList::Add(std::u16string text, bool sorted) {
  std::size_t at = items.size();
  if (sorted) {
    at = 0;
    while (at < items.size() && CompareItemText(items[at].text, text) <= 0) ++at;
  }
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), Item{std::move(text), 0, {}});
  if (selected >= static_cast<int>(at)) ++selected;
  return static_cast<int>(at);
}

int ItemList::Insert(std::intptr_t index, std::u16string text) {
  if (index < 0) index = count();
  if (index > count()) return -1;
  items.insert(items.begin() + index, Item{std::move(text), 0, {}});
  if (selected >= index) ++selected;
  return static_cast<int>(index);
}

bool ItemList::Delete(platform::WPARAM index) {
  if (!valid(index)) return false;
  auto at = static_cast<int>(index);
  items.erase(items.begin() + at);
  if (selected == at)
    selected = -1;
  else if (selected > at)
    --selected;
  return true;
}

void ItemList::Clear() {
  items.clear();
  selected = -1;
}

int ItemList::FindExact(std::intptr_t start, std::u16string_view text) const {
  int n = count();
  int first = (start < 0 || start >= n) ? 0 : static_cast<int>(start) + 1;
  for (int i = 0; i < n; ++i) {
    int at = (first + i) % n;
    if (CompareItemText(items[static_cast<std::size_t>(at)].text, text) == 0) return at;
  }
  return -1;
}

}  // namespace toolkit::control_internal
