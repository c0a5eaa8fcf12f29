#include "platform/argv.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ArgvTest, SplitUndoesJoinForAwkwardArguments) {
  std::vector<std::vector<std::string>> lists = {
      {},
      {"-record"},
      {"-profile", "Work Settings.ini", "-record"},
      {"", "a b", "tab\there"},
      {"say \"hi\"", "back\\slash", "trailing\\", "both\\\"", "\\\\\""},
      {"Büro", "日本"},
  };
  for (const auto& args : lists) EXPECT_EQ(SplitArguments(JoinArguments(args)), args);
}

TEST(ArgvTest, SplitFollowsTheShellRules) {
  EXPECT_EQ(SplitArguments(u"  a   b\t c "), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments(u"\"a b\"c d"), (std::vector<std::string>{"a bc", "d"}));
  EXPECT_EQ(SplitArguments(u"a\\\\\\\"b"), (std::vector<std::string>{"a\\\"b"}));
  EXPECT_EQ(SplitArguments(u"a\\\\b"), (std::vector<std::string>{"a\\\\b"}));
  EXPECT_EQ(SplitArguments(u"\"unbalanced quote"), (std::vector<std::string>{"unbalanced quote"}));
  EXPECT_EQ(JoinArguments({"-profile", "Work Settings.ini", "-record"}), u"-profile \"Work Settings.ini\" -record");
}

}  // namespace
}  // namespace platform
