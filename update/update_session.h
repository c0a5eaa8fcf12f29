#pragma once
// The utility's work apart from its window: connecting, loading and reading the
// product list, downloading a product, checking it and handing it to the
// installer. The window shows the status screens it reports.
//
// Downloads go into a private temporary folder made for the session (mode 0700)
// and removed with it; nothing is written under the user's own folders.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection_manager.h"
#include "update/file_download.h"
#include "update/product_catalog.h"
#include "update/update_config.h"
#include "update/user_library.h"

namespace update {

// Soft-key bars.
inline constexpr unsigned kRetryExitBar = 129;
inline constexpr unsigned kDownloadMenuBar = 130;
inline constexpr unsigned kExitBar = 131;
inline constexpr unsigned kCancelBar = 132;
inline constexpr unsigned kDoneBar = 133;

// The picture beside a status screen's title.
enum class StatusIcon { kConnecting, kDownloading, kSuccess, kInformation, kCancelled, kError };
// Its icon theme name ("corvane-status-...").
std::u16string_view StatusIconName(StatusIcon icon);

// One state of the status area. colour is a COLORREF (0x00BBGGRR).
struct StatusScreen {
  std::u16string title;
  std::u16string text;
  std::uint32_t colour = 0;
  unsigned soft_keys = 0;  // the bar to show; 0 leaves the bar as it is
  StatusIcon icon = StatusIcon::kInformation;
  bool operator==(const StatusScreen&) const = default;
};

namespace screens {
StatusScreen Connecting();
StatusScreen Connected();
StatusScreen DownloadingList();
// number: 1 no connection, 2 no list, 3 too large / no memory, 4 invalid list.
StatusScreen ListError(int number);
StatusScreen NoProducts();
StatusScreen ListSuccess();
StatusScreen PreparingDownload();
StatusScreen DownloadFailed();
StatusScreen PackageRefused();
StatusScreen Cancelled();
StatusScreen DownloadComplete();
StatusScreen InstallFailed();
}  // namespace screens

enum class ListError { kNone = 0, kConnect = 1, kDownload = 2, kMemory = 3, kInvalid = 4 };

struct LoadedList {
  ListError error = ListError::kNone;
  std::vector<ProductEntry> entries;
  std::vector<ListRow> rows;
};

// Reaches the server's network through the Connection Manager: an address on
// this machine needs no network; any other needs the Internet.
class Connector {
 public:
  explicit Connector(platform::ConnectionManager& manager) : manager_(manager) {}
  bool Connect(std::u16string_view domain);

 private:
  platform::ConnectionManager& manager_;
};

class UpdateSession {
 public:
  // library may be null (no user library).
  UpdateSession(UpdateConfig config, Connector& connector, const UserLibrary* library);
  ~UpdateSession();  // removes the private folder and what is in it
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  const UpdateConfig& config() const { return config_; }
  const std::filesystem::path& folder() const { return folder_; }

  // Connects, downloads and reads the list, showing each step; pause is called
  // for the short waits that let the user read a screen.
  LoadedList LoadList(const std::function<void(const StatusScreen&)>& show,
                      const std::function<void(std::chrono::milliseconds)>& pause);

  // Classifies one record as installed or free (user library, else registry).
  ProductEntry Classify(ProductRecord record) const;

  // Connects and downloads a product's package; a package whose digest differs
  // from the one listed is deleted and reported as kFailed with error "digest".
  DownloadResult DownloadProduct(const ProductEntry& entry, std::atomic<bool>& cancel, DownloadObserver& observer);

  // Starts the installer on a downloaded package (it deletes the package when
  // done) without waiting; false when it cannot be started.
  bool StartInstall(const std::filesystem::path& package) const;

 private:
  UpdateConfig config_;
  Connector& connector_;
  const UserLibrary* library_;
  std::filesystem::path folder_;
};

// The installer program and the prefix it installs into (empty: its default):
// the bin folder of the prefix whose share folder holds this program, else
// beside this program, else on PATH.
struct InstallerCommand {
  std::filesystem::path program;
  std::filesystem::path prefix;
};
InstallerCommand FindInstaller();

}  // namespace update
