#include "setup/installer.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "resources/setup_resources.h"
#include "setup/package_manifest.h"
#include "setup/setup_entry_points.h"
#include "setup/setup_hooks.h"
#include "toolkit/renderer.h"
#include "toolkit/resources.h"

namespace setup {
namespace {

namespace fs = std::filesystem;
namespace pw = platform;

constexpr std::string_view kRecordPath = "lib/dictalo/installed-files";
constexpr std::u16string_view kInstallerClass = u"DictaloSetupWorker";

void Fail(std::string* error, const std::string& text) {
  std::fprintf(stderr, "dictalo-setup: %s\n", text.c_str());
  if (error) *error = text;
}

// The setup library and its entry points, unloaded at the end of the scope.
class SetupLibrary {
 public:
  explicit SetupLibrary(const fs::path& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      error_ = why ? why : "cannot load the setup library";
      return;
    }
    install_init = reinterpret_cast<InstallInitFn>(dlsym(handle_, "Install_Init"));
    install_exit = reinterpret_cast<InstallExitFn>(dlsym(handle_, "Install_Exit"));
    uninstall_init = reinterpret_cast<UninstallInitFn>(dlsym(handle_, "Uninstall_Init"));
    uninstall_exit = reinterpret_cast<UninstallExitFn>(dlsym(handle_, "Uninstall_Exit"));
    if (!install_init || !install_exit || !uninstall_init || !uninstall_exit) error_ = "the setup library lacks an entry point";
  }
  ~SetupLibrary() {
    if (handle_) dlclose(handle_);
  }
  SetupLibrary(const SetupLibrary&) = delete;
  SetupLibrary& operator=(const SetupLibrary&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  InstallInitFn install_init = nullptr;
  InstallExitFn install_exit = nullptr;
  UninstallInitFn uninstall_init = nullptr;
  UninstallExitFn uninstall_exit = nullptr;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The installer's own (hidden) window, the parent of the library's dialogs.
class InstallerWindow {
 public:
  explicit InstallerWindow(std::u16string_view text) {
    static const bool registered = [] {
      pw::WNDCLASS wc;
      wc.lpfnWndProc = pw::DefWindowProc;
      wc.lpszClassName = std::u16string(kInstallerClass);
      return pw::RegisterClass(wc);
    }();
    (void)registered;  // a class left registered by an earlier call serves as well
    hwnd_ = pw::CreateWindowEx(0, kInstallerClass, text, pw::WS_POPUP, 0, 0, 0, 0, nullptr, 0, nullptr);
  }
  ~InstallerWindow() {
    if (hwnd_) pw::DestroyWindow(hwnd_);
  }
  pw::HWND hwnd() const { return hwnd_; }

 private:
  pw::HWND hwnd_ = nullptr;
};

// A consent given on the command line accepts the licence dialog. Without it,
// on a desktop the user answers; without a display nobody can, so the dialog
// is declined and nothing is ever installed without the user's word. The answer
// is a tap on the soft key, as a user's would be.
class LicenseAnswer {
 public:
  explicit LicenseAnswer(bool accept) {
    toolkit::Renderer* renderer = toolkit::CurrentRenderer();
    if (!accept && renderer && renderer->ShowsWindows()) return;
    thread_ = std::thread([this, accept] {
      while (!stop_.load()) {
        pw::HWND dialog = pw::FindWindow(u"Dialog", toolkit::LoadStringW(resources::kSetupTitleString));
        pw::HWND bar = dialog ? pw::GetDlgItem(dialog, resources::kLicenseMenuBar) : nullptr;
        pw::HWND key = bar ? pw::GetDlgItem(bar, accept ? resources::kLicenseAcceptCommand
                                                        : resources::kLicenseDeclineCommand)
                           : nullptr;
        if (key) {
          if (!accept) std::fprintf(stderr, "dictalo-setup: the licence was not accepted (--accept-license)\n");
          toolkit::PostClick(key);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  ~LicenseAnswer() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::optional<fs::path> MakePrivateFolder() {
  std::string pattern = (pw::folders::TempDir() / "dictalo-setup-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return std::nullopt;
  return fs::path(pattern);
}

// Whether every component of entry below root exists as a real folder or, for
// the last one, a regular file, never through a link.
bool IsPlainFileBelow(const fs::path& root, const std::string& entry) {
  std::error_code ec;
  fs::path at = root;
  fs::path rel(entry);
  auto last = std::prev(rel.end());
  for (auto it = rel.begin(); it != rel.end(); ++it) {
    at /= *it;
    fs::file_status status = fs::symlink_status(at, ec);
    if (ec) return false;
    if (it == last ? !fs::is_regular_file(status) : !fs::is_directory(status)) return false;
  }
  return true;
}

bool IsInside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  if (ec) return false;
  fs::path f = fs::weakly_canonical(folder, ec);
  if (ec) return false;
  auto [fi, pi] = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return fi == f.end() || (fi->empty() && std::next(fi) == f.end());
}

// Removes `folder` and the folders above it, up to but not including the
// prefix, while they are empty: an uninstallation leaves no empty tree behind.
void RemoveEmptyFolders(const fs::path& prefix, fs::path folder) {
  std::error_code ec;
  while (folder != prefix && IsInside(folder, prefix) && fs::is_directory(fs::symlink_status(folder, ec)) &&
         fs::is_empty(folder, ec)) {
    if (!fs::remove(folder, ec)) return;
    folder = folder.parent_path();
  }
}

// The product values the setup library registered for the update utility go
// with the program; otherwise the utility would keep offering upgrades for a
// program that is no longer there. Only our own registration is touched.
void ForgetProductIdentity() {
  auto key = pw::RegistryKey::Open(pw::RegistryRoot::LocalMachine, kProductKey);
  if (!key || key->ReadDword(u"ProdID") != kProductId) return;
  for (std::u16string_view name : {u"ProdID", u"MajorVersion", u"MinorVersion", u"LangID"}) key->DeleteValue(name);
  if (key->Values().empty() && key->SubkeyNames().empty()) pw::RegistryKey::DeleteKey(pw::RegistryRoot::LocalMachine, kProductKey);
}

// The files an earlier installation into the prefix recorded; none when there
// was none or its record cannot be read.
std::vector<std::string> PreviouslyRecorded(const fs::path& prefix) {
  std::string text;
  if (pw::ReadWholeFile(prefix / kRecordPath, text) != 0) return {};
  std::string why;
  auto entries = ParseManifest(text, &why);
  return entries ? std::move(*entries) : std::vector<std::string>{};
}

// Copies one file into place: a temporary copy beside the target, renamed over it.
bool CopyInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to.parent_path(), ec);
  fs::path temporary = to;
  temporary += ".dictalo-setup-new";
  fs::remove(temporary, ec);
  if (!fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, ec)) return false;
  fs::rename(temporary, to, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}

std::u16string Wide(const fs::path& path) { return pw::Utf8ToUtf16(path.string()); }

void PrepareUi(const fs::path& prefix) {
  // The share folder of the prefix is the folder the installed programs use.
  setenv("DICTALO_SHARE_DIR", (prefix / "share" / "dictalo").c_str(), 0);
  toolkit::InitRenderer();
  resources::RegisterSetupResources();
}

}  // namespace

InstallOutcome Install(const InstallRequest& request, std::string* error) {
  std::error_code ec;
  fs::path prefix = fs::absolute(request.prefix, ec);
  std::optional<fs::path> unpacked;
  struct Cleanup {
    const InstallRequest& request;
    std::optional<fs::path>& unpacked;
    ~Cleanup() {
      std::error_code ec;
      if (unpacked) fs::remove_all(*unpacked, ec);
      if (request.delete_package && fs::is_regular_file(request.source, ec)) {
        fs::remove(request.source, ec);
        // The update utility hands a package over in a private folder of its
        // own, which goes with it when nothing else is there.
        fs::path folder = request.source.parent_path();
        if (folder.filename().string().rfind("corvane-install-", 0) == 0) fs::remove(folder, ec);
      }
    }
  } cleanup{request, unpacked};

  fs::path root = request.source;
  std::vector<std::string> entries;
  if (fs::is_regular_file(request.source, ec)) {
    unpacked = MakePrivateFolder();
    if (!unpacked) {
      Fail(error, "cannot make a temporary folder");
      return InstallOutcome::kFailed;
    }
    auto tar = pw::RunProcess("tar", {"-xf", request.source.string(), "-C", unpacked->string(), "--no-same-owner"},
                              std::chrono::minutes(2));
    if (!tar || tar->exit_status != 0) {
      Fail(error, "the package cannot be unpacked");
      return InstallOutcome::kFailed;
    }
    root = *unpacked;
    std::string manifest;
    if (!IsPlainFileBelow(root, std::string(kManifestName)) ||
        pw::ReadWholeFile(root / kManifestName, manifest) != 0) {
      Fail(error, "the package has no manifest");
      return InstallOutcome::kFailed;
    }
    std::string why;
    auto parsed = ParseManifest(manifest, &why);
    if (!parsed) {
      Fail(error, why);
      return InstallOutcome::kFailed;
    }
    entries = std::move(*parsed);
  } else if (fs::is_directory(request.source, ec)) {
    std::string manifest;
    if (pw::ReadWholeFile(root / kManifestName, manifest) == 0) {
      std::string why;
      auto parsed = ParseManifest(manifest, &why);
      if (!parsed) {
        Fail(error, why);
        return InstallOutcome::kFailed;
      }
      entries = std::move(*parsed);
    } else {
      entries = ListBuiltTree(root);
    }
  } else {
    Fail(error, "no such package or folder: " + request.source.string());
    return InstallOutcome::kFailed;
  }
  for (const std::string& entry : entries) {
    if (!IsPlainFileBelow(root, entry)) {
      Fail(error, "the package lacks " + entry);
      return InstallOutcome::kFailed;
    }
  }

  PrepareUi(prefix);
  // A package brings its own setup library, as a cabinet does; one that only
  // carries some files is installed through the installer's own.
  const std::string library_entry = "lib/libdcsetup.so";
  SetupLibrary library(IsPlainFileBelow(root, library_entry)
                           ? root / library_entry
                           : pw::folders::ExecutableDir().parent_path() / library_entry);
  if (!library.ok()) {
    Fail(error, library.error());
    return InstallOutcome::kFailed;
  }
  fs::path install_dir = prefix / "bin";
  std::u16string install_text = Wide(install_dir);
  bool previously = fs::exists(prefix / kRecordPath, ec);
  InstallerWindow window(kInstallerWindowText);
  int init;
  {
    LicenseAnswer answer(request.accept_license);
    init = library.install_init(window.hwnd(), 1, previously ? 1 : 0, install_text.c_str());
  }
  if (init != kContinue) {
    Fail(error, "installation cancelled");
    return InstallOutcome::kCancelled;
  }

  fs::create_directories(install_dir, ec);
  // An update may carry only some files: the record keeps what earlier
  // installations put there too, so that removal still finds all of it.
  std::vector<std::string> recorded = PreviouslyRecorded(prefix);
  std::uint16_t failed_files = 0;
  for (const std::string& entry : entries) {
    fs::path target = prefix / entry;
    if (!IsInside(target.parent_path(), prefix) || !CopyInto(root / entry, target)) {
      std::fprintf(stderr, "dictalo-setup: cannot install %s\n", entry.c_str());
      ++failed_files;
      continue;
    }
    if (std::find(recorded.begin(), recorded.end(), entry) == recorded.end()) recorded.push_back(entry);
  }
  std::string record = std::string(kManifestHeader) + "\n";
  for (const std::string& entry : recorded) record += entry + "\n";
  fs::create_directories((prefix / kRecordPath).parent_path(), ec);
  if (pw::ReplaceFileAtomically(prefix / kRecordPath, record, 0644) != 0) {
    std::fprintf(stderr, "dictalo-setup: cannot write %s\n", (prefix / kRecordPath).c_str());
  }
  library.install_exit(window.hwnd(), install_text.c_str(), 0, failed_files, 0, 0, 0);
  if (failed_files != 0) {
    Fail(error, std::to_string(failed_files) + " file(s) could not be installed");
    return InstallOutcome::kFailed;
  }
  return InstallOutcome::kInstalled;
}

InstallOutcome Uninstall(const fs::path& requested_prefix, std::string* error) {
  std::error_code ec;
  fs::path prefix = fs::absolute(requested_prefix, ec);
  std::string record;
  if (pw::ReadWholeFile(prefix / kRecordPath, record) != 0) {
    Fail(error, "nothing is installed in " + prefix.string());
    return InstallOutcome::kFailed;
  }
  std::string why;
  auto entries = ParseManifest(record, &why);
  if (!entries) {
    Fail(error, why);
    return InstallOutcome::kFailed;
  }
  PrepareUi(prefix);
  SetupLibrary library(prefix / "lib" / "libdcsetup.so");
  if (!library.ok()) {
    Fail(error, library.error());
    return InstallOutcome::kFailed;
  }
  InstallerWindow window(kRemoveWorkerText);
  std::u16string install_text = Wide(prefix / "bin");
  library.uninstall_init(window.hwnd(), install_text.c_str());
  for (const std::string& entry : *entries) {
    if (!IsInside((prefix / entry).parent_path(), prefix)) continue;
    fs::remove(prefix / entry, ec);
    RemoveEmptyFolders(prefix, (prefix / entry).parent_path());
  }
  fs::remove(prefix / kRecordPath, ec);
  RemoveEmptyFolders(prefix, (prefix / kRecordPath).parent_path());
  library.uninstall_exit(window.hwnd());
  ForgetProductIdentity();
  return InstallOutcome::kInstalled;
}

}  // namespace setup
