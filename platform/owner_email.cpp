#include "platform/owner_email.h"

#include <cstdlib>

#include "platform/registry.h"
#include "platform/text.h"

namespace platform {

std::optional<std::u16string> DeviceOwnerEmail() {
  if (auto key = RegistryKey::Open(RegistryRoot::CurrentUser, u"ControlPanel\\Owner")) {
    if (auto address = key->ReadString(u"E-mail"); address && !address->empty()) return address;
  }
  const char* env = std::getenv("EMAIL");
  if (env && *env) return Utf8ToUtf16(env);
  return std::nullopt;
}

}  // namespace platform
