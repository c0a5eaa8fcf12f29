#pragma once
// Fetching one file (the product list or a package) into a folder, in 2048-byte
// blocks, with progress, a cancel flag checked between blocks, and the SHA-256
// digest of what was written.
//
// The local file is the folder plus the part of the server path after its last
// "/", created anew and readable only by this user. The caller gives a private
// folder, so no other user can swap the file between download and installation.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace update {

inline constexpr std::size_t kDownloadBlock = 2048;

// What a download reports while it runs, on the downloading thread.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  // The announced length in bytes (-1: not announced); sizes the progress bar.
  virtual void OnLength(long long) {}
  // After each block written; blocks counts from 1.
  virtual void OnBlock(std::uint64_t /*blocks*/, std::uint64_t /*bytes*/) {}
  // Every fifth block: "File: %s\r\n\r\nDownloaded so far %d KB".
  virtual void OnStatus(const std::u16string&) {}
  // The cancel flag was found set: true to cancel, false to go on.
  virtual bool ConfirmCancel() { return true; }
};

enum class DownloadOutcome { kComplete, kCancelled, kFailed };

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::kFailed;
  std::filesystem::path file;  // the local file (removed unless complete)
  std::uint64_t bytes = 0;
  std::array<std::uint8_t, 32> sha256{};
  std::string error;
};

// The local name for a server path; "download" when the path ends in "/" or
// names "." or "..".
std::string LocalFileName(std::string_view server_path);

// The address of a server path below the domain; bytes that may not stand in an
// address (blanks, controls, non-ASCII) are percent-encoded.
std::string MakeUrl(std::u16string_view domain, std::u16string_view server_path);

// "TARNUPDATE: 5.1"
std::string UserAgent();

// Downloads url into folder / LocalFileName(server_path). cancel is the flag the
// UI thread sets; it is cleared when the user chooses to go on.
DownloadResult DownloadFile(const std::string& url, std::string_view server_path, const std::filesystem::path& folder,
                            std::atomic<bool>& cancel, DownloadObserver& observer);

}  // namespace update
