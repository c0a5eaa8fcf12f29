// Reads arbitrary bytes as a registry hive, writes what was read, reads that
// again and writes it again. What the writer produces must read back without a
// single problem and write out identically, whatever the input was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/reg_text.h"

namespace {

using platform::RegistryRoot;
namespace reg_text = platform::reg_text;

std::string ReadAndWrite(std::string_view text, RegistryRoot root, std::size_t* problems) {
  reg_text::Parsed parsed = reg_text::Parse(text);
  reg_text::Node hive;
  std::vector<reg_text::Problem> apply_problems;
  reg_text::Apply(hive, root, parsed.ops, &apply_problems);
  if (problems) *problems = parsed.problem_count + apply_problems.size();
  return reg_text::SerializeHive(hive, root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    std::string first = ReadAndWrite(input, root, nullptr);
    std::size_t problems = 0;
    std::string second = ReadAndWrite(first, root, &problems);
    if (problems != 0 || first != second) {
      std::fprintf(stderr, "unstable hive text\n--- first ---\n%s\n--- second (%zu problems) ---\n%s\n",
                   first.c_str(), problems, second.c_str());
      __builtin_trap();
    }
  }
  return 0;
}
