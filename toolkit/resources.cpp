#include "toolkit/resources.h"

#include <map>
#include <mutex>

namespace toolkit {
namespace {

struct Table {
  std::mutex mu;
  std::map<UINT, std::u16string> strings;
  std::map<UINT, DialogTemplate> dialogs;
  std::map<UINT, MenuBarResource> menu_bars;
};

// Never destroyed: dialogs may still be made while the process exits.
Table& T() {
  static Table* table = new Table;
  return *table;
}

}  // namespace

void AddString(UINT id, std::u16string_view text) {
  std::lock_guard lock(T().mu);
  T().strings[id] = std::u16string(text);
}

std::u16string LoadStringW(UINT id) {
  std::lock_guard lock(T().mu);
  auto it = T().strings.find(id);
  return it == T().strings.end() ? std::u16string() : it->second;
}

bool RemoveString(UINT id) {
  std::lock_guard lock(T().mu);
  return T().strings.erase(id) != 0;
}

bool HasString(UINT id) {
  std::lock_guard lock(T().mu);
  return T().strings.count(id) > 0;
}

void AddDialogTemplate(UINT id, DialogTemplate dialog) {
  std::lock_guard lock(T().mu);
  T().dialogs[id] = std::move(dialog);
}

std::optional<DialogTemplate> FindDialogTemplate(UINT id) {
  std::lock_guard lock(T().mu);
  auto it = T().dialogs.find(id);
  if (it == T().dialogs.end()) return std::nullopt;
  return it->second;
}

std::vector<UINT> DialogTemplateIds() {
  std::lock_guard lock(T().mu);
  std::vector<UINT> ids;
  for (const auto& entry : T().dialogs) ids.push_back(entry.first);
  return ids;
}

void AddMenuBar(UINT id, MenuBarResource bar) {
  std::lock_guard lock(T().mu);
  T().menu_bars[id] = std::move(bar);
}

std::optional<MenuBarResource> FindMenuBar(UINT id) {
  std::lock_guard lock(T().mu);
  auto it = T().menu_bars.find(id);
  if (it == T().menu_bars.end()) return std::nullopt;
  return it->second;
}

void ClearResources() {
  std::lock_guard lock(T().mu);
  T().strings.clear();
  T().dialogs.clear();
  T().menu_bars.clear();
}

}  // namespace toolkit
