#include "setup/setup_hooks.h"

#include <algorithm>
#include <system_error>

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/setup_resources.h"
#include "setup/license_dialog.h"
#include "setup/shortcut.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace setup {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryRoot;

fs::path ToPath(std::u16string_view text) { return fs::path(platform::Utf16ToUtf8(text)); }

// name alone, or name + "." + anything, without regard to ASCII case.
bool MatchesBaseName(const std::string& file, const std::string& name) {
  if (file.size() < name.size() || !platform::EqualsIgnoreAsciiCase(std::string_view(file).substr(0, name.size()), name))
    return false;
  return file.size() == name.size() || file[name.size()] == '.';
}

// Deletes the first entry (in name order) matching name when it is no folder.
void DeleteFirstMatch(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  std::vector<fs::path> matches;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (MatchesBaseName(it->path().filename().string(), name)) matches.push_back(it->path());
  }
  if (matches.empty()) return;
  std::sort(matches.begin(), matches.end());
  if (fs::is_directory(fs::symlink_status(matches.front(), ec))) return;
  fs::remove(matches.front(), ec);
}

std::u16string ReplaceFirst(std::u16string text, std::u16string_view what, std::u16string_view with) {
  std::size_t at = text.find(what);
  if (at != std::u16string::npos) text.replace(at, what.size(), with);
  return text;
}

bool SamePlace(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  fs::path ca = fs::weakly_canonical(a, ec);
  if (ec) ca = a.lexically_normal();
  fs::path cb = fs::weakly_canonical(b, ec);
  if (ec) cb = b.lexically_normal();
  return platform::EqualsIgnoreAsciiCase((ca / "").string(), (cb / "").string());
}

}  // namespace

SetupPlaces SetupPlaces::FromFolders() {
  SetupPlaces places;
  places.windows_dir = platform::folders::WindowsDir();
  places.personal_dir = platform::folders::PersonalDir();
  places.programs_dir = platform::folders::ProgramsDir();
  places.start_menu_dir = places.windows_dir / "Start Menu";
  return places;
}

const std::vector<std::string>& CleanupNames() {
  static const std::vector<std::string> names = {"echomark", "echomark-record", "vorbisenc_dynamic", "emstp",
                                                 "dictalo",  "dictalo-record",  "vorbisenc_dynamic", "libdcsetup"};
  return names;
}

int SetupSession::InstallInit(platform::HWND parent, bool first_call, bool, std::u16string_view install_dir) {
  resources::RegisterSetupResources();
  if (os_.major != 5) {
    std::u16string text = ReplaceFirst(toolkit::LoadStringW(resources::kWrongSystemString), u"%s",
                                       toolkit::LoadStringW(resources::kSetupProductString));
    (void)toolkit::MessageBoxW(parent, text, toolkit::LoadStringW(resources::kSetupMakerString),
                               toolkit::MB_OK | toolkit::MB_ICONINFORMATION);  // the answer changes nothing
    return kCancel;
  }
  install_dir_ = ToPath(install_dir);
  if (first_call && LicenseDialog::Run(parent) != 0) return kCancel;
  RegistryKey::DeleteKey(RegistryRoot::CurrentUser, kPredecessorKey);
  CleanOut(install_dir_);
  RemoveOldShortcuts();
  return kContinue;
}

int SetupSession::InstallExit(platform::HWND, std::u16string_view install_dir) {
  if (auto product = RegistryKey::Create(RegistryRoot::LocalMachine, kProductKey)) {
    product->WriteDword(u"ProdID", kProductId);
    product->WriteDword(u"MajorVersion", kMajorVersion);
    product->WriteDword(u"MinorVersion", kMinorVersion);
    product->WriteDword(u"LangID", 0);
  }
  if (auto shared = RegistryKey::Create(RegistryRoot::LocalMachine, kSharedKey)) {
    shared->WriteDword(kSharedCounterValue, shared->ReadDword(kSharedCounterValue).value_or(0) + 1);
  }
  if (auto config = RegistryKey::Create(RegistryRoot::LocalMachine, kUpdateConfigKey)) {
    config->WriteString(u"Domain", kUpdateDomain);
    config->WriteString(u"ListFile", u"/install/corvane_wmproductlist.txt");
    config->WriteString(u"AppTitle", u"Corvane Update");
    config->WriteDword(u"Options", 0);
    config->WriteString(u"FmtImage", u"%s%d.bmp");
    config->WriteString(u"FmtName", u"%s %d.%d ");
  }
  InstallUpdateUtility(install_dir.empty() ? install_dir_ : ToPath(install_dir));
  return kContinue;
}

int SetupSession::UninstallInit(platform::HWND parent, std::u16string_view install_dir) {
  std::u16string text = parent ? platform::GetWindowText(parent) : std::u16string();
  if (text.size() > 249) text.resize(249);
  if (!platform::EqualsIgnoreAsciiCase(text, kRemoveWorkerText)) return kContinue;
  RegistryKey::DeleteKey(RegistryRoot::CurrentUser, kPredecessorKey);
  CleanOut(ToPath(install_dir));
  return kContinue;
}

int SetupSession::UninstallExit(platform::HWND) { return kContinue; }

void SetupSession::CleanOut(const fs::path& install_dir) const {
  for (const std::string& name : CleanupNames()) {
    if (!install_dir.empty()) DeleteFirstMatch(install_dir, name);
    DeleteFirstMatch(places_.windows_dir, name);
    DeleteFirstMatch(places_.personal_dir / "Corvane" / "Dictalo", name);
  }
}

void SetupSession::RemoveOldShortcuts() const {
  static const char* const kOld[] = {"Echomark Setup.desktop", "Echomark Record.desktop", "Dictalo Setup.desktop",
                                     "Dictalo Record.desktop"};
  std::error_code ec;
  for (const fs::path& folder : {places_.programs_dir, places_.start_menu_dir}) {
    for (const char* name : kOld) fs::remove(folder / name, ec);
  }
}

void SetupSession::InstallUpdateUtility(const fs::path& install_dir) const {
  fs::path source = install_dir / kUpdateProgram;
  fs::path target = places_.windows_dir / kUpdateProgram;
  if (SamePlace(install_dir, places_.windows_dir)) return;
  std::error_code ec;
  bool have_target = fs::exists(target, ec);
  bool have_source = fs::exists(source, ec);
  bool target_newer = false;
  if (have_target && have_source) {
    auto target_time = fs::last_write_time(target, ec);
    auto source_time = fs::last_write_time(source, ec);
    target_newer = !ec && target_time > source_time;
  }
  // A package that brings no copy of the utility (an update of some files
  // only) must not take away the one other products share.
  if (!target_newer && have_source) fs::remove(target, ec);
  fs::create_directories(places_.windows_dir, ec);
  fs::copy_file(source, target, fs::copy_options::skip_existing, ec);
  fs::remove(source, ec);
  if (fs::exists(target, ec)) {
    fs::path shortcut = places_.programs_dir / kUpdateShortcut;
    if (!fs::exists(shortcut, ec)) (void)WriteShortcut(shortcut, u"Corvane Update", target);  // errors are ignored
  }
}

}  // namespace setup
