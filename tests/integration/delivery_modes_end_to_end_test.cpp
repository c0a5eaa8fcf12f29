// The other ways a note leaves, through dictaloctl with real peers: the web
// service (a local HTTP receiver that accepts or refuses), the ActiveSync
// Maildir store, SMTP through an authenticating SOCKS 5 proxy, SMTP servers
// that refuse the recipient or drop the line during DATA, and the size the
// Outbox listing reports.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

fs::path Bin(const char* name) { return testing_support::BinaryDir() / name; }
fs::path Sample() { return testing_support::SourceDir() / "samples" / "voice-note.wav"; }
fs::path Peer(const char* name) { return testing_support::SourceDir() / "tests" / "peers" / name; }

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

struct Attachment {
  std::string type;
  std::string bytes;
  std::string name;
};

struct Message {
  std::string subdir;
  std::vector<std::string> to;
  std::vector<Attachment> attachments;
};

// What tests/peers/maildir_reader.py reads from a Maildir folder.
std::vector<Message> ReadMaildir(const fs::path& root, const std::string& folder) {
  auto r = platform::RunProcess("/usr/bin/python3", {Peer("maildir_reader.py").string(), root.string(), folder},
                                std::chrono::seconds(60), std::size_t{64} << 20);
  std::vector<Message> found;
  if (!r) return found;
  std::istringstream lines(r->output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "message") {
      found.emplace_back();
      words >> found.back().subdir;
    } else if (kind == "to" && !found.empty()) {
      std::string address;
      words >> address;
      found.back().to.push_back(address);
    } else if (kind == "attachment" && !found.empty()) {
      std::string type, hex, name;
      words >> type >> hex;
      std::getline(words, name);
      found.back().attachments.push_back({type, Unhex(hex), name});
    }
  }
  return found;
}

// A peer script that prints "ready" (maybe with more) once it serves.
class Peerprocess {
 public:
  Peerprocess(const fs::path& program, const std::vector<std::string>& args, std::chrono::seconds wait) {
    process_ = std::make_unique<ChildProcess>(program, args);
    ready_ = WaitUntil([&] { return process_->Output().find("ready") != std::string::npos || !process_->Running(); },
                       wait) &&
             process_->Output().find("ready") != std::string::npos;
    if (!ready_) status_ = process_->Wait(std::chrono::seconds(5)).value_or(-1);
  }
  ~Peerprocess() { Stop(); }
  void Stop() {
    if (process_->Running()) {
      process_->Signal(SIGTERM);
      process_->Wait(std::chrono::seconds(20));
    }
  }
  bool ready() const { return ready_; }
  int status() const { return status_; }
  std::string output() const { return process_->Output(); }
  std::string errors() const { return process_->Errors(); }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  int status_ = 0;
};

// exim delivering every message into DIR/mail; the extra options as smtp_exim.sh takes them.
std::unique_ptr<Peerprocess> StartExim(const fs::path& dir, int port, std::vector<std::string> options = {}) {
  fs::create_directories(dir);
  std::vector<std::string> args{"serve", dir.string(), "--port", std::to_string(port)};
  args.insert(args.end(), options.begin(), options.end());
  return std::make_unique<Peerprocess>(Peer("smtp_exim.sh"), args, std::chrono::seconds(60));
}

#define EXPECT_PEER_STARTED(peer, what)                                                   \
  if (!(peer)->ready() && (peer)->status() == 4) GTEST_SKIP() << what << " needs root"; \
  ASSERT_TRUE((peer)->ready()) << what << " did not start: " << (peer)->errors()

class DeliveryModesEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // exim's delivery runs as Debian-exim and must reach its folder.
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    exim_dir_ = home_.root() / "exim";
    Set("NotesSendMode", "0");
    Set("SMTPHost", "127.0.0.1");
    Set("SMTPPort", std::to_string(kSmtpPort));
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
  void SetRegistry(const std::string& name, const std::string& value) {
    fs::path file = home_.root() / "import.reg";
    WriteFileBytes(file, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\Dictalo]\n\"" +
                             name + "\"=\"" + value + "\"\n");
    auto r = Ctl({"reg", "import", file.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  testing_support::RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(Bin("dictaloctl"), args, std::chrono::seconds(60));
  }
  fs::path Note(const std::string& tag) {
    fs::path path = home_.root() / (tag + ".wav");
    WriteFileBytes(path, ReadFileBytes(Sample()) + tag);
    return path;
  }
  std::vector<Attachment> Delivered() {
    std::vector<Attachment> all;
    if (!fs::exists(exim_dir_ / "mail" / "cur")) return all;  // exim made no Maildir yet
    for (auto& m : ReadMaildir(exim_dir_ / "mail", ""))
      for (auto& a : m.attachments) all.push_back(a);
    return all;
  }
  bool WaitForDelivered(std::size_t count) {
    return WaitUntil([&] { return Delivered().size() >= count; }, std::chrono::seconds(20));
  }
  long Waiting() {
    auto listed = Ctl({"outbox", "list"});
    std::smatch m;
    if (std::regex_search(listed.out, m, std::regex(R"((\d+) unsent note\(s\))"))) return std::stol(m[1]);
    return 0;
  }

  static constexpr int kSmtpPort = 29025;
  static constexpr int kSocksPort = 29080;
  testing_support::ScopedTestHome home_;
  fs::path exim_dir_;
};

// The form's fields and the attachment as the receiver got them.
struct Upload {
  std::string head;
  std::map<std::string, std::string> fields;
  std::string file_name;
  std::string file;
};

Upload ReadUpload(const fs::path& dir, int number) {
  Upload u;
  u.head = ReadFileBytes(dir / ("request-" + std::to_string(number) + ".head"));
  std::string body = ReadFileBytes(dir / ("request-" + std::to_string(number) + ".body"));
  std::smatch m;
  if (!std::regex_search(u.head, m, std::regex(R"(boundary=([^\r\n;]+))"))) return u;
  const std::string delimiter = "--" + m[1].str();
  std::size_t at = body.find(delimiter);
  while (at != std::string::npos) {
    std::size_t start = at + delimiter.size();
    if (body.compare(start, 2, "--") == 0) break;
    std::size_t next = body.find("\r\n" + delimiter, start);
    if (next == std::string::npos) break;
    std::string part = body.substr(start + 2, next - start - 2);
    std::size_t blank = part.find("\r\n\r\n");
    std::string header = part.substr(0, blank), value = part.substr(blank + 4);
    std::smatch name, file;
    std::regex_search(header, name, std::regex(R"(name="([^"]*)\")"));
    if (std::regex_search(header, file, std::regex(R"(filename="([^"]*)\")"))) {
      u.file_name = file[1];
      u.file = value;
    } else {
      u.fields[name[1]] = value;
    }
    at = next + 2;
  }
  return u;
}

TEST_F(DeliveryModesEndToEndTest, WebServiceAcceptsOrRefusesAndResendDeliversTheRefusedNote) {
  fs::path received = home_.root() / "web";
  fs::create_directories(received);
  Peerprocess receiver("/usr/bin/python3", {Peer("http_receiver.py").string(), received.string(), "29100", "29199"},
                       std::chrono::seconds(20));
  ASSERT_TRUE(receiver.ready()) << receiver.errors();
  std::smatch m;
  std::string said = receiver.output();
  ASSERT_TRUE(std::regex_search(said, m, std::regex(R"(ready (\d+))")));
  SetRegistry("WebServiceURL", "http://127.0.0.1:" + m[1].str() + "/private-bin/em_send.php");
  Set("NotesSendMode", "1");
  Set("UseSMTPForWeb", "false");
  Set("SubscriptionUserName", "carol");
  Set("SubscriptionPassword", "pa\"ss word");

  // "0": accepted, nothing waits.
  fs::path accepted = Note("accepted");
  auto sent = Ctl({"send", accepted.string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  EXPECT_NE(sent.out.find("Note sent to bob@example.org\n"), std::string::npos) << sent.out;
  Upload first = ReadUpload(received, 1);
  EXPECT_NE(first.head.find("POST /private-bin/em_send.php HTTP/1.1"), std::string::npos) << first.head;
  EXPECT_NE(first.head.find("multipart/form-data"), std::string::npos) << first.head;
  EXPECT_NE(first.fields["to"].find("bob@example.org"), std::string::npos);
  EXPECT_EQ(first.fields["u"], "carol");
  EXPECT_EQ(first.fields["p"], "pa\"ss word");
  EXPECT_EQ(first.fields.count("from"), 1u);
  EXPECT_EQ(first.fields.count("subject"), 1u);
  EXPECT_EQ(first.fields.count("msgtxt"), 1u);
  EXPECT_TRUE(first.file == ReadFileBytes(accepted));
  EXPECT_NE(first.file_name.find(".wav"), std::string::npos) << first.file_name;
  EXPECT_EQ(Waiting(), 0);

  // "1" and an HTTP 500 are refusals: both notes wait, and the run says so.
  WriteFileBytes(received / "reply", "200\n1");
  fs::path refused = Note("refused");
  auto no = Ctl({"send", refused.string()});
  EXPECT_NE(no.status, 0);
  EXPECT_NE(no.out.find("Note not sent; it waits in the Outbox (1 waiting)"), std::string::npos) << no.out << no.err;
  EXPECT_TRUE(ReadUpload(received, 2).file == ReadFileBytes(refused));
  WriteFileBytes(received / "reply", "500\n0");
  fs::path failed = Note("failed");
  auto error = Ctl({"send", failed.string()});
  EXPECT_NE(error.status, 0);
  EXPECT_NE(error.out.find("(2 waiting)"), std::string::npos) << error.out << error.err;
  EXPECT_EQ(Waiting(), 2);
  auto still = Ctl({"outbox", "resend"});
  EXPECT_EQ(still.status, 1) << still.out << still.err;
  EXPECT_NE(still.out.find("0 sent, 2 left"), std::string::npos) << still.out;
  EXPECT_NE(still.err.find("The web service refused a note: -2"), std::string::npos) << still.err;

  fs::remove(received / "reply");
  auto resent = Ctl({"outbox", "resend"});
  EXPECT_EQ(resent.status, 0) << resent.out << resent.err;
  EXPECT_NE(resent.out.find("2 sent, 0 left"), std::string::npos) << resent.out;
  EXPECT_EQ(Waiting(), 0);
  std::map<std::string, int> files;
  for (int n = 5; fs::exists(received / ("request-" + std::to_string(n) + ".body")); ++n) ++files[ReadUpload(received, n).file];
  EXPECT_EQ(files[ReadFileBytes(refused)], 1);
  EXPECT_EQ(files[ReadFileBytes(failed)], 1);
}

TEST_F(DeliveryModesEndToEndTest, ActiveSyncSendsToOutboxAndSavesToDrafts) {
  fs::path store = home_.root() / "activesync";
  SetRegistry("ActiveSyncStore", store.string());
  Set("NotesSendMode", "3");

  fs::path now = Note("now");
  auto sent = Ctl({"send", now.string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  auto outgoing = ReadMaildir(store, "Outbox");
  ASSERT_EQ(outgoing.size(), 1u) << sent.out << sent.err;
  EXPECT_EQ(outgoing[0].subdir, "new");
  EXPECT_EQ(outgoing[0].to, std::vector<std::string>{"bob@example.org"});
  ASSERT_EQ(outgoing[0].attachments.size(), 1u);
  EXPECT_TRUE(outgoing[0].attachments[0].bytes == ReadFileBytes(now));
  EXPECT_TRUE(ReadMaildir(store, "Drafts").empty());

  fs::path later = Note("later");
  auto saved = Ctl({"send", later.string(), "--save"});
  EXPECT_EQ(saved.status, 0) << saved.out << saved.err;
  auto drafts = ReadMaildir(store, "Drafts");
  ASSERT_EQ(drafts.size(), 1u);
  ASSERT_EQ(drafts[0].attachments.size(), 1u);
  EXPECT_TRUE(drafts[0].attachments[0].bytes == ReadFileBytes(later));
  EXPECT_EQ(ReadMaildir(store, "Outbox").size(), 1u);
}

TEST_F(DeliveryModesEndToEndTest, ThroughSocks5WithUserAndPassword) {
  auto exim = StartExim(exim_dir_, kSmtpPort);
  EXPECT_PEER_STARTED(exim, "exim");
  auto dante = std::make_unique<Peerprocess>(
      Peer("socks_dante.sh"),
      std::vector<std::string>{"serve", (home_.root() / "dante").string(), "--port", std::to_string(kSocksPort),
                               "--user", "dictsocks29", "--password", "s0cks-pass"},
      std::chrono::seconds(30));
  EXPECT_PEER_STARTED(dante, "danted");
  Set("SMTPSocksVersion", "3");  // 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5
  Set("SMTPSocksAddress", "127.0.0.1");
  Set("SMTPSocksPort", std::to_string(kSocksPort));
  Set("SMTPSocksAuth", "true");
  Set("SMTPSocksUserID", "dictsocks29");
  Set("SMTPSocksPassword", "wrong");

  // A wrong password: the proxy turns the note away, it waits.
  fs::path first = Note("socks-first");
  auto refused = Ctl({"send", first.string()});
  EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
  EXPECT_NE(refused.out.find("(1 waiting)"), std::string::npos) << refused.out;
  EXPECT_NE(refused.err.find("Socks: 5 Address: 127.0.0.1 Port: " + std::to_string(kSocksPort) + " Auth: Yes"),
            std::string::npos)
      << refused.err;

  Set("SMTPSocksPassword", "s0cks-pass");
  fs::path second = Note("socks-second");
  auto sent = Ctl({"send", second.string()});
  EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
  ASSERT_TRUE(WaitForDelivered(2));
  std::map<std::string, int> seen;
  for (const auto& a : Delivered()) ++seen[a.bytes];
  EXPECT_EQ(seen[ReadFileBytes(first)], 1);
  EXPECT_EQ(seen[ReadFileBytes(second)], 1);
}

// A refusal of one message is no connection failure: `send` (no status window)
// shows no report but fails and keeps the note; `outbox resend` shows the report.
TEST_F(DeliveryModesEndToEndTest, RefusedRecipientAndLineDroppedInDataKeepTheNote) {
  const std::string where = "\".\nServer: \"127.0.0.1\".\nProtocol: SMTP. Port: " + std::to_string(kSmtpPort) +
                            ". SSL: Off.\nError Code: #";
  fs::path first = Note("refused-rcpt");
  {
    auto exim = StartExim(exim_dir_, kSmtpPort, {"--verify-recipients"});
    EXPECT_PEER_STARTED(exim, "exim");
    auto r = Ctl({"send", first.string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Note not sent; it waits in the Outbox (1 waiting)"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("R 550 "), std::string::npos) << r.err;
    auto again = Ctl({"outbox", "resend"});
    EXPECT_EQ(again.status, 1) << again.out << again.err;
    EXPECT_NE(again.out.find("0 sent, 1 left"), std::string::npos) << again.out;
    EXPECT_NE(again.err.find("Protocol error: The server does not accept a message due to problem with destination "
                             "mailbox. Server Response: \"550 Unrouteable address" + where + "80C3DE32."),
              std::string::npos)
        << again.err;
  }
  EXPECT_TRUE(Delivered().empty());

  fs::path second = Note("dropped");
  {
    Peerprocess fake("/usr/bin/python3", {Peer("smtp_closing_fake.py").string(), std::to_string(kSmtpPort)},
                     std::chrono::seconds(20));
    ASSERT_TRUE(fake.ready()) << fake.errors();
    auto r = Ctl({"send", second.string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Note not sent; it waits in the Outbox (2 waiting)"), std::string::npos) << r.out;
    auto again = Ctl({"outbox", "resend"});
    EXPECT_EQ(again.status, 1) << again.out << again.err;
    EXPECT_NE(again.out.find("0 sent, 2 left"), std::string::npos) << again.out;
    EXPECT_NE(again.err.find("Transport error: Connection was forcibly closed by the remote server" +
                             where.substr(1) + "80C00012."),
              std::string::npos)
        << again.err;
  }
  EXPECT_EQ(Waiting(), 2);

  auto exim = StartExim(exim_dir_, kSmtpPort);
  EXPECT_PEER_STARTED(exim, "exim");
  auto resent = Ctl({"outbox", "resend"});
  EXPECT_EQ(resent.status, 0) << resent.out << resent.err;
  EXPECT_NE(resent.out.find("2 sent, 0 left"), std::string::npos) << resent.out;
  ASSERT_TRUE(WaitForDelivered(2));
  std::map<std::string, int> seen;
  for (const auto& a : Delivered()) ++seen[a.bytes];
  EXPECT_EQ(seen[ReadFileBytes(first)], 1);
  EXPECT_EQ(seen[ReadFileBytes(second)], 1);
  EXPECT_EQ(Waiting(), 0);
}

// The status line sums the messages' sizes in whole KB, rounded down but never
// below 1; the size column gives plain bytes below 1024.
TEST_F(DeliveryModesEndToEndTest, OutboxListSumsTheSizesOfWaitingNotes) {
  auto save = [&](std::size_t size) {
    fs::path note = home_.root() / ("n" + std::to_string(size) + ".wav");
    WriteFileBytes(note, ReadFileBytes(Sample()).substr(0, size));
    auto saved = Ctl({"send", note.string(), "--save"});
    ASSERT_EQ(saved.status, 0) << saved.out << saved.err;
  };
  save(100);
  auto one = Ctl({"outbox", "list"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("\n1 unsent note(s), size 1KB\n"), std::string::npos) << one.out;

  save(60);
  save(10);
  auto listed = Ctl({"outbox", "list"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  long sum = 0;
  int rows = 0;
  std::regex row(R"((?:^|\n)\d+  \d{4}-\d\d-\d\d \d\d:\d\d  (\d+)  bob@example\.org  )");
  for (std::sregex_iterator it(listed.out.begin(), listed.out.end(), row), end; it != end; ++it, ++rows)
    sum += std::stol((*it)[1]);
  ASSERT_EQ(rows, 3) << listed.out;  // every message below 1024 bytes, in plain bytes
  ASSERT_GE(sum, 1024) << listed.out;
  EXPECT_NE(listed.out.find("\n3 unsent note(s), size " + std::to_string(sum / 1024) + "KB\n"), std::string::npos)
      << "sum " << sum << "\n" << listed.out;
}

}  // namespace
