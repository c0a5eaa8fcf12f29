#include "delivery/mail_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "delivery/application_events.h"

namespace delivery {
namespace {

class ThreadRecorder : public MailEventHandler {
 public:
  void OnMailEvent(MailEvent& event) override {
    threads.push_back(platform::GetCurrentThreadId());
    codes.push_back(event.code);
    if (event.type == MailEventType::kCredentials) event.credentials.password = "answered";
  }
  std::vector<platform::DWORD> threads;
  std::vector<int> codes;
};

// Pumps this thread's messages until done is set.
void PumpUntil(const std::atomic<bool>& done) {
  while (!done) platform::MsgWaitForEvents({}, std::chrono::milliseconds(20), true);
}

// Events raised on a worker run on the sink's thread while the worker waits,
// and the handler's answer reaches the worker; on the owner thread they run at once.
TEST(MailEventSinkTest, WorkerEventsRunOnTheOwnerThread) {
  ThreadRecorder handler;
  MailEventSink sink(&handler);
  ASSERT_NE(sink.window(), nullptr);
  MailEvent direct;
  direct.code = 7;
  sink.Raise(direct);
  ASSERT_EQ(handler.threads.size(), 1u);

  std::atomic<bool> done{false};
  std::string answer;
  platform::DWORD worker_id = 0;
  std::thread worker([&] {
    worker_id = platform::GetCurrentThreadId();
    MailEvent progress;
    progress.code = kProgressConnecting;
    sink.Raise(progress);
    MailEvent credentials;
    credentials.type = MailEventType::kCredentials;
    sink.Raise(credentials);
    answer = credentials.credentials.password;
    done = true;
  });
  PumpUntil(done);
  worker.join();
  EXPECT_EQ(answer, "answered");
  ASSERT_EQ(handler.threads.size(), 3u);
  for (auto id : handler.threads) EXPECT_EQ(id, platform::GetCurrentThreadId());
  EXPECT_NE(worker_id, platform::GetCurrentThreadId());
  EXPECT_EQ(handler.codes, (std::vector<int>{7, kProgressConnecting, 0}));
}

// The event message carries a pointer; one the sink did not hand over itself
// (from another sender, of this process or another) is never followed.
TEST(MailEventSinkTest, ForeignEventMessagesAreIgnored) {
  ThreadRecorder handler;
  MailEventSink sink(&handler);
  std::atomic<bool> done{false};
  platform::LRESULT result = -1;
  std::thread forger([&] {
    MailEvent forged;
    result = platform::SendMessage(sink.window(), kMailEventMessage, 0, reinterpret_cast<platform::LPARAM>(&forged));
    done = true;
  });
  PumpUntil(done);
  forger.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(handler.threads.empty());
}

class FakeStatusView : public ConnectionStatusView {
 public:
  void SetStatusLine(const std::u16string& text) override { lines.push_back(text); }
  void ShowErrorReport(const std::u16string& text) override { reports.push_back(text); }
  std::vector<std::u16string> lines, reports;
};

class FakeDeliveryUi : public DeliveryUi {
 public:
  void PostSessionDone() override { ++done; }
  void ShowSendProgress(std::uint32_t count, std::uint32_t index, std::uint32_t, std::uint32_t) override {
    progress.push_back({count, index});
  }
  void ShowConnectionError(std::u16string_view title, std::u16string_view text) override {
    boxes.push_back(std::u16string(title) + u"|" + std::u16string(text));
  }
  int done = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> progress;
  std::vector<std::u16string> boxes;
};

MailEvent Progress(int code, std::uint32_t a = 0, std::uint32_t b = 0) {
  MailEvent e;
  e.code = code;
  e.params = {a, b, 0, 0};
  return e;
}

MailEvent Error(bool critical) {
  MailEvent e;
  e.type = MailEventType::kError;
  e.error = {critical, 0x80C00013u, "", "smtp.example.org", "SMTP", 25, false};
  return e;
}

// With the connection-status window: the status line follows the run and the
// result depends on whether a login succeeded.
TEST(ApplicationEventsTest, StatusWindowFollowsTheRun) {
  FakeStatusView view;
  ApplicationEvents events(nullptr, "smtp.example.org");
  events.SetStatusView(&view);
  events.SetTestMode(true);
  for (int code : {1, 2, 15}) {
    auto e = Progress(code);
    events.OnMailEvent(e);
  }
  auto error = Error(true);
  events.OnMailEvent(error);
  auto done = Progress(1000);
  events.OnMailEvent(done);
  EXPECT_EQ(view.lines, (std::vector<std::u16string>{u"Connecting to smtp.example.org", u"Logging in...",
                                                     u"Sending...", u"There were connection errors"}));
  ASSERT_EQ(view.reports.size(), 1u);
  EXPECT_EQ(view.reports[0].substr(0, 60), u"Transport error: The server actively refuses the connection.");
  EXPECT_FALSE(events.test_succeeded());

  ApplicationEvents test(nullptr, "h");
  FakeStatusView ok_view;
  test.SetStatusView(&ok_view);
  test.SetTestMode(true);
  for (int code : {6, 1000}) {
    auto e = Progress(code);
    test.OnMailEvent(e);
  }
  EXPECT_EQ(ok_view.lines.back(), u"Connection test successfully finished");
  EXPECT_TRUE(test.test_succeeded());

  ApplicationEvents send(nullptr, "h");
  FakeStatusView send_view;
  send.SetStatusView(&send_view);
  for (int code : {6, 1000}) {
    auto e = Progress(code);
    send.OnMailEvent(e);
  }
  EXPECT_EQ(send_view.lines.back(), u"Notes sending successfully finished");
}

// During a delivery: progress and the end go to the session, only critical
// errors bring up the box, and credentials are never asked for.
TEST(ApplicationEventsTest, DeliveryShowsProgressAndCriticalErrorsOnly) {
  FakeDeliveryUi ui;
  ApplicationEvents events(nullptr, "h");
  events.SetDeliveryUi(&ui);
  auto sending = Progress(15, 2, 1);
  events.OnMailEvent(sending);
  auto soft = Error(false);
  events.OnMailEvent(soft);
  EXPECT_TRUE(ui.boxes.empty());
  auto hard = Error(true);
  events.OnMailEvent(hard);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0], u"Connection Error|Please check your internet connection and mail server settings.");
  MailEvent credentials;
  credentials.type = MailEventType::kCredentials;
  events.OnMailEvent(credentials);
  EXPECT_TRUE(credentials.credentials.cancel);
  EXPECT_EQ(ui.done, 0);
  auto done = Progress(1000);
  events.OnMailEvent(done);
  EXPECT_EQ(ui.done, 1);
  EXPECT_EQ(ui.progress, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{2, 1}}));
}

}  // namespace
}  // namespace delivery
