#include "app/hotkey_binding.h"

#include "platform/desktop_hotkey.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace app {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr std::size_t kMaxKeyNameLength = 100;
constexpr std::size_t kMaxDefaultValueBytes = 260;

std::u16string KeyPath(std::u16string_view name) { return std::u16string(kShellKeysPath) + u"\\" + std::u16string(name); }

// The keys offered on a fresh system, each with an icon of ours.
struct SeedKey {
  const char16_t* name;
  const char16_t* icon;
};
constexpr SeedKey kSeedKeys[] = {
    {u"<Super>r", u"dictalo-keys.png,0"},        {u"<Control><Alt>r", u"dictalo-keys.png,1"},
    {u"F9", u"dictalo-keys.png,2"},              {u"Pause", u"dictalo-keys.png,3"},
    {u"XF86AudioRecord", u"dictalo-keys.png,4"},
};

}  // namespace

std::optional<IconReference> ParseIconValue(std::u16string_view value) {
  auto comma = value.find(u',');
  if (comma == std::u16string_view::npos) return std::nullopt;
  IconReference ref;
  ref.file = std::u16string(value.substr(0, comma));
  int index = 0;
  for (std::size_t i = comma + 1; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i)
    index = index * 10 + (value[i] - u'0');
  ref.index = index;
  return ref;
}

std::u16string ResolutionVariant(std::u16string_view file, bool high_resolution) {
  std::u16string out(file);
  std::u16string insert = high_resolution ? u".192" : u".96";
  auto dot = out.rfind(u'.');
  if (dot == std::u16string::npos) return out + insert;
  out.insert(dot, insert);
  return out;
}

std::vector<HotkeyButton> ListHotkeyButtons() {
  std::vector<HotkeyButton> buttons{{kNoHotkeyButtonId, u"", std::nullopt}};
  auto table = RegistryKey::Open(RegistryRoot::LocalMachine, kShellKeysPath);
  if (!table) return buttons;
  int id = kFirstHotkeyButtonId;
  for (const auto& name : table->SubkeyNames()) {
    if (name.size() > kMaxKeyNameLength) continue;
    auto key = RegistryKey::Open(RegistryRoot::LocalMachine, KeyPath(name));
    if (!key) continue;
    auto icon = key->ReadString(u"Icon");
    if (!icon) continue;
    buttons.push_back({id++, name, ParseIconValue(*icon)});
  }
  return buttons;
}

int SelectedHotkeyButton(const std::vector<HotkeyButton>& buttons, std::u16string_view launch_hotkey) {
  for (const auto& b : buttons)
    if (b.key_name == launch_hotkey) return b.control_id;
  return kNoHotkeyButtonId;
}

std::u16string RecordShortcutValue() {
  auto path = platform::folders::ProgramsDir() / "Dictalo Record.desktop";
  return u"\"" + platform::Utf8ToUtf16(path.string()) + u"\"";
}

bool ApplyHotkey(settings::AppSettings& settings, std::u16string_view hotkey_at_start,
                 const std::string& launcher_path, std::string* unbound_command) {
  if (unbound_command) unbound_command->clear();
  const std::u16string chosen = settings.launch_hotkey;
  if (chosen == hotkey_at_start) return false;

  if (!hotkey_at_start.empty() && !settings.launch_key_value.empty()) {
    if (auto old_key = RegistryKey::Create(RegistryRoot::LocalMachine, KeyPath(hotkey_at_start))) {
      old_key->WriteString(u"", settings.launch_key_value);
      old_key->WriteDword(u"Flags", kFlagsGivenBack);
    }
  }
  if (!chosen.empty()) {
    if (auto new_key = RegistryKey::Create(RegistryRoot::LocalMachine, KeyPath(chosen))) {
      auto previous = new_key->ReadString(u"");
      if (previous && (previous->size() + 1) * 2 <= kMaxDefaultValueBytes) settings.SetLaunchKeyValue(*previous);
      new_key->WriteString(u"", RecordShortcutValue());
      new_key->WriteDword(u"Flags", kFlagsTaken);
    }
  }
  // The desktop's own shortcut stands for the shell re-reading its table.
  const std::string command = platform::ShellQuote(launcher_path);
  if (!platform::SetDesktopHotkey(platform::Utf16ToUtf8(chosen), command) && !chosen.empty() && unbound_command)
    *unbound_command = command;
  return true;
}

void SeedShellKeys() {
  if (RegistryKey::Open(RegistryRoot::LocalMachine, kShellKeysPath)) return;
  for (const auto& seed : kSeedKeys) {
    auto key = RegistryKey::Create(RegistryRoot::LocalMachine, KeyPath(seed.name));
    if (!key) return;
    key->WriteString(u"", u"");
    key->WriteDword(u"Flags", kFlagsGivenBack);
    key->WriteString(u"Icon", seed.icon);
  }
}

}  // namespace app
