// The handles under a point (cursor, drag kind and fixed point per handle)
// and the fill matrix a dragged fill handle gives.
#include <gtest/gtest.h>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "tests/common/edge_styles.h"
#include "view/core/handle_drag.h"
#include "view_fixture.h"

namespace {

CPicShape* FilledSquare(const Rect32& r, const FillStyle& style) {
  auto* shape = new CPicShape;
  EdgeGraph& g = shape->GetGeometry();
  const auto f = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, style));
  PointList path;
  EXPECT_EQ(PathFromRect(path, r), 0);
  EXPECT_EQ(EdgeGraphAddPath(g, path, 0, f, f), 0);
  EXPECT_EQ(EdgeGraphUpdate(g), 0);
  return shape;
}

Point32 Handle(const Rect32& r, int i) {
  Point32 p;
  RectGetHandlePoint(r, i, p);
  return p;
}

void ExpectNear(const Point32& got, const Point32& want, int32_t tol) {
  EXPECT_NEAR(got.x, want.x, tol) << "want " << want.x << "," << want.y;
  EXPECT_NEAR(got.y, want.y, tol) << "got " << got.x << "," << got.y;
}

class HandleTrackTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Show(page);
    shape = FilledSquare(Rect32{1000, 3000, 1000, 2000}, SolidFill(0xFF0000FF));
    view->GetEditFrame()->AddChild(shape);
    ASSERT_TRUE(Edit(page, [&] { shape->SetSelected(true); }));
  }
  CPicShape* shape = nullptr;
};

TEST_F(HandleTrackTest, RectangleHandlesGiveTheirCursorKindAndFixedPoint) {
  struct Case {
    int32_t mode;
    int handle;
    ViewCursor cursor;
    int32_t kind;
    int anchor;  // the handle point that stays, 8 the centre
  } cases[] = {
      {kHandleScale, 0, ViewCursor::kScaleNwSe, kDragScaleBoth, 2},
      {kHandleScale, 1, ViewCursor::kScaleNeSw, kDragScaleBoth, 3},
      {kHandleScale, 4, ViewCursor::kScaleHeight, kDragScaleY, 6},
      {kHandleScale, 7, ViewCursor::kScaleWidth, kDragScaleX, 5},
      {kHandleScale, 8, ViewCursor::kMove, kDragMove, 8},
      {kHandleRotate, 2, ViewCursor::kRotate, kDragRotate, 8},
      {kHandleRotate, 5, ViewCursor::kScaleHeight, kDragSlantX, 7},
      {kHandleRotate, 6, ViewCursor::kScaleWidth, kDragSlantY, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " handle " << c.handle);
    view->SetHandleMode(c.mode);
    ASSERT_EQ(view->GetHandleMode(), c.mode);
    const Rect32 r = view->GetHandleRect();
    const Point32 h = Handle(r, c.handle);
    HandleHit hit;
    ASSERT_TRUE(FindHandleAt(*view, Point32{h.x + 30, h.y - 30}, 30, hit));
    EXPECT_EQ(hit.mode, c.mode);
    EXPECT_EQ(hit.handle, c.handle);
    EXPECT_EQ(hit.cursor, c.cursor);
    EXPECT_EQ(hit.kind, c.kind);
    EXPECT_EQ(hit.point, h);
    EXPECT_EQ(hit.anchor, Handle(r, c.anchor));
    EXPECT_FALSE(FindHandleAt(*view, Point32{h.x + 31, h.y}, 30, hit));
  }
  // Tolerance wide enough to reach two handles: the nearer one wins.
  view->SetHandleMode(kHandleScale);
  const Rect32 r = view->GetHandleRect();
  HandleHit hit;
  ASSERT_TRUE(FindHandleAt(*view, Point32{Handle(r, 5).x, Handle(r, 5).y - 200}, 2000, hit));
  EXPECT_EQ(hit.handle, 5);
  // A rotation turns about the object's own centre point once it has one.
  const Point32 pivot{1200, 1300};
  ASSERT_TRUE(Edit(page, [&] { shape->SetCenter(&pivot); }));
  view->SetHandleMode(kHandleRotate);
  ASSERT_TRUE(FindHandleAt(*view, Handle(view->GetHandleRect(), 0), 10, hit));
  EXPECT_EQ(hit.anchor, pivot);
  // The centre-point mode has one handle there.
  view->SetHandleMode(kHandleCenter);
  ASSERT_TRUE(FindHandleAt(*view, Point32{1205, 1295}, 10, hit));
  EXPECT_EQ(hit.mode, kHandleCenter);
  EXPECT_EQ(hit.cursor, ViewCursor::kSizeAll);
  EXPECT_EQ(hit.point, pivot);
  view->SetHandleMode(kHandleNone);
  EXPECT_FALSE(FindHandleAt(*view, pivot, 10000, hit));
}

TEST_F(HandleTrackTest, FillHandlesAreFoundThroughTheFillAndOwnerMatrices) {
  // The gradient square's half side 0x4000 maps to 1000 x 500 twips about
  // (1500, 1250) in the owner, which is moved 100 to the right.
  const Matrix2x3 placed{FixedDiv(1000, 0x8000), 0, 0, FixedDiv(500, 0x8000), 1500, 1250};
  struct Case {
    GradientKind kind;
    Point32 at;
    FillHandle handle;
    ViewCursor cursor;
  } cases[] = {
      {kGradientRadial, {2100, 1250}, FillHandle::kWidth, ViewCursor::kScaleWidth},
      {kGradientRadial, {2083, 1315}, FillHandle::kSize, ViewCursor::kFillSize},
      {kGradientRadial, {2033, 1375}, FillHandle::kRotate, ViewCursor::kRotate},
      {kGradientRadial, {1600, 1250}, FillHandle::kMove, ViewCursor::kSizeAll},
      {kGradientLinear, {2100, 1250}, FillHandle::kWidth, ViewCursor::kScaleWidth},
      {kGradientLinear, {2100, 1000}, FillHandle::kRotate, ViewCursor::kRotate},
      {kGradientLinear, {1600, 1250}, FillHandle::kMove, ViewCursor::kSizeAll},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int{c.kind} << " at " << c.at.x << "," << c.at.y);
    CPicShape* owner =
        FilledSquare(Rect32{1000, 2000, 1000, 1500},
                     GradientFill(c.kind, {{0, 0xFF000000}, {255, 0xFFFFFFFF}}, placed));
    view->GetEditFrame()->AddChild(owner);
    Matrix2x3 shift;
    MatrixSetTranslation(shift, 100, 0);
    ASSERT_TRUE(Edit(page, [&] { owner->SetShapeMatrix(shift); }));
    view->EditFillOf(owner, 1);
    ASSERT_EQ(view->GetHandleMode(), kHandleFill);
    HandleHit hit;
    ASSERT_TRUE(FindHandleAt(*view, Point32{c.at.x + 3, c.at.y - 3}, 5, hit));
    EXPECT_EQ(hit.mode, kHandleFill);
    EXPECT_EQ(hit.fill, c.handle);
    EXPECT_EQ(hit.cursor, c.cursor);
    ExpectNear(hit.point, c.at, 2);
    ExpectNear(hit.anchor, Point32{1600, 1250}, 2);
    EXPECT_FALSE(FindHandleAt(*view, Point32{c.at.x, c.at.y + 200}, 5, hit));
    ASSERT_TRUE(Edit(page, [&] { owner->DeleteFromParent(); }));
  }
}

TEST_F(HandleTrackTest, TheDraggedFillHandleLandsUnderThePoint) {
  // Fill space to the owner: 1000 x 500 twips about (1500, 1250), turned.
  Matrix2x3 scale;
  Matrix2x3 turn;
  Matrix2x3 start;
  MatrixSetScale(scale, FixedDiv(1000, 0x8000), FixedDiv(500, 0x8000));
  MatrixSetRotation(turn, 20 << 16);
  MatrixConcat(scale, turn, start);
  start.tx = 1500;
  start.ty = 1250;
  auto at = [&](const Matrix2x3& m, Fixed angle) {
    Point32 fillPoint;
    PointFromAngle(0x4000, angle, nullptr, fillPoint);
    Point32 p;
    MatrixTransformPoint(m, fillPoint, p);
    return p;
  };
  const Point32 centre{1500, 1250};
  const Point32 width = at(start, 0);
  const Point32 size = at(start, 15 << 16);
  const Point32 rotate = at(start, 30 << 16);

  // Width: half as far again along the fill's x axis; then across to the
  // other side (the width never turns the fill over).
  const Point32 wider{centre.x + (width.x - centre.x) * 3 / 2,
                      centre.y + (width.y - centre.y) * 3 / 2};
  ExpectNear(at(FillDragMatrix(start, FillHandle::kWidth, width, wider, centre), 0), wider, 3);
  const Point32 across{2 * centre.x - wider.x, 2 * centre.y - wider.y};
  ExpectNear(at(FillDragMatrix(start, FillHandle::kWidth, width, across, centre), 0), wider, 3);
  // Size: the size handle twice as far out along its ray keeps its angle.
  const Point32 farther{2 * size.x - centre.x, 2 * size.y - centre.y};
  ExpectNear(at(FillDragMatrix(start, FillHandle::kSize, size, farther, centre), 15 << 16), farther,
             4);
  // Size and width never collapse the fill: a drag onto the centre leaves
  // 16 units of the half side.
  const Matrix2x3 tiny = FillDragMatrix(start, FillHandle::kSize, size, centre, centre);
  Point32 least;
  MatrixTransformPoint(start, Point32{16, 0}, least);
  EXPECT_NEAR(PointDistance(at(tiny, 0), centre), PointDistance(least, centre), 1);
  // Rotate: the handle turned 45 degrees about the centre.
  Point32 turned;
  PointFromAngle(PointDistance(rotate, centre), PointAngle(rotate, &centre) + (45 << 16), &centre,
                 turned);
  ExpectNear(at(FillDragMatrix(start, FillHandle::kRotate, rotate, turned, centre), 30 << 16),
             turned, 3);
  // Move: everything follows.
  const Point32 moved{centre.x + 300, centre.y - 120};
  const Matrix2x3 m = FillDragMatrix(start, FillHandle::kMove, centre, moved, centre);
  EXPECT_EQ((Point32{m.tx, m.ty}), moved);
  EXPECT_EQ((Matrix2x3{m.a, m.b, m.c, m.d, start.tx, start.ty}), start);
}

TEST_F(HandleTrackTest, FillRotationSnapsToFifteenDegreeSteps) {
  // The fill stands at 20 degrees; a turn of 9.5 degrees puts it at 29.5,
  // half a degree short of 30: at a radius of 1000 the arc is about 9 units.
  Matrix2x3 start;
  MatrixSetRotation(start, 20 << 16);
  const Point32 centre{0, 0};
  const Point32 handle{1000, 0};
  Point32 point;
  PointFromAngle(1000, (19 << 16) / 2, &centre, point);
  struct Case {
    bool snap;
    int32_t arc_limit;
    double want;
    bool snapped;
  } cases[] = {{false, 1000, 9.5, false}, {true, 12, 10, true}, {true, 6, 9.5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "snap " << c.snap << " limit " << c.arc_limit);
    bool snapped = !c.snapped;
    const Fixed got = FillDragTurn(start, handle, point, centre, c.snap, c.arc_limit, &snapped);
    EXPECT_NEAR(got / 65536.0, c.want, 0.05);
    EXPECT_EQ(snapped, c.snapped);
  }
  // A turn across 180 degrees stays the short way round.
  PointFromAngle(1000, 170 << 16, &centre, point);
  const Point32 from = [&] {
    Point32 p;
    PointFromAngle(1000, -170 << 16, &centre, p);
    return p;
  }();
  EXPECT_NEAR(FillDragTurn(start, from, point, centre, false, 0, nullptr) / 65536.0, -20, 0.05);
}

}  // namespace
