// What the window shows apart from the network: the status screens' colours and
// pictures, the parts of each list row, and where product pictures come from.
#include "update/update_window.h"

#include <gtest/gtest.h>

#include <set>

#include "update/product_images.h"

namespace update {
namespace {

TEST(StatusScreensTest, EachScreenHasTheColourAndPictureOfItsKind) {
  struct Case {
    StatusScreen screen;
    std::uint32_t colour;
    StatusIcon icon;
  };
  const Case cases[] = {
      {screens::Connecting(), 0xFFD0D0, StatusIcon::kConnecting},
      {screens::Connected(), 0xFFD0D0, StatusIcon::kConnecting},
      {screens::DownloadingList(), 0xFFD0D0, StatusIcon::kDownloading},
      {screens::ListError(1), 0xD0D0FF, StatusIcon::kError},
      {screens::ListError(2), 0xC0FFFF, StatusIcon::kError},  // the list download
      {screens::ListError(3), 0xD0D0FF, StatusIcon::kError},
      {screens::ListError(4), 0xD0D0FF, StatusIcon::kError},
      {screens::ListSuccess(), 0xC0FFC0, StatusIcon::kSuccess},
      {screens::PreparingDownload(), 0x58D0FF, StatusIcon::kDownloading},
      {screens::DownloadFailed(), 0xD0D0FF, StatusIcon::kError},
      {screens::PackageRefused(), 0xD0D0FF, StatusIcon::kError},
      {screens::Cancelled(), 0xC0FFFF, StatusIcon::kCancelled},
      {screens::DownloadComplete(), 0xC0FFC0, StatusIcon::kSuccess},
      {screens::InstallFailed(), 0xD0D0FF, StatusIcon::kError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.screen.title.begin(), c.screen.title.end()));
    EXPECT_EQ(c.screen.colour, c.colour);
    EXPECT_EQ(c.screen.icon, c.icon);
  }
  // Every picture has a name of its own in the icon theme.
  std::set<std::u16string_view> names;
  for (StatusIcon icon : {StatusIcon::kConnecting, StatusIcon::kDownloading, StatusIcon::kSuccess,
                          StatusIcon::kInformation, StatusIcon::kCancelled, StatusIcon::kError}) {
    EXPECT_EQ(StatusIconName(icon).substr(0, 15), u"corvane-status-");
    names.insert(StatusIconName(icon));
  }
  EXPECT_EQ(names.size(), 6u);
}

TEST(ListRowPartsTest, HeadingsNotesAndProductsWithTitleLabelAndDescription) {
  UpdateConfig config;
  config.fmt_name = u"%s %d.%d (build %d)";
  ListRow heading{ListRow::Kind::kHeading, u"Free Software", -1};
  toolkit::ListItemParts parts = ListRowParts(heading, nullptr, config, u"ignored");
  EXPECT_TRUE(parts.heading);
  EXPECT_EQ(parts.title, u"Free Software");
  EXPECT_TRUE(parts.picture.empty());

  ListRow note{ListRow::Kind::kNote, u"< Your software is up-to-date >", -1};
  parts = ListRowParts(note, nullptr, config, u"");
  EXPECT_FALSE(parts.heading);
  EXPECT_EQ(parts.title, u"< Your software is up-to-date >");
  EXPECT_TRUE(parts.label.empty() && parts.detail.empty());

  ProductRecord record;
  record.name = u"Memo";
  record.major = 2;
  record.minor = 1;
  record.build = 77;
  record.trial_days = 30;
  record.free_upgrade_version = 2;
  record.description = u"Quick notes";
  ProductEntry trial = ClassifyProduct(record, std::nullopt);
  ListRow product{ListRow::Kind::kProduct, u"", 0};
  parts = ListRowParts(product, &trial, config, u"/tmp/x/0-memo32.bmp");
  EXPECT_FALSE(parts.heading);
  EXPECT_EQ(parts.title, u"Memo 2.1 (build 77)");
  EXPECT_EQ(parts.label, u"30-day trial");
  EXPECT_EQ(parts.detail, u"Quick notes");
  EXPECT_EQ(parts.picture, u"/tmp/x/0-memo32.bmp");

  ProductEntry update = ClassifyProduct(record, InstalledVersion{2, 0, 0});
  EXPECT_EQ(ListRowParts(product, &update, config, u"").label, u"Free update");
  record.trial_days = 0;
  record.free_upgrade_version = 0;
  ProductEntry gift = ClassifyProduct(record, std::nullopt);
  EXPECT_EQ(ListRowParts(product, &gift, config, u"").label, u"FREE");
}

TEST(ProductImagesTest, SizeByDensityAndNameBesideTheList) {
  EXPECT_EQ(IconSizeForDpi(96), 32);
  EXPECT_EQ(IconSizeForDpi(120), 32);
  EXPECT_EQ(IconSizeForDpi(121), 48);
  EXPECT_EQ(IconSizeForDpi(191), 48);
  EXPECT_EQ(IconSizeForDpi(192), 64);
  EXPECT_EQ(IconSizeForDpi(288), 64);

  UpdateConfig config;
  config.list_file = u"/install/corvane_wmproductlist.txt";
  ProductRecord record;
  record.image_base = u"dictalo";
  EXPECT_EQ(ImageServerPath(config, record, 48), u"/install/dictalo48.bmp");
  config.fmt_image = u"/pictures/%s-%d.png";
  EXPECT_EQ(ImageServerPath(config, record, 32), u"/pictures/dictalo-32.png");
  config.fmt_image = u"%s%d.bmp";
  config.list_file = u"list.txt";
  EXPECT_EQ(ImageServerPath(config, record, 64), u"/dictalo64.bmp");
  // No image named, or a name that climbs out of the server's folders: none.
  EXPECT_EQ(ImageServerPath(config, ProductRecord{}, 32), u"");
  record.image_base = u"../../etc/passwd";
  EXPECT_EQ(ImageServerPath(config, record, 32), u"");
  record.image_base = u"http://elsewhere/x";
  EXPECT_EQ(ImageServerPath(config, record, 32), u"");
}

TEST(ProductImagesTest, WithoutAServerOrAFolderThereIsNoPicture) {
  UpdateConfig config;
  config.domain = u"http://127.0.0.1:1";  // nobody listens
  ProductRecord record;
  record.image_base = u"memo";
  ProductImages none(config, {});
  EXPECT_FALSE(none.Fetch(record, 32));
  ProductImages images(config, ::testing::TempDir() + "/product-images-none");
  EXPECT_FALSE(images.Fetch(record, 32));
}

}  // namespace
}  // namespace update
