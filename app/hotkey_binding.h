#pragma once
// The recording hotkey. The model of the data is the shell's button table: one
// subkey per key under HKLM "Software\Microsoft\Shell\Keys" whose default value
// says what the key starts and whose "Flags" say whether the shell may use it
// (0: ours, 12: given back). Applying a choice also binds the desktop's keyboard
// shortcut to dictalo-record where the desktop allows it; the subkey names are the
// desktop's accelerator names ("<Super>r", "F9").

#include <optional>
#include <string>
#include <vector>

namespace settings {
class AppSettings;
}

namespace app {

inline constexpr char16_t kShellKeysPath[] = u"Software\\Microsoft\\Shell\\Keys";
inline constexpr int kNoHotkeyButtonId = 20008;
inline constexpr int kFirstHotkeyButtonId = 20009;
inline constexpr unsigned kFlagsTaken = 0;
inline constexpr unsigned kFlagsGivenBack = 12;

struct IconReference {
  std::u16string file;
  int index = 0;
};

// "file,index" → file and index (0 when nothing follows the comma); no comma, no icon.
std::optional<IconReference> ParseIconValue(std::u16string_view value);
// The file name with ".192" (high resolution) or ".96" inserted before its last
// full stop, tried when the first file gives no icon.
std::u16string ResolutionVariant(std::u16string_view file, bool high_resolution);

struct HotkeyButton {
  int control_id = 0;
  std::u16string key_name;  // empty for the "none" button
  std::optional<IconReference> icon;
};

// The "none" button (id 20008), then one button per subkey that has an "Icon"
// value, ids from 20009 in the registry's order; names longer than 100
// characters are not offered.
std::vector<HotkeyButton> ListHotkeyButtons();

// The id of the button whose name equals launch_hotkey (20008 for an empty one).
int SelectedHotkeyButton(const std::vector<HotkeyButton>& buttons, std::u16string_view launch_hotkey);

// Applies settings.launch_hotkey when it differs (case-sensitive) from the value
// at start: gives the old key back (its previous default value, Flags 12), takes
// the new one (keeping its default value in LaunchKeyValue, pointing it at the
// record shortcut, Flags 0) and binds the desktop shortcut to run the launcher
// at `launcher_path` (quoted for the desktop when the path needs it). When a key
// was chosen but the desktop could not bind it, *unbound_command (if given) gets
// the command to bind by hand; else it is cleared. Returns whether anything was
// changed. The caller saves the settings.
bool ApplyHotkey(settings::AppSettings& settings, std::u16string_view hotkey_at_start,
                 const std::string& launcher_path, std::string* unbound_command = nullptr);

// The value a taken key's default is set to: the quoted path of the record shortcut.
std::u16string RecordShortcutValue();

// Creates the table with the keys a desktop keyboard offers when it is missing.
void SeedShellKeys();

}  // namespace app
