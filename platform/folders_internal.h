#pragma once
// Internal to the folders module, open to its tests.

#include <filesystem>

namespace platform::folders::internal {

// Makes dir a folder only this user can enter: creates it with mode 0700, or
// tightens the mode of an existing one of ours. False (with a line on stderr)
// when it is a symbolic link, not a folder, or belongs to another user.
bool EnsurePrivateDir(const std::filesystem::path& dir);

}  // namespace platform::folders::internal
