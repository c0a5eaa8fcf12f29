#include "update/product_list.h"

#include <array>
#include <string>

#include <gtest/gtest.h>

namespace update {
namespace {

const char kTwoRecords[] =
    "TwProductList\r\n"
    "Dictalo,2,4,3600,1,PPC,500,599,x,10226,http://info/d,/install/dictalo.tar,dictalo,Voice notes by mail,0,"
    "Corvane\\Dictalo,0,14,2,0,http://buy/d\r\n"
    "\n\n"
    "Tool,1,0,7,0,ppc,400,520,,55,http://info/t,/install/tool.tar,tool,A tool,1,Corvane\\Tool,1,0,0,1033\n";

TEST(ProductListTest, ReadsEveryFieldAndTheOptionalBuyAddress) {
  ProductList list = ParseProductList(kTwoRecords);
  ASSERT_EQ(list.status, ProductListStatus::kOk);
  ASSERT_EQ(list.records.size(), 2u);
  const ProductRecord& d = list.records[0];
  EXPECT_EQ(d.name, u"Dictalo");
  EXPECT_EQ(d.major, 2);
  EXPECT_EQ(d.minor, 4);
  EXPECT_EQ(d.build, 3600);
  EXPECT_TRUE(d.flag);
  EXPECT_EQ(d.platform, u"PPC");
  EXPECT_EQ(d.lowest_os, 500);
  EXPECT_EQ(d.highest_os, 599);
  EXPECT_EQ(d.product_id, 10226);
  EXPECT_EQ(d.info_address, u"http://info/d");
  EXPECT_EQ(d.download_path, u"/install/dictalo.tar");
  EXPECT_EQ(d.image_base, u"dictalo");
  EXPECT_EQ(d.description, u"Voice notes by mail");
  EXPECT_FALSE(d.recommended);
  EXPECT_EQ(d.registry_key, u"Corvane\\Dictalo");
  EXPECT_EQ(d.section_limit, 0);
  EXPECT_EQ(d.trial_days, 14);
  EXPECT_EQ(d.free_upgrade_version, 2);
  EXPECT_EQ(d.language, 0);
  EXPECT_EQ(d.buy_address, u"http://buy/d");
  EXPECT_TRUE(d.sha256.empty());
  // The second record has no buy address: its line ends after the language.
  const ProductRecord& t = list.records[1];
  EXPECT_EQ(t.name, u"Tool");
  EXPECT_TRUE(t.recommended);
  EXPECT_EQ(t.section_limit, 1);
  EXPECT_EQ(t.language, 1033);
  EXPECT_TRUE(t.buy_address.empty());
}

TEST(ProductListTest, DigestFieldAndLaterFieldsDoNotShiftTheNextRecord) {
  std::string digest(64, 'a');
  std::string text = "twproductlist\nA,1,0,0,0,PPC,0,999,,1,i,/a,a,d,0,K,0,0,0,0,http://b," + digest +
                     ",future,fields\nB,3,1,0,0,PPC,0,999,,2,i,/b,b,d,0,K,0,0,0,0\n";
  ProductList list = ParseProductList(text);
  ASSERT_EQ(list.records.size(), 2u);
  EXPECT_EQ(list.records[0].sha256, std::u16string(64, u'a'));
  EXPECT_EQ(list.records[1].name, u"B");
  EXPECT_EQ(list.records[1].major, 3);
}

TEST(ProductListTest, RefusesAWrongHeaderAndAnOversizedList) {
  EXPECT_EQ(ParseProductList("productlist\nA").status, ProductListStatus::kBadHeader);
  EXPECT_EQ(ParseProductList("").status, ProductListStatus::kBadHeader);
  EXPECT_EQ(ParseProductList("twproductlistX\n").status, ProductListStatus::kBadHeader);
  std::string big = "twproductlist\n" + std::string(kMaxProductListBytes, '\n');
  EXPECT_EQ(ParseProductList(big).status, ProductListStatus::kTooLarge);
  big.resize(kMaxProductListBytes);
  EXPECT_EQ(ParseProductList(big).status, ProductListStatus::kOk);
}

TEST(ProductListTest, LongFieldsAreCutAndBytesWidenedAndShortRecordsDropped) {
  std::string name(400, 'n');
  name[0] = '\xe9';
  std::string text = "twproductlist\n" + name + ",1,0,0,0,PPC,0,999,,1,i,/a,a,d,0,K,0,0,0,0\nC,1,2";
  ProductList list = ParseProductList(text);
  ASSERT_EQ(list.records.size(), 1u);
  EXPECT_EQ(list.records[0].name.size(), kMaxFieldChars);
  EXPECT_EQ(list.records[0].name[0], u'\u00e9');
  EXPECT_EQ(list.records[0].major, 1);
}

TEST(ProductListTest, NumbersReadLikeTheListWritersExpect) {
  std::string text = "twproductlist\nA, 12x,-3,99999999999,2,PPC,0,999,,1,i,/a,a,d,7,K,0,0,0,0\n";
  ProductList list = ParseProductList(text);
  ASSERT_EQ(list.records.size(), 1u);
  EXPECT_EQ(list.records[0].major, 12);
  EXPECT_EQ(list.records[0].minor, -3);
  EXPECT_EQ(list.records[0].build, 2147483647);
  EXPECT_FALSE(list.records[0].flag);         // only 1 is true
  EXPECT_FALSE(list.records[0].recommended);  // only 1 is recommended
}

TEST(ProductListTest, OfferedOnlyForPpcWithinTheOsRangeAndLanguage) {
  EXPECT_EQ(OsCode(5, 1), 510);
  EXPECT_EQ(OsCode(5, 21), 521);
  EXPECT_EQ(OsCode(4, 10), 500);
  ProductRecord r;
  r.platform = u"pPc";
  r.lowest_os = 500;
  r.highest_os = 510;
  EXPECT_TRUE(IsOffered(r, 510, 0));
  EXPECT_TRUE(IsOffered(r, 500, 1033));  // the record's language 0 means any
  EXPECT_FALSE(IsOffered(r, 511, 0));
  EXPECT_FALSE(IsOffered(r, 499, 0));
  r.language = 1031;
  EXPECT_FALSE(IsOffered(r, 510, 1033));
  EXPECT_TRUE(IsOffered(r, 510, 0));
  EXPECT_TRUE(IsOffered(r, 510, 1031));
  r.platform = u"SP";
  EXPECT_FALSE(IsOffered(r, 510, 0));
}

TEST(ProductListTest, DigestMatchesOnlyTheGivenDigest) {
  std::array<std::uint8_t, 32> digest{};
  for (int i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(i * 8 + 1);
  std::u16string hex;
  const char16_t* digits = u"0123456789ABCDEF";
  for (std::uint8_t b : digest) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  EXPECT_TRUE(DigestMatches(hex, digest));
  EXPECT_TRUE(DigestMatches(u"", digest));
  std::u16string wrong = hex;
  wrong[63] = wrong[63] == u'0' ? u'1' : u'0';
  EXPECT_FALSE(DigestMatches(wrong, digest));
  EXPECT_FALSE(DigestMatches(hex.substr(0, 62), digest));
  std::u16string bad = hex;
  bad[0] = u'g';
  EXPECT_FALSE(DigestMatches(bad, digest));
}

}  // namespace
}  // namespace update
