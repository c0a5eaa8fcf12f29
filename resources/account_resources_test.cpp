// The account dialogs' templates and soft-key bars: within the ids reserved
// for them, controls that neither share an id nor overlap on a page, and the
// menu the account dialog offers.

#include "resources/account_resources.h"

#include <gtest/gtest.h>

#include <set>

#include "toolkit/resources.h"

namespace resources {
namespace {

bool Overlap(const platform::RECT& a, const platform::RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(AccountResourceTest, TemplatesKeepToTheirIdsAndDoNotOverlap) {
  RegisterAccountResources();
  const struct {
    UINT id;
    const char16_t* title;
  } dialogs[] = {{kAccountDialog, u"Account Settings"},      {kAuthenticationDialog, u"SMTP Authentication Settings"},
                 {kSocksDialog, u"Socks Settings"},          {kSslDialog, u"SSL Settings"},
                 {kConnectionDialog, u"Connection Settings"}, {kMailhavenAccountsDialog, u"Account Import"}};
  // Group boxes frame their contents, and the two tabs share the page.
  const std::set<int> frames = {kSslTypeGroup, kSslVersionsGroup, kSslCertLabel, kSslCertList, kSslCertImport,
                                kSslCertRemove};
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.id);
    EXPECT_GE(d.id, 230u);
    EXPECT_LE(d.id, 259u);
    auto dialog = toolkit::FindDialogTemplate(d.id);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->title, d.title);
    std::set<int> ids;
    for (const auto& c : dialog->controls) {
      EXPECT_GE(c.id, 2000);
      EXPECT_LE(c.id, 2999);
      EXPECT_TRUE(ids.insert(c.id).second) << "id " << c.id << " twice";
      EXPECT_LE(c.rect.right, dialog->width) << c.id;
      EXPECT_LE(c.rect.bottom, dialog->height) << c.id;
      for (const auto& other : dialog->controls) {
        if (&other == &c || frames.count(c.id) || frames.count(other.id)) continue;
        EXPECT_FALSE(Overlap(c.rect, other.rect)) << c.id << " and " << other.id;
      }
    }
  }
}

TEST(AccountResourceTest, AccountMenuOffersSaveTestImportAndCancel) {
  RegisterAccountResources();
  auto bar = toolkit::FindMenuBar(kAccountMenuBar);
  ASSERT_TRUE(bar);
  ASSERT_EQ(bar->keys.size(), 2u);
  EXPECT_EQ(bar->keys[0].command, 1u);
  std::vector<std::pair<std::u16string, UINT>> items;
  for (const auto& item : bar->keys[1].popup)
    if (item.command) items.emplace_back(item.text, item.command);
  const std::vector<std::pair<std::u16string, UINT>> expected = {
      {u"Save && Test", kSaveAndTestCommand}, {u"Import from Mailhaven\u2026", kImportMailhavenCommand}, {u"Cancel", 2}};
  EXPECT_EQ(items, expected);
  auto ok_cancel = toolkit::FindMenuBar(kOkCancelMenuBar);
  ASSERT_TRUE(ok_cancel);
  ASSERT_EQ(ok_cancel->keys.size(), 2u);
  EXPECT_EQ(ok_cancel->keys[1].command, 2u);
}

}  // namespace
}  // namespace resources
