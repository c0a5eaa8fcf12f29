// Resending unsent notes and the account test against exim, with the
// connection-status window's lines as the user would see them.

#include <gtest/gtest.h>

#include "delivery/delivery_job_test_support.h"
#include "delivery/peer_test_support.h"
#include "delivery/pending_notes.h"
#include "protocols/socket_layer.h"
#include "storage/delivery_volume.h"

namespace delivery {
namespace {

using namespace delivery::test;

// Ports of the unsent-notes tests.
constexpr std::uint16_t kNotesSmtpPort = 27025;
constexpr std::uint16_t kNotesClosedPort = 27999;  // nothing listens here

class StatusLines : public ConnectionStatusView {
 public:
  void SetStatusLine(const std::u16string& text) override { lines.push_back(platform::Utf16ToUtf8(text)); }
  void ShowErrorReport(const std::u16string& text) override { errors.push_back(platform::Utf16ToUtf8(text)); }
  std::vector<std::string> lines;
  std::vector<std::string> errors;
};

TEST(PendingNotesPeers, AccountTestLogsInOnlyAndResendSendsEveryNote) {
  testing_support::ScopedTestHome home;
  protocols::ScopedSocketLayer layer;
  fs::path dir = PeerFolder(home.root(), "exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, {"--port", std::to_string(kNotesSmtpPort)});

  settings::AppSettings settings = StartTlsJobSettings(home.root(), kNotesSmtpPort);
  fs::path volume = storage::DeliveryVolumePath(home.root() / "install");
  {
    auto opened = storage::OpenDeliveryStorage(home.root() / "install", nullptr);
    ASSERT_TRUE(opened.storage);
    AddOutboxNote(*opened.storage, home.root(), u"alice@localhost", 2000);
    AddOutboxNote(*opened.storage, home.root(), u"alice@localhost", 5000);
  }
  PendingNotesOptions options;
  options.accept_certificate = TrustPeer(dir);

  // A server that is not there: the notes stay and the window says so.
  {
    settings::AppSettings down = settings;
    down.smtp_port = kNotesClosedPort;
    StatusLines status;
    options.status_view = &status;
    ResendResult result = ResendPendingNotes(down, true, options);
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.web_upload);
    EXPECT_EQ(result.remaining, 2u);
    ASSERT_FALSE(status.lines.empty());
    EXPECT_EQ(status.lines.front(), "Connecting to 127.0.0.1");
    EXPECT_EQ(status.lines.back(), "There were connection errors");
    EXPECT_FALSE(status.errors.empty());
  }

  // The account test logs in and sends nothing.
  {
    StatusLines status;
    options.status_view = &status;
    ResendResult result = ResendPendingNotes(settings, false, options);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.sent, 0u);
    EXPECT_EQ(result.remaining, 2u);
    ASSERT_FALSE(status.lines.empty());
    EXPECT_EQ(status.lines.back(), "Connection test successfully finished");
    EXPECT_TRUE(status.errors.empty());
    EXPECT_TRUE(fs::exists(volume));
  }

  // The resend sends both and the volume file goes.
  {
    StatusLines status;
    options.status_view = &status;
    ResendResult result = ResendPendingNotes(settings, true, options);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.sent, 2u);
    EXPECT_EQ(result.remaining, 0u);
    EXPECT_EQ(std::count(status.lines.begin(), status.lines.end(), "Sending..."), 2);
    ASSERT_FALSE(status.lines.empty());
    EXPECT_EQ(status.lines.back(), "Notes sending successfully finished");
    EXPECT_FALSE(fs::exists(volume));
    EXPECT_EQ(CountPendingNotes(settings).count, 0u);
  }
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Files(dir / "mail" / "new").size() == 2; }));
}

}  // namespace
}  // namespace delivery
