// Parses arbitrary bytes as a settings file, writes the store, parses that and
// writes again: the two writes must be identical, and every value must read the
// same from both stores whatever type it is read as.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/config_store.h"

namespace {

void CheckSameReads(settings::ConfigStore& first, settings::ConfigStore& b) {
  for (const std::string& path : first.NodePaths()) {
    if (!first.SelectNode(path) || !b.SelectNode(path)) std::abort();
    for (const std::string& key : first.KeyNames()) {
      if (first.ReadText(key, "") != b.ReadText(key, "") || first.ReadInt(key, -1) != b.ReadInt(key, -1) ||
          first.ReadBool(key, false) != b.ReadBool(key, false) || first.ReadBinary(key) != b.ReadBinary(key) ||
          first.ReadWideText(key, u"") != b.ReadWideText(key, u""))
        std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  settings::ConfigStore store;
  store.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string first = store.ToText();

  settings::ConfigStore again;
  again.LoadText(first);
  const std::string second = again.ToText();
  if (first != second) std::abort();
  CheckSameReads(store, again);
  return 0;
}
