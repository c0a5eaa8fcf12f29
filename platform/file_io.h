#pragma once
// File helpers every layer uses: whole writes and reads that survive signals and
// short transfers, and replacing a file so that a reader (or a crash) sees the
// old content or the new, never half of it.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Writes every byte to fd, retrying on EINTR and short writes. 0, or the errno
// of the failure.
[[nodiscard]] int WriteAll(int fd, const void* data, std::size_t length);
[[nodiscard]] inline int WriteAll(int fd, std::string_view data) { return WriteAll(fd, data.data(), data.size()); }

// Reads the whole file into out (cleared first). 0, or the errno of the failure
// (ENOENT when it does not exist).
[[nodiscard]] int ReadWholeFile(const std::filesystem::path& path, std::string& out);

// Writes content to a new temporary file beside path (created with mode, or the
// mode of the file it replaces when mode is negative), fsyncs it, renames it
// over path and fsyncs the folder. 0, or the errno of the failing step; on
// failure path is untouched and the temporary file is gone.
[[nodiscard]] int ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content, int mode = 0600);

// Creates a new file that only this user can read (mode 0600): never an existing
// name, never through a symbolic link. The descriptor (close-on-exec), or -1 with
// errno set.
[[nodiscard]] int CreatePrivateFile(const std::filesystem::path& path);

// fsync of a folder, so that a rename or a new entry in it survives a crash.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace platform
