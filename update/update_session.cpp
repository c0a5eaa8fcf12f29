#include "update/update_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <system_error>

#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/text.h"

namespace update {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kListColour = 0xFFD0D0;
constexpr std::uint32_t kSuccessColour = 0xC0FFC0;
constexpr std::uint32_t kProductColour = 0x58D0FF;
constexpr std::uint32_t kCancelColour = 0xC0FFFF;
constexpr std::uint32_t kErrorColour = 0xD0D0FF;

std::string HostOf(std::u16string_view domain) {
  std::string url = platform::Utf16ToLatin1(domain);
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority[0] == '[') return authority.substr(1, authority.find(']') - 1);
  return authority.substr(0, authority.find(':'));
}

bool IsLoopbackHost(const std::string& host) {
  return platform::EqualsIgnoreAsciiCase(host, "localhost") || host.rfind("127.", 0) == 0 || host == "::1";
}

}  // namespace

std::u16string_view StatusIconName(StatusIcon icon) {
  switch (icon) {
    case StatusIcon::kConnecting:
      return u"corvane-status-connecting";
    case StatusIcon::kDownloading:
      return u"corvane-status-download";
    case StatusIcon::kSuccess:
      return u"corvane-status-success";
    case StatusIcon::kCancelled:
      return u"corvane-status-cancelled";
    case StatusIcon::kError:
      return u"corvane-status-error";
    case StatusIcon::kInformation:
      break;
  }
  return u"corvane-status-information";
}

namespace screens {
StatusScreen Connecting() {
  return {u"Connecting", u"Connecting to Internet...\r\n\r\nNo personal information will be transmitted",
          kListColour, 0, StatusIcon::kConnecting};
}
StatusScreen Connected() {
  return {u"Connected", u"Successfully connected to Internet!\r\n\r\nSearching for available product updates...",
          kListColour, 0, StatusIcon::kConnecting};
}
StatusScreen DownloadingList() {
  return {u"Downloading",
          u"Downloading information from the server...\r\n\r\nNo personal information will be transmitted",
          kListColour, 0, StatusIcon::kDownloading};
}
StatusScreen ListError(int number) {
  switch (number) {
    case 1:
      return {u"Error",
              u"Unable to connect to Internet\r\n\r\nPlease make sure wireless data service is available on your "
              u"device.",
              kErrorColour, kRetryExitBar, StatusIcon::kError};
    case 2:
      return {u"Error", u"Unable to download product list.\r\n\r\nPlease check your Internet connection settings.",
              kCancelColour, kRetryExitBar, StatusIcon::kError};
    case 3:
      return {u"Error", u"Not enough memory.\r\n\r\nClose one or more applications and try again.", kErrorColour,
              kRetryExitBar, StatusIcon::kError};
    default:
      return {u"Error",
              u"Invalid product list file.\r\n\r\nThe update server is currently unavailable; please try again later.",
              kErrorColour, kRetryExitBar, StatusIcon::kError};
  }
}
StatusScreen NoProducts() {
  return {u"Information",
          u"No new software updates available for your device at this time.\r\n\r\nPlease check again in a few days.",
          kSuccessColour, kRetryExitBar, StatusIcon::kInformation};
}
StatusScreen ListSuccess() {
  return {u"Success", u"New software is available for your device!\r\n\r\nUpdating product list...", kSuccessColour,
          0, StatusIcon::kSuccess};
}
StatusScreen PreparingDownload() {
  return {u"Downloading", u"Preparing to download...", kProductColour, kCancelBar, StatusIcon::kDownloading};
}
StatusScreen DownloadFailed() {
  return {u"Error", u"Unable to download file.\r\n\r\nPlease try again later.", kErrorColour, kExitBar,
          StatusIcon::kError};
}
StatusScreen PackageRefused() {
  return {u"Error",
          u"The downloaded file is damaged and was deleted.\r\n\r\nPlease try again later.", kErrorColour, kExitBar,
          StatusIcon::kError};
}
StatusScreen Cancelled() {
  return {u"Cancelled", u"Download cancelled by a user.\r\n\r\nApplication will exit now.", kCancelColour, 0,
          StatusIcon::kCancelled};
}
StatusScreen DownloadComplete() {
  return {u"Success", u"Download complete!\r\n\r\nInstallation will start automatically.", kSuccessColour, 0,
          StatusIcon::kSuccess};
}
StatusScreen InstallFailed() {
  return {u"Error", u"Unable to install application", kErrorColour, kExitBar, StatusIcon::kError};
}
}  // namespace screens

bool Connector::Connect(std::u16string_view domain) {
  if (IsLoopbackHost(HostOf(domain))) return true;
  return manager_.RequestConnection(platform::DestinationNetwork::kInternet);
}

UpdateSession::UpdateSession(UpdateConfig config, Connector& connector, const UserLibrary* library)
    : config_(std::move(config)), connector_(connector), library_(library) {
  std::string pattern = (platform::folders::TempDir() / "corvane-update-XXXXXX").string();
  if (mkdtemp(pattern.data())) folder_ = pattern;
}

UpdateSession::~UpdateSession() {
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

LoadedList UpdateSession::LoadList(const std::function<void(const StatusScreen&)>& show,
                                   const std::function<void(std::chrono::milliseconds)>& pause) {
  LoadedList loaded;
  auto fail = [&](ListError error) {
    loaded.error = error;
    show(screens::ListError(static_cast<int>(error)));
    return loaded;
  };
  show(screens::Connecting());
  if (!connector_.Connect(config_.domain)) return fail(ListError::kConnect);
  show(screens::Connected());
  pause(std::chrono::milliseconds(800));
  pause(std::chrono::milliseconds(800));
  show(screens::DownloadingList());
  if (folder_.empty()) return fail(ListError::kDownload);
  std::string path = platform::Utf16ToLatin1(config_.list_file);
  std::atomic<bool> no_cancel{false};
  DownloadObserver quiet;
  DownloadResult got = DownloadFile(MakeUrl(config_.domain, config_.list_file), path, folder_, no_cancel, quiet);
  if (got.outcome != DownloadOutcome::kComplete) return fail(ListError::kDownload);
  std::string text;
  bool too_large = got.bytes > kMaxProductListBytes;
  if (!too_large && platform::ReadWholeFile(got.file, text) != 0) too_large = true;
  std::error_code ec;
  fs::remove(got.file, ec);
  if (too_large) return fail(ListError::kMemory);
  ProductList list = ParseProductList(text);
  if (list.status == ProductListStatus::kTooLarge) return fail(ListError::kMemory);
  if (list.status != ProductListStatus::kOk) return fail(ListError::kInvalid);

  platform::OsVersion os = platform::GetOsVersion();
  int os_code = OsCode(os.major, os.minor);
  for (ProductRecord& record : list.records) {
    if (!IsOffered(record, os_code, config_.lang_id)) continue;
    loaded.entries.push_back(Classify(std::move(record)));
  }
  if (loaded.entries.empty()) {
    show(screens::NoProducts());
    return loaded;
  }
  show(screens::ListSuccess());
  loaded.rows = BuildRows(loaded.entries, config_.options);
  return loaded;
}

ProductEntry UpdateSession::Classify(ProductRecord record) const {
  std::optional<InstalledVersion> installed;
  bool answered = false;
  if (library_) installed = library_->IsProductInstalled(record, &answered);
  if (!answered) installed = FindInstalledInRegistry(record.registry_key, record.product_id);
  return ClassifyProduct(std::move(record), installed);
}

DownloadResult UpdateSession::DownloadProduct(const ProductEntry& entry, std::atomic<bool>& cancel,
                                              DownloadObserver& observer) {
  DownloadResult result;
  if (folder_.empty() || !connector_.Connect(config_.domain)) {
    result.error = "no connection";
    return result;
  }
  const ProductRecord& r = entry.record;
  result = DownloadFile(MakeUrl(config_.domain, r.download_path), platform::Utf16ToLatin1(r.download_path), folder_,
                        cancel, observer);
  if (result.outcome == DownloadOutcome::kComplete && !DigestMatches(r.sha256, result.sha256)) {
    std::error_code ec;
    fs::remove(result.file, ec);
    result.outcome = DownloadOutcome::kFailed;
    result.error = "digest";
  }
  return result;
}

InstallerCommand FindInstaller() {
  fs::path here = platform::folders::ExecutableDir();
  // Installed, the utility lives in <prefix>/share/dictalo and the installer in
  // <prefix>/bin: the update goes into that same prefix.
  fs::path prefix = here.parent_path().parent_path();
  if (::access((prefix / "bin" / "dictalo-setup").c_str(), X_OK) == 0) return {prefix / "bin" / "dictalo-setup", prefix};
  if (::access((here / "dictalo-setup").c_str(), X_OK) == 0) return {here / "dictalo-setup", {}};
  return {"dictalo-setup", {}};
}

bool UpdateSession::StartInstall(const fs::path& package) const {
  // The package moves to a private folder of its own: this session's folder
  // goes when the utility exits, while the installer is still at work.
  std::string pattern = (platform::folders::TempDir() / "corvane-install-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return false;
  fs::path handed = fs::path(pattern) / package.filename();
  std::error_code ec;
  fs::rename(package, handed, ec);
  if (ec) {
    fs::remove(pattern, ec);
    return false;
  }
  InstallerCommand installer = FindInstaller();
  std::vector<std::string> args = {"install", "--delete"};
  if (!installer.prefix.empty()) {
    args.push_back("--prefix");
    args.push_back(installer.prefix.string());
  }
  args.push_back(handed.string());
  if (platform::StartProcess(installer.program.string(), args)) return true;
  fs::remove_all(pattern, ec);
  return false;
}

}  // namespace update
