// Bitmap objects: drawing through the render context, bounds, hits and
// lassos under their matrix, undo of transforms, heavy steps and the record.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_style.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/stored_object.h"

namespace {

// A 4 x 2 8-bit image spanning 0..60 x 0..30 twips.
void FillImage(CImageRef& image) {
  ColorTable table;
  table.count = 2;
  table.entries[1] = PackRgb(255, 0, 0);
  ASSERT_TRUE(image.Create(kDib8Bit, 4, 2, &table));
  image.Bits()[1] = 1;
  image.bounds = {0, 60, 0, 30};
}

Matrix2x3 Translation(int32_t x, int32_t y) {
  Matrix2x3 m;
  MatrixSetTranslation(m, x, y);
  return m;
}

class BitmapContext : public CRecordingContext {
 public:
  void DrawBitmap(const CImageRef& image) override {
    calls.push_back("bitmap " + std::to_string(image.Width()) + "x" +
                    std::to_string(image.Height()) + " at " + std::to_string(m_matrix.tx));
  }
  void DrawPath(const PointList& path, const LineStyle* line, const FillStyle* fill) override {
    Rect32 r;
    PointListGetBounds(path, r);
    calls.push_back("path " + RectText(r) + " colour " + std::to_string(line ? line->colour : 0) +
                    (fill ? " filled" : ""));
  }
};

class BitmapTest : public ModelTest {};

TEST_F(BitmapTest, DrawsTheImageOrItsFrame) {
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t dim;
    bool outline_style;
    Rect32 clip;
    bool skip;
    std::vector<std::string> calls;
  } cases[] = {
      {"fills",
       CRenderContext::kFlagFills,
       0,
       false,
       {-5000, 5000, -5000, 5000},
       false,
       {"matrix 100,0", "bitmap 4x2 at 100"}},
      {"outline view",
       0,
       0,
       true,
       {-5000, 5000, -5000, 5000},
       false,
       {"matrix 100,0", "path 0,60,0,30 colour 4278190335"}},
      {"dimmed onion skin (red halfway to white)",
       CRenderContext::kFlagFills,
       128,
       true,
       {-5000, 5000, -5000, 5000},
       false,
       {"matrix 100,0", "path 0,60,0,30 colour 4286545919"}},
      {"outside the clip",
       CRenderContext::kFlagFills,
       0,
       false,
       {0, 99, 0, 99},
       false,
       {"matrix 100,0"}},
      {"touching the clip",
       CRenderContext::kFlagFills,
       0,
       false,
       {0, 100, 0, 99},
       false,
       {"matrix 100,0", "bitmap 4x2 at 100"}},
      {"the object being dragged",
       CRenderContext::kFlagFills,
       0,
       false,
       {-5000, 5000, -5000, 5000},
       true,
       {}},
      {"only changed edges",
       CRenderContext::kFlagFills | CRenderContext::kFlagChangedOnly,
       0,
       false,
       {-5000, 5000, -5000, 5000},
       false,
       {}},
  };
  LineStyle red;
  red.colour = 0xFF0000FFu;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CPicBitmap bitmap;
    FillImage(bitmap.GetImage());
    bitmap.Transform(Translation(100, 0));
    bitmap.RecalcAndNotify(nullptr);  // clears the old-bounds flag
    BitmapContext rc;
    rc.m_deviceClip = c.clip;
    rc.m_flags = c.flags;
    rc.m_dimFactor = c.dim;
    if (c.outline_style) rc.m_outlineStyle = red;
    if (c.skip) rc.m_skipObject = &bitmap;
    bitmap.Draw(rc);
    EXPECT_EQ(rc.calls, c.calls);
    EXPECT_EQ(rc.m_matrix, Matrix2x3{}) << "state restored";
  }

  // Selected in the key frame being drawn: framed inside its matrix, the
  // centre handle outside it.
  CPicFrame frame;
  auto* bitmap = new CPicBitmap;
  FillImage(bitmap->GetImage());
  frame.AddChild(bitmap);
  bitmap->Transform(Translation(100, 0));
  bitmap->SetSelected(true);
  const Point32 centre{130, 15};
  bitmap->SetCenter(&centre);
  BitmapContext rc;
  rc.m_flags = CRenderContext::kFlagFills;
  rc.m_currentKeyFrame = &frame;
  bitmap->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"matrix 100,0", "bitmap 4x2 at 100",
                                                "frame 0,60,0,30", "handle 130,15 3"}));
}

TEST_F(BitmapTest, ExtentHitsAndLassoFollowTheMatrix) {
  CPicBitmap bitmap;
  FillImage(bitmap.GetImage());
  Matrix2x3 m;
  MatrixSetScale(m, 0x20000, 0x20000);  // 0..120 x 0..60
  m.tx = 1000;
  bitmap.Transform(m);
  Rect32 bounds;
  bitmap.GetExactBounds(bounds);
  EXPECT_EQ(RectText(bounds), "1000,1120,0,60");
  Matrix2x3 got;
  EXPECT_EQ(bitmap.GetMatrix(got), 1);
  EXPECT_EQ(got, m);

  struct Probe {
    Point32 point;
    int32_t tolerance;
    int32_t hit;
  } probes[] = {
      {{1000, 0}, 0, 1},  {{1120, 60}, 0, 1}, {{1122, 30}, 0, 0},
      {{1124, 30}, 4, 1}, {{1126, 30}, 4, 0}, {{998, -2}, 0, 0},
  };
  for (const Probe& p : probes) {
    CHitTest probe;
    probe.point = p.point;
    probe.distance2 = p.tolerance;
    EXPECT_EQ(bitmap.HitTest(probe), p.hit) << p.point.x << "," << p.point.y;
  }

  struct Lasso {
    Rect32 r;
    int32_t answer;
  } lassos[] = {
      {{0, 500, 0, 500}, 1},        // far away
      {{900, 1200, -10, 100}, 2},   // around it
      {{1050, 1200, -10, 100}, 3},  // across it
  };
  for (const Lasso& l : lassos) {
    PointList path;
    ASSERT_EQ(PathFromRect(path, l.r), 0);
    EXPECT_EQ(bitmap.ClassifyInRect(path, 0), l.answer) << RectText(l.r);
  }
}

TEST_F(BitmapTest, TransformsUndoOnceAPerStepAndMakeHeavySteps) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  CPicFrame* frame = page->GetFirstFrame();
  CPicBitmap* bitmap = nullptr;
  ASSERT_TRUE(Edit(page, [&] {
    bitmap = new CPicBitmap;
    FillImage(bitmap->GetImage());
    frame->AddChild(bitmap);
  }));
  EXPECT_EQ(page->GetUndoList()->m_heavy, 1u) << "creating a bitmap";

  ASSERT_TRUE(Edit(page, [&] {
    bitmap->Transform(Translation(10, 0));
    bitmap->Transform(Translation(5, 7));
  }));
  EXPECT_EQ(page->GetUndoList()->m_heavy, 0u);
  int records = 0;
  for (CEditItem* item = page->GetUndoList()->m_items; item; item = item->m_next)
    records += dynamic_cast<CPicBitmapEditItem*>(item) != nullptr;
  EXPECT_EQ(records, 1);
  EXPECT_EQ(bitmap->GetBitmapMatrix(), Translation(15, 7));
  page->Undo();
  EXPECT_EQ(bitmap->GetBitmapMatrix(), Matrix2x3{});
  page->Redo();
  EXPECT_EQ(bitmap->GetBitmapMatrix(), Translation(15, 7));

  ASSERT_TRUE(Edit(page, [&] { bitmap->DeleteFromParent(); }));
  EXPECT_EQ(page->GetUndoList()->m_heavy, 1u) << "deleting a bitmap";
  EXPECT_EQ(frame->GetFirstChild(), nullptr);
  page->Undo();
  EXPECT_EQ(frame->GetFirstChild(), bitmap);
}

TEST_F(BitmapTest, RecordRoundTripsAndDamagedImagesAreRefused) {
  CPicBitmap bitmap;
  FillImage(bitmap.GetImage());
  bitmap.Transform(Translation(-3, 9));
  const std::vector<uint8_t> bytes = StoreObjectBytes(&bitmap);
  // The tail: version 0, the matrix, the image record with its 8 pixel bytes.
  const size_t image = bytes.size() - (24 + 2 + 2 * 6 + 8);
  ASSERT_GT(image, 25u);
  const std::vector<uint8_t> tail(bytes.begin() + static_cast<long>(image - 25),
                                  bytes.begin() + static_cast<long>(image + 8));
  EXPECT_EQ(tail, (std::vector<uint8_t>{0,                                   // version
                                        0,    0,    1,    0,    0, 0, 0, 0,  // a, b
                                        0,    0,    0,    0,    0, 0, 1, 0,  // c, d
                                        0xFD, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0,  // tx, ty
                                        0,    3,    4,    0,    4, 0, 2, 0}));

  CPicObj::ReleaseLoadChain(false);
  std::unique_ptr<CObject> back(LoadObjectBytes(bytes));
  CPicObj::ReleaseLoadChain(false);
  auto* read = dynamic_cast<CPicBitmap*>(back.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->GetBitmapMatrix(), Translation(-3, 9));
  EXPECT_EQ(read->GetImage().bounds, bitmap.GetImage().bounds);
  EXPECT_EQ(read->GetImage().GetPixel(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(StoreObjectBytes(read), bytes);

  std::vector<uint8_t> badFormat = bytes;
  badFormat[image + 1] = 9;
  EXPECT_THROW(LoadObjectBytes(badFormat), CArchiveException);
  CPicObj::ReleaseLoadChain(true);
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 3);
  EXPECT_THROW(LoadObjectBytes(cut), CArchiveException);
  CPicObj::ReleaseLoadChain(true);
}

}  // namespace
