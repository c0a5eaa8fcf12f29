// The mail service against servers that misbehave in ways real ones do not
// on demand: silence (a run the user cancels) and a reply line without end.

#include "delivery/mail_service.h"

#include <gtest/gtest.h>

#include "delivery/scripted_smtp_server_fake.h"
#include "protocols/socket_layer.h"
#include "storage/delivery_volume.h"
#include "tests/support/test_environment.h"

namespace delivery {
namespace {

class Events : public MailEventHandler {
 public:
  void OnMailEvent(MailEvent& event) override {
    if (event.type == MailEventType::kProgress) progress.push_back(event.code);
    if (event.type == MailEventType::kError) errors.push_back(event.error);
  }
  std::vector<int> progress;
  std::vector<ErrorReport> errors;
};

class MailServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = home_.root() / "install";
    std::filesystem::create_directories(install_);
    storage_ = storage::OpenDeliveryStorage(install_, nullptr).storage;
    ASSERT_TRUE(storage_);
    log_ = base::OpenActivityLog(install_);
    sink_ = std::make_unique<MailEventSink>(&events_);
    service_ = std::make_unique<MailService>(MailServiceContext{log_.get(), sink_.get()}, storage_.get());
    service_->smtp().host = "127.0.0.1";
    service_->smtp().timeout = 1;
  }
  // The log as written so far (the service keeps it open; others may read).
  std::string LogText() { return testing_support::ReadFileBytes(base::ActivityLogPath(install_)); }

  testing_support::ScopedTestHome home_;
  protocols::ScopedSocketLayer layer_;
  std::filesystem::path install_;
  std::unique_ptr<storage::MailStorage> storage_;
  std::unique_ptr<base::ActivityLog> log_;
  Events events_;
  std::unique_ptr<MailEventSink> sink_;
  std::unique_ptr<MailService> service_;
};

// The user cancels while the server keeps silent: the run ends without any
// error report and says it was interrupted.
TEST_F(MailServiceTest, CancelledRunReportsNoErrors) {
  test::ScriptedSmtpServerFake server("");
  ASSERT_TRUE(server.listening());
  service_->smtp().port = server.port();
  ASSERT_TRUE(service_->Synchronize());
  EXPECT_FALSE(service_->Synchronize());  // one run at a time
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::find(events_.progress.begin(), events_.progress.end(), kProgressConnected) == events_.progress.end() &&
         std::chrono::steady_clock::now() < deadline)
    platform::MsgWaitForEvents({}, std::chrono::milliseconds(10), true);
  service_->Cancel();
  service_->WaitWhileBusy();
  EXPECT_TRUE(events_.errors.empty());
  EXPECT_EQ(events_.progress, (std::vector<int>{1, 2, 1000}));
  std::string log = LogText();
  EXPECT_NE(log.find("Synchronization interrupted by user\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Synchronization done\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Critical Error"), std::string::npos);
}

// A greeting that never ends is cut off, not collected for ever.
TEST_F(MailServiceTest, EndlessReplyLineIsRefused) {
  test::ScriptedSmtpServerFake server("220-" + std::string(200000, 'x'));
  ASSERT_TRUE(server.listening());
  service_->smtp().port = server.port();
  ASSERT_TRUE(service_->Synchronize());
  service_->WaitWhileBusy();
  ASSERT_EQ(events_.errors.size(), 1u);
  EXPECT_TRUE(events_.errors[0].critical);
  EXPECT_EQ(events_.errors[0].code, 0x80C0000Au);
}

}  // namespace
}  // namespace delivery
