#pragma once
// The root certificates the user added to our ROOT store (the system's CA
// bundle stays out of it): listed, imported from a file and removed the way
// `dictaloctl cert list | import | remove` does, through the same store.

#include <filesystem>
#include <string>
#include <vector>

namespace settings {

// "Subject (valid until YYYY-MM-DD)" for each root we hold, in store order; the
// index is what RemoveTrustedRoot takes.
std::vector<std::u16string> ListTrustedRoots();

struct RootImport {
  int added = 0;
  std::vector<std::u16string> problems;  // one line per certificate refused, or the file's fault
};
// Adds every certificate of a PEM, DER or PKCS #7 file.
RootImport ImportTrustedRoots(const std::filesystem::path& file);

// False when there is no such root or it could not be removed.
bool RemoveTrustedRoot(int index);

}  // namespace settings
