// The update utility's work against a real local HTTP server
// (tests/peers/update_server.py), and the real installer for the last step.
#include "update/update_session.h"

#include <stdlib.h>

#include <memory>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "resources/update_resources.h"
#include "security/crypto/sha256.h"
#include "update/product_images.h"
#include "update/update_window.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace update {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class UpdateServer {
 public:
  explicit UpdateServer(const fs::path& folder) : files_(folder / "files") {
    fs::create_directories(files_);
    process_ = std::make_unique<testing_support::ChildProcess>(
        "/usr/bin/python3", std::vector<std::string>{(testing_support::SourceDir() / "tests/peers/update_server.py").string(),
                                                     files_.string(), "28750", "28799"});
    bool up = testing_support::WaitUntil(
        [&] { return process_->Output().find('\n') != std::string::npos || !process_->Running(); });
    std::string out = process_->Output();
    if (!up || out.rfind("ready ", 0) != 0) throw std::runtime_error("update server did not start: " + process_->Errors());
    port_ = std::stoi(out.substr(6));
  }
  std::u16string Domain() const { return platform::Utf8ToUtf16("http://127.0.0.1:" + std::to_string(port_)); }
  void Put(const std::string& path, const std::string& bytes) const { WriteFileBytes(files_ / path, bytes); }
  std::string Requests() const { return ReadFileBytes(files_.parent_path() / "requests.log"); }

 private:
  fs::path files_;
  std::unique_ptr<testing_support::ChildProcess> process_;
  int port_ = 0;
};

std::string Hex(const security::Sha256::Digest& d) {
  std::string out;
  const char* digits = "0123456789abcdef";
  for (auto b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A record line of the list: name, version, section fields, package and digest.
std::string Record(const std::string& name, int major, int minor, int id, const std::string& path, int recommended,
                   const std::string& key, int limit, int trial, int free_upgrade, const std::string& digest = "") {
  std::string line = name + "," + std::to_string(major) + "," + std::to_string(minor) + ",100,1,PPC,500,599,," +
                     std::to_string(id) + ",http://info/" + name + "," + path + "," + name + ",About " + name + "," +
                     std::to_string(recommended) + "," + key + "," + std::to_string(limit) + "," +
                     std::to_string(trial) + "," + std::to_string(free_upgrade) + ",0";
  if (!digest.empty()) line += ",http://buy/" + name + "," + digest;
  return line + "\r\n";
}

class RecordingObserver : public DownloadObserver {
 public:
  void OnLength(long long length) override { length_ = length; }
  void OnBlock(std::uint64_t blocks, std::uint64_t bytes) override {
    blocks_ = blocks;
    if (bytes % kDownloadBlock != 0) ++partial_blocks_;
    for (std::uint64_t at : cancel_at_) {
      if (blocks == at) cancel_->store(true);
    }
  }
  void OnStatus(const std::u16string& text) override { statuses_.push_back(text); }
  bool ConfirmCancel() override {
    ++questions_;
    if (answers_.empty()) return true;
    bool answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
  }

  long long length_ = -2;
  std::uint64_t blocks_ = 0;
  int partial_blocks_ = 0;
  std::vector<std::u16string> statuses_;
  std::vector<std::uint64_t> cancel_at_;
  std::atomic<bool>* cancel_ = nullptr;
  int questions_ = 0;
  std::vector<bool> answers_;
};

class UpdateServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    // The programs started here answer their boxes from the script, even on a desktop.
    setenv("DICTALO_RENDERER", "headless", 1);
    server_ = std::make_unique<UpdateServer>(home_.root() / "server");
    config_.domain = server_->Domain();
    config_.list_file = u"/install/corvane_wmproductlist.txt";
  }
  LoadedList Load(std::vector<StatusScreen>* shown = nullptr) {
    std::vector<StatusScreen> local;
    std::vector<StatusScreen>& screens = shown ? *shown : local;
    UpdateSession session(config_, connector_, nullptr);
    return session.LoadList([&](const StatusScreen& s) { screens.push_back(s); }, [](std::chrono::milliseconds) {});
  }

  testing_support::ScopedTestHome home_;
  std::unique_ptr<UpdateServer> server_;
  UpdateConfig config_;
  platform::ConnectionManager manager_;
  Connector connector_{manager_};
};

TEST_F(UpdateServerTest, ValidListFillsEverySectionWithItsLabels) {
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(key && key->WriteDword(u"ProdID", 10226) && key->WriteDword(u"MajorVersion", 2) &&
              key->WriteDword(u"MinorVersion", 3514));
  std::string list = "twproductlist\r\n" +
                     Record("Dictalo", 3, 0, 10226, "/install/dictalo.tar", 0, "Corvane\\Dictalo", 0, 14, 3) +
                     Record("Trial", 1, 0, 2, "/install/trial.tar", 0, "Corvane\\Trial", 0, 30, 2) +
                     Record("Pick", 1, 0, 3, "/install/pick.tar", 1, "Corvane\\Pick", 0, 0, 2) +
                     Record("Gift", 1, 0, 4, "/install/gift.tar", 0, "Corvane\\Gift", 0, 0, 0) +
                     "Phone,1,0,0,0,SP,500,599,,5,i,/p,p,d,0,K,0,0,0,0\r\n";
  server_->Put("install/corvane_wmproductlist.txt", list);
  config_.options = kLabelPaidUpgrades;
  std::vector<StatusScreen> shown;
  LoadedList loaded = Load(&shown);
  ASSERT_EQ(loaded.error, ListError::kNone);
  ASSERT_EQ(loaded.entries.size(), 4u);  // the smartphone product is not offered
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], screens::Connecting());
  EXPECT_EQ(shown[1], screens::Connected());
  EXPECT_EQ(shown[2], screens::DownloadingList());
  EXPECT_EQ(shown[3], screens::ListSuccess());
  EXPECT_EQ(shown[0].colour, 0xFFD0D0u);
  EXPECT_EQ(shown[3].colour, 0xC0FFC0u);
  std::vector<std::u16string> rows;
  for (const ListRow& row : loaded.rows) {
    rows.push_back(row.kind == ListRow::Kind::kProduct
                       ? loaded.entries[row.entry].record.name + u":" + ProductLabel(loaded.entries[row.entry], config_.options)
                       : row.text);
  }
  EXPECT_EQ(rows, (std::vector<std::u16string>{u"Software Upgrades", u"Dictalo:Paid upgrade", u"Try New Software",
                                               u"Trial:30-day trial", u"Recommended Software", u"Pick:Try and Buy",
                                               u"Free Software", u"Gift:FREE"}));
  EXPECT_NE(server_->Requests().find("User-Agent: TARNUPDATE: 5.1"), std::string::npos);
  EXPECT_NE(server_->Requests().find("GET /install/corvane_wmproductlist.txt "), std::string::npos);
}

TEST_F(UpdateServerTest, ListErrorsShowTheirScreens) {
  server_->Put("install/corvane_wmproductlist.txt", "productlist\r\n" + Record("A", 1, 0, 1, "/a", 0, "K", 0, 0, 0));
  std::vector<StatusScreen> shown;
  EXPECT_EQ(Load(&shown).error, ListError::kInvalid);
  EXPECT_EQ(shown.back(), screens::ListError(4));
  EXPECT_EQ(shown.back().soft_keys, kRetryExitBar);

  server_->Put("install/corvane_wmproductlist.txt", "twproductlist\r\n" + std::string(kMaxProductListBytes, '\n'));
  shown.clear();
  EXPECT_EQ(Load(&shown).error, ListError::kMemory);
  EXPECT_EQ(shown.back().text, u"Not enough memory.\r\n\r\nClose one or more applications and try again.");

  config_.list_file = u"/install/missing.txt";
  shown.clear();
  EXPECT_EQ(Load(&shown).error, ListError::kDownload);
  EXPECT_EQ(shown.back().colour, 0xC0FFFFu);

  server_->Put("install/corvane_wmproductlist.txt", "twproductlist\r\n");
  config_.list_file = u"/install/corvane_wmproductlist.txt";
  shown.clear();
  LoadedList none = Load(&shown);
  EXPECT_EQ(none.error, ListError::kNone);
  EXPECT_TRUE(none.entries.empty());
  EXPECT_EQ(shown.back(), screens::NoProducts());
}

TEST_F(UpdateServerTest, RefusedConnectionAndNoNetwork) {
  // Nobody listens: the list cannot be downloaded.
  config_.domain = u"http://127.0.0.1:28749";
  std::vector<StatusScreen> shown;
  EXPECT_EQ(Load(&shown).error, ListError::kDownload);
  // A server out there with no network to reach it: no connection at all.
  platform::NetworkStateSources nothing;
  nothing.proc_root = home_.root() / "no-proc";
  nothing.sys_root = home_.root() / "no-sys";
  nothing.nmcli = "";
  platform::ConnectionManager offline(nothing);
  Connector no_network(offline);
  config_.domain = u"http://updates.corvane.example";
  UpdateSession session(config_, no_network, nullptr);
  shown.clear();
  LoadedList loaded =
      session.LoadList([&](const StatusScreen& s) { shown.push_back(s); }, [](std::chrono::milliseconds) {});
  EXPECT_EQ(loaded.error, ListError::kConnect);
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown.back(), screens::ListError(1));
}

TEST_F(UpdateServerTest, DownloadInBlocksCancelledHalfwayLeavesNothing) {
  std::string package(100 * 1024 + 5, 'p');
  server_->Put("install/big.tar", package);
  server_->Put("install/big.tar.throttle", "5");
  ProductEntry entry;
  entry.record.download_path = u"/install/big.tar";
  UpdateSession session(config_, connector_, nullptr);
  std::atomic<bool> cancel{false};
  RecordingObserver observer;
  observer.cancel_ = &cancel;
  observer.cancel_at_ = {10, 20};
  observer.answers_ = {false, true};  // "no" goes on and clears the flag; "yes" cancels
  DownloadResult result = session.DownloadProduct(entry, cancel, observer);
  EXPECT_EQ(result.outcome, DownloadOutcome::kCancelled);
  EXPECT_EQ(observer.questions_, 2);
  EXPECT_EQ(observer.blocks_, 20u);
  EXPECT_FALSE(fs::exists(result.file));
  EXPECT_EQ(observer.length_, static_cast<long long>(package.size()));
  // The file went to the session's private folder, under its server name.
  EXPECT_EQ(result.file.parent_path(), session.folder());
  EXPECT_EQ(result.file.filename(), "big.tar");
  EXPECT_EQ(fs::status(session.folder()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(UpdateServerTest, CompleteDownloadReportsEveryBlockAndEveryFifth) {
  std::string package(5 * 2048 * 2 + 100, 'q');
  server_->Put("install/pkg.tar", package);
  ProductEntry entry;
  entry.record.download_path = u"/install/pkg.tar";
  entry.record.sha256 = platform::Utf8ToUtf16(Hex(security::Sha256::Hash(package.data(), package.size())));
  UpdateSession session(config_, connector_, nullptr);
  std::atomic<bool> cancel{false};
  RecordingObserver observer;
  DownloadResult result = session.DownloadProduct(entry, cancel, observer);
  ASSERT_EQ(result.outcome, DownloadOutcome::kComplete) << result.error;
  EXPECT_EQ(ReadFileBytes(result.file), package);
  EXPECT_EQ(observer.blocks_, 11u);
  EXPECT_EQ(observer.partial_blocks_, 1);  // only the last block is short
  ASSERT_EQ(observer.statuses_.size(), 2u);
  EXPECT_EQ(observer.statuses_[0], u"File: pkg.tar\r\n\r\nDownloaded so far 10 KB");
  EXPECT_EQ(observer.statuses_[1], u"File: pkg.tar\r\n\r\nDownloaded so far 20 KB");
}

TEST_F(UpdateServerTest, PackageWithAnotherDigestIsRefusedAndDeleted) {
  server_->Put("install/pkg.tar", "tampered bytes");
  ProductEntry entry;
  entry.record.download_path = u"/install/pkg.tar";
  entry.record.sha256 = platform::Utf8ToUtf16(Hex(security::Sha256::Hash("original bytes", 14)));
  UpdateSession session(config_, connector_, nullptr);
  std::atomic<bool> cancel{false};
  RecordingObserver observer;
  DownloadResult result = session.DownloadProduct(entry, cancel, observer);
  EXPECT_EQ(result.outcome, DownloadOutcome::kFailed);
  EXPECT_EQ(result.error, "digest");
  EXPECT_FALSE(fs::exists(result.file));
}

TEST_F(UpdateServerTest, CompleteUpdateIsInstalledByTheInstaller) {
  // The package: a manifest, a program and the setup library.
  fs::path tree = home_.root() / "package";
  WriteFileBytes(tree / "bin" / "dictalo", "new program");
  fs::create_directories(tree / "lib");
  fs::copy_file(testing_support::BinaryDir().parent_path() / "lib" / "libdcsetup.so", tree / "lib" / "libdcsetup.so");
  WriteFileBytes(tree / "MANIFEST", "dictalo-package 1\nbin/dictalo\nlib/libdcsetup.so\n");
  fs::path tarball = home_.root() / "dictalo.tar";
  ASSERT_EQ(testing_support::RunProgram("/usr/bin/tar", {"-cf", tarball.string(), "-C", tree.string(), "MANIFEST", "bin", "lib"})
                .status,
            0);
  std::string bytes = ReadFileBytes(tarball);
  server_->Put("install/dictalo.tar", bytes);
  server_->Put("install/corvane_wmproductlist.txt",
               "twproductlist\r\n" + Record("Dictalo", 3, 0, 10226, "/install/dictalo.tar", 0, "Corvane\\Dictalo", 0,
                                            14, 2, Hex(security::Sha256::Hash(bytes.data(), bytes.size()))));
  LoadedList loaded = Load();
  ASSERT_EQ(loaded.entries.size(), 1u);

  UpdateSession session(config_, connector_, nullptr);
  std::atomic<bool> cancel{false};
  RecordingObserver observer;
  DownloadResult result = session.DownloadProduct(loaded.entries[0], cancel, observer);
  ASSERT_EQ(result.outcome, DownloadOutcome::kComplete) << result.error;
  // The installer is found on PATH; the user agreed to the licence beforehand.
  std::string path = testing_support::BinaryDir().string() + ":" + (getenv("PATH") ? getenv("PATH") : "");
  setenv("PATH", path.c_str(), 1);
  setenv("ACCEPT_EULA", "Y", 1);
  ASSERT_TRUE(session.StartInstall(result.file));
  unsetenv("ACCEPT_EULA");
  fs::path installed = home_.root() / "home" / ".local" / "bin" / "dictalo";
  EXPECT_TRUE(testing_support::WaitUntil([&] { return ReadFileBytes(installed) == "new program"; },
                                         std::chrono::seconds(20)));
  // The installer deleted the package and the folder it was handed over in.
  EXPECT_TRUE(testing_support::WaitUntil([&] {
    for (auto& e : fs::directory_iterator(home_.root() / "tmp")) {
      if (e.path().filename().string().rfind("corvane-install-", 0) == 0) return false;
    }
    return true;
  }));
  EXPECT_FALSE(fs::exists(result.file));
  auto product = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(product);
  EXPECT_EQ(product->ReadDword(u"ProdID"), 10226u);
}

TEST_F(UpdateServerTest, PicturesComeFromBesideTheListOnceEachAndOversizedOnesAreRefused) {
  server_->Put("install/memo48.bmp", "BM picture bytes");
  server_->Put("install/huge48.bmp", std::string(kMaxImageBytes + 4096, 'h'));
  server_->Put("install/a/logo48.bmp", "BM logo a");
  server_->Put("install/b/logo48.bmp", "BM logo b");
  fs::path folder = home_.root() / "pictures";
  ProductImages images(config_, folder);
  ProductRecord memo;
  memo.image_base = u"memo";
  auto got = images.Fetch(memo, 48);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->parent_path(), folder);
  EXPECT_EQ(ReadFileBytes(*got), "BM picture bytes");
  EXPECT_EQ(images.Fetch(memo, 48), got);
  // The same file name from two folders: two pictures, each kept.
  ProductRecord logo_a;
  logo_a.image_base = u"a/logo";
  ProductRecord logo_b;
  logo_b.image_base = u"b/logo";
  auto a = images.Fetch(logo_a, 48);
  auto b = images.Fetch(logo_b, 48);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(ReadFileBytes(*a), "BM logo a");
  EXPECT_EQ(ReadFileBytes(*b), "BM logo b");
  ProductRecord missing;
  missing.image_base = u"absent";
  EXPECT_FALSE(images.Fetch(missing, 48));
  EXPECT_FALSE(images.Fetch(missing, 48));
  ProductRecord huge;
  huge.image_base = u"huge";
  EXPECT_FALSE(images.Fetch(huge, 48));
  std::string requests = server_->Requests();
  auto count = [&](const std::string& line) {
    std::size_t n = 0;
    for (std::size_t at = requests.find(line); at != std::string::npos; at = requests.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("GET /install/memo48.bmp "), 1u);
  EXPECT_EQ(count("GET /install/absent48.bmp "), 1u);
  // Nothing of the refused picture stays.
  for (auto& e : fs::directory_iterator(folder)) EXPECT_EQ(e.path().filename().string().find("huge"), std::string::npos);
}

// A question such as --help is answered, not taken as a wish to go online.
TEST_F(UpdateServerTest, AnArgumentGetsTheUsageAndNoConnection) {
  server_->Put("install/corvane_wmproductlist.txt", "twproductlist\r\n");
  auto config = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\CorvaneUpdate");
  ASSERT_TRUE(config && config->WriteString(u"Domain", server_->Domain()));
  auto run = testing_support::RunProgram(testing_support::BinaryDir() / "corvane-update", {"--help"},
                                         std::chrono::seconds(10));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("usage: corvane-update"), std::string::npos) << run.err;
  EXPECT_EQ(server_->Requests().find("GET "), std::string::npos) << server_->Requests();
}

TEST_F(UpdateServerTest, TheProgramShowsTheListRunsOnceAndUnregistersAtExit) {
  server_->Put("install/corvane_wmproductlist.txt",
               "twproductlist\r\n" + Record("Gift", 1, 0, 4, "/install/gift.tar", 0, "Corvane\\Gift", 0, 0, 0));
  auto config = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\CorvaneUpdate");
  ASSERT_TRUE(config && config->WriteString(u"Domain", server_->Domain()) &&
              config->WriteString(u"ListFile", u"/install/corvane_wmproductlist.txt") &&
              config->WriteString(u"AppTitle", u"Corvane Update"));
  fs::path dump = home_.root() / "ui.txt";
  setenv("DICTALO_UI_DUMP", dump.c_str(), 1);
  fs::path program = testing_support::BinaryDir() / "corvane-update";
  testing_support::ChildProcess first(program, {});
  bool listed = testing_support::WaitUntil([&] {
    std::string ui = ReadFileBytes(dump);
    return ui.find("text=\"Success\"") != std::string::npos && ui.find("Gift 1.0 - FREE") != std::string::npos &&
           ui.find("text=\"Download\"") != std::string::npos;
  }, std::chrono::seconds(15));
  unsetenv("DICTALO_UI_DUMP");
  ASSERT_TRUE(listed) << ReadFileBytes(dump) << first.Errors();
  std::string ui = ReadFileBytes(dump);
  EXPECT_NE(ui.find("title=\"Corvane Update\""), std::string::npos);
  // The status screen's picture, for scripts that read the window.
  EXPECT_NE(ui.find("image=\"corvane-status-success\""), std::string::npos) << ui;
  EXPECT_NE(ui.find("items=[\"Software Upgrades\",\"< Your software is up-to-date >\",\"Free Software\",\"Gift 1.0 - FREE\\r\\nAbout Gift\"] selected=3"), std::string::npos) << ui;
  EXPECT_NE(ui.find("text=\"Download\""), std::string::npos) << ui;
  // Registered as an installed product while it runs.
  auto self = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\TarnUpdate");
  ASSERT_TRUE(self);
  EXPECT_EQ(self->ReadDword(u"ProdID"), 99u);

  // A second start finds the first and ends at once.
  auto second = testing_support::RunProgram(program, {}, std::chrono::seconds(10));
  EXPECT_EQ(second.status, 0);
  EXPECT_TRUE(first.Running());

  platform::HWND window = platform::FindWindow(UpdateWindow::ClassName());
  ASSERT_NE(window, nullptr);
  platform::PostMessage(window, platform::WM_COMMAND, resources::kUpdateExitCommand, 0);
  EXPECT_EQ(first.Wait(std::chrono::seconds(10)), 0);
  EXPECT_FALSE(platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\TarnUpdate"));
}

TEST_F(UpdateServerTest, OnADesktopTheWindowShowsAndASecondStartEndsAtOnce) {
  server_->Put("install/corvane_wmproductlist.txt",
               "twproductlist\r\n" + Record("Gift", 1, 0, 4, "/install/gift.tar", 0, "Corvane\\Gift", 0, 0, 0));
  auto config = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\CorvaneUpdate");
  ASSERT_TRUE(config && config->WriteString(u"Domain", server_->Domain()) &&
              config->WriteString(u"ListFile", u"/install/corvane_wmproductlist.txt"));
  fs::path dump = home_.root() / "ui.txt";
  unsetenv("DICTALO_RENDERER");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("DICTALO_UI_DUMP", dump.c_str(), 1);
  fs::path program = testing_support::BinaryDir() / "corvane-update";
  testing_support::ChildProcess first(program, {});
  unsetenv("DICTALO_UI_DUMP");
  bool listed = testing_support::WaitUntil(
      [&] { return ReadFileBytes(dump).find("Gift 1.0 - FREE") != std::string::npos; }, std::chrono::seconds(20));
  ASSERT_TRUE(listed) << ReadFileBytes(dump) << first.Errors();
  // Shown through Qt's (offscreen) desktop.
  EXPECT_NE(ReadFileBytes("/proc/" + std::to_string(first.pid()) + "/maps").find("libqoffscreen"), std::string::npos);
  // The second start finds the first, on the desktop too, without showing anything.
  auto second = testing_support::RunProgram(program, {}, std::chrono::seconds(10));
  unsetenv("QT_QPA_PLATFORM");
  EXPECT_EQ(second.status, 0);
  EXPECT_TRUE(first.Running());
  platform::HWND window = platform::FindWindow(UpdateWindow::ClassName());
  ASSERT_NE(window, nullptr);
  platform::PostMessage(window, platform::WM_COMMAND, resources::kUpdateExitCommand, 0);
  EXPECT_EQ(first.Wait(std::chrono::seconds(10)), 0) << first.Errors();
}

// Runs the program against the server until its list shows; the window is then
// driven by posted commands, as its soft keys would.
class ProgramTest : public UpdateServerTest {
 protected:
  void Start(const std::string& list) {
    server_->Put("install/corvane_wmproductlist.txt", list);
    auto config = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine,
                                                u"Software\\Tarnwick\\CorvaneUpdate");
    ASSERT_TRUE(config && config->WriteString(u"Domain", server_->Domain()) &&
                config->WriteString(u"ListFile", u"/install/corvane_wmproductlist.txt"));
    setenv("DICTALO_UI_DUMP", dump_.c_str(), 1);
    program_ = std::make_unique<testing_support::ChildProcess>(testing_support::BinaryDir() / "corvane-update",
                                                               std::vector<std::string>{});
    unsetenv("DICTALO_UI_DUMP");
    ASSERT_TRUE(WaitForUi("text=\"Download\""));
    window_ = platform::FindWindow(UpdateWindow::ClassName());
    ASSERT_NE(window_, nullptr);
  }
  bool WaitForUi(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(15)) {
    return testing_support::WaitUntil([&] { return ReadFileBytes(dump_).find(text) != std::string::npos; }, limit);
  }
  void Command(unsigned command) { platform::PostMessage(window_, platform::WM_COMMAND, command, 0); }

  fs::path dump_ = home_.root() / "ui.txt";
  std::unique_ptr<testing_support::ChildProcess> program_;
  platform::HWND window_ = nullptr;
};

TEST_F(ProgramTest, DownloadFromTheWindowIsInstalledAndTheProgramEnds) {
  fs::path tree = home_.root() / "package";
  WriteFileBytes(tree / "bin" / "dictalo", "from the window");
  fs::create_directories(tree / "lib");
  fs::copy_file(testing_support::BinaryDir().parent_path() / "lib" / "libdcsetup.so", tree / "lib" / "libdcsetup.so");
  WriteFileBytes(tree / "MANIFEST", "dictalo-package 1\nbin/dictalo\nlib/libdcsetup.so\n");
  fs::path tarball = home_.root() / "dictalo.tar";
  ASSERT_EQ(testing_support::RunProgram("/usr/bin/tar", {"-cf", tarball.string(), "-C", tree.string(), "MANIFEST", "bin",
                                                         "lib"}).status, 0);
  std::string bytes = ReadFileBytes(tarball);
  server_->Put("install/dictalo.tar", bytes);
  setenv("ACCEPT_EULA", "Y", 1);
  Start("twproductlist\r\n" + Record("Dictalo", 3, 0, 10226, "/install/dictalo.tar", 0, "Corvane\\Dictalo", 0, 14, 2,
                                      Hex(security::Sha256::Hash(bytes.data(), bytes.size()))));
  unsetenv("ACCEPT_EULA");
  Command(resources::kUpdateDownloadCommand);
  EXPECT_TRUE(WaitForUi("text=\"Download complete!")) << ReadFileBytes(dump_);
  EXPECT_EQ(program_->Wait(std::chrono::seconds(15)), 0);
  EXPECT_TRUE(testing_support::WaitUntil(
      [&] { return ReadFileBytes(home_.root() / "home" / ".local" / "bin" / "dictalo") == "from the window"; },
      std::chrono::seconds(20)));
}

TEST_F(ProgramTest, CancelConfirmedEndsTheDownloadAndTheProgram) {
  server_->Put("install/big.tar", std::string(400 * 1024, 'b'));
  server_->Put("install/big.tar.throttle", "20");
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDYES", 1);
  Start("twproductlist\r\n" + Record("Big", 1, 0, 7, "/install/big.tar", 0, "Corvane\\Big", 0, 14, 2));
  unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  Command(resources::kUpdateDownloadCommand);
  ASSERT_TRUE(WaitForUi("Downloaded so far")) << ReadFileBytes(dump_);
  EXPECT_NE(ReadFileBytes(dump_).find("text=\"Cancel\""), std::string::npos);
  // Exit is refused while the download runs.
  Command(resources::kUpdateExitCommand);
  Command(resources::kUpdateCancelCommand);
  EXPECT_TRUE(WaitForUi("text=\"Download cancelled by a user.")) << ReadFileBytes(dump_);
  EXPECT_EQ(program_->Wait(std::chrono::seconds(10)), 0);
  EXPECT_NE(program_->Errors().find("Cancel download; Are you sure?"), std::string::npos);
  // Nothing of the download is left behind.
  for (auto& e : fs::directory_iterator(home_.root() / "tmp")) {
    EXPECT_EQ(e.path().filename().string().rfind("corvane-update-", 0), std::string::npos) << e.path();
  }
}

TEST_F(ProgramTest, UserLibraryRegistersTheUtilityInsteadOfTheRegistry) {
  auto config = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine,
                                              u"Software\\Tarnwick\\CorvaneUpdate");
  ASSERT_TRUE(config && config->WriteString(u"UserDLL", platform::Utf8ToUtf16(TWU_USER_LIBRARY_FAKE)));
  fs::path log = home_.root() / "twu.log";
  setenv("TWU_FAKE_LOG", log.c_str(), 1);
  Start("twproductlist\r\n" + Record("Gift", 1, 0, 4, "/install/gift.tar", 0, "Corvane\\Gift", 0, 0, 0));
  unsetenv("TWU_FAKE_LOG");
  EXPECT_TRUE(testing_support::WaitUntil([&] { return ReadFileBytes(log) == "write\n"; }));
  EXPECT_FALSE(platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, u"Software\\Tarnwick\\TarnUpdate"));
  Command(resources::kUpdateExitCommand);
  EXPECT_EQ(program_->Wait(std::chrono::seconds(10)), 0);
  EXPECT_EQ(ReadFileBytes(log), "write\ndelete\n");
}

}  // namespace
}  // namespace update
