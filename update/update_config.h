#pragma once
// The utility's configuration: HKLM "Software\Tarnwick\<name>", where <name> is
// the program's own file name without folder and extension ("corvane-update"
// reads as "CorvaneUpdate", the name the setup library writes under). Missing
// values take their defaults.

#include <cstdint>
#include <string>
#include <string_view>

namespace update {

inline constexpr std::u16string_view kBuiltInName = u"TarnUpdate";
inline constexpr std::u16string_view kBuiltInTitle = u"Tarnwick Update";
inline constexpr std::u16string_view kDefaultDomain = u"http://updates.corvane.example";

struct UpdateConfig {
  std::uint32_t lang_id = 0;
  std::uint32_t options = 0;
  std::u16string domain{kDefaultDomain};
  std::u16string list_file = u"/install/wmproductlist.txt";
  std::u16string fmt_image = u"%s%d.bmp";
  std::u16string fmt_name = u"%s %d.%d ";
  std::u16string app_title{kBuiltInTitle};
  std::u16string user_dll;  // empty: none
};

// The key's last name for a program file (argv[0] or a path): "corvane-update"
// gives "CorvaneUpdate", any other name itself without folder and extension,
// and an empty one the built-in name.
std::u16string ConfigKeyName(std::string_view program_path);

UpdateConfig ReadUpdateConfig(std::u16string_view key_name);

}  // namespace update
