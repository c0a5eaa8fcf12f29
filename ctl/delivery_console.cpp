#include "ctl/delivery_console.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "platform/text.h"
#include "platform/window_system.h"
#include "storage/delivery_volume.h"
#include "storage/mail_storage.h"

namespace ctl {

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, const std::function<void()>& tick) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  platform::MSG msg;
  for (;;) {
    while (platform::PeekMessage(&msg)) {
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    }
    if (tick) tick();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    (void)platform::MsgWaitForEvents({}, std::chrono::milliseconds(20), true);  // a timeout is the normal case
  }
}

PrintingMessageBoxes::PrintingMessageBoxes(std::ostream& out)
    : out_(out), previous_(toolkit::SetMessageBoxPresenter(this)) {}

PrintingMessageBoxes::~PrintingMessageBoxes() { toolkit::SetMessageBoxPresenter(previous_); }

toolkit::MessageBoxAnswer PrintingMessageBoxes::Present(const toolkit::MessageBoxRequest& request) {
  if ((request.type & toolkit::MB_ICONMASK) == toolkit::MB_ICONERROR) ++errors_;
  out_ << platform::Utf16ToUtf8(request.caption) << ": " << platform::Utf16ToUtf8(request.text) << "\n";
  out_.flush();
  return {request.default_button, request.checked};
}

long CountOutbox(const std::filesystem::path& install_dir) {
  std::filesystem::path volume = storage::DeliveryVolumePath(install_dir);
  std::error_code ec;
  if (!std::filesystem::exists(volume, ec)) return 0;
  std::unique_ptr<storage::MailStorage> loaded;
  if (storage::MailStorage::Load(volume, nullptr, &loaded) != storage::kStorageOk) return -1;
  storage::MailFolder* outbox = loaded->GetFolder(storage::FolderType::kOutbox);
  return outbox ? static_cast<long>(outbox->Count()) : 0;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  return files;
}

std::uintmax_t FileSizeOrZero(const std::filesystem::path& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

std::string LogSince(const std::filesystem::path& log_file, std::uintmax_t from) {
  std::ifstream in(log_file, std::ios::binary);
  if (!in) return {};
  // A rotation since `from` leaves a shorter file: then all of it is new.
  if (FileSizeOrZero(log_file) >= from) in.seekg(static_cast<std::streamoff>(from));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

}  // namespace ctl
