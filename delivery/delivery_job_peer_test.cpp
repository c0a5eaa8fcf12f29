// The delivery job end to end against exim: notes saved for later go out
// with the next Stop & Send, and the volume file goes when nothing is left.

#include <gtest/gtest.h>

#include "delivery/delivery_job.h"
#include "delivery/delivery_job_test_support.h"
#include "delivery/peer_test_support.h"
#include "protocols/socket_layer.h"
#include "storage/delivery_volume.h"

namespace delivery {
namespace {

using namespace delivery::test;

TEST(DeliveryJobPeers, SavedNoteGoesOutWithTheNextSend) {
  testing_support::ScopedTestHome home;
  protocols::ScopedSocketLayer layer;
  fs::path dir = PeerFolder(home.root(), "exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, {"--port", std::to_string(kSmtpPort)});

  settings::AppSettings settings = StartTlsJobSettings(home.root(), kSmtpPort);
  FakeDeliveryUi ui;
  FakeNotices notices;
  FakeNetworkConnector network;
  fs::path volume = storage::DeliveryVolumePath(home.root() / "install");

  DeliveryJob job(settings, &ui, &notices, &network);
  job.SetCertificateAcceptance(TrustPeer(dir));
  auto first = WriteNote(home.root() / "tmp", "first.wav", std::string(4000, 'a'));
  ASSERT_TRUE(job.DeliverNote(first, false).note_safe);
  job.ReleaseMailService();
  ASSERT_TRUE(fs::exists(volume));

  auto second = WriteNote(home.root() / "tmp", "second.wav", std::string(6000, 'b'));
  ASSERT_TRUE(job.DeliverNote(second, true).note_safe);
  // The run's events come to this thread; the last one ends the session.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ui.session_done == 0 && std::chrono::steady_clock::now() < deadline)
    platform::MsgWaitForEvents({}, std::chrono::milliseconds(50), true);
  ASSERT_EQ(ui.session_done, 1);
  EXPECT_EQ(ui.sending, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(ui.connection_errors, 0);
  job.ReleaseMailService();
  EXPECT_FALSE(fs::exists(volume));  // nothing unsent is left
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Files(dir / "mail" / "new").size() == 2; }));
  std::string all;
  for (const auto& file : Files(dir / "mail" / "new")) all += ReadText(file);
  EXPECT_NE(all.find("filename=\"first.wav\""), std::string::npos);
  EXPECT_NE(all.find("filename=\"second.wav\""), std::string::npos);
  EXPECT_NE(all.find("Content-Type: audio/x-wav"), std::string::npos);
}

}  // namespace
}  // namespace delivery
