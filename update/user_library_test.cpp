#include "update/user_library.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/support/test_environment.h"
#include "update/update_session.h"

namespace update {
namespace {

ProductRecord Product(int id, int major, int minor, int language) {
  ProductRecord r;
  r.product_id = id;
  r.major = major;
  r.minor = minor;
  r.language = language;
  r.free_upgrade_version = 2;
  r.trial_days = 14;
  r.registry_key = u"Corvane\\Known";
  return r;
}

TEST(UserLibraryTest, ItsAnswerReplacesTheRegistryAndMissingExportsAreSkipped) {
  testing_support::ScopedTestHome home;
  // The registry says otherwise; the library's answer counts.
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Software\\Corvane\\Known");
  ASSERT_TRUE(key && key->WriteDword(u"ProdID", 8) && key->WriteDword(u"MajorVersion", 1));

  UserLibrary library;
  ASSERT_TRUE(library.Load(TWU_USER_LIBRARY_FAKE));
  platform::ConnectionManager manager;
  Connector connector(manager);
  UpdateSession session(UpdateConfig{}, connector, &library);
  ProductEntry known = session.Classify(Product(7, 2, 0, 0));
  EXPECT_TRUE(known.installed);
  EXPECT_TRUE(session.Classify(Product(7, 1, 5, 0)).up_to_date);
  EXPECT_FALSE(session.Classify(Product(7, 2, 0, 1031)).installed);  // another language
  // The library answers for every product: one it declines is not installed,
  // whatever the registry holds.
  EXPECT_FALSE(session.Classify(Product(8, 2, 0, 0)).installed);

  // Without the library the registry is asked.
  UpdateSession plain(UpdateConfig{}, connector, nullptr);
  EXPECT_TRUE(plain.Classify(Product(8, 2, 0, 0)).installed);

  // Exports it lacks report "not handled".
  EXPECT_FALSE(library.OnProductDownload(nullptr, known.record));
  EXPECT_FALSE(library.OnDownloadComplete(nullptr, "/tmp/x").has_value());
  EXPECT_FALSE(library.AboutDialog(nullptr));
  EXPECT_FALSE(library.OnProductBuy(known.record));
  EXPECT_TRUE(library.WriteVersionNumber());

  UserLibrary missing;
  EXPECT_FALSE(missing.Load("/nonexistent/libnothing.so"));
  bool answered = true;
  EXPECT_FALSE(missing.IsProductInstalled(known.record, &answered).has_value());
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace update
