#include "update/product_catalog.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/support/test_environment.h"

namespace update {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

ProductRecord Record(int major, int minor, int trial_days, int free_upgrade, bool recommended = false,
                     int section_limit = 0) {
  ProductRecord r;
  r.name = u"P";
  r.major = major;
  r.minor = minor;
  r.trial_days = trial_days;
  r.free_upgrade_version = free_upgrade;
  r.recommended = recommended;
  r.section_limit = section_limit;
  return r;
}

TEST(ProductCatalogTest, InstalledFreeAndUpToDate) {
  // An older version installed; its major version at the free-upgrade version.
  ProductEntry e = ClassifyProduct(Record(2, 4, 14, 2), InstalledVersion{2, 3, 0});
  EXPECT_TRUE(e.installed);
  EXPECT_TRUE(e.free);
  // Below the free-upgrade version the upgrade is paid.
  e = ClassifyProduct(Record(3, 0, 14, 3), InstalledVersion{2, 9, 0});
  EXPECT_TRUE(e.installed);
  EXPECT_FALSE(e.free);
  // A free-upgrade version of 1 or less makes every upgrade free.
  e = ClassifyProduct(Record(3, 0, 14, 1), InstalledVersion{0, 1, 0});
  EXPECT_TRUE(e.free);
  // The same version installed is not an upgrade, and offered nowhere.
  e = ClassifyProduct(Record(2, 4, 14, 2), InstalledVersion{2, 4, 0});
  EXPECT_FALSE(e.installed);
  EXPECT_TRUE(e.up_to_date);
  // Another language installed counts as not installed.
  ProductRecord german = Record(2, 4, 14, 2);
  german.language = 1031;
  e = ClassifyProduct(german, InstalledVersion{1, 0, 1033});
  EXPECT_FALSE(e.installed);
  EXPECT_FALSE(e.up_to_date);
  // Not installed: free only with free-upgrade version 0 and no trial.
  EXPECT_TRUE(ClassifyProduct(Record(1, 0, 0, 0), std::nullopt).free);
  EXPECT_FALSE(ClassifyProduct(Record(1, 0, 1, 0), std::nullopt).free);
  EXPECT_FALSE(ClassifyProduct(Record(1, 0, 0, 2), std::nullopt).free);
}

TEST(ProductCatalogTest, FindsTheProductByItsIdBelowItsKey) {
  testing_support::ScopedTestHome home;
  auto own = RegistryKey::Create(RegistryRoot::LocalMachine, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(own);
  ASSERT_TRUE(own->WriteDword(u"ProdID", 10226));
  ASSERT_TRUE(own->WriteDword(u"MajorVersion", 2));
  ASSERT_TRUE(own->WriteDword(u"MinorVersion", 3514));
  auto sub = RegistryKey::Create(RegistryRoot::LocalMachine, u"Software\\Corvane\\Tools\\Second");
  ASSERT_TRUE(sub);
  ASSERT_TRUE(sub->WriteDword(u"ProdID", 55));
  ASSERT_TRUE(sub->WriteDword(u"MajorVersion", 1));
  ASSERT_TRUE(sub->WriteDword(u"LangID", 1033));
  auto other = RegistryKey::Create(RegistryRoot::LocalMachine, u"Software\\Corvane\\Tools\\First");
  ASSERT_TRUE(other && other->WriteDword(u"ProdID", 54));

  auto dictalo = FindInstalledInRegistry(u"Corvane\\Dictalo", 10226);
  ASSERT_TRUE(dictalo);
  EXPECT_EQ(dictalo->major, 2);
  EXPECT_EQ(dictalo->minor, 3514);
  auto tool = FindInstalledInRegistry(u"Corvane\\Tools", 55);
  ASSERT_TRUE(tool);
  EXPECT_EQ(tool->major, 1);
  EXPECT_EQ(tool->minor, 0);
  EXPECT_EQ(tool->language, 1033);
  EXPECT_FALSE(FindInstalledInRegistry(u"Corvane\\Tools", 56));
  EXPECT_FALSE(FindInstalledInRegistry(u"Corvane\\Missing", 55));
}

TEST(ProductCatalogTest, SectionsHeadingsAndOptions) {
  std::vector<ProductEntry> entries = {
      ClassifyProduct(Record(1, 0, 0, 0), std::nullopt),                   // 0 free
      ClassifyProduct(Record(1, 0, 30, 2, true), std::nullopt),            // 1 recommended
      ClassifyProduct(Record(1, 0, 30, 2), std::nullopt),                  // 2 try new
      ClassifyProduct(Record(2, 0, 30, 2), InstalledVersion{1, 0, 0}),     // 3 paid upgrade
      ClassifyProduct(Record(1, 0, 30, 2, false, 1), std::nullopt),        // 4 never new
      ClassifyProduct(Record(2, 0, 30, 2, false, 2), InstalledVersion{1, 0, 0}),  // 5 never upgrade
      ClassifyProduct(Record(1, 0, 0, 0, false, 1), std::nullopt),         // 6 free, limited
      ClassifyProduct(Record(2, 0, 30, 2), InstalledVersion{2, 0, 0}),     // 7 this version installed
  };
  std::vector<ListRow> rows = BuildRows(entries, 0);
  std::vector<std::pair<ListRow::Kind, std::u16string>> got;
  std::vector<int> order;
  for (const ListRow& row : rows) {
    if (row.kind == ListRow::Kind::kProduct) order.push_back(row.entry);
    else order.push_back(-1);
  }
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0].text, u"Software Upgrades");
  EXPECT_EQ(rows[2].text, u"Try New Software");
  EXPECT_EQ(rows[4].text, u"Recommended Software");
  EXPECT_EQ(rows[6].text, u"Free Software");
  EXPECT_EQ(order, (std::vector<int>{-1, 3, -1, 2, -1, 1, -1, 0}));

  // The options hide the three sections of new products; the upgrades section
  // says so when it has nothing.
  // A product installed in the listed version is offered nowhere, not even as
  // new software.
  entries.erase(entries.begin() + 3);
  rows = BuildRows(entries, 0);
  for (const ListRow& row : rows) EXPECT_NE(row.entry, 6) << "the installed version is offered";
  rows = BuildRows(entries, kHideTryNew | kHideRecommended | kHideFree);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].text, u"Software Upgrades");
  EXPECT_EQ(rows[1].kind, ListRow::Kind::kNote);
  EXPECT_EQ(rows[1].text, u"< Your software is up-to-date >");
}

TEST(ProductCatalogTest, LabelsAndTitles) {
  EXPECT_EQ(ProductLabel(ClassifyProduct(Record(2, 1, 30, 2), InstalledVersion{2, 0, 0}), 0), u"Free update");
  ProductEntry paid = ClassifyProduct(Record(3, 0, 30, 3), InstalledVersion{2, 0, 0});
  EXPECT_EQ(ProductLabel(paid, kLabelPaidUpgrades), u"Paid upgrade");
  EXPECT_EQ(ProductLabel(paid, 0), u"30-day trial");
  EXPECT_EQ(ProductLabel(ClassifyProduct(Record(1, 0, 0, 0), std::nullopt), 0), u"FREE");
  EXPECT_EQ(ProductLabel(ClassifyProduct(Record(1, 0, 1, 2), std::nullopt), 0), u"Try and Buy");
  EXPECT_EQ(ProductLabel(ClassifyProduct(Record(1, 0, 2, 2), std::nullopt), 0), u"2-day trial");

  ProductRecord r = Record(2, 4, 0, 0);
  r.name = u"Dictalo";
  r.build = 3600;
  EXPECT_EQ(ProductTitle(u"%s %d.%d ", r), u"Dictalo 2.4 ");
  EXPECT_EQ(ProductTitle(u"%s v%d.%d (%d) 100%%", r), u"Dictalo v2.4 (3600) 100%");
  // Conversions beyond the arguments, or of the wrong kind, stay as written.
  EXPECT_EQ(ProductTitle(u"%d %s %s %x %", r), u"%d Dictalo %s %x %");
  EXPECT_EQ(FormatConfigured(u"%s%d.bmp", {{u"dictalo", 0, true}, {{}, 48, false}}), u"dictalo48.bmp");
}

}  // namespace
}  // namespace update
