#include "model/shape_record.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "platform/core/archive.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"

namespace {

constexpr uint32_t kDeeperGridEdges = 1200;  // more edges: one more grid level
constexpr uint16_t kLineFlagStored = 2;      // the line flag kept with the document
constexpr uint16_t kW2Flag = 0x8000;
constexpr size_t kMinFillEntryBytes = 6;  // colour, kind, flags (or colour, extra word)
constexpr size_t kLineEntryBytes = 10;    // colour, width, two words
constexpr int32_t kEndGridMask = 127;     // edge ends lie on the 128 grid
constexpr uint8_t kCodeTriple = 0x40;
constexpr uint8_t kCodeTripleBytes = 0x80;

[[noreturn]] void Damaged() {
  throw CArchiveException(CArchiveException::genericException);
}

void CheckCount(CArchive& ar, size_t count, size_t bytesEach) {
  if (count > kStyleLastIndex || count * bytesEach > ar.GetRemaining()) Damaged();
}

// ---- line packing --------------------------------------------------------------

struct ParamField {
  int shift, bits;
};
// Kinds 3 to 5 keep two- or three-bit parameters after the kind.
constexpr ParamField kKind3[] = {{3, 3}, {6, 2}, {8, 2}};
constexpr ParamField kKind4[] = {{3, 2}, {5, 2}, {7, 2}};
constexpr ParamField kKind5[] = {{3, 2}, {5, 2}, {7, 2}, {9, 2}, {11, 2}, {13, 2}};

template <size_t N>
uint16_t PackFields(const LineStyle& line, const ParamField (&fields)[N]) {
  uint16_t w = 0;
  for (size_t i = 0; i < N; ++i) {
    const uint16_t mask = static_cast<uint16_t>((1u << fields[i].bits) - 1);
    w |= static_cast<uint16_t>((static_cast<uint16_t>(line.params[i]) & mask) << fields[i].shift);
  }
  return w;
}

template <size_t N>
void UnpackFields(uint16_t w, LineStyle& line, const ParamField (&fields)[N]) {
  for (size_t i = 0; i < N; ++i) {
    line.params[i] = static_cast<int16_t>((w >> fields[i].shift) & ((1u << fields[i].bits) - 1));
  }
}

// ---- edges ------------------------------------------------------------------------

bool KeyLess(const Edge* a, const Edge* b) {
  const QuadCurve& p = a->curve;
  const QuadCurve& q = b->curve;
  return std::tie(p.p0.x, p.p0.y, p.p2.x, p.p2.y, p.straight, p.control.x, p.control.y, a->line,
                  a->a.fill, a->b.fill) < std::tie(q.p0.x, q.p0.y, q.p2.x, q.p2.y, q.straight,
                                                   q.control.x, q.control.y, b->line, b->a.fill,
                                                   b->b.fill);
}

bool SameStyles(const Edge* a, const Edge* b) {
  return a->line == b->line && a->a.fill == b->a.fill && a->b.fill == b->b.fill;
}

// The new index of a style: its entry's number among the used ones, with
// the selection bit kept; 0 for none or an index past the table.
StyleIndex Renumber(StyleIndex s, const std::vector<uint16_t>& map) {
  const size_t i = StyleIndexOf(s);
  const uint16_t n = i < map.size() ? map[i] : 0;
  return static_cast<StyleIndex>(n | (s & kStyleSelected));
}

// Marks the used entries and numbers them in table order; returns the count.
uint16_t NumberUsed(std::vector<uint16_t>& map) {
  uint16_t n = 0;
  for (size_t i = 1; i < map.size(); ++i) map[i] = map[i] != 0 ? ++n : 0;
  return n;
}

void MarkUsed(StyleIndex s, std::vector<uint16_t>& map) {
  const size_t i = StyleIndexOf(s);
  if (i != 0 && i < map.size()) map[i] = 1;
}

class EdgeWriter {
 public:
  EdgeWriter(CArchive& ar, const std::vector<uint16_t>& fills, const std::vector<uint16_t>& lines)
      : ar_(ar), fills_(fills), lines_(lines) {}

  void Write(const Edge* e) {
    const QuadCurve& c = e->curve;
    // A straight edge whose ends meet has no geometry, and its code would
    // read as the end of the list.
    if (c.straight && c.p0 == c.p2) return;
    const StyleIndex triple[3] = {Renumber(e->line, lines_), Renumber(e->a.fill, fills_),
                                  Renumber(e->b.fill, fills_)};
    const int32_t sx = WrapSub(c.p0.x, last_.x), sy = WrapSub(c.p0.y, last_.y);
    int32_t cx = 0, cy = 0;
    int controlCode = 0;
    if (!c.straight) {
      cx = WrapSub(c.control.x, c.p0.x);
      cy = WrapSub(c.control.y, c.p0.y);
      // A control delta of size code 0 would read as a straight edge.
      controlCode = (cx == 0 && cy == 0) ? 1 : DeltaSizeCode(cx, cy);
    }
    const int32_t ex = WrapSub(c.p2.x, c.p0.x), ey = WrapSub(c.p2.y, c.p0.y);
    const int startCode = DeltaSizeCode(sx, sy), endCode = DeltaSizeCode(ex, ey);
    uint8_t code = static_cast<uint8_t>(startCode | controlCode << 2 | endCode << 4);
    const bool newTriple = !std::equal(triple, triple + 3, styles_);
    const bool bytes = std::all_of(triple, triple + 3, [](StyleIndex s) { return s < 256; });
    if (newTriple) code |= static_cast<uint8_t>(kCodeTriple | (bytes ? kCodeTripleBytes : 0));
    if (code == 0) return;  // ends meet and nothing else: no geometry
    ar_ << code;
    if (newTriple) {
      for (StyleIndex s : triple) {
        if (bytes) {
          ar_ << static_cast<uint8_t>(s);
        } else {
          ar_ << static_cast<uint16_t>(s);
        }
      }
      std::copy(triple, triple + 3, styles_);
    }
    DeltaWrite(ar_, startCode, sx, sy);
    if (controlCode != 0) DeltaWrite(ar_, controlCode, cx, cy);
    DeltaWrite(ar_, endCode, ex, ey);
    last_ = c.p2;
  }

 private:
  CArchive& ar_;
  const std::vector<uint16_t>& fills_;
  const std::vector<uint16_t>& lines_;
  StyleIndex styles_[3] = {0, 0, 0};
  Point32 last_{0, 0};
};

// The smallest (by KeyLess) edge of the ring at v that continues a chain:
// one that starts at v (forward) or ends at v (backward), with e's styles,
// not yet written and, going backward, not yet walked.
Edge* NextInChain(const Vertex* v, const Edge* e, bool forward, uint32_t written, uint32_t walked) {
  Edge* best = nullptr;
  for (HalfEdge* h = v->ring; h != nullptr; h = h->ring_next) {
    Edge* f = h->edge;
    if (f == e || HalfEdgeIsSideB(h) == forward || !SameStyles(f, e)) continue;
    if (f->a.visit == written || (!forward && f->b.visit == walked)) continue;
    if (best == nullptr || KeyLess(f, best)) best = f;
  }
  return best;
}

}  // namespace

// ---- fill entries ---------------------------------------------------------------

void FillEntryWrite(CArchive& ar, const FillStyle& fill) {
  ar << fill.colour << fill.kind << fill.texture_flags;
  if (fill.kind & kFillHasGradient) {
    const uint8_t count = std::min<uint8_t>(fill.gradient.count, kGradientMaxEntries);
    ar << fill.matrix << count;
    for (int i = 0; i < count; ++i) ar << fill.gradient.ratios[i] << fill.gradient.colours[i];
  } else if (fill.kind & kFillHasTexture) {
    ar << fill.matrix << fill.texture.background;
    for (int16_t p : fill.texture.params) ar << p;
  }
}

void FillEntryRead(CArchive& ar, FillStyle& fill, uint8_t version) {
  fill = FillStyle{};
  ar >> fill.colour;
  if (version < 3) {
    int16_t extra;
    ar >> extra;
    return;
  }
  ar >> fill.kind >> fill.texture_flags;
  if (fill.kind & kFillHasGradient) {
    uint8_t count;
    ar >> fill.matrix >> count;
    fill.gradient.count = std::min<uint8_t>(count, kGradientMaxEntries);
    for (int i = 0; i < count; ++i) {
      uint8_t ratio;
      uint32_t colour;
      ar >> ratio >> colour;
      if (i < kGradientMaxEntries) {
        fill.gradient.ratios[i] = ratio;
        fill.gradient.colours[i] = colour;
      }
    }
  } else if (fill.kind & kFillHasTexture) {
    ar >> fill.matrix >> fill.texture.background;
    for (int16_t& p : fill.texture.params) ar >> p;
  }
}

// ---- line entries ---------------------------------------------------------------

void LineStylePack(const LineStyle& line, uint16_t& w1, uint16_t& w2) {
  w1 = 0;
  switch (line.kind) {
    case 1:
      // A nonzero first word is what marks kind 1.
      w1 = line.params[0] != 0 ? static_cast<uint16_t>(line.params[0]) : 1;
      w2 = static_cast<uint16_t>(line.params[1]) & 0x7FFF;
      break;
    case 2: {
      // The spacing has 12 bits: a larger one keeps the largest.
      const int32_t p1 = std::clamp<int32_t>(line.params[0], 0, 0xFFF);
      w2 = static_cast<uint16_t>(2 | p1 << 3);
      break;
    }
    case 3:
      w2 = static_cast<uint16_t>(3 | PackFields(line, kKind3));
      break;
    case 4:
      w2 = static_cast<uint16_t>(4 | PackFields(line, kKind4));
      break;
    case 5:
      w2 = static_cast<uint16_t>(5 | PackFields(line, kKind5));
      break;
    default:
      w2 = line.kind & 7;
      break;
  }
  if (line.flags & kLineFlagStored) w2 |= kW2Flag;
}

void LineStyleUnpack(uint16_t w1, uint16_t w2, LineStyle& line) {
  for (int16_t& p : line.params) p = 0;
  line.flags = (w2 & kW2Flag) ? kLineFlagStored : 0;
  if (w1 != 0) {
    line.kind = 1;
    line.params[0] = static_cast<int16_t>(w1);
    line.params[1] = static_cast<int16_t>(w2 & 0x7FFF);
    return;
  }
  line.kind = w2 & 7;
  switch (line.kind) {
    case 2:
      line.params[0] = static_cast<int16_t>((w2 >> 3) & 0xFFF);
      break;
    case 3:
      UnpackFields(w2, line, kKind3);
      break;
    case 4:
      UnpackFields(w2, line, kKind4);
      break;
    case 5:
      UnpackFields(w2, line, kKind5);
      break;
    default:
      break;
  }
}

void LineStylePackWrite(CArchive& ar, const LineStyle& line) {
  uint16_t w1, w2;
  LineStylePack(line, w1, w2);
  ar << line.colour << line.width << w1 << w2;
}

void LineStylePackRead(CArchive& ar, LineStyle& line) {
  line = LineStyle{};
  uint16_t w1, w2;
  ar >> line.colour >> line.width >> w1 >> w2;
  LineStyleUnpack(w1, w2, line);
}

// ---- deltas -----------------------------------------------------------------------

int DeltaSizeCode(int32_t dx, int32_t dy) {
  if (dx == 0 && dy == 0) return 0;
  const int64_t ax = std::llabs(dx), ay = std::llabs(dy);
  if (ax < 0x8000 && ay < 0x8000) return 1;
  if (ax <= 0x3FFFFF && ay <= 0x3FFFFF && (dx & 127) == 0 && (dy & 127) == 0) return 3;
  return 2;
}

void DeltaWrite(CArchive& ar, int code, int32_t dx, int32_t dy) {
  switch (code) {
    case 1:
      ar << static_cast<int16_t>(dx) << static_cast<int16_t>(dy);
      break;
    case 2:
      ar << dx << dy;
      break;
    case 3:
      ar << static_cast<int16_t>(dx / 128) << static_cast<int16_t>(dy / 128);
      break;
    default:
      break;
  }
}

void DeltaRead(CArchive& ar, int code, int32_t& dx, int32_t& dy) {
  dx = dy = 0;
  int16_t sx, sy;
  switch (code) {
    case 1:
      ar >> sx >> sy;
      dx = sx, dy = sy;
      break;
    case 2:
      ar >> dx >> dy;
      break;
    case 3:
      ar >> sx >> sy;
      dx = sx * 128, dy = sy * 128;
      break;
    default:
      break;
  }
}

// ---- geometry --------------------------------------------------------------------------

void ShapeGeometryWrite(CArchive& ar, const EdgeGraph& graph) {
  std::vector<uint16_t> fills(graph.fill_count + 1u, 0), lines(graph.line_count + 1u, 0);
  std::vector<Edge*> edges;
  edges.reserve(graph.edge_count);
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    edges.push_back(e);
    MarkUsed(e->line, lines);
    MarkUsed(e->a.fill, fills);
    MarkUsed(e->b.fill, fills);
  });
  const uint16_t fillCount = NumberUsed(fills), lineCount = NumberUsed(lines);
  ar << kGeometryRecordVersion << static_cast<uint32_t>(edges.size()) << fillCount;
  for (size_t i = 1; i < fills.size(); ++i) {
    if (fills[i] != 0) FillEntryWrite(ar, graph.fills[i - 1]);
  }
  ar << lineCount;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i] != 0) LineStylePackWrite(ar, graph.lines[i - 1]);
  }

  // Chains: from each edge not yet written, back to the start of its chain
  // (edges meeting end to start with the same styles), then forward writing
  // each until the chain ends. Candidates are taken in a fixed order, so the
  // bytes depend on the geometry alone.
  std::sort(edges.begin(), edges.end(), KeyLess);
  const uint32_t walked = EdgeGraphNextStamp(), written = EdgeGraphNextStamp();
  EdgeWriter writer(ar, fills, lines);
  for (Edge* first : edges) {
    if (first->a.visit == written) continue;
    Edge* e = first;
    e->b.visit = walked;
    while (Edge* before = NextInChain(e->a.vertex, e, false, written, walked)) {
      before->b.visit = walked;
      e = before;
    }
    while (e != nullptr) {
      writer.Write(e);
      e->a.visit = written;
      e = NextInChain(e->b.vertex, e, true, written, walked);
    }
  }
  ar << uint8_t{0};
}

void ShapeGeometryRead(CArchive& ar, EdgeGraph& graph) {
  // The graph is new to the model: its reading is no change to record.
  struct Quiet {
    EdgeGraph& g;
    EdgeGraphChangeCallback callback = g.change_callback;
    void* arg = g.change_arg;
    ~Quiet() {
      g.change_callback = callback;
      g.change_arg = arg;
    }
  } quiet{graph};
  EdgeGraphFreeAll(graph);
  if (EdgeGraphInit(graph) < 0) throw CMemoryException();
  graph.change_callback = nullptr;

  uint8_t version;
  uint32_t edgeCount;
  uint16_t fillCount, lineCount;
  ar >> version;
  if (version > kGeometryRecordVersion) Damaged();
  ar >> edgeCount >> fillCount;
  if (edgeCount > kDeeperGridEdges) ++graph.grid.depth_limit;
  CheckCount(ar, fillCount, kMinFillEntryBytes);
  // File index to graph index: equal entries and empty ones fold.
  std::vector<StyleIndex> fills(fillCount + 1u, 0), lines;
  for (size_t i = 1; i < fills.size(); ++i) {
    FillStyle fill;
    FillEntryRead(ar, fill, version >= 3 ? kFillEntryVersion : 1);
    const int index = EdgeGraphAddFillStyle(graph, fill);
    if (index < 0) throw CMemoryException();
    fills[i] = static_cast<StyleIndex>(index);
  }
  ar >> lineCount;
  CheckCount(ar, lineCount, kLineEntryBytes);
  lines.assign(lineCount + 1u, 0);
  for (size_t i = 1; i < lines.size(); ++i) {
    LineStyle line;
    LineStylePackRead(ar, line);
    const int index = EdgeGraphAddLineStyle(graph, line);
    if (index < 0) throw CMemoryException();
    lines[i] = static_cast<StyleIndex>(index);
  }

  if (version >= 2) {
    auto map = [](uint16_t stored, const std::vector<StyleIndex>& table) -> StyleIndex {
      const size_t i = StyleIndexOf(stored);
      if (i >= table.size()) Damaged();
      return static_cast<StyleIndex>(table[i] | (stored & kStyleSelected));
    };
    auto checkEnd = [](const Point32& p) {
      if ((p.x & kEndGridMask) != 0 || (p.y & kEndGridMask) != 0 || p.x == kRectEmpty ||
          p.y == kRectEmpty) {
        Damaged();
      }
    };
    StyleIndex line = 0, fillA = 0, fillB = 0;
    Point32 last{0, 0};
    for (;;) {
      uint8_t code;
      ar >> code;
      if (code == 0) break;
      if (code & kCodeTriple) {
        uint16_t v[3];
        for (uint16_t& x : v) {
          if (code & kCodeTripleBytes) {
            uint8_t b;
            ar >> b;
            x = b;
          } else {
            ar >> x;
          }
        }
        line = map(v[0], lines);
        fillA = map(v[1], fills);
        fillB = map(v[2], fills);
      }
      int32_t dx, dy;
      DeltaRead(ar, code & 3, dx, dy);
      const Point32 start{WrapAdd(last.x, dx), WrapAdd(last.y, dy)};
      const int controlCode = (code >> 2) & 3;
      Point32 control{0, 0};
      if (controlCode != 0) {
        DeltaRead(ar, controlCode, dx, dy);
        control = {WrapAdd(start.x, dx), WrapAdd(start.y, dy)};
        if (control.x == kRectEmpty || control.y == kRectEmpty) Damaged();
      }
      DeltaRead(ar, (code >> 4) & 3, dx, dy);
      const Point32 end{WrapAdd(start.x, dx), WrapAdd(start.y, dy)};
      checkEnd(start);
      checkEnd(end);
      if (start == end) Damaged();
      QuadCurve curve;
      if (controlCode != 0) {
        CurveSet(start, control, end, curve);
      } else {
        CurveFromLine(start, end, curve);
      }
      Edge* edge;
      if (EdgeGraphNewEdge(curve, &edge) < 0) throw CMemoryException();
      edge->line = line;
      edge->a.fill = fillA;
      edge->b.fill = fillB;
      if (EdgeGraphLinkEdge(graph, edge) < 0) {
        EdgeGraphFreeEdgeRecord(edge);
        throw CMemoryException();
      }
      edge->flags &= static_cast<uint16_t>(~kEdgeTouched);
      last = end;
    }
  }
  // Regions are built anywhere at the next tidy-up; nothing is pending.
  graph.rebuild = {kRectEmpty + 1, INT32_MAX, kRectEmpty + 1, INT32_MAX};
  RectSetEmpty(graph.redraw);
  RectSetEmpty(graph.changed);
  graph.flags &= static_cast<uint16_t>(~kGraphChanging);
}
