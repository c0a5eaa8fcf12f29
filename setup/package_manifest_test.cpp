#include "setup/package_manifest.h"

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

namespace setup {
namespace {

TEST(PackageManifestTest, EntriesThatWouldLeaveThePrefixAreRefused) {
  for (const char* bad : {"", "/etc/passwd", "../x", "bin/../../x", "bin/..", "./bin/x", "bin//x", "bin/x/",
                          "bin/\x01x", "bin/x\r"}) {
    EXPECT_FALSE(IsSafeEntry(bad)) << bad;
  }
  for (const char* good : {"bin/dictalo", "share/dictalo/cue sounds/a.wav", "x..y", "..x", "lib/libdcsetup.so"}) {
    EXPECT_TRUE(IsSafeEntry(good)) << good;
  }
  std::string error;
  auto entries = ParseManifest("dictalo-package 1\r\nbin/dictalo\n\nlib/libdcsetup.so\n", &error);
  ASSERT_TRUE(entries);
  EXPECT_EQ(*entries, (std::vector<std::string>{"bin/dictalo", "lib/libdcsetup.so"}));
  // One bad entry refuses the whole package.
  EXPECT_FALSE(ParseManifest("dictalo-package 1\nbin/dictalo\n../../.bashrc\n", &error));
  EXPECT_NE(error.find("../../.bashrc"), std::string::npos);
  EXPECT_FALSE(ParseManifest("dictalo-package 2\nbin/dictalo\n", &error));
  EXPECT_FALSE(ParseManifest("", &error));
}

TEST(PackageManifestTest, BuiltTreeGivesProgramsSetupLibraryAndShareFolder) {
  testing_support::ScopedTestHome home;
  auto root = home.root() / "tree";
  testing_support::WriteFileBytes(root / "bin" / "dictalo", "p");
  testing_support::WriteFileBytes(root / "lib" / "libdcsetup.so", "l");
  testing_support::WriteFileBytes(root / "lib" / "libdictalo-ui.so", "u");
  testing_support::WriteFileBytes(root / "lib" / "libother.a", "not installed");
  testing_support::WriteFileBytes(root / "share" / "dictalo" / "sounds" / "a.wav", "s");
  testing_support::WriteFileBytes(root / "share" / "icons" / "hicolor" / "scalable" / "status" / "b.svg", "i");
  testing_support::WriteFileBytes(root / "share" / "other" / "c.txt", "not ours");
  std::filesystem::create_directories(root / "bin" / "subfolder");
  EXPECT_EQ(ListBuiltTree(root),
            (std::vector<std::string>{"bin/dictalo", "lib/libdcsetup.so", "lib/libdictalo-ui.so",
                                      "share/dictalo/sounds/a.wav", "share/icons/hicolor/scalable/status/b.svg"}));
}

}  // namespace
}  // namespace setup
