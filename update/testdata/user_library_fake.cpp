// A product's own library for the utility's tests. It knows one product (id
// 7, version 1.5 in language 1033), keeps the utility's registration in a file
// named by $TWU_FAKE_LOG, and declines the rest.
#include <cstdio>
#include <cstdlib>

namespace {

void Log(const char* line) {
  const char* path = std::getenv("TWU_FAKE_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool twuIsProductInstalled(const char16_t*, const void*,
                                                                             int product_id, int, int* major,
                                                                             int* minor, int* language) {
  if (product_id != 7) return false;
  *major = 1;
  *minor = 5;
  *language = 1033;
  return true;
}

extern "C" __attribute__((visibility("default"))) bool twuWriteVersionNumber() {
  Log("write");
  return true;
}

extern "C" __attribute__((visibility("default"))) bool twuDeleteVersionNumber() {
  Log("delete");
  return true;
}
