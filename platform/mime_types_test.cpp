#include "platform/mime_types.h"

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

TEST(MimeTypes, LooksUpExtensionsInATable) {
  testing_support::ScopedTestHome home;
  auto table = home.root() / "mime.types";
  testing_support::WriteFileBytes(table,
                                  "# comment line with audio/x-fake wav\n"
                                  "\n"
                                  "audio/x-wav\t\t\t\twav\n"
                                  "audio/ogg   oga ogg opus   # trailing comment\n"
                                  "application/x-no-extensions\n"
                                  "audio/x-second-wav wav\n"
                                  "text/plain txt TEXT\r\n");
  struct Case {
    const char* ext;
    std::optional<std::string> type;
  };
  const Case cases[] = {
      {"wav", "audio/x-wav"},  // the first entry wins
      {".WAV", "audio/x-wav"},
      {"ogg", "audio/ogg"},
      {"Opus", "audio/ogg"},
      {"text", "text/plain"},
      {"fake", std::nullopt},
      {"", std::nullopt},
      {".", std::nullopt},
      {"x-wav", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ContentTypeForExtension(c.ext, table), c.type) << c.ext;
  EXPECT_EQ(ContentTypeForExtension("wav", home.root() / "missing.types"), std::nullopt);
}

TEST(MimeTypes, SystemTableKnowsWaveAndOgg) {
  if (!std::filesystem::exists(kSystemMimeTypesPath)) GTEST_SKIP() << "media-types is not installed";
  EXPECT_EQ(ContentTypeForExtension(".wav"), "audio/x-wav");
  EXPECT_EQ(ContentTypeForExtension("ogg"), "audio/ogg");
}

}  // namespace
}  // namespace platform
