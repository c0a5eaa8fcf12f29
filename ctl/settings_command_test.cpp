#include "ctl/settings_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_environment.h"

namespace ctl {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunSettings(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunSettingsCommand(u"", args, out, err);
  return {code, out.str(), err.str()};
}

// A value the account dialog refuses is refused here with the dialog's words,
// and the stored value stays.
TEST(SettingsCommandTest, RefusesWhatTheDialogsRefuse) {
  testing_support::ScopedTestHome home;
  ASSERT_EQ(RunSettings({"set", "SMTPPort", "587"}).code, 0);

  const struct {
    const char* key;
    const char* value;
    const char* message;
  } cases[] = {
      {"SMTPPort", "70000", "Port number must be in range between 1 and 65535"},
      {"SMTPPort", "0", "Port number must be in range between 1 and 65535"},
      {"SMTPPort", "2a", "The value \"2a\" is not a valid port number"},
      {"SMTPSSLVersions", "5", "Cannot use SSL2 and TLS1 and do not use SSL3."},
      {"SMTPSocksVersion", "4", "must be between 0 and 3"},
      {"SendToAddress", "nobody", "Please enter a valid email address."},
  };
  for (const auto& c : cases) {
    Outcome r = RunSettings({"set", c.key, c.value});
    EXPECT_EQ(r.code, 2) << c.key << "=" << c.value;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(RunSettings({"get", "SMTPPort"}).out, "587\n");
  EXPECT_EQ(RunSettings({"get", "SMTPSSLVersions"}).out, "7\n");
  EXPECT_EQ(RunSettings({"get", "SMTPSocksVersion"}).out, "0\n");

  ASSERT_EQ(RunSettings({"set", "SMTPPort", "65535"}).code, 0);
  EXPECT_EQ(RunSettings({"get", "SMTPPort"}).out, "65535\n");
  EXPECT_EQ(RunSettings({"set", "NoSuchKey", "1"}).err, "dictaloctl: unknown setting \"NoSuchKey\"\n");
}

}  // namespace
}  // namespace ctl
