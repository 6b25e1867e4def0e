// The writer's output read back by the player engine's movie stream: a whole
// movie with a shape, a JPEG bitmap, placements and frames goes through the
// reader record by record without an error, and the reader finds the
// characters the writer defined.
#include <gtest/gtest.h>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "movie/movie_writer.h"
#include "movie/player/movie_stream.h"
#include "platform/core/file.h"
#include "render/raster/dib.h"
#include "tests/common/edge_styles.h"

namespace {

TEST(MovieWriterToPlayer, TheReaderTakesEveryRecordTheWriterMakes) {
  EdgeGraphResetGlobals();
  EdgeGraph graph;
  ASSERT_EQ(EdgeGraphInit(graph), 0);
  FillStyle bitmap_fill = SolidFill(2);  // the JPEG character
  bitmap_fill.kind = kMovieFillBitmap;
  bitmap_fill.matrix = {20 << 16, 0, 0, 20 << 16, 0, 0};
  ASSERT_EQ(EdgeGraphAddFillStyle(graph, bitmap_fill), 1);
  LineStyle line = SolidLine(0xFF000000, 40);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph, line), 1);
  const Point32 corners[] = {{0, 0}, {1000, 0}, {1000, 800}, {0, 800}};
  for (int i = 0; i < 4; ++i) {
    QuadCurve c;
    const Point32 p = corners[i], q = corners[(i + 1) % 4];
    CurveFromLine({p.x << 8, p.y << 8}, {q.x << 8, q.y << 8}, c);
    Edge* e = nullptr;
    ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->line = 1;
    e->a.fill = 1;
    ASSERT_EQ(EdgeGraphInsertEdge(graph, e, 0, 3), 0);
  }
  ASSERT_EQ(EdgeGraphCleanup(graph), 0);

  CDib image;
  ASSERT_TRUE(image.Create(kDib32Bit, 5, 4, nullptr));

  CMemFile file;
  {
    CMovieWriter w(&file);
    w.WriteHeader({0, 11000, 0, 8000}, 12 << 16);
    w.WriteStageColor(0x00FFFFFF);
    w.WriteJpegImage(2, image);
    w.WriteShape(1, graph);
    Matrix2x3 m;
    m.tx = 300;
    w.PlaceCharacter(1, 1, &m);
    w.ShowFrame();
    w.RemoveCharacter(1, 1);
    w.PlaceCharacter(1, 1, nullptr);
    w.ShowFrame();
    w.Finish();
  }
  EdgeGraphFreeAll(graph);

  CMovieStream stream;
  auto bytes = file.GetData();
  stream.PutData(bytes.data(), bytes.size());
  ASSERT_TRUE(stream.Complete());
  ASSERT_EQ(stream.ReadHeader(), 1);
  EXPECT_EQ(stream.FrameRect(), (Rect32{0, 11000, 0, 8000}));
  EXPECT_EQ(stream.FrameRate(), 12 << 16);
  EXPECT_EQ(stream.FramePeriod(), 83);
  EXPECT_EQ(stream.FrameCount(), 2);
  int records = 0, result;
  while ((result = stream.ReadTag()) == kMovieDone) ++records;
  EXPECT_EQ(result, kMovieEnd);
  // Colour, tables, image, shape, place, frame, remove, place, frame, end.
  EXPECT_EQ(records, 10);
  EXPECT_TRUE(stream.AtEnd());
  EXPECT_EQ(stream.Error(), 0);

  const MovieCharacter* shape = stream.FindCharacter(1);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->type, kCharacterShape);
  EXPECT_EQ(shape->bounds, (Rect32{-20, 1020, -20, 820}));  // with the line's half width
  const MovieCharacter* jpeg = stream.FindCharacter(2);
  ASSERT_NE(jpeg, nullptr);
  EXPECT_EQ(jpeg->type, kCharacterBitmap);
  ASSERT_NE(jpeg->bitmap, nullptr);
  EXPECT_EQ(jpeg->bitmap->Width(), 6);  // stored at an even width
  EXPECT_EQ(jpeg->bitmap->Height(), 4);
}

}  // namespace
