#include "update/product_images.h"

#include <atomic>
#include <system_error>

#include "platform/text.h"
#include "update/file_download.h"
#include "update/product_catalog.h"

namespace update {
namespace {

namespace fs = std::filesystem;

// Stops a download that grows beyond what a picture needs.
class SizeLimit : public DownloadObserver {
 public:
  explicit SizeLimit(std::atomic<bool>& cancel) : cancel_(cancel) {}
  void OnBlock(std::uint64_t, std::uint64_t bytes) override {
    if (bytes > kMaxImageBytes) cancel_.store(true);
  }
  bool ConfirmCancel() override { return true; }

 private:
  std::atomic<bool>& cancel_;
};

bool LeavesFolder(std::u16string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'/', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (path.substr(start, end - start) == u"..") return true;
    start = end + 1;
  }
  return path.find(u'\\') != std::u16string_view::npos || path.find(u"://") != std::u16string_view::npos;
}

}  // namespace

int IconSizeForDpi(int dpi) {
  if (dpi >= 192) return 64;
  if (dpi > 120) return 48;
  return 32;
}

std::u16string ImageServerPath(const UpdateConfig& config, const ProductRecord& record, int icon_size) {
  if (record.image_base.empty()) return {};
  std::u16string name = FormatConfigured(config.fmt_image, {FormatArg{record.image_base, 0, true},
                                                            FormatArg{u"", icon_size, false}});
  if (name.empty() || LeavesFolder(name)) return {};
  if (name.front() == u'/') return name;
  std::size_t slash = config.list_file.find_last_of(u'/');
  std::u16string folder = slash == std::u16string::npos ? u"/" : config.list_file.substr(0, slash + 1);
  if (folder.front() != u'/') folder.insert(folder.begin(), u'/');
  return folder + name;
}

ProductImages::ProductImages(const UpdateConfig& config, fs::path folder)
    : config_(config), folder_(std::move(folder)) {}

std::optional<fs::path> ProductImages::Fetch(const ProductRecord& record, int icon_size) {
  std::u16string path = ImageServerPath(config_, record, icon_size);
  if (path.empty() || folder_.empty()) return std::nullopt;
  auto known = fetched_.find(path);
  if (known != fetched_.end()) return known->second;
  std::optional<fs::path> result;
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (!ec) {
    std::atomic<bool> cancel{false};
    SizeLimit limit(cancel);
    // Numbered, so that two pictures of one name from different folders stay apart.
    std::string local = std::to_string(fetched_.size()) + "-" + LocalFileName(platform::Utf16ToLatin1(path));
    DownloadResult got = DownloadFile(MakeUrl(config_.domain, path), local, folder_, cancel, limit);
    if (got.outcome == DownloadOutcome::kComplete && got.bytes > 0) result = got.file;
    else fs::remove(got.file, ec);
  }
  fetched_.emplace(path, result);
  return result;
}

}  // namespace update
