#include "model/extent.h"

#include <gtest/gtest.h>

#include <functional>

#include "model_fixtures.h"

namespace {

Rect32 R(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  return Rect32{x0, x1, y0, y1};
}

struct ExtentCase {
  const char* name;
  std::function<void(CExtent&)> ops;
  Rect32 rect;
  int32_t first, last;
  int16_t empty;
  int16_t bits;
};

TEST(ExtentTest, ChangeAreaOperations) {
  const ExtentCase cases[] = {
      {"reset", [](CExtent&) {}, Rect32{}, 0, 0, 1, 0},
      {"empty rectangle ignored", [](CExtent& e) { e.SetRect(Rect32{}); }, Rect32{}, 0, 0, 1, 0},
      {"rectangle takes the full span", [](CExtent& e) { e.SetRect(R(1, 2, 3, 4)); }, R(1, 2, 3, 4),
       0, 16000, 0, 0},
      {"rectangles unite",
       [](CExtent& e) {
         e.SetRect(R(1, 2, 3, 4));
         e.SetRect(R(-5, 0, 10, 20));
       },
       R(-5, 2, 3, 20), 0, 16000, 0, 0},
      {"first span sets, later ones widen",
       [](CExtent& e) {
         e.AddFrameSpan(5, 7);
         e.AddFrameSpan(9, 12);
         e.AddFrameSpan(6, 6);
       },
       Rect32{}, 5, 12, 0, 0},
      {"negative first span", [](CExtent& e) { e.AddFrameSpan(-3, -1); }, Rect32{}, -3, -1, 0, 0},
      {"rect span with empty rect ignored", [](CExtent& e) { e.AddRectSpan(Rect32{}, 3, 4); },
       Rect32{}, 0, 0, 1, 0},
      {"rect span",
       [](CExtent& e) {
         e.AddRectSpan(R(0, 1, 0, 1), 3, 4);
         e.AddRectSpan(R(5, 6, 5, 6), 8, 9);
       },
       R(0, 6, 0, 6), 3, 9, 0, 0},
      {"add another area with its bits",
       [](CExtent& e) {
         e.AddFrameSpan(2, 2);
         e.changeBits = 1;
         CExtent o;
         o.AddRectSpan(R(1, 1, 1, 1), 7, 8);
         o.changeBits = 2;
         e.Add(o);
       },
       R(1, 1, 1, 1), 2, 8, 0, 3},
      {"add an area without span keeps ours",
       [](CExtent& e) {
         e.AddFrameSpan(4, 5);
         CExtent o;
         o.rect = R(0, 9, 0, 9);
         e.Add(o);
       },
       R(0, 9, 0, 9), 4, 5, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CExtent e;
    e.Reset();
    c.ops(e);
    EXPECT_EQ(RectText(e.rect), RectText(c.rect));
    EXPECT_EQ(e.firstFrame, c.first);
    EXPECT_EQ(e.lastFrame, c.last);
    EXPECT_EQ(e.empty, c.empty);
    EXPECT_EQ(e.changeBits, c.bits);
  }
}

struct QueryCase {
  const char* name;
  std::function<void(CExtentQuery&)> ops;
  Rect32 rect;
  int32_t first, last;
};

TEST(ExtentTest, BoundsQueryWindows) {
  const QueryCase cases[] = {
      {"nothing", [](CExtentQuery&) {}, Rect32{}, 0, 0},
      {"a plain rectangle covers the window", [](CExtentQuery& q) { q.AddRect(R(0, 1, 0, 1)); },
       R(0, 1, 0, 1), -16000, 16000},
      {"span clipped to the window",
       [](CExtentQuery& q) {
         q.windowFirst = 2;
         q.windowLast = 10;
         q.AddRectSpan(R(0, 1, 0, 1), 0, 4);
       },
       R(0, 1, 0, 1), 2, 4},
      {"span outside the window ignored",
       [](CExtentQuery& q) {
         q.windowFirst = 2;
         q.windowLast = 10;
         q.AddRectSpan(R(0, 1, 0, 1), 11, 14);
       },
       Rect32{}, 0, 0},
      {"later spans widen",
       [](CExtentQuery& q) {
         q.AddRectSpan(R(0, 1, 0, 1), 5, 6);
         q.AddRectSpan(R(3, 4, 3, 4), 1, 2);
       },
       R(0, 4, 0, 4), 1, 6},
      {"shift moves window and result",
       [](CExtentQuery& q) {
         q.windowFirst = 0;
         q.windowLast = 9;
         q.ShiftFrames(-5);  // a key frame starting at 5
         q.AddRectSpan(R(0, 1, 0, 1), 0, 0);
         q.ShiftFrames(5);
       },
       R(0, 1, 0, 1), 5, 5},
      {"extent with its span",
       [](CExtentQuery& q) {
         CExtent e;
         e.AddRectSpan(R(2, 3, 2, 3), 7, 9);
         q.AddExtent(e);
       },
       R(2, 3, 2, 3), 7, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CExtentQuery q;
    q.Init();
    c.ops(q);
    EXPECT_EQ(RectText(q.rect), RectText(c.rect));
    EXPECT_EQ(q.foundFirst, c.first);
    EXPECT_EQ(q.foundLast, c.last);
  }
}

TEST(ExtentTest, HitProbeMapsIntoObjectSpace) {
  CHitTest probe;
  probe.point = {300, 500};
  probe.distance1 = 40;
  probe.distance2 = 80;
  probe.frame = 7;
  Matrix2x3 m;
  MatrixSetScale(m, 2 * kFixedOne, 2 * kFixedOne);
  m.tx = 100;
  m.ty = 100;
  probe.MapToObject(m);
  EXPECT_EQ(probe.point, (Point32{100, 200}));
  EXPECT_EQ(probe.distance1, 20);
  EXPECT_EQ(probe.distance2, 40);
  EXPECT_EQ(probe.frame, 7);
}

}  // namespace
