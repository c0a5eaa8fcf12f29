#include "ctl/registry_command.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "platform/registry.h"
#include "platform/text.h"

namespace ctl {
namespace {

constexpr const char* kUsage = "usage: dictaloctl reg export KEY | reg import FILE";

struct KeyPath {
  platform::RegistryRoot root;
  std::u16string path;
};

std::optional<KeyPath> SplitKey(const std::string& full) {
  auto slash = full.find('\\');
  std::string root = platform::AsciiLower(full.substr(0, slash));
  std::string rest = slash == std::string::npos ? "" : full.substr(slash + 1);
  if (root == "hkey_current_user" || root == "hkcu") return KeyPath{platform::RegistryRoot::CurrentUser, platform::Utf8ToUtf16(rest)};
  if (root == "hkey_local_machine" || root == "hklm") return KeyPath{platform::RegistryRoot::LocalMachine, platform::Utf8ToUtf16(rest)};
  return std::nullopt;
}

}  // namespace

int RunRegistryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 || (args[0] != "export" && args[0] != "import")) {
    err << kUsage << '\n';
    return 2;
  }
  if (args[0] == "export") {
    auto key = SplitKey(args[1]);
    if (!key) {
      err << "dictaloctl: the key must start with HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE\n";
      return 2;
    }
    std::string text = platform::ExportRegistryKey(key->root, key->path);
    if (text.empty()) {
      err << "dictaloctl: no such key: " << args[1] << '\n';
      return 1;
    }
    out << text;
    return 0;
  }
  std::string text;
  if (args[1] == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      err << "dictaloctl: cannot read " << args[1] << '\n';
      return 2;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string error;
  bool ok = platform::ImportRegistryText(text, &error);
  if (!error.empty()) err << "dictaloctl: " << error << '\n';
  return ok ? 0 : 1;
}

}  // namespace ctl
