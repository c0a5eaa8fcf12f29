#pragma once
// Note files kept outside the storage: named after the expanded subject in
// the notes folder, never over an existing file.

#include <filesystem>
#include <string>
#include <string_view>

namespace delivery {

// The subject as a file name: each of \ / : * ? " < > | becomes a full stop.
std::u16string NoteFileNameFromSubject(std::u16string_view subject);

// folder/name + extension, or folder/name.N + extension for the first free N.
std::filesystem::path FirstFreeName(const std::filesystem::path& folder, const std::u16string& name,
                                    const std::string& extension);

// Copies `note` into `folder` (made when missing) under the subject; when
// that fails, beside the note as "Dictalo unsent note". The copy's path, or
// empty when no copy could be made.
std::filesystem::path KeepNoteCopy(const std::filesystem::path& note, const std::filesystem::path& folder,
                                   std::u16string_view subject);

}  // namespace delivery
