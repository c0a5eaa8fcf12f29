// The geometry values: where the edges count, empty rectangles in unions and
// intersections, rectangles given the wrong way round, and the arithmetic that
// layouts lean on.

#include "toolkit/ce_geometry.h"

#include <gtest/gtest.h>

namespace toolkit {
namespace {

TEST(CeGeometryTest, EdgesEmptinessAndCentre) {
  CeRect r(10, 20, 30, 60);
  EXPECT_EQ(r.Size(), CeSize(20, 40));
  EXPECT_TRUE(r.PtInRect(CePoint(10, 20)));   // top left belongs to it
  EXPECT_FALSE(r.PtInRect(CePoint(30, 59)));  // the right edge does not
  EXPECT_FALSE(r.PtInRect(CePoint(29, 60)));  // nor the bottom one
  EXPECT_EQ(CeRect(0, 0, 5, 5).CenterPoint(), CePoint(2, 2));
  EXPECT_TRUE(CeRect(5, 5, 5, 9).IsRectEmpty());
  EXPECT_TRUE(CeRect(9, 0, 5, 9).IsRectEmpty());  // inverted
  EXPECT_FALSE(CeRect(9, 0, 5, 9).IsRectNull());

  CeRect inverted(30, 60, 10, 20);
  inverted.NormalizeRect();
  EXPECT_EQ(inverted, r);
}

TEST(CeGeometryTest, IntersectionsAndUnions) {
  CeRect a(0, 0, 10, 10), b(5, 5, 20, 20), far(50, 50, 60, 60), empty(3, 3, 3, 8);
  CeRect r;
  EXPECT_TRUE(r.IntersectRect(a, b));
  EXPECT_EQ(r, CeRect(5, 5, 10, 10));
  EXPECT_FALSE(r.IntersectRect(a, far));
  EXPECT_TRUE(r.IsRectNull());
  EXPECT_FALSE(r.IntersectRect(a, CeRect(10, 0, 20, 10)));  // touching edges share nothing
  EXPECT_FALSE(r.IntersectRect(a, empty));

  EXPECT_TRUE(r.UnionRect(a, far));
  EXPECT_EQ(r, CeRect(0, 0, 60, 60));
  EXPECT_TRUE(r.UnionRect(empty, far));  // an empty rectangle adds nothing
  EXPECT_EQ(r, far);
  EXPECT_FALSE(r.UnionRect(empty, CeRect()));
  EXPECT_TRUE(r.IsRectNull());
  EXPECT_EQ(a | b, CeRect(0, 0, 20, 20));
  EXPECT_EQ(a & b, CeRect(5, 5, 10, 10));
}

TEST(CeGeometryTest, OffsetsInflationAndDistances) {
  CeRect r(10, 10, 20, 20);
  r.InflateRect(2, 3);
  EXPECT_EQ(r, CeRect(8, 7, 22, 23));
  r.DeflateRect(1, 2, 3, 4);
  EXPECT_EQ(r, CeRect(9, 9, 19, 19));
  EXPECT_EQ(r + CeSize(1, -1), CeRect(10, 8, 20, 18));
  EXPECT_EQ(CePoint(7, 9) - CePoint(2, 4), CeSize(5, 5));
  EXPECT_EQ(CePoint(1, 1) + CeSize(2, 3), CePoint(3, 4));
  EXPECT_EQ(CeRect(CePoint(4, 5), CeSize(10, 20)), CeRect(4, 5, 14, 25));
  EXPECT_EQ(-CeSize(1, 2), CeSize(-1, -2));
  // They stand in for the platform's types.
  platform::RECT plain = CeRect(1, 2, 3, 4);
  EXPECT_EQ(plain.bottom, 4);
}

}  // namespace
}  // namespace toolkit
