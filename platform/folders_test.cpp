#include "platform/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/folders_internal.h"
#include "tests/support/test_environment.h"

namespace platform::folders {
namespace {

namespace fs = std::filesystem;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

TEST(FoldersTest, EveryFolderFollowsTheEnvironment) {
  ScopedTestHome home;
  const fs::path root = home.root();
  EXPECT_EQ(InstallDir(), root / "data" / "dictalo");
  EXPECT_EQ(ConfigDir(), root / "config" / "dictalo");
  EXPECT_EQ(ProgramsDir(), root / "data" / "applications");
  EXPECT_EQ(PersonalDir(), root / "home" / "Documents");
  EXPECT_EQ(TempDir(), root / "tmp");
  EXPECT_EQ(RuntimeDir(), root / "runtime");
  // Nothing is created just by asking.
  EXPECT_FALSE(fs::exists(InstallDir()));

  // Unset, empty or relative XDG variables fall back to the home folder.
  unsetenv("XDG_DATA_HOME");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  unsetenv("TMPDIR");
  EXPECT_EQ(InstallDir(), root / "home" / ".local" / "share" / "dictalo");
  EXPECT_EQ(ProgramsDir(), root / "home" / ".local" / "share" / "applications");
  EXPECT_EQ(ConfigDir(), root / "home" / ".config" / "dictalo");
  EXPECT_EQ(TempDir(), fs::path("/tmp"));
  setenv("XDG_DATA_HOME", "", 1);
  EXPECT_EQ(InstallDir(), root / "home" / ".local" / "share" / "dictalo");
}

struct UserDirsCase {
  const char* file;  // content of user-dirs.dirs, nullptr: no file
  const char* expected_below_home;
};

TEST(FoldersTest, PersonalFolderFromUserDirsFile) {
  const UserDirsCase cases[] = {
      {nullptr, "Documents"},
      {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
       "Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", ""},
      {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n", "Documents"},
      {"#XDG_DOCUMENTS_DIR=\"$HOME/Commented\"\n", "Documents"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "(no file)");
    ScopedTestHome home;
    unsetenv("XDG_DOCUMENTS_DIR");
    if (c.file) WriteFileBytes(home.config_home() / "user-dirs.dirs", c.file);
    EXPECT_EQ(PersonalDir(), (home.root() / "home" / c.expected_below_home).lexically_normal());
  }
  ScopedTestHome home;
  unsetenv("XDG_DOCUMENTS_DIR");
  WriteFileBytes(home.config_home() / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
  EXPECT_EQ(PersonalDir(), fs::path("/srv/docs"));
  // The environment wins over the file.
  setenv("XDG_DOCUMENTS_DIR", "/from/env", 1);
  EXPECT_EQ(PersonalDir(), fs::path("/from/env"));
}

TEST(FoldersTest, PrivateRuntimeFolderIsOursAndClosed) {
  ScopedTestHome home;
  const fs::path fresh = home.root() / "fresh";
  ASSERT_TRUE(internal::EnsurePrivateDir(fresh));
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  const fs::path loose = home.root() / "loose";
  fs::create_directory(loose);
  chmod(loose.c_str(), 0777);
  ASSERT_TRUE(internal::EnsurePrivateDir(loose));
  ASSERT_EQ(stat(loose.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  testing::internal::CaptureStderr();
  const fs::path link = home.root() / "link";
  fs::create_directory_symlink(fresh, link);
  EXPECT_FALSE(internal::EnsurePrivateDir(link));
  const fs::path file = home.root() / "file";
  WriteFileBytes(file, "x");
  EXPECT_FALSE(internal::EnsurePrivateDir(file));
  if (geteuid() == 0) {  // only root can make a folder that belongs to someone else
    const fs::path foreign = home.root() / "foreign";
    fs::create_directory(foreign);
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(internal::EnsurePrivateDir(foreign));
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refusing"), std::string::npos);

  // Without XDG_RUNTIME_DIR the fallback in /tmp is made private to us.
  unsetenv("XDG_RUNTIME_DIR");
  fs::path runtime = RuntimeDir();
  EXPECT_EQ(runtime, fs::path("/tmp/dictalo-" + std::to_string(getuid())));
  ASSERT_EQ(lstat(runtime.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, getuid());
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(FoldersTest, ProgramFolders) {
  ScopedTestHome home;
  // The test program itself lives in the executable folder.
  EXPECT_TRUE(fs::is_regular_file(ExecutableDir() / "platform_tests"));
  setenv("DICTALO_SHARE_DIR", "/opt/share/dictalo", 1);
  EXPECT_EQ(WindowsDir(), fs::path("/opt/share/dictalo"));
  unsetenv("DICTALO_SHARE_DIR");
  // From the build tree the share folder is found beside bin/ or in the sources.
  EXPECT_TRUE(fs::is_directory(WindowsDir())) << WindowsDir();
}

}  // namespace
}  // namespace platform::folders
