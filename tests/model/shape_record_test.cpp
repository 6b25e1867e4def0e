// The stored form of shape geometry: style entries, deltas, edge chains.
#include "model/shape_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_check.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/edge_styles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Write(const EdgeGraph& g) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  ShapeGeometryWrite(ar, g);
  ar.Close();
  auto d = file.GetData();
  return Bytes(d.begin(), d.end());
}

// Reads bytes into g; the bytes left afterwards.
uint64_t Read(const Bytes& b, EdgeGraph& g) {
  CMemFile file(b);
  CArchive ar(&file, CArchive::load);
  ShapeGeometryRead(ar, g);
  return ar.GetRemaining();
}

struct Graph {
  EdgeGraph g;
  Graph() { EXPECT_EQ(EdgeGraphInit(g), 0); }
  ~Graph() { EdgeGraphFreeAll(g); }
};

using EdgeKey = std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint16_t,
                           uint16_t, uint16_t>;
// The edges with their styles resolved to the style records' colours.
std::vector<EdgeKey> Edges(const EdgeGraph& g) {
  std::vector<EdgeKey> out;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) {
    const QuadCurve& c = e->curve;
    out.emplace_back(c.p0.x, c.p0.y, c.control.x, c.control.y, c.p2.x, c.p2.y, c.straight, e->line,
                     e->a.fill, e->b.fill);
  });
  std::sort(out.begin(), out.end());
  return out;
}

void Append(Bytes& b, std::initializer_list<int> bytes) {
  for (int x : bytes) b.push_back(static_cast<uint8_t>(x));
}
void Append16(Bytes& b, int v) {
  Append(b, {v & 0xFF, (v >> 8) & 0xFF});
}
void Append32(Bytes& b, int64_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

StyleIndex AddFill(EdgeGraph& g, uint32_t colour) {
  FillStyle f = SolidFill(colour);
  return static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, f));
}
StyleIndex AddLine(EdgeGraph& g, uint32_t colour, int16_t width) {
  LineStyle l = SolidLine(colour, width);
  return static_cast<StyleIndex>(EdgeGraphAddLineStyle(g, l));
}

}  // namespace

TEST(ShapeRecordTest, LinePacking) {
  struct Case {
    uint8_t kind, flags;
    std::vector<int16_t> params;
    uint16_t w1, w2;
    std::vector<int16_t> read_back;  // P1..P6 after unpacking
  };
  const Case cases[] = {
      {0, 0, {}, 0, 0, {0, 0, 0, 0, 0, 0}},
      {0, 2, {}, 0, 0x8000, {0, 0, 0, 0, 0, 0}},
      {1, 0, {40, 20}, 40, 20, {40, 20, 0, 0, 0, 0}},
      {1, 2, {0, 7}, 1, 0x8007, {1, 7, 0, 0, 0, 0}},  // P1 = 0 is written as 1
      {2, 2, {300}, 0, 0x8000 | 2 | 300 << 3, {300, 0, 0, 0, 0, 0}},
      {2, 0, {5000}, 0, 2 | 4095 << 3, {4095, 0, 0, 0, 0, 0}},  // 12 bits: the largest
      {3, 0, {5, 2, 3}, 0, 3 | 5 << 3 | 2 << 6 | 3 << 8, {5, 2, 3, 0, 0, 0}},
      {4, 0, {1, 2, 3}, 0, 4 | 1 << 3 | 2 << 5 | 3 << 7, {1, 2, 3, 0, 0, 0}},
      {5,
       0,
       {1, 2, 3, 0, 1, 2},
       0,
       5 | 1 << 3 | 2 << 5 | 3 << 7 | 1 << 11 | 2 << 13,
       {1, 2, 3, 0, 1, 2}},
      {7, 0, {9}, 0, 7, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + "/" + std::to_string(c.flags));
    LineStyle line;
    line.kind = c.kind;
    line.flags = c.flags;
    std::copy(c.params.begin(), c.params.end(), line.params);
    uint16_t w1, w2;
    LineStylePack(line, w1, w2);
    EXPECT_EQ(w1, c.w1);
    EXPECT_EQ(w2, c.w2);
    LineStyle back;
    LineStyleUnpack(w1, w2, back);
    EXPECT_EQ(back.kind, c.kind);
    EXPECT_EQ(back.flags, c.flags & 2);
    EXPECT_EQ(std::vector<int16_t>(back.params, back.params + 6), c.read_back);
  }
}

TEST(ShapeRecordTest, DeltaSizeCodes) {
  struct Case {
    int32_t dx, dy;
    int code;
    size_t bytes;
  };
  const Case cases[] = {
      {0, 0, 0, 0},           {1, 0, 1, 4},           {-0x7FFF, 0x7FFF, 1, 4},
      {0x8000, 0, 3, 4},      {0x3FFF80, -128, 3, 4}, {0x400000 - 128, 0x8000, 3, 4},
      {0x400000, 0, 2, 8},    {0x8001, 0, 2, 8},      {INT32_MIN, INT32_MAX, 2, 8},
      {-0x3FFF80, 256, 3, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.dx) + "," + std::to_string(c.dy));
    EXPECT_EQ(DeltaSizeCode(c.dx, c.dy), c.code);
    CMemFile file;
    CArchive out(&file, CArchive::store);
    DeltaWrite(out, c.code, c.dx, c.dy);
    out.Close();
    EXPECT_EQ(file.GetLength(), c.bytes);
    file.SeekToBegin();
    CArchive in(&file, CArchive::load);
    int32_t x, y;
    DeltaRead(in, c.code, x, y);
    EXPECT_EQ(x, c.dx);
    EXPECT_EQ(y, c.dy);
  }
}

TEST(ShapeRecordTest, WrittenBytesOfASmallGraph) {
  // One straight edge with a line, one curve filled on side A; an unused
  // fill and an unused line are dropped and the rest renumbered.
  Graph graph;
  EdgeGraph& g = graph.g;
  AddFill(g, 0xFF0000FF);  // unused
  const StyleIndex fill = AddFill(g, 0xFF00FF00);
  AddLine(g, 0xFF111111, 5);  // unused
  const StyleIndex line = AddLine(g, 0xFF222222, 20);
  auto add = [&](QuadCurve c, StyleIndex l, StyleIndex fa) {
    Edge* e;
    ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->line = l;
    e->a.fill = fa;
    ASSERT_EQ(EdgeGraphLinkEdge(g, e), 0);
  };
  QuadCurve straight, curve;
  CurveFromLine({0, 0}, {25600, 0}, straight);
  CurveSet({25600, 0}, {25600 + 0x8000, 640}, {25600, 0x10000}, curve);
  add(straight, line, 0);
  add(curve, 0, fill);

  Bytes expected = {3};
  Append32(expected, 2);
  Append16(expected, 1);  // one used fill: the green one
  Append(expected, {0x00, 0xFF, 0x00, 0xFF, 0, 0});
  Append16(expected, 1);  // one used line
  Append(expected, {0x22, 0x22, 0x22, 0xFF, 20, 0, 0, 0, 0, 0});
  // The straight edge: no start delta, end (25600, 0) in i16; triple 1, 0, 0.
  Append(expected, {0xD0, 1, 0, 0});
  Append16(expected, 25600);
  Append16(expected, 0);
  // The curve continues from there: control (0x8000, 640) as 128ths, end
  // (0, 0x10000) as 128ths; new triple 0, 1, 0.
  Append(expected, {0xC0 | 3 << 2 | 3 << 4, 0, 1, 0});
  Append16(expected, 0x8000 / 128);
  Append16(expected, 640 / 128);
  Append16(expected, 0);
  Append16(expected, 0x10000 / 128);
  Append(expected, {0});
  EXPECT_EQ(Write(g), expected);

  Graph back;
  EXPECT_EQ(Read(expected, back.g), 0u);
  EXPECT_EQ(back.g.fill_count, 1);
  EXPECT_EQ(back.g.line_count, 1);
  EXPECT_EQ(back.g.fills[0].colour, 0xFF00FF00u);
  EXPECT_EQ(back.g.edge_count, 2u);
  EXPECT_EQ(Write(back.g), expected);
  EXPECT_TRUE(EdgeGraphCheck(back.g).empty());
}

TEST(ShapeRecordTest, OlderVersionsRead) {
  // Version 1: tables (old fill entries), no edges and no end byte.
  Bytes v1 = {1};
  Append32(v1, 5);
  Append16(v1, 2);
  Append(v1, {1, 2, 3, 0xFF, 9, 9, 4, 5, 6, 0xFF, 9, 9});
  Append16(v1, 0);
  Graph a;
  EXPECT_EQ(Read(v1, a.g), 0u);
  EXPECT_EQ(a.g.edge_count, 0u);
  ASSERT_EQ(a.g.fill_count, 2);
  EXPECT_EQ(a.g.fills[1].colour, 0xFF060504u);
  EXPECT_EQ(a.g.fills[1].kind, kFillSolid);
  // Version 2: old fill entries and edges; u16 triples with a selection bit.
  Bytes v2 = {2};
  Append32(v2, 1);
  Append16(v2, 1);
  Append(v2, {1, 2, 3, 0xFF, 0, 0});
  Append16(v2, 0);
  Append(v2, {0x40 | 1 << 4 | 1});
  Append16(v2, 0);
  Append16(v2, 0x8001);
  Append16(v2, 0);
  Append16(v2, 128);
  Append16(v2, 256);
  Append16(v2, 1280);
  Append16(v2, 0);
  Append(v2, {0});
  Graph b;
  EXPECT_EQ(Read(v2, b.g), 0u);
  const auto edges = Edges(b.g);
  ASSERT_EQ(edges.size(), 1u);
  EXPECT_EQ(edges[0], EdgeKey(128, 256, 128 + 640, 256, 128 + 1280, 256, 1, 0, 0x8001, 0));
  EXPECT_TRUE(EdgeGraphCheck(b.g).empty());
}

TEST(ShapeRecordTest, DamageIsRefused) {
  auto header = [](int version, int fills, int lines) {
    Bytes b = {static_cast<uint8_t>(version)};
    Append32(b, 1);
    Append16(b, fills);
    for (int i = 0; i < fills; ++i) Append(b, {1, 2, 3, 0xFF, 0, 0});
    Append16(b, lines);
    for (int i = 0; i < lines; ++i) Append(b, {1, 2, 3, 0xFF, 20, 0, 0, 0, 0, 0});
    return b;
  };
  auto edge = [](Bytes b, std::initializer_list<int> record) {
    Append(b, record);
    Append(b, {0});
    return b;
  };
  struct Case {
    const char* name;
    Bytes bytes;
  };
  Bytes manyFills = {3};
  Append32(manyFills, 0);
  Append16(manyFills, 0x7FF0);
  const Case cases[] = {
      {"version 4", edge(header(4, 0, 0), {})},
      {"fill past the table", edge(header(3, 1, 0), {0xD1, 0, 2, 0, 0, 1, 0, 1})},
      {"line past the table", edge(header(3, 1, 1), {0xD1, 2, 0, 0, 0, 1, 0, 1})},
      {"end off the grid", edge(header(3, 0, 0), {0x11, 1, 0, 0, 0, 0, 1, 0, 1})},
      {"ends meet", edge(header(3, 0, 0), {0x1D, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0})},
      {"table above 0x7FEF", manyFills},
      {"count past the bytes", header(3, 0, 0)},
  };
  Bytes countPastBytes = header(3, 0, 0);
  countPastBytes[countPastBytes.size() - 2] = 200;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Graph g;
    Bytes bytes = c.bytes;
    if (std::string(c.name) == "count past the bytes") bytes = countPastBytes;
    EXPECT_THROW(Read(bytes, g.g), CArchiveException);
  }
  // Every prefix of a good record is refused, never read past.
  Graph source;
  PointList path;
  ASSERT_EQ(PathFromEllipse(path, {0, 2000, 0, 1500}), 0);
  ASSERT_EQ(EdgeGraphAddPath(source.g, path, AddLine(source.g, 0xFF000000, 20),
                             AddFill(source.g, 0xFF0000FF), 0),
            0);
  const Bytes good = Write(source.g);
  for (size_t n = 0; n < good.size(); ++n) {
    Graph g;
    EXPECT_THROW(Read(Bytes(good.begin(), good.begin() + static_cast<long>(n)), g.g),
                 CArchiveException)
        << n;
  }
}

TEST(ShapeRecordTest, GraphsReadBackAsWritten) {
  // Random drawings: written, read and written again give the same bytes,
  // the same edges, and a valid graph.
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    Random16 rnd(static_cast<uint16_t>(seed));
    Graph source;
    EdgeGraph& g = source.g;
    const int pieces = 1 + seed % 6;
    for (int i = 0; i < pieces; ++i) {
      const int32_t x = RandomFixed(rnd, 0x20000000) >> 12, y = RandomFixed(rnd, 0x20000000) >> 12;
      const int32_t w = 100 + ((RandomFixed(rnd, 0x10000000) >> 12) & 0x7FFF);
      PointList path;
      if (i % 2 == 0) {
        ASSERT_EQ(PathFromEllipse(path, {x, x + w, y, y + w / 2 + 50}), 0);
      } else {
        ASSERT_EQ(PathFromRect(path, {x, x + w, y, y + w}), 0);
      }
      const StyleIndex line = AddLine(g, 0xFF000000u | seed, static_cast<int16_t>(i * 10));
      const StyleIndex fill = AddFill(g, 0xFF000000u | static_cast<uint32_t>(i * 977));
      ASSERT_EQ(EdgeGraphAddPath(g, path, line, i % 3 == 0 ? 0 : fill,
                                 static_cast<StyleIndex>(i % 4 == 1 ? 0x8000 | fill : 0)),
                0);
    }
    ASSERT_EQ(EdgeGraphCleanup(g), 0);
    const Bytes first = Write(g);
    Graph back;
    EXPECT_EQ(Read(first, back.g), 0u);
    EXPECT_EQ(Edges(back.g).size(), Edges(g).size());
    EXPECT_EQ(Write(back.g), first);
    EdgeGraphCheckOptions options;
    EXPECT_EQ(EdgeGraphCheck(back.g, options), std::vector<std::string>{});
  }
}
