#include "update/user_library.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/text.h"

namespace update {

UserLibrary::~UserLibrary() { Unload(); }

bool UserLibrary::Load(const std::string& path) {
  Unload();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    std::fprintf(stderr, "corvane-update: cannot load %s: %s\n", path.c_str(), why ? why : "");
    return false;
  }
  return true;
}

void UserLibrary::Unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* UserLibrary::Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

std::optional<InstalledVersion> UserLibrary::IsProductInstalled(const ProductRecord& record, bool* answered) const {
  *answered = false;
  auto fn = reinterpret_cast<TwuIsProductInstalledFn>(Symbol("twuIsProductInstalled"));
  if (!fn) return std::nullopt;
  *answered = true;
  InstalledVersion v;
  if (!fn(record.registry_key.c_str(), &record, record.product_id, record.recommended ? 1 : 0, &v.major, &v.minor,
          &v.language))
    return std::nullopt;
  return v;
}

bool UserLibrary::OnProductDownload(platform::HWND window, const ProductRecord& record) const {
  auto fn = reinterpret_cast<TwuOnProductDownloadFn>(Symbol("twuOnProductDownload"));
  if (!fn) return false;
  int handled = 0;
  bool ok = fn(window, record.download_path.c_str(), &record, record.product_id, 1, record.language, record.major,
               record.minor, &handled);
  return ok && handled != 0;
}

std::optional<bool> UserLibrary::OnDownloadComplete(platform::HWND window, const std::string& local_file) const {
  auto fn = reinterpret_cast<TwuOnDownloadCompleteFn>(Symbol("twuOnDownloadComplete"));
  if (!fn) return std::nullopt;
  std::u16string file = platform::Utf8ToUtf16(local_file);
  int handled = 0;
  if (!fn(window, file.c_str(), &handled)) return std::nullopt;
  return handled != 0;
}

bool UserLibrary::OnProductBuy(const ProductRecord& record) const {
  auto fn = reinterpret_cast<TwuEntryFn>(Symbol("twuOnProductBuy"));
  return fn && fn(&record);
}

bool UserLibrary::OnProductInfo(const ProductRecord& record) const {
  auto fn = reinterpret_cast<TwuEntryFn>(Symbol("twuOnProductInfo"));
  return fn && fn(&record);
}

bool UserLibrary::AboutDialog(platform::HWND window) const {
  auto fn = reinterpret_cast<TwuWindowFn>(Symbol("twuAboutDialog"));
  return fn && fn(window);
}

bool UserLibrary::WriteVersionNumber() const {
  auto fn = reinterpret_cast<TwuVoidFn>(Symbol("twuWriteVersionNumber"));
  return fn && fn();
}

bool UserLibrary::DeleteVersionNumber() const {
  auto fn = reinterpret_cast<TwuVoidFn>(Symbol("twuDeleteVersionNumber"));
  return fn && fn();
}

}  // namespace update
