// The connection-status window against exim on loopback: the account test
// and the resend run on their worker while the window follows them, the
// window closes when the run is done, and a failed run's report reaches the
// user after it closed.

#include <gtest/gtest.h>

#include "delivery/delivery_job_test_support.h"
#include "delivery/dialogs/connection_status_dialog.h"
#include "delivery/dialogs/notes_commands.h"
#include "delivery/peer_test_support.h"
#include "platform/text.h"
#include "protocols/socket_layer.h"
#include "resources/notes_resources.h"
#include "storage/delivery_volume.h"
#include "toolkit/message_box.h"
#include "toolkit/renderer.h"

namespace delivery::dialogs {
namespace {

using namespace delivery::test;

// Ports of these tests.
constexpr std::uint16_t kStatusSmtpPort = 28625;
constexpr std::uint16_t kStatusClosedPort = 28649;  // nothing listens here

class FakeMessageBoxes : public toolkit::MessageBoxPresenter {
 public:
  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return {request.default_button, false};
  }
  std::vector<toolkit::MessageBoxRequest> boxes;
};

std::string Last(const std::vector<std::u16string>& lines) {
  return lines.empty() ? "" : platform::Utf16ToUtf8(lines.back());
}

TEST(ConnectionStatusPeers, AccountTestAndResendRunInTheWindowUntilDone) {
  testing_support::ScopedTestHome home;
  protocols::ScopedSocketLayer layer;
  toolkit::InitRenderer();
  resources::RegisterNotesResources();
  FakeMessageBoxes boxes;
  toolkit::MessageBoxPresenter* previous = toolkit::SetMessageBoxPresenter(&boxes);
  struct Restore {
    toolkit::MessageBoxPresenter* previous;
    ~Restore() { toolkit::SetMessageBoxPresenter(previous); }
  } restore{previous};

  fs::path dir = PeerFolder(home.root(), "exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, {"--port", std::to_string(kStatusSmtpPort)});

  settings::AppSettings settings = StartTlsJobSettings(home.root(), kStatusSmtpPort);
  fs::path volume = storage::DeliveryVolumePath(home.root() / "install");
  {
    auto opened = storage::OpenDeliveryStorage(home.root() / "install", nullptr);
    ASSERT_TRUE(opened.storage);
    AddOutboxNote(*opened.storage, home.root(), u"alice@localhost", 2000);
    AddOutboxNote(*opened.storage, home.root(), u"alice@localhost", 4000);
  }
  PendingNotesOptions options;
  options.accept_certificate = TrustPeer(dir);

  // A server that is not there: the window ends with the failure and the
  // report is shown once it has closed.
  {
    settings::AppSettings down = settings;
    down.smtp_port = kStatusClosedPort;
    ConnectionRun run = RunConnectionStatus(nullptr, down, false, options);
    EXPECT_TRUE(run.shown);
    EXPECT_FALSE(run.result.succeeded);
    EXPECT_EQ(Last(run.lines), "There were connection errors");
    ASSERT_FALSE(run.reports.empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].type & toolkit::MB_ICONMASK, toolkit::MB_ICONERROR);
    EXPECT_NE(platform::Utf16ToUtf8(boxes.boxes[0].text).find(platform::Utf16ToUtf8(run.reports[0])),
              std::string::npos);
    EXPECT_FALSE(TestAccountFor(nullptr, down, options));
    boxes.boxes.clear();
  }

  // The account test logs in, sends nothing and ends with its line.
  {
    ConnectionRun run = RunConnectionStatus(nullptr, settings, false, options);
    EXPECT_TRUE(run.shown);
    EXPECT_TRUE(run.result.succeeded);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(platform::Utf16ToUtf8(run.lines.front()), "Connecting to 127.0.0.1");
    EXPECT_EQ(Last(run.lines), "Connection test successfully finished");
    EXPECT_TRUE(run.reports.empty());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(CountPendingNotes(settings).count, 2u);
    EXPECT_TRUE(TestAccountFor(nullptr, settings, options));
  }

  // The resend empties the Outbox and the volume file goes.
  {
    ConnectionRun run = RunConnectionStatus(nullptr, settings, true, options);
    EXPECT_TRUE(run.result.succeeded);
    EXPECT_EQ(run.result.sent, 2u);
    EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), u"Sending..."), 2);
    EXPECT_EQ(Last(run.lines), "Notes sending successfully finished");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(CountPendingNotes(settings).count, 0u);
    EXPECT_FALSE(fs::exists(volume));
  }
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Files(dir / "mail" / "new").size() == 2; }));
}

}  // namespace
}  // namespace delivery::dialogs
