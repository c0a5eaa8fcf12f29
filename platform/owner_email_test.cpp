#include "platform/owner_email.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/registry.h"
#include "tests/support/test_environment.h"

namespace platform {
namespace {

struct OwnerCase {
  const char* what;
  std::optional<RegistryValue> registry;  // "E-mail" in "ControlPanel\Owner"
  const char* email_env;                  // nullptr: unset
  std::optional<std::u16string> expected;
};

RegistryValue Text(const char16_t* text) {
  RegistryValue v;
  v.name = u"E-mail";
  v.text = text;
  return v;
}

RegistryValue Number() {
  RegistryValue v;
  v.name = u"E-mail";
  v.type = RegistryType::Dword;
  v.dword = 1;
  return v;
}

TEST(OwnerEmailTest, RegistryThenEnvironmentThenNothing) {
  const OwnerCase cases[] = {
      {"registry wins", Text(u"owner@example.org"), "env@example.org", u"owner@example.org"},
      {"empty registry value", Text(u""), "env@example.org", u"env@example.org"},
      {"value of another type", Number(), "env@example.org", u"env@example.org"},
      {"no value", std::nullopt, "j\xc3\xb6rg@example.org", u"j\u00f6rg@example.org"},
      {"empty environment", std::nullopt, "", std::nullopt},
      {"nothing at all", std::nullopt, nullptr, std::nullopt},
      {"registry only", Text(u"owner@example.org"), nullptr, u"owner@example.org"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing_support::ScopedTestHome home;
    auto key = RegistryKey::Create(RegistryRoot::CurrentUser, u"ControlPanel\\Owner");
    ASSERT_TRUE(key);
    if (c.registry) {
      ASSERT_TRUE(key->WriteValue(*c.registry));
    }
    if (c.email_env)
      setenv("EMAIL", c.email_env, 1);
    else
      unsetenv("EMAIL");
    EXPECT_EQ(DeviceOwnerEmail(), c.expected);
  }
}

}  // namespace
}  // namespace platform
