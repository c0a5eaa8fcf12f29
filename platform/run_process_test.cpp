#include <gtest/gtest.h>

#include "platform/process.h"

namespace platform {
namespace {

TEST(RunProcessTest, CollectsOutputAndStatus) {
  auto r = RunProcess("/bin/sh", {"-c", "printf 'one\\ntwo'; exit 3"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->output, "one\ntwo");
  EXPECT_EQ(r->exit_status, 3);
}

TEST(RunProcessTest, MissingProgramAndTimeOutGiveNothing) {
  EXPECT_FALSE(RunProcess("/nonexistent/program", {}));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunProcess("/bin/sleep", {"5"}, std::chrono::milliseconds(200)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(RunProcessTest, KeepsAtMostTheLimitButReadsToTheEnd) {
  auto r = RunProcess("/bin/sh", {"-c", "head -c 100000 /dev/zero"}, std::chrono::seconds(10), 1000);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->output.size(), 1000u);
  EXPECT_EQ(r->exit_status, 0);
}

}  // namespace
}  // namespace platform
