#include "app/first_run_help.h"

#include "platform/folders.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace app {
namespace {

constexpr char16_t kProgramKey[] = u"Software\\Corvane\\Dictalo";
constexpr char16_t kFirstRunValue[] = u"FirstRun";

}  // namespace

std::filesystem::path HelpFilePath() { return platform::folders::WindowsDir() / "Dictalo.htm"; }

bool OpenHelp() {
  auto path = HelpFilePath();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  // A fragment only works on a URL, not on a plain path.
  return platform::OpenWithDefaultViewer("file://" + std::filesystem::absolute(path).string() + "#Main_Contents");
}

bool RunFirstRunHelp() {
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kProgramKey);
  if (!key) return false;
  bool first_run = key->ReadDword(kFirstRunValue).value_or(1) != 0;
  if (!first_run) return false;
  OpenHelp();
  key->WriteDword(kFirstRunValue, 0);
  return true;
}

}  // namespace app
