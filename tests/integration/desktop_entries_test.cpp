// The menu entries and icons as a desktop finds them after installation: the
// entries pass desktop-file-validate, start programs the build makes and name
// icons the theme holds, and installing puts the entries and every icon size
// where the desktop looks (share/applications, share/icons/hicolor).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;

fs::path Share() { return testing_support::SourceDir() / "resources" / "share"; }
fs::path BuildDir() { return testing_support::BinaryDir().parent_path(); }

// The program's path on PATH, or "" when it is not installed.
std::string Which(const std::string& program) {
  auto r = RunProgram("/bin/sh", {"-c", "command -v " + program});
  std::string path = r.status == 0 ? r.out : "";
  while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
  return path;
}
bool Have(const std::string& program) { return !Which(program).empty(); }

// Key → value of every "Key=value" line, the group name prefixed ("Desktop Entry/Exec").
std::map<std::string, std::string> ReadEntry(const fs::path& path) {
  std::map<std::string, std::string> out;
  std::istringstream in(ReadFileBytes(path));
  std::string line, group;
  while (std::getline(in, line)) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') group = line.substr(1, line.size() - 2);
    auto eq = line.find('=');
    if (eq != std::string::npos && line[0] != '#') out[group + "/" + line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// Width and height from a PNG's header.
std::pair<int, int> PngSize(const fs::path& path) {
  std::string b = ReadFileBytes(path);
  if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    return (unsigned char)b[at] << 24 | (unsigned char)b[at + 1] << 16 | (unsigned char)b[at + 2] << 8 |
           (unsigned char)b[at + 3];
  };
  return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

TEST(DesktopEntriesTest, EntriesAreValidAndNameOurProgramsAndIcons) {
  if (!Have("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  const std::map<std::string, std::string> programs = {{"dictalo.desktop", "dictalo"},
                                                       {"dictalo-record.desktop", "dictalo-record"}};
  for (const auto& [file, program] : programs) {
    SCOPED_TRACE(file);
    fs::path entry = Share() / "applications" / file;
    auto r = RunProgram(Which("desktop-file-validate"), {entry.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Hints (several main categories) are fine; errors and warnings are not.
    for (const char* bad : {"error:", "warning:"}) {
      EXPECT_EQ(r.out.find(bad), std::string::npos) << r.out;
      EXPECT_EQ(r.err.find(bad), std::string::npos) << r.err;
    }
    auto keys = ReadEntry(entry);
    EXPECT_EQ(keys["Desktop Entry/Exec"], program);
    EXPECT_TRUE(fs::exists(testing_support::BinaryDir() / program)) << "the build makes no " << program;
    for (const auto& [key, value] : keys) {
      if (key.size() < 5 || key.compare(key.size() - 5, 5, "/Icon") != 0) continue;
      EXPECT_TRUE(fs::exists(Share() / "icons" / "hicolor" / "scalable" / "apps" / (value + ".svg")))
          << key << "=" << value << " is no icon of ours";
    }
  }
  EXPECT_EQ(ReadEntry(Share() / "applications" / "dictalo.desktop")["Desktop Entry/Categories"],
            "AudioVideo;Audio;Recorder;Office;");
}

TEST(DesktopEntriesTest, InstallingPutsEntriesAndEveryIconSizeWhereTheDesktopLooks) {
  ASSERT_TRUE(Have("cmake"));
  testing_support::ScopedTestHome home;
  fs::path prefix = home.root() / "prefix";
  auto r = RunProgram(Which("cmake"), {"--install", BuildDir().string(), "--component", "desktop", "--prefix",
                                         prefix.string()},
                      std::chrono::seconds(60));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const char* entry : {"dictalo.desktop", "dictalo-record.desktop"})
    EXPECT_EQ(ReadFileBytes(prefix / "share" / "applications" / entry),
              ReadFileBytes(Share() / "applications" / entry))
        << entry;
  fs::path theme = prefix / "share" / "icons" / "hicolor";
  for (const char* icon : {"dictalo", "dictalo-recording", "dictalo-pending"}) {
    SCOPED_TRACE(icon);
    EXPECT_TRUE(fs::exists(theme / "scalable" / "apps" / (std::string(icon) + ".svg")));
    if (!Have("rsvg-convert")) continue;  // the build draws no PNGs without it
    for (int size : {16, 32, 48, 64}) {
      std::string dir = std::to_string(size) + "x" + std::to_string(size);
      EXPECT_EQ(PngSize(theme / dir / "apps" / (std::string(icon) + ".png")), std::make_pair(size, size)) << dir;
    }
  }
  for (const char* icon : {"dictalo-stop-send", "dictalo-stop-save", "dictalo-cancel"})
    for (const char* state : {"", "-disabled"})
      EXPECT_TRUE(fs::exists(theme / "scalable" / "actions" / (std::string(icon) + state + ".svg"))) << icon << state;
}

TEST(DesktopEntriesTest, EveryPictureIsAnSvgThatRenders) {
  if (!Have("rsvg-convert")) GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
  testing_support::ScopedTestHome home;
  int count = 0;
  for (const auto& e : fs::recursive_directory_iterator(Share() / "icons")) {
    if (e.path().extension() != ".svg") continue;
    ++count;
    fs::path png = home.root() / (e.path().stem().string() + ".png");
    auto r = RunProgram(Which("rsvg-convert"), {"-w", "48", "-h", "48", "-o", png.string(), e.path().string()});
    EXPECT_EQ(r.status, 0) << e.path() << r.err;
    EXPECT_EQ(PngSize(png), std::make_pair(48, 48)) << e.path();
  }
  EXPECT_EQ(count, 15) << "three application icons, six button pictures and the update utility's six status pictures";
}

}  // namespace
