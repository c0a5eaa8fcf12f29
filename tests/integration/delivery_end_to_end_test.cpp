// Notes from a recording or a file to a real exim, through dictaloctl as a
// user's script would run it: the attachment arrives unchanged, saved notes wait
// in the Outbox and go out with the next send (oldest first), a server that is
// down leaves the note waiting with the connection error, and a send killed at
// any moment loses no note and leaves a volume the next run opens.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::WaitUntil;

fs::path Bin(const char* name) { return testing_support::BinaryDir() / name; }
fs::path Sample() { return testing_support::SourceDir() / "samples" / "voice-note.wav"; }

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// exim on 127.0.0.1, delivering every message into DIR/mail.
class Exim {
 public:
  Exim(const fs::path& dir, int port) {
    fs::create_directories(dir);
    process_ = std::make_unique<ChildProcess>(testing_support::SourceDir() / "tests" / "peers" / "smtp_exim.sh",
                                              std::vector<std::string>{"serve", dir.string(), "--port",
                                                                       std::to_string(port)});
    ready_ = WaitUntil([&] { return process_->Output().find("ready") != std::string::npos || !process_->Running(); },
                       std::chrono::seconds(60)) &&
             process_->Output().find("ready") != std::string::npos;
    if (!ready_) status_ = process_->Wait(std::chrono::seconds(5)).value_or(-1);
  }
  ~Exim() {
    if (process_->Running()) {
      process_->Signal(SIGTERM);
      process_->Wait(std::chrono::seconds(20));
    }
  }
  bool ready() const { return ready_; }
  int status() const { return status_; }
  std::string errors() const { return process_->Errors(); }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  int status_ = 0;
};

#define START_EXIM(name, dir, port)                                                  \
  Exim name(dir, port);                                                              \
  if (!name.ready() && name.status() == 4) GTEST_SKIP() << "exim needs root";        \
  ASSERT_TRUE(name.ready()) << "exim did not start: " << name.errors()

struct Attachment {
  std::string type;
  std::string bytes;
  std::string name;
};

class DeliveryEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // exim's delivery runs as Debian-exim and must reach its folder.
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    exim_dir_ = home_.root() / "exim";
    Set("NotesSendMode", "0");
    Set("SMTPHost", "127.0.0.1");
    Set("SMTPPort", std::to_string(port_));
    Set("SMTPTimeout", "10");
    Set("SendToAddress", "bob@example.org");
    Set("ShowSaveInfo", "false");
    Set("PlaySound", "false");
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
  }
  void TearDown() override { unsetenv("DICTALO_AUDIO_OUTPUT"); }

  void Set(const std::string& key, const std::string& value) {
    ASSERT_EQ(RunProgram(Bin("dictaloctl"), {"settings", "set", key, value}).status, 0) << key;
  }
  testing_support::RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(Bin("dictaloctl"), args, std::chrono::seconds(60));
  }
  // A note file of its own: the sample with `tag` after its audio data.
  fs::path Note(const std::string& tag) {
    fs::path path = home_.root() / (tag + ".wav");
    testing_support::WriteFileBytes(path, ReadFileBytes(Sample()) + tag);
    return path;
  }
  std::size_t Delivered() {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator(exim_dir_ / "mail" / "new", ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      ++n;
    return n;
  }
  bool WaitForDelivered(std::size_t count) {
    return WaitUntil([&] { return Delivered() >= count; }, std::chrono::seconds(20));
  }
  // Every attachment of every delivered message, as Python's email module decodes it.
  std::vector<Attachment> Attachments() {
    auto r = platform::RunProcess("/usr/bin/python3", {(testing_support::SourceDir() / "tests" / "peers" /
                                                        "maildir_reader.py").string(),
                                                       (exim_dir_ / "mail").string(), ""},
                                      std::chrono::seconds(60), std::size_t{64} << 20);
    std::vector<Attachment> found;
    if (!r) return found;
    std::istringstream lines(r->output);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string kind, type, hex, name;
      words >> kind >> type >> hex;
      std::getline(words, name);
      if (kind == "attachment") found.push_back({type, Unhex(hex), name});
    }
    return found;
  }
  // The subject of every delivered message.
  std::vector<std::string> Subjects() {
    auto r = platform::RunProcess("/usr/bin/python3", {(testing_support::SourceDir() / "tests" / "peers" /
                                                        "maildir_reader.py").string(),
                                                       (exim_dir_ / "mail").string(), ""},
                                  std::chrono::seconds(60), std::size_t{64} << 20);
    std::vector<std::string> found;
    if (!r) return found;
    std::istringstream lines(r->output);
    std::string line;
    while (std::getline(lines, line))
      if (line.rfind("subject ", 0) == 0) found.push_back(Unhex(line.substr(8)));
    return found;
  }
  // The sizes exim accepted, in the order it accepted them.
  std::vector<long> AcceptedSizes() {
    std::string log = ReadFileBytes(exim_dir_ / "log" / "mainlog");
    std::vector<long> sizes;
    std::regex accepted(R"( <= .* S=(\d+))");
    for (std::sregex_iterator it(log.begin(), log.end(), accepted), end; it != end; ++it)
      sizes.push_back(std::stol((*it)[1]));
    return sizes;
  }
  bool VolumeExists() {
    return fs::exists(home_.data_home() / "dictalo" / "{00000000-0000-0000-0000-000000000000}.vol");
  }
  std::size_t DamagedVolumes() {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(home_.data_home() / "dictalo"))
      n += e.path().filename().string().find(".damaged-") != std::string::npos;
    return n;
  }

  testing_support::ScopedTestHome home_;
  int port_ = 28125;
  fs::path exim_dir_;
};

TEST_F(DeliveryEndToEndTest, RecordingAndFileArriveWithTheNoteUnchanged) {
  START_EXIM(exim, exim_dir_, port_);
  // A recording from the file input, encoded as Ogg Vorbis, Stop & Send.
  Set("EncodingType", "1");
  setenv("DICTALO_AUDIO_INPUT", ("file:" + Sample().string()).c_str(), 1);
  auto recorded = Ctl({"record", "--seconds", "3"});
  unsetenv("DICTALO_AUDIO_INPUT");
  EXPECT_EQ(recorded.status, 0) << recorded.out << recorded.err;
  EXPECT_NE(recorded.out.find("Press the hotkey again to stop the recording\n"), std::string::npos) << recorded.out;
  EXPECT_NE(recorded.out.find("Sending to bob@example.org...\n"), std::string::npos) << recorded.out;
  EXPECT_NE(recorded.out.find("Note sent to bob@example.org\n"), std::string::npos) << recorded.out;
  ASSERT_TRUE(WaitForDelivered(1));
  auto attachments = Attachments();
  ASSERT_EQ(attachments.size(), 1u);
  EXPECT_EQ(attachments[0].type, "audio/ogg");
  fs::path ogg = home_.root() / "arrived.ogg";
  testing_support::WriteFileBytes(ogg, attachments[0].bytes);
  auto info = platform::RunProcess("ogginfo", {ogg.string()});
  ASSERT_TRUE(info);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(info->output, m, std::regex(R"(Playback length: 0m:([\d.]+)s)"))) << info->output;
  EXPECT_NEAR(std::stod(m[1]), 3.0, 0.7) << info->output;
  EXPECT_FALSE(VolumeExists());  // nothing waits, so the volume file is gone

  // An existing file goes out byte for byte and stays where it was.
  fs::path note = Note("file");
  auto sent = Ctl({"send", note.string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  ASSERT_TRUE(WaitForDelivered(2));
  attachments = Attachments();
  ASSERT_EQ(attachments.size(), 2u);
  bool identical = false;
  for (const auto& a : attachments) identical |= a.bytes == ReadFileBytes(note);
  EXPECT_TRUE(identical);
  EXPECT_TRUE(fs::exists(note));
}

TEST_F(DeliveryEndToEndTest, SavedNotesGoOutWithTheNextSendOldestFirst) {
  START_EXIM(exim, exim_dir_, port_);
  fs::path small = home_.root() / "small.wav";
  testing_support::WriteFileBytes(small, ReadFileBytes(Sample()).substr(0, 20000));
  auto saved = Ctl({"send", small.string(), "--save"});
  EXPECT_EQ(saved.status, 0) << saved.out << saved.err;
  EXPECT_NE(saved.out.find("Note saved in the Outbox (1 waiting)"), std::string::npos) << saved.out;
  EXPECT_TRUE(VolumeExists());
  EXPECT_EQ(Delivered(), 0u);

  auto sent = Ctl({"send", Note("large").string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  EXPECT_NE(sent.out.find("Sending note 2 of 2..."), std::string::npos) << sent.out;
  ASSERT_TRUE(WaitForDelivered(2));
  auto sizes = AcceptedSizes();
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_LT(sizes[0], sizes[1]);  // the small, older note first
  EXPECT_FALSE(VolumeExists());
}

TEST_F(DeliveryEndToEndTest, ServerDownKeepsTheNoteForTheNextSend) {
  fs::path first = Note("first");
  auto failed = Ctl({"send", first.string()});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("Connection Error: Please check your internet connection and mail server settings."),
            std::string::npos)
      << failed.err;
  EXPECT_NE(failed.err.find("*** Critical Error: 0x"), std::string::npos) << failed.err;
  EXPECT_NE(failed.out.find("Note not sent; it waits in the Outbox (1 waiting)"), std::string::npos) << failed.out;
  EXPECT_TRUE(VolumeExists());

  START_EXIM(exim, exim_dir_, port_);
  fs::path second = Note("second");
  auto sent = Ctl({"send", second.string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  ASSERT_TRUE(WaitForDelivered(2));
  auto attachments = Attachments();
  ASSERT_EQ(attachments.size(), 2u);
  std::map<std::string, int> seen;
  for (const auto& a : attachments) ++seen[a.bytes];
  EXPECT_EQ(seen[ReadFileBytes(first)], 1);
  EXPECT_EQ(seen[ReadFileBytes(second)], 1);
}

TEST_F(DeliveryEndToEndTest, OutboxResendAndAccountTestAfterTheServerComesBack) {
  fs::path first = Note("first"), second = Note("second");
  ASSERT_EQ(Ctl({"send", first.string(), "--save"}).status, 0);
  ASSERT_EQ(Ctl({"send", second.string(), "--save"}).status, 0);
  auto listed = Ctl({"outbox", "list"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_TRUE(std::regex_search(listed.out, std::regex(R"(^1  \d{4}-\d\d-\d\d \d\d:\d\d  161K  bob@example.org  )")))
      << listed.out;
  EXPECT_NE(listed.out.find("\n2  "), std::string::npos) << listed.out;
  EXPECT_TRUE(std::regex_search(listed.out, std::regex(R"(\n2 unsent note\(s\), size 3\d\dKB\n)"))) << listed.out;

  // Nothing listens yet: the account test and the resend fail with the report.
  auto refused = Ctl({"test-account"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Transport error: The server actively refuses the connection.\nServer: \"127.0.0.1\".\n"
                             "Protocol: SMTP. Port: " + std::to_string(port_) + ". SSL: Off.\nError Code: #80C00013."),
            std::string::npos)
      << refused.err;
  auto failed = Ctl({"outbox", "resend"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("0 sent, 2 left"), std::string::npos) << failed.out;

  START_EXIM(exim, exim_dir_, port_);
  auto tested = Ctl({"test-account"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_NE(tested.out.find("Connection test successfully finished"), std::string::npos) << tested.out;
  EXPECT_EQ(Delivered(), 0u);

  fs::path saved = home_.root() / "saved.wav";
  EXPECT_EQ(Ctl({"outbox", "save", "2", saved.string()}).status, 0);
  EXPECT_EQ(ReadFileBytes(saved), ReadFileBytes(second));
  EXPECT_EQ(Ctl({"outbox", "delete", "3"}).status, 1);  // there is no third
  auto resent = Ctl({"outbox", "resend"});
  EXPECT_EQ(resent.status, 0) << resent.out << resent.err;
  EXPECT_NE(resent.out.find("2 sent, 0 left"), std::string::npos) << resent.out;
  ASSERT_TRUE(WaitForDelivered(2));
  EXPECT_FALSE(VolumeExists());
}

TEST_F(DeliveryEndToEndTest, SendKilledAnywhereLosesNoNote) {
  START_EXIM(exim, exim_dir_, port_);
  std::mt19937 random(20261209);
  std::vector<fs::path> notes;
  for (int i = 0; i < 20; ++i) {
    notes.push_back(Note("killed-" + std::to_string(i)));
    ChildProcess send(Bin("dictaloctl"), {"send", notes.back().string()});
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(random)));
    send.Signal(SIGKILL);
    send.Wait();
  }
  // The next run opens the volume and sends whatever the killed ones left.
  notes.push_back(Note("last"));
  auto last = Ctl({"send", notes.back().string()});
  EXPECT_NE(last.out.find("Sending note 1 of "), std::string::npos) << last.out << last.err;
  EXPECT_EQ(DamagedVolumes(), 0u);

  std::map<std::string, int> seen;
  const std::string last_note = ReadFileBytes(notes.back());
  WaitUntil([&] {
    seen.clear();
    for (const auto& a : Attachments()) ++seen[a.bytes];
    return seen[last_note] > 0;
  }, std::chrono::seconds(20));
  EXPECT_EQ(seen[last_note], 1);
  // Every run sends all that waits, so a note arrives once more for each run
  // killed between exim's accept and the Outbox update while it waited: never
  // more often than the runs from its own on.
  for (std::size_t i = 0; i < notes.size(); ++i)
    EXPECT_LE(seen[ReadFileBytes(notes[i])], static_cast<int>(notes.size() - i)) << notes[i];
  // Nothing half-made stays behind: the Outbox emptied and the volume went with it.
  EXPECT_FALSE(VolumeExists());
}

// The resident recorder killed at random moments after its Stop & Send, 20
// times: the volume always opens, nothing half-made blocks the Outbox, a resend
// sends what waited, and no recording arrives more than twice (once more only
// when the kill fell between the server's accept and the Outbox update).
TEST_F(DeliveryEndToEndTest, ResidentRecorderKilledWhileSendingLosesNoNote) {
  START_EXIM(exim, exim_dir_, port_);
  auto main_window_runs = [] { return platform::FindWindow(u"CeWnd:CorvaneEMMainWnd") != nullptr; };
  setenv("DICTALO_AUDIO_INPUT", ("file:" + Sample().string()).c_str(), 1);
  setenv("DICTALO_OPEN_COMMAND", "/bin/true", 1);
  std::mt19937 random(1209);
  for (int round = 0; round < 20; ++round) {
    // Each round's note carries its own subject, so that its copies can be counted.
    Set("MessageSubject", "Round " + std::to_string(round));
    ChildProcess recorder(Bin("dictalo"), {"-record"});
    ASSERT_TRUE(WaitUntil(main_window_runs, std::chrono::seconds(10))) << "round " << round << recorder.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 600)(random)));
    recorder.Signal(SIGKILL);
    recorder.Wait(std::chrono::seconds(5));
    ASSERT_TRUE(WaitUntil([&] { return !main_window_runs(); }, std::chrono::seconds(5))) << "round " << round;
  }
  unsetenv("DICTALO_AUDIO_INPUT");
  unsetenv("DICTALO_OPEN_COMMAND");
  auto resent = Ctl({"outbox", "resend"});
  EXPECT_EQ(resent.status, 0) << resent.out << resent.err;
  EXPECT_EQ(DamagedVolumes(), 0u);
  EXPECT_FALSE(VolumeExists()) << Ctl({"outbox", "list"}).out;
  const std::size_t delivered = Delivered();
  EXPECT_GE(delivered, 1u);
  std::map<std::string, int> seen;
  for (const auto& subject : Subjects()) ++seen[subject];
  for (const auto& [subject, count] : seen) EXPECT_LE(count, 2) << subject;
}

// The resident recorder itself, not dictaloctl: the launcher starts it, a second
// press stops the recording with Stop & Send, and the note reaches the server.
TEST_F(DeliveryEndToEndTest, TheResidentRecorderSendsItsNote) {
  START_EXIM(exim, exim_dir_, port_);
  auto main_window_runs = [] { return platform::FindWindow(u"CeWnd:CorvaneEMMainWnd") != nullptr; };
  setenv("DICTALO_AUDIO_INPUT", ("file:" + Sample().string()).c_str(), 1);
  setenv("DICTALO_OPEN_COMMAND", "/bin/true", 1);
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  ASSERT_TRUE(WaitUntil(main_window_runs));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  EXPECT_TRUE(WaitForDelivered(1)) << ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  const auto attachments = Attachments();
  ASSERT_EQ(attachments.size(), 1u);
  EXPECT_EQ(attachments[0].type, "audio/x-wav");
  EXPECT_EQ(attachments[0].bytes.substr(0, 4), "RIFF");
  // The interactive start asks the resident instance to quit.
  if (main_window_runs()) {
    ChildProcess options(Bin("dictalo"), {});
    WaitUntil([&] { return !main_window_runs(); }, std::chrono::seconds(5));
    options.Signal(SIGTERM);
    options.Wait();
  }
  unsetenv("DICTALO_AUDIO_INPUT");
  unsetenv("DICTALO_OPEN_COMMAND");
}

}  // namespace
