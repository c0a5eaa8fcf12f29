#include "update/update_config.h"

#include <filesystem>

#include "platform/registry.h"
#include "platform/text.h"

namespace update {

std::u16string ConfigKeyName(std::string_view program_path) {
  std::string stem = std::filesystem::path(program_path).stem().string();
  if (stem.empty()) return std::u16string(kBuiltInName);
  if (stem == "corvane-update") return u"CorvaneUpdate";
  return platform::Utf8ToUtf16(stem);
}

UpdateConfig ReadUpdateConfig(std::u16string_view key_name) {
  UpdateConfig config;
  auto key = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine,
                                         u"Software\\Tarnwick\\" + std::u16string(key_name));
  if (!key) return config;
  if (auto v = key->ReadDword(u"LangID")) config.lang_id = *v;
  if (auto v = key->ReadDword(u"Options")) config.options = *v;
  if (auto v = key->ReadString(u"Domain")) config.domain = *v;
  if (auto v = key->ReadString(u"ListFile")) config.list_file = *v;
  if (auto v = key->ReadString(u"FmtImage")) config.fmt_image = *v;
  if (auto v = key->ReadString(u"FmtName")) config.fmt_name = *v;
  if (auto v = key->ReadString(u"AppTitle")) config.app_title = *v;
  if (auto v = key->ReadString(u"UserDLL")) config.user_dll = *v;
  return config;
}

}  // namespace update
