// dictalo-setup as a user runs it: a real process loading the real setup library.
#include <filesystem>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <thread>

#include "platform/registry.h"
#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace setup {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryRoot;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::WriteFileBytes;

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Nobody answers the licence but the command line, even on a desktop.
    setenv("DICTALO_RENDERER", "headless", 1);
    source_ = home_.root() / "tree";
    prefix_ = home_.root() / "prefix";
    WriteFileBytes(source_ / "bin" / "dictalo", "program");
    WriteFileBytes(source_ / "bin" / "corvane-update", "utility");
    WriteFileBytes(source_ / "share" / "dictalo" / "help.html", "help");
    fs::create_directories(source_ / "lib");
    fs::copy_file(testing_support::BinaryDir().parent_path() / "lib" / "libdcsetup.so", source_ / "lib" / "libdcsetup.so");
  }
  testing_support::RunResult Setup(std::vector<std::string> args) {
    return RunProgram(testing_support::BinaryDir() / "dictalo-setup", args);
  }
  bool Tar(const fs::path& package, const fs::path& folder, std::vector<std::string> members) {
    std::vector<std::string> args = {"-cf", package.string(), "-C", folder.string()};
    args.insert(args.end(), members.begin(), members.end());
    return RunProgram("/usr/bin/tar", args).status == 0;
  }

  testing_support::ScopedTestHome home_;
  fs::path source_;
  fs::path prefix_;
};

TEST_F(InstallerTest, InstallsATreeThroughTheHooksAndRemovesItUnderTheRemovalWindow) {
  auto run = Setup({"install", "--prefix", prefix_.string(), "--accept-license", source_.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "dictalo"), "program");
  EXPECT_EQ(ReadFileBytes(prefix_ / "share" / "dictalo" / "help.html"), "help");
  // Install_Exit moved the update utility into the share folder of the prefix.
  EXPECT_EQ(ReadFileBytes(prefix_ / "share" / "dictalo" / "corvane-update"), "utility");
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "corvane-update"));
  EXPECT_TRUE(fs::exists(home_.data_home() / "applications" / "Corvane Update.desktop"));
  auto product = RegistryKey::Open(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(product);
  EXPECT_EQ(product->ReadDword(u"ProdID"), 10226u);

  // Removal: the library sees the removal window's text and clears the
  // predecessor's settings; the installed files go.
  ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Corvane\\Echomark"));
  run = Setup({"uninstall", "--prefix", prefix_.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, u"Software\\Corvane\\Echomark"));
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "dictalo"));
  EXPECT_FALSE(fs::exists(prefix_ / "share" / "dictalo" / "help.html"));
  // No empty folders of ours are left, and the update utility no longer takes
  // the program for installed; the shared utility itself stays for others.
  EXPECT_FALSE(fs::exists(prefix_ / "bin"));
  EXPECT_FALSE(fs::exists(prefix_ / "lib"));
  EXPECT_TRUE(fs::exists(prefix_ / "share" / "dictalo" / "corvane-update"));
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo"));
}

TEST_F(InstallerTest, UninstallKeepsWhatIsNotOurs) {
  ASSERT_EQ(Setup({"install", "--prefix", prefix_.string(), "--accept-license", source_.string()}).status, 0);
  WriteFileBytes(prefix_ / "bin" / "someone-elses-tool", "tool");
  auto product = RegistryKey::Open(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(product && product->WriteString(u"Note", u"kept"));
  auto run = Setup({"uninstall", "--prefix", prefix_.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "someone-elses-tool"), "tool");
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "dictalo"));
  product = RegistryKey::Open(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(product);
  EXPECT_FALSE(product->ReadDword(u"ProdID"));
  EXPECT_EQ(product->ReadString(u"Note"), u"kept");
}

TEST_F(InstallerTest, WithoutConsentNothingIsInstalled) {
  auto run = Setup({"install", "--prefix", prefix_.string(), source_.string()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "dictalo"));
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo"));
}

TEST_F(InstallerTest, OnADesktopTheLicenceWaitsForTheUsersAnswer) {
  unsetenv("DICTALO_RENDERER");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing_support::ChildProcess setup(testing_support::BinaryDir() / "dictalo-setup",
                                      {"install", "--prefix", prefix_.string(), source_.string()});
  unsetenv("QT_QPA_PLATFORM");
  platform::HWND dialog = nullptr;
  ASSERT_TRUE(testing_support::WaitUntil([&] {
    dialog = platform::FindWindow(u"Dialog", u"DictaloSetup");
    return dialog != nullptr || !setup.Running();
  }, std::chrono::seconds(20))) << setup.Errors();
  ASSERT_NE(dialog, nullptr) << setup.Errors();
  // Not declined on the user's behalf: it waits.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(setup.Running()) << setup.Errors();
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "dictalo"));
  // The user chooses Accept.
  platform::SendMessage(dialog, platform::WM_COMMAND, 1, 0);
  EXPECT_EQ(setup.Wait(std::chrono::seconds(20)), 0) << setup.Errors();
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "dictalo"), "program");
}

// An update that carries only the files that changed: installed through the
// installer's own setup library, and removal still finds every file.
TEST_F(InstallerTest, PartialUpdateKeepsTheWholeInstallationRemovable) {
  ASSERT_EQ(Setup({"install", "--prefix", prefix_.string(), "--accept-license", source_.string()}).status, 0);
  fs::path tree = home_.root() / "update";
  WriteFileBytes(tree / "bin" / "dictalo", "newer program");
  WriteFileBytes(tree / "MANIFEST", "dictalo-package 1\nbin/dictalo\n");
  fs::path package = home_.root() / "update.tar";
  ASSERT_TRUE(Tar(package, tree, {"MANIFEST", "bin"}));
  auto run = Setup({"install", "--prefix", prefix_.string(), "--accept-license", "--delete", package.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "dictalo"), "newer program");
  EXPECT_FALSE(fs::exists(package));

  run = Setup({"uninstall", "--prefix", prefix_.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(prefix_ / "bin" / "dictalo"));
  EXPECT_FALSE(fs::exists(prefix_ / "share" / "dictalo" / "help.html"));
  EXPECT_FALSE(fs::exists(prefix_ / "lib" / "libdcsetup.so"));
}

TEST_F(InstallerTest, PackageIsInstalledAndDeletedAndOneThatReachesOutIsRefused) {
  WriteFileBytes(source_ / "MANIFEST", "dictalo-package 1\nbin/dictalo\nlib/libdcsetup.so\n");
  fs::path package = home_.root() / "update.tar";
  ASSERT_TRUE(Tar(package, source_, {"MANIFEST", "bin", "lib"}));
  auto run = Setup({"install", "--prefix", prefix_.string(), "--accept-license", "--delete", package.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "dictalo"), "program");
  EXPECT_FALSE(fs::exists(package));

  // An entry that climbs out of the prefix refuses the whole package.
  WriteFileBytes(home_.root() / "outside", "untouched");
  WriteFileBytes(source_ / "evil" / "outside", "overwritten");
  WriteFileBytes(source_ / "MANIFEST", "dictalo-package 1\nbin/dictalo\nlib/libdcsetup.so\n../outside\n");
  ASSERT_TRUE(Tar(package, source_, {"MANIFEST", "bin", "lib", "evil"}));
  WriteFileBytes(prefix_ / "bin" / "dictalo", "installed before");
  run = Setup({"install", "--prefix", prefix_.string(), "--accept-license", "--delete", package.string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("../outside"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(home_.root() / "outside"), "untouched");
  EXPECT_EQ(ReadFileBytes(prefix_ / "bin" / "dictalo"), "installed before");
  EXPECT_FALSE(fs::exists(package));
}

}  // namespace
}  // namespace setup
