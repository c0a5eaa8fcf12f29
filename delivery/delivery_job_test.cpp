#include "delivery/delivery_job.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "base/activity_log.h"
#include "delivery/activesync_maildir.h"
#include "delivery/delivery_job_test_support.h"
#include "platform/http_client_test_support.h"
#include "platform/registry.h"
#include "mime/names.h"
#include "storage/db_mime_message.h"
#include "storage/delivery_volume.h"
#include "tests/support/test_environment.h"

namespace delivery {
namespace {

using namespace delivery::test;
namespace fs = std::filesystem;

class DeliveryJobTest : public ::testing::Test {
 protected:
  fs::path Root() const { return home_.root(); }
  fs::path Install() const { return Root() / "install"; }
  fs::path Volume() const { return storage::DeliveryVolumePath(Install()); }
  // The Outbox as a fresh load of the volume file sees it.
  std::unique_ptr<storage::MailStorage> LoadVolume() {
    std::unique_ptr<storage::MailStorage> loaded;
    EXPECT_EQ(storage::MailStorage::Load(Volume(), nullptr, &loaded), storage::kStorageOk);
    return loaded;
  }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_ = JobSettings(home_.root());
  FakeDeliveryUi ui_;
  FakeNotices notices_;
  FakeNetworkConnector network_;
};

// Stop & Save: the note waits in the Outbox of the volume file, with every
// step logged; an Ogg note carries its own content type and the text part.
TEST_F(DeliveryJobTest, SavedOggNoteWaitsInTheOutboxWithItsOwnType) {
  settings_.encoding_type = 1;
  std::string content(5000, 'o');
  auto note = WriteNote(Root() / "tmp", "note.ogg", content);
  {
    DeliveryJob job(settings_, &ui_, &notices_, &network_);
    job.SetRecorderOutcome(true, 0);
    DeliveryResult result = job.DeliverNote(note, false);
    EXPECT_TRUE(result.note_safe);
    EXPECT_TRUE(result.kept_note.empty());
    job.ReleaseMailService();
  }
  EXPECT_EQ(ui_.session_done, 0);
  EXPECT_TRUE(network_.requests.empty());
  ASSERT_TRUE(fs::exists(Volume()));  // an unsent note keeps the file
  auto loaded = LoadVolume();
  auto* outbox = loaded->GetFolder(storage::FolderType::kOutbox);
  ASSERT_EQ(outbox->Count(), 1u);
  EXPECT_EQ(outbox->messages()[0].to, u"alice@localhost");
  EXPECT_EQ(outbox->messages()[0].from, u"notes@example.org");
  std::unique_ptr<storage::CElDBMimeMessage> message;
  ASSERT_EQ(outbox->OpenMessage(outbox->messages()[0].id, &message), storage::kStorageOk);
  ASSERT_EQ(message->LoadContent(), storage::kStorageOk);
  auto* root = message->mime().RootMultiPart();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children().size(), 2u);
  const auto& attachment = root->children()[0];
  EXPECT_EQ(attachment->MajorType(), u"audio");
  EXPECT_EQ(attachment->SubType(), u"ogg");
  EXPECT_EQ(attachment->GetFileName(), u"note.ogg");
  std::string stored;
  ASSERT_EQ(attachment->ReadContent(&stored), mime::kMimeOk);
  EXPECT_EQ(stored, content);
  auto* text = dynamic_cast<mime::CElPlainTextPart*>(root->children()[1].get());
  ASSERT_NE(text, nullptr);
  std::u16string body;
  ASSERT_EQ(text->GetText(&body), mime::kMimeOk);
  EXPECT_EQ(body, OggBodyText());
  EXPECT_NE(body.find(u"please visit http"), std::u16string::npos);

  std::string log = testing_support::ReadFileBytes(base::ActivityLogPath(Install()));
  std::size_t at = 0;
  for (const char* line : {"Recording handle closed, result 0", "\t Service initialization finished",
                           "\t Creating message", "\t Message created", "\t Storage received",
                           "\t Outbox folder received", "\t Message moved to the outbox", "\t Adresses set",
                           "\t Subject set", "\t Note attached", "\t Message saved"}) {
    at = log.find(std::string(line) + "\r\n", at);
    ASSERT_NE(at, std::string::npos) << line << "\n" << log;
  }
}

// A WAV note has no text part; a note whose extension the type table does not
// know goes as application/octet-stream.
TEST_F(DeliveryJobTest, WavNoteAndUnknownExtensions) {
  EXPECT_EQ(NoteContentType("x/note.wav"), "audio/x-wav");
  EXPECT_EQ(NoteContentType("x/note.OGG"), "audio/ogg");
  EXPECT_EQ(NoteContentType("x/note.no-such-ext"), "application/octet-stream");
  auto note = WriteNote(Root() / "tmp", "note.wav", "RIFF");
  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  ASSERT_TRUE(job.DeliverNote(note, false).note_safe);
  auto* outbox = job.storage()->GetFolder(storage::FolderType::kOutbox);
  std::unique_ptr<storage::CElDBMimeMessage> message;
  ASSERT_EQ(outbox->OpenMessage(outbox->messages()[0].id, &message), storage::kStorageOk);
  ASSERT_EQ(message->LoadContent(), storage::kStorageOk);
  ASSERT_EQ(message->mime().RootMultiPart()->children().size(), 1u);
  EXPECT_EQ(message->mime().RootMultiPart()->children()[0]->SubType(), u"x-wav");
}

// When no storage can be opened or created, the note is copied to the notes
// folder and the user is told where; the session may then delete its file.
TEST_F(DeliveryJobTest, NoStorageKeepsTheNoteAndSaysWhere) {
  fs::create_directories(Volume());  // a folder where the volume file should be
  auto note = WriteNote(Root() / "tmp", "note.wav", "spoken words");
  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  job.SetRecorderOutcome(false, 0);
  DeliveryResult result = job.DeliverNote(note, true);
  ASSERT_TRUE(result.note_safe);
  ASSERT_FALSE(result.kept_note.empty());
  EXPECT_EQ(result.kept_note.parent_path(), Root() / "notes");
  EXPECT_EQ(testing_support::ReadFileBytes(result.kept_note), "spoken words");
  ASSERT_EQ(notices_.texts.size(), 1u);
  EXPECT_NE(notices_.texts[0].find(result.kept_note.string()), std::string::npos);
  EXPECT_EQ(ui_.session_done, 1);  // Stop & Send still ends the session
  EXPECT_EQ(job.service(), nullptr);
  job.ReleaseMailService();
  EXPECT_TRUE(fs::is_directory(Volume()));
  std::string log = testing_support::ReadFileBytes(base::ActivityLogPath(Install()));
  EXPECT_NE(log.find("Recording handle not closed!!!"), std::string::npos);
}

// The note counts as safe only once its message is committed: when the
// storage cannot take it (another process holds the volume for writing), it
// is kept as a file instead, and the volume is left as it was.
TEST_F(DeliveryJobTest, NoteThatCouldNotBeCommittedIsKept) {
  {
    auto opened = storage::OpenDeliveryStorage(Install(), nullptr);
    ASSERT_TRUE(opened.storage);
  }
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Volume().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto note = WriteNote(Root() / "tmp", "note.wav", "do not lose me");
  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  DeliveryResult result = job.DeliverNote(note, false);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  ASSERT_TRUE(result.note_safe);
  ASSERT_FALSE(result.kept_note.empty());
  EXPECT_EQ(testing_support::ReadFileBytes(result.kept_note), "do not lose me");
  EXPECT_EQ(job.storage()->GetFolder(storage::FolderType::kOutbox)->Count(), 0u);
  job.ReleaseMailService();
  EXPECT_FALSE(fs::exists(Volume()));  // nothing waits in it
}

// Each mode's service configuration.
TEST_F(DeliveryJobTest, ServiceConfigurationByMode) {
  settings_.smtp_port = 465;
  settings_.smtp_authentication = 2;
  settings_.smtp_user_name = "ann";
  settings_.smtp_password = "pw";
  settings_.smtp_use_ssl = true;
  settings_.smtp_ssl_explicit = false;
  settings_.smtp_ssl_versions = 4;
  settings_.smtp_socks_version = 3;
  settings_.smtp_socks_address = "proxy";
  settings_.smtp_socks_port = 1081;
  settings_.smtp_timeout = 33;
  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  ASSERT_TRUE(job.CreateMailService());
  for (ServerConfig* side : {&job.service()->smtp(), &job.service()->pop3()}) {
    EXPECT_EQ(side->host, "127.0.0.1");
    EXPECT_EQ(side->user_name, "ann");
    EXPECT_EQ(side->password, "pw");
    EXPECT_TRUE(side->store_password);
    EXPECT_EQ(side->timeout, 33);
    EXPECT_EQ(side->socks_version, 3);
    EXPECT_EQ(side->socks_address, "proxy");
    EXPECT_EQ(side->socks_port, 1081);
    EXPECT_TRUE(side->use_ssl);
    EXPECT_FALSE(side->ssl_explicit);
    EXPECT_EQ(side->ssl_versions, 4);
  }
  EXPECT_EQ(job.service()->smtp().port, 465);
  EXPECT_EQ(job.service()->pop3().port, 995);
  EXPECT_EQ(job.service()->smtp().authentication, SmtpAuthMode::kSameAsIncoming);

  settings_.smtp_port = 587;
  ASSERT_TRUE(job.CreateMailService());
  EXPECT_EQ(job.service()->pop3().port, 110);

  settings_.notes_send_mode = settings::SendMode::WebService;
  ASSERT_TRUE(job.CreateMailService());
  const ServerConfig& web = job.service()->smtp();
  EXPECT_EQ(web.host, kWebServiceMailHost);
  EXPECT_EQ(web.port, 25);
  EXPECT_EQ(web.authentication, SmtpAuthMode::kCredentials);
  EXPECT_EQ(web.user_name, "echomark_service");
  EXPECT_EQ(web.password, "Vn7-echomark-2026");
  EXPECT_EQ(web.timeout, 60);
  EXPECT_EQ(web.socks_version, 0);
  EXPECT_EQ(web.socks_port, 1080);
  EXPECT_TRUE(web.use_ssl && web.use_sasl && web.ssl_explicit);
  EXPECT_FALSE(web.ssl_allow_insecure || web.ssl_strong_encryption);
  EXPECT_EQ(web.ssl_versions, 7);
}

// Connection policies: which networks are asked for, in which order.
TEST_F(DeliveryJobTest, ConnectionPolicies) {
  struct Case {
    std::uint16_t policy;
    bool work_up, internet_up;
    std::vector<NetworkDestination> asked;
    bool result;
  };
  using D = NetworkDestination;
  const Case cases[] = {
      {0, false, false, {}, true},
      {7, false, false, {}, true},
      {1, true, false, {D::kWork}, true},
      {2, true, false, {D::kInternet}, false},
      {3, false, true, {D::kWork, D::kInternet}, true},
      {3, true, false, {D::kWork}, true},
      {4, false, false, {D::kInternet, D::kWork}, false},
  };
  for (const auto& c : cases) {
    FakeNetworkConnector network;
    network.work_up = c.work_up;
    network.internet_up = c.internet_up;
    EXPECT_EQ(EstablishConnection(network, c.policy), c.result) << c.policy;
    EXPECT_EQ(network.requests, c.asked) << c.policy;
    EXPECT_EQ(network.releases, 1);
  }
}

// No network: the note stays in the Outbox and the session ends at once.
TEST_F(DeliveryJobTest, NoNetworkLeavesTheNoteAndEndsTheSession) {
  settings_.connection = 2;
  network_.internet_up = false;
  auto note = WriteNote(Root() / "tmp", "note.wav", "later");
  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  ASSERT_TRUE(job.DeliverNote(note, true).note_safe);
  EXPECT_EQ(ui_.session_done, 1);
  EXPECT_FALSE(job.busy());
  job.ReleaseMailService();
  EXPECT_TRUE(fs::exists(Volume()));
}

// The connector asks the platform's connection manager, which answers from
// the routes and interfaces the system shows.
TEST_F(DeliveryJobTest, ConnectorAsksTheConnectionManager) {
  platform::NetworkStateSources sources;
  sources.proc_root = Root() / "proc";
  sources.sys_root = Root() / "sys";
  sources.nmcli = "";
  const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  auto interface = [&](const std::string& name, int type, const std::string& flags, bool tun) {
    fs::path dir = sources.sys_root / "class/net" / name;
    fs::create_directories(dir);
    testing_support::WriteFileBytes(dir / "type", std::to_string(type) + "\n");
    testing_support::WriteFileBytes(dir / "flags", flags + "\n");
    testing_support::WriteFileBytes(dir / "operstate", "up\n");
    if (tun) testing_support::WriteFileBytes(dir / "tun_flags", "0x1001\n");
  };
  interface("eth0", 1, "0x1003", false);
  testing_support::WriteFileBytes(sources.proc_root / "net/ipv6_route", "");
  testing_support::WriteFileBytes(sources.proc_root / "net/route", header);

  ConnectionManagerConnector connector(sources);
  EXPECT_FALSE(EstablishConnection(connector, 4));  // neither network is there
  EXPECT_FALSE(connector.manager().held());
  testing_support::WriteFileBytes(sources.proc_root / "net/route",
                                  header + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
  EXPECT_FALSE(EstablishConnection(connector, 1));  // no tunnel: no "Work"
  EXPECT_TRUE(EstablishConnection(connector, 3));   // falls back to the Internet
  EXPECT_EQ(connector.manager().held(), platform::DestinationNetwork::kInternet);
  interface("tun0", 65534, "0x1091", true);
  EXPECT_TRUE(EstablishConnection(connector, 1));
  EXPECT_EQ(connector.manager().held(), platform::DestinationNetwork::kWork);
  EXPECT_TRUE(EstablishConnection(connector, 0));  // asks for nothing, holds nothing
  EXPECT_FALSE(connector.manager().held());
}

// Without an uploader of its own the job posts web notes to the service; the
// note leaves the Outbox only when the service accepted it.
TEST_F(DeliveryJobTest, WebNotesGoToTheServiceAndStayWhenRefused) {
  testing_support::HttpReceiver receiver;
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kWebServiceKeyPath);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString(kWebServiceUrlValue, platform::Utf8ToUtf16(receiver.Url())));
  settings_.notes_send_mode = settings::SendMode::WebService;
  settings_.use_smtp_for_web = false;
  settings_.subscription_user_name = u"ann-user";

  receiver.SetReply("200", "1");
  {
    DeliveryJob job(settings_, &ui_, &notices_, &network_);
    ASSERT_TRUE(job.DeliverNote(WriteNote(Root() / "tmp", "refused.wav", "first note"), true).note_safe);
    EXPECT_EQ(ui_.session_done, 1);
    job.ReleaseMailService();
  }
  ASSERT_EQ(receiver.RequestCount(), 1);
  EXPECT_TRUE(fs::exists(Volume()));

  receiver.SetReply("200", "0");
  {
    DeliveryJob job(settings_, &ui_, &notices_, &network_);
    ASSERT_TRUE(job.DeliverNote(WriteNote(Root() / "tmp", "accepted.wav", "second note"), true).note_safe);
    EXPECT_EQ(ui_.session_done, 2);
    job.ReleaseMailService();
  }
  ASSERT_EQ(receiver.RequestCount(), 2);
  std::string body = receiver.Body(2);
  EXPECT_NE(body.find("filename=\"accepted.wav\"\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("\r\n\r\nsecond note\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("name=\"u\"\r\n\r\nann-user\r\n"), std::string::npos) << body;
  // The refused note is still waiting; only the accepted one left.
  auto loaded = LoadVolume();
  ASSERT_EQ(loaded->GetFolder(storage::FolderType::kOutbox)->Count(), 1u);
}

// ActiveSync notes become messages of the store, submitted with Stop & Send;
// a note the store did not take is kept as a file instead of being lost with
// the session's temporary file.
TEST_F(DeliveryJobTest, ActiveSyncNotesGoToTheStoreOrAreKept) {
  fs::path root = Root() / "sync" / "ActiveSync";
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kActiveSyncKeyPath);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString(kActiveSyncStoreValue, platform::Utf8ToUtf16(root.string())));
  settings_.notes_send_mode = settings::SendMode::ActiveSync;
  settings_.message_subject = u"Subject: a/b";
  auto count = [](const fs::path& folder) {
    std::error_code ec;
    return std::distance(fs::directory_iterator(folder, ec), fs::directory_iterator());
  };

  DeliveryJob job(settings_, &ui_, &notices_, &network_);
  job.SetRecorderOutcome(true, 0);
  DeliveryResult saved = job.DeliverNote(WriteNote(Root() / "tmp", "saved.wav", "kept for later"), false);
  EXPECT_TRUE(saved.note_safe);
  EXPECT_TRUE(saved.kept_note.empty());
  EXPECT_EQ(ui_.session_done, 0);
  EXPECT_EQ(count(root / ".Drafts" / "cur"), 1);
  DeliveryResult sent = job.DeliverNote(WriteNote(Root() / "tmp", "sent.wav", "send it"), true);
  EXPECT_TRUE(sent.note_safe);
  EXPECT_EQ(ui_.session_done, 1);
  EXPECT_EQ(count(root / ".Outbox" / "new"), 1);
  EXPECT_FALSE(fs::exists(Volume()));  // the local storage is not involved
  EXPECT_TRUE(network_.requests.empty());
  std::string log = testing_support::ReadFileBytes(base::ActivityLogPath(Install()));
  EXPECT_NE(log.find("Recording handle closed, result 0"), std::string::npos) << log;
  EXPECT_NE(log.find("Attachment's stream commited"), std::string::npos) << log;

  // The store's root lies below a plain file: the store cannot take the note.
  testing_support::WriteFileBytes(Root() / "blocker", "x");
  ASSERT_TRUE(key->WriteString(kActiveSyncStoreValue, platform::Utf8ToUtf16((Root() / "blocker" / "s").string())));
  DeliveryResult failed = job.DeliverNote(WriteNote(Root() / "tmp", "lost.wav", "do not lose me"), true);
  EXPECT_TRUE(failed.note_safe);
  ASSERT_FALSE(failed.kept_note.empty());
  EXPECT_EQ(failed.kept_note.parent_path(), Root() / "notes");
  EXPECT_EQ(testing_support::ReadFileBytes(failed.kept_note), "do not lose me");
  ASSERT_EQ(notices_.texts.size(), 1u);
  EXPECT_NE(notices_.texts[0].find(failed.kept_note.string()), std::string::npos);
  EXPECT_EQ(ui_.session_done, 2);
}

}  // namespace
}  // namespace delivery
