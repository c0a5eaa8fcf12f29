#include "ctl/settings_command.h"

#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/settings_validation.h"

namespace ctl {
namespace {

constexpr const char* kUsage = "usage: dictaloctl [-profile FILE] settings list | get KEY | set KEY VALUE";

int List(const settings::AppSettings& s, std::ostream& out) {
  for (const auto& info : settings::SettingsTable()) {
    auto value = settings::GetSettingText(s, info.key).value_or("");
    if (info.is_password) value = value.empty() ? "" : "(set)";
    out << info.key << '=' << value << '\n';
  }
  return 0;
}

}  // namespace

int RunSettingsCommand(const std::u16string& profile, const std::vector<std::string>& args, std::ostream& out,
                       std::ostream& err) {
  if (args.empty()) {
    err << kUsage << '\n';
    return 2;
  }
  const std::string& verb = args[0];
  bool ok_arity = (verb == "list" && args.size() == 1) || (verb == "get" && args.size() == 2) ||
                  (verb == "set" && args.size() == 3);
  if (!ok_arity) {
    err << kUsage << '\n';
    return 2;
  }

  settings::AppSettings s;
  s.Load(profile);
  if (verb == "list") return List(s, out);

  if (verb == "get") {
    auto value = settings::GetSettingText(s, args[1]);
    if (!value) {
      err << "dictaloctl: unknown setting \"" << args[1] << "\"\n";
      return 2;
    }
    out << *value << '\n';
    return 0;
  }

  // The dialogs' own checks: what they would refuse is refused here too, with
  // the message a dialog user would read.
  if (settings::GetSettingText(s, args[1])) {
    if (auto problem = settings::CheckSettingText(args[1], args[2])) {
      err << "dictaloctl: " << args[1] << ": " << platform::Utf16ToUtf8(*problem) << '\n';
      return 2;
    }
  }
  switch (settings::SetSettingFromText(s, args[1], args[2])) {
    case settings::SetSettingResult::UnknownKey:
      err << "dictaloctl: unknown setting \"" << args[1] << "\"\n";
      return 2;
    case settings::SetSettingResult::BadValue:
      err << "dictaloctl: \"" << args[2] << "\" is not a valid value for " << args[1] << '\n';
      return 2;
    case settings::SetSettingResult::Ok:
      break;
  }
  if (!s.Save()) {
    err << "dictaloctl: could not save the settings to " << s.settings_path << '\n';
    return 1;
  }
  return 0;
}

}  // namespace ctl
