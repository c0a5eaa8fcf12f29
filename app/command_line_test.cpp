#include "app/command_line.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(CommandLineTest, RecordSwitchIsAWholeArgumentInAnyCase) {
  EXPECT_FALSE(ParseCommandLine(u"-RECORD").interactive);
  EXPECT_FALSE(ParseCommandLine(u"foo -Record bar").interactive);
  EXPECT_FALSE(ParseCommandLine(u"-profile \"Work Settings.ini\"\t-record").interactive);
  EXPECT_TRUE(ParseCommandLine(u"").interactive);
  EXPECT_TRUE(ParseCommandLine(u"-recor").interactive);
  // Part of another argument: a settings file name must not start a hidden recorder.
  EXPECT_TRUE(ParseCommandLine(u"x-recordy").interactive);
  EXPECT_TRUE(ParseCommandLine(u"-profile ~/voice-records.ini").interactive);
  EXPECT_TRUE(ParseCommandLine(u"-profile my-record").interactive);
  EXPECT_TRUE(ParseCommandLine(u"-profile \"a -record b.ini\"").interactive);
}

TEST(CommandLineTest, ProfileValues) {
  struct Case {
    std::u16string_view line;
    std::u16string_view profile;
  } cases[] = {
      {u"-profile \"Work Settings.ini\" -record", u"Work Settings.ini"},
      {u"-PROFILE work.ini", u"work.ini"},
      {u"-profile work.ini\t-record", u"work.ini"},
      {u"-record -profile ", u""},            // switch at the very end
      {u"-profile", u""},                      // no trailing blank: no switch
      {u"-profile  second", u""},              // the value starts right after the blank
      {u"-profile a\"b c\"d e", u"a\"b c\"d"},  // blanks inside quotes are kept
      {u"-profile \"a\\\" b\" c", u"a\\\" b"},  // an escaped quote does not count
      {u"-profile C:\\\\dir\\x.ini y", u"C:\\\\dir\\x.ini"},
      {u"-profile \"unbalanced value", u"unbalanced valu"},  // first and last character dropped
      {u"-profile \"", u""},
      {u"-profile trailing\\", u"trailing\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCommandLine(c.line).profile, c.profile) << std::string(c.line.begin(), c.line.end());
  }
}

TEST(CommandLineTest, JoinedArgumentsParseBackToTheSameValues) {
  EXPECT_EQ(JoinArguments({"-profile", "Work Settings.ini", "-record"}), u"-profile \"Work Settings.ini\" -record");
  EXPECT_EQ(JoinArguments({"a", "", "b"}), u"a \"\" b");
  EXPECT_EQ(JoinArguments({"say \"hi\""}), u"\"say \\\"hi\\\"\"");
  EXPECT_EQ(JoinArguments({"dir with space\\"}), u"\"dir with space\\\\\"");
  EXPECT_EQ(JoinArguments({"plain\\path"}), u"plain\\path");

  auto line = ParseCommandLine(JoinArguments({"-profile", "My Notes.ini", "-record"}));
  EXPECT_EQ(line.profile, u"My Notes.ini");
  EXPECT_FALSE(line.interactive);
}

TEST(CommandLineTest, NonAsciiArgumentsSurviveJoining) {
  EXPECT_EQ(ParseCommandLine(JoinArguments({"-profile", "Büro.ini"})).profile, u"Büro.ini");
}

}  // namespace
}  // namespace app
