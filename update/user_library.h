#pragma once
// The optional library of a product, named by "UserDLL": loaded once, each of
// its exports looked up by name and called where the utility offers the product
// a say. Text crosses as zero-terminated UTF-16; every export is optional.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/window_system.h"
#include "update/product_catalog.h"

namespace update {

using TwuIsProductInstalledFn = bool (*)(const char16_t* registry_key, const void* entry, int product_id,
                                         int recommended, int* major, int* minor, int* language);
using TwuOnProductDownloadFn = bool (*)(platform::HWND window, const char16_t* download_path, const void* entry,
                                        int product_id, int platform_flag, int language, int major, int minor,
                                        int* handled);
using TwuOnDownloadCompleteFn = bool (*)(platform::HWND window, const char16_t* local_file, int* handled);
using TwuEntryFn = bool (*)(const void* entry);
using TwuWindowFn = bool (*)(platform::HWND window);
using TwuVoidFn = bool (*)();

class UserLibrary {
 public:
  UserLibrary() = default;
  ~UserLibrary();
  UserLibrary(const UserLibrary&) = delete;
  UserLibrary& operator=(const UserLibrary&) = delete;

  // Loads the library (a path); false, with a line on stderr, when it cannot.
  bool Load(const std::string& path);
  void Unload();
  bool loaded() const { return handle_ != nullptr; }

  // nullopt when the export is missing (the caller does its own work then).
  std::optional<InstalledVersion> IsProductInstalled(const ProductRecord& record, bool* answered) const;
  // True when the library took the download over.
  bool OnProductDownload(platform::HWND window, const ProductRecord& record) const;
  // nullopt: no export or it returned false; else whether it handled the file.
  std::optional<bool> OnDownloadComplete(platform::HWND window, const std::string& local_file) const;
  bool OnProductBuy(const ProductRecord& record) const;
  bool OnProductInfo(const ProductRecord& record) const;
  bool AboutDialog(platform::HWND window) const;
  bool WriteVersionNumber() const;
  bool DeleteVersionNumber() const;

 private:
  void* Symbol(const char* name) const;
  void* handle_ = nullptr;
};

}  // namespace update
