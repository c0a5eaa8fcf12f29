#include "platform/instance_lock.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

TEST(InstanceLockTest, OneHolderAtATimeAndFreeAgainWhenLetGo) {
  testing_support::ScopedTestHome home;
  auto first = InstanceLock::TryTake("probe");
  ASSERT_TRUE(first.has_value());
  EXPECT_FALSE(InstanceLock::TryTake("probe").has_value()) << "held";
  EXPECT_TRUE(InstanceLock::TryTake("other").has_value()) << "names are separate locks";
  struct stat st {};
  ASSERT_EQ(::stat(InstanceLockPath("probe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  InstanceLock moved = std::move(*first);
  first.reset();
  EXPECT_FALSE(InstanceLock::TryTake("probe").has_value()) << "a moved-from lock does not let go";
  { InstanceLock gone = std::move(moved); }
  EXPECT_TRUE(InstanceLock::TryTake("probe").has_value());
}

}  // namespace
}  // namespace platform
