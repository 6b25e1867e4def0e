#include "movie/player/player_render.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

#include "movie/movie_format.h"
#include "movie/player/movie_stream.h"
#include "render/raster/dib.h"

static_assert(std::is_standard_layout_v<PlayerFill> && offsetof(PlayerFill, fill) == 0,
              "a span fill of an item's chain is the first member of its PlayerFill");

namespace {

PlayerFill* PlayerFillOf(CSpanFill* f) {
  return reinterpret_cast<PlayerFill*>(f);
}

Point32 Midpoint(const Point32& a, const Point32& b) {
  return {static_cast<int32_t>((int64_t{a.x} + b.x) >> 1),
          static_cast<int32_t>((int64_t{a.y} + b.y) >> 1)};
}

QuadCurve LineCurve(const Point32& a, const Point32& b) {
  QuadCurve c;
  c.p0 = a;
  c.p2 = b;
  c.control = Midpoint(a, b);
  c.straight = 1;
  return c;
}

Point32 Add(const Point32& a, const Point32& b) {
  return {WrapAdd(a.x, b.x), WrapAdd(a.y, b.y)};
}

// The colour of a solid fill (Init leaves a record solid).
void SetSolid(CSpanFill& f, uint32_t packed) {
  f.colour = packed;
  f.red = packed & 0xFF;
  f.green = (packed >> 8) & 0xFF;
  f.blue = (packed >> 16) & 0xFF;
}

constexpr uint32_t kMissingBitmapColour = 0xFF0000FF;  // red

// Movie units through the item's matrix to device pixels (the combined
// matrix reaches quarter pixels when anti-aliased).
Matrix2x3 ToDevicePixels(const Matrix2x3& combined, bool antiAlias) {
  if (!antiAlias) return combined;
  Matrix2x3 quarter, out;
  quarter.a = quarter.d = kFixedOne / 4;
  MatrixConcat(combined, quarter, out);
  return out;
}

}  // namespace

void SetSolidFill(CSpanFill& f, uint32_t packed, uint32_t orderKey) {
  SetSolid(f, packed);
  f.priority = orderKey;
}

// ---- Edges ------------------------------------------------------------------------

void EdgeSink::Add(const QuadCurve& c, CSpanFill* fillA, CSpanFill* fillB, ScanEdgeKind rule,
                   int depth) {
  if (exhausted_) return;
  QuadCurve e = c;
  if (e.straight) e.control = Midpoint(e.p0, e.p2);
  const int32_t ylo = std::min({e.p0.y, e.p2.y, e.control.y});
  const int32_t yhi = std::max({e.p0.y, e.p2.y, e.control.y});
  // Pieces wholly above or below the bitmap never show.
  if (yhi < top_ || ylo > bottom_) return;

  const int32_t yEndLo = std::min(e.p0.y, e.p2.y), yEndHi = std::max(e.p0.y, e.p2.y);
  if (!e.straight && (e.control.y < yEndLo || e.control.y > yEndHi)) {
    const int64_t outside =
        e.control.y < yEndLo ? int64_t{yEndLo} - e.control.y : int64_t{e.control.y} - yEndHi;
    if (outside < 3) {
      e.control.y = e.control.y < yEndLo ? yEndLo : yEndHi;
    } else {
      // Split at the vertical extremum, t = (y0 - yc) / (y0 + y2 - 2 yc).
      if (depth >= kMaxEdgeSplitDepth) return;
      const int64_t num = int64_t{e.p0.y} - e.control.y;
      const int64_t den = int64_t{e.p0.y} + e.p2.y - 2 * int64_t{e.control.y};
      const Fixed t = static_cast<Fixed>(std::clamp<int64_t>(num * 65536 / den, 0, kFixedOne));
      QuadCurve a, b;
      CurveSplit(e, t, a, b);
      Add(a, fillA, fillB, rule, depth + 1);
      Add(b, fillA, fillB, rule, depth + 1);
      return;
    }
  }
  if (int64_t{yEndHi} - yEndLo > kMaxEdgeHeight) {
    if (depth >= kMaxEdgeSplitDepth) return;
    QuadCurve a, b;
    CurveSplitHalf(e, a, b);
    if (e.straight) {
      a.straight = b.straight = 1;
      a.control = Midpoint(a.p0, a.p2);
      b.control = Midpoint(b.p0, b.p2);
    }
    Add(a, fillA, fillB, rule, depth + 1);
    Add(b, fillA, fillB, rule, depth + 1);
    return;
  }
  if (e.p0.y == e.p2.y) return;  // horizontal
  int8_t direction = 1;
  if (e.p2.y < e.p0.y) {
    std::swap(e.p0, e.p2);
    direction = -1;
  }
  CScanEdge* edge = list_.NewEdge();
  if (!edge) {
    exhausted_ = true;
    return;
  }
  edge->curve = e;
  edge->fillA = fillA;
  edge->fillB = fillB;
  edge->kind = rule;
  edge->direction = direction;
  edge->next = *chain_;
  *chain_ = edge;
}

// ---- Strokes ------------------------------------------------------------------------

void Stroker::SetLineStyle(int32_t width, CSpanFill* fill) {
  fill_ = fill;
  outline_.Begin(std::max(width, anti_alias_ ? 4 : 1), anti_alias_);
}

void Stroker::AddOutlineEdge(const QuadCurve& c) {
  sink_.Add(c, fill_, nullptr, kEdgeAddWinding);
}

// ---- Shape steps ------------------------------------------------------------------

CSpanFill* ShapeDecoder::FillAt(uint32_t index) const {
  return index >= 1 && index <= static_cast<uint32_t>(fill_count_) ? fills_[index - 1] : nullptr;
}

void ShapeDecoder::AddFillEdge(const QuadCurve& c) {
  sink_.Add(c, fill_a_, fill_b_, rule_);
  NoteOutlineEnds(c);
}

void ShapeDecoder::NoteOutlineEnds(const QuadCurve& c) {
  if (ends_lost_) return;
  const bool winding = rule_ == kEdgeAddWinding;
  try {
    for (CSpanFill* f : {fill_a_, rule_ == kEdgeToggleTwoFills ? fill_b_ : nullptr}) {
      if (!f) continue;
      ends_.push_back({f, c.p0, -1, winding});
      ends_.push_back({f, c.p2, 1, winding});
    }
  } catch (const std::bad_alloc&) {
    ends_lost_ = true;
  }
}

// A fill's outline is closed when every point is an end of an even number of
// its edges (toggling rules), or is arrived at as often as left (winding).
// Then each row of the fill ends off; an open outline would leave the fill on
// into the rows below, so that what shows would depend on the row a repaint
// starts at. Open ends are joined by straight edges: toggling ends in pairs,
// in the order of their points, and under winding each surplus arrival to a
// surplus departure. Closed outlines, all the writer makes, get nothing.
void ShapeDecoder::CloseOpenOutlines() {
  std::vector<OutlineEnd> ends;
  ends.swap(ends_);
  if (ends_lost_ || ends.empty()) return;
  auto same = [](const OutlineEnd& a, const OutlineEnd& b) {
    return a.winding == b.winding && a.fill == b.fill;
  };
  std::sort(ends.begin(), ends.end(), [&](const OutlineEnd& a, const OutlineEnd& b) {
    if (!same(a, b))
      return a.winding != b.winding ? a.winding < b.winding : std::less<>()(a.fill, b.fill);
    return a.point.x != b.point.x ? a.point.x < b.point.x : a.point.y < b.point.y;
  });
  try {
    std::vector<Point32> arrivals, departures;  // toggling: the odd ends in arrivals
    for (size_t i = 0; i < ends.size();) {
      const OutlineEnd& first = ends[i];
      arrivals.clear();
      departures.clear();
      size_t j = i;
      while (j < ends.size() && same(ends[j], first)) {
        const Point32 p = ends[j].point;
        int64_t sum = 0;
        for (; j < ends.size() && same(ends[j], first) && ends[j].point == p; ++j)
          sum += ends[j].weight;
        if (!first.winding) {
          if (sum & 1) arrivals.push_back(p);
          continue;
        }
        for (; sum > 0; --sum) arrivals.push_back(p);
        for (; sum < 0; ++sum) departures.push_back(p);
      }
      if (first.winding) {
        for (size_t k = 0; k < arrivals.size() && k < departures.size(); ++k)
          sink_.Add(LineCurve(arrivals[k], departures[k]), first.fill, nullptr, kEdgeAddWinding);
      } else {
        for (size_t k = 0; k + 1 < arrivals.size(); k += 2)
          sink_.Add(LineCurve(arrivals[k], arrivals[k + 1]), first.fill, nullptr,
                    kEdgeToggleOneFill);
      }
      i = j;
    }
  } catch (const std::bad_alloc&) {
    // Without memory for the lists the outlines stay as read.
  }
}

void ShapeDecoder::DecodeEdges(FillRule rule) {
  CTagReader& in = in_;
  in.Align();
  const int fillBits = static_cast<int>(in.GetBits(kStepIndexWidthBits));
  const int lineBits = static_cast<int>(in.GetBits(kStepIndexWidthBits));
  Point32 pen{0, 0};  // twips
  uint32_t fill0 = 0, fill1 = 0;
  fill_a_ = fill_b_ = nullptr;
  filling_ = stroking_ = false;
  for (;;) {
    if (in.overrun || sink_.Exhausted() || --*budget_ < 0) break;
    if (in.GetBits(1) == 0) {
      const uint32_t flags = in.GetBits(kStepFlagBits);
      if (flags == 0) break;  // the end step
      const bool moved = (flags & kStepMoveTo) != 0;
      if (moved) {
        const int n = static_cast<int>(in.GetBits(kStepCoordWidthBits));
        pen.x = in.GetSBits(n);
        pen.y = in.GetSBits(n);
      }
      if (flags & kStepFill0) fill0 = in.GetBits(fillBits);
      if (flags & kStepFill1) fill1 = in.GetBits(fillBits);
      uint32_t line = 0;
      if (flags & kStepLine) line = in.GetBits(lineBits);
      if (in.overrun) break;
      if (flags & (kStepFill0 | kStepFill1)) {
        fill_a_ = FillAt(fill0);
        fill_b_ = FillAt(fill1);
        if (!fill_a_ && fill_b_) std::swap(fill_a_, fill_b_);
        rule_ = EdgeKindOf(fill_a_ && fill_b_ ? FillRule::kTwoSided : rule);
        filling_ = fill_a_ != nullptr;
      }
      if (moved || (flags & kStepLine)) {
        // Every sub-path gets its own caps.
        if (stroking_) stroker_.Finish();
        if (flags & kStepLine) {
          const bool known =
              line >= 1 && line <= static_cast<uint32_t>(line_count_) && lines_[line - 1].fill;
          stroking_ = known;
          if (known) stroker_.SetLineStyle(lines_[line - 1].width, lines_[line - 1].fill);
        }
      }
      continue;
    }
    // An edge.
    Point32 control, end;
    bool straight = in.GetBits(1) != 0;
    const int n = static_cast<int>(in.GetBits(kStepDeltaWidthBits)) + 2;
    if (straight) {
      Point32 d{0, 0};
      if (in.GetBits(1)) {
        d.x = in.GetSBits(n);
        d.y = in.GetSBits(n);
      } else if (in.GetBits(1)) {
        d.y = in.GetSBits(n);
      } else {
        d.x = in.GetSBits(n);
      }
      end = Add(pen, d);
    } else {
      const Point32 dc{in.GetSBits(n), in.GetSBits(n)};
      const Point32 da{in.GetSBits(n), in.GetSBits(n)};
      control = Add(pen, dc);
      end = Add(control, da);
    }
    if (in.overrun) break;
    QuadCurve c;
    MatrixTransformPoint(matrix_, pen, c.p0);
    MatrixTransformPoint(matrix_, end, c.p2);
    if (straight) {
      c.control = Midpoint(c.p0, c.p2);
      c.straight = 1;
    } else {
      MatrixTransformPoint(matrix_, control, c.control);
    }
    if (filling_) AddFillEdge(c);
    if (stroking_) stroker_.AddCurve(c);
    pen = end;
  }
  if (stroking_) stroker_.Finish();
  stroking_ = false;
  CloseOpenOutlines();
}

// ---- Items --------------------------------------------------------------------------

namespace {

// One fill style record as stored.
struct FillRecord {
  uint8_t kind = 0;
  Matrix2x3 matrix;
  uint8_t ratios[kMovieGradientMaxEntries] = {};
  uint32_t colours[kMovieGradientMaxEntries] = {};
  int kept = 0;  // gradient entries kept (the rest are read and dropped)
  uint16_t bitmap_id = 0;
  uint32_t colour = 0;
};

void ReadFillRecord(CTagReader& in, FillRecord& r) {
  r.kind = in.GetByte();
  if (r.kind & kFillHasGradient) {
    in.ReadMatrix(r.matrix);
    const int count = in.GetByte();
    r.kept = 0;
    for (int k = 0; k < count; ++k) {
      const uint8_t ratio = in.GetByte();
      const uint32_t colour = in.GetPackedColor();
      if (r.kept < kMovieGradientMaxEntries) r.ratios[r.kept] = ratio, r.colours[r.kept++] = colour;
    }
  } else if (r.kind & kMovieFillBitmapBit) {
    r.bitmap_id = in.GetWord();
    in.ReadMatrix(r.matrix);
  } else {
    r.colour = in.GetPackedColor();
  }
}

// Reads a shape's style table into span fills of the item (order keys
// depth << 16 | style number, fills from 1, lines after them). A style whose
// record cannot be had stays empty; its bytes are still read, so the steps
// are found.
int ReadShapeStyles(DisplayItem& item, CTagReader& in, CSpanFill* fills[255],
                    ShapeDecoder::Line lines[255], int& lineCount) {
  CDisplayList& list = *item.owner;
  const bool antiAlias = list.AntiAlias();
  const uint32_t base = uint32_t{item.Depth()} << 16;
  auto newFill = [&](uint32_t number) -> CSpanFill* {
    PlayerFill* f = list.NewFill();
    if (!f) return nullptr;
    f->fill.priority = base | number;
    f->next = item.fills;
    item.fills = f;
    return &f->fill;
  };
  const int fillCount = in.GetByte();
  for (int i = 0; i < fillCount; ++i) {
    CSpanFill* f = newFill(static_cast<uint32_t>(i + 1));
    fills[i] = f;
    FillRecord r;
    ReadFillRecord(in, r);
    if (!f) continue;
    if (r.kind & kFillHasGradient) {
      if (r.kept > 0) SetSolid(*f, r.colours[0]);
      f->SetGradient(r.kind == kGradientRadial ? kGradientRadial : kGradientLinear, r.matrix,
                     r.ratios, r.colours, r.kept, ToDevicePixels(item.combined, antiAlias));
    } else if (r.kind & kMovieFillBitmapBit) {
      const MovieCharacter* b = item.character->stream->FindCharacter(r.bitmap_id);
      if (b && b->type == kCharacterBitmap && b->bitmap) {
        // Bitmap pixels to shape coordinates, then to device units.
        Matrix2x3 toDevice;
        MatrixConcat(r.matrix, item.combined, toDevice);
        f->SetBitmap(*b->bitmap, toDevice, antiAlias ? 1 : 0);
      } else {
        SetSolid(*f, kMissingBitmapColour);
      }
    } else {
      SetSolid(*f, r.colour);
    }
  }
  lineCount = in.GetByte();
  for (int j = 0; j < lineCount; ++j) {
    const uint16_t width = in.GetWord();
    const uint32_t colour = in.GetPackedColor();
    CSpanFill* f = newFill(static_cast<uint32_t>(fillCount + j + 1));
    if (f) SetSolid(*f, colour);
    lines[j].fill = f;
    lines[j].width = MatrixScaleLength(item.combined, width);
  }
  return fillCount;
}

// Decodes glyph `index` of a glyph set through a matrix, filled with `fill`.
void DecodeGlyph(const MovieCharacter& font, uint32_t index, const Matrix2x3& m, CSpanFill* fill,
                 EdgeSink& sink, bool antiAlias, int32_t* budget) {
  CTagReader table = font.Reader();
  // The first offset is the table's own size: two bytes a glyph.
  const uint32_t count = table.GetWord() / 2u;
  if (table.overrun || index >= count) return;
  table.pos = font.body_offset + 2 * index;
  const uint32_t offset = table.GetWord();
  if (table.overrun) return;
  const uint64_t start = uint64_t{font.body_offset} + offset;
  if (start >= font.body_end) return;
  CTagReader steps(table.data, static_cast<uint32_t>(start), font.body_end);
  ShapeDecoder decoder(sink, steps, m, antiAlias, budget);
  CSpanFill* fills[1] = {fill};
  decoder.SetStyles(fills, 1, nullptr, 0);
  decoder.DecodeEdges(FillRule::kNonZero);
}

void BuildText(DisplayItem& item, EdgeSink& sink, bool antiAlias, int32_t* budget) {
  CDisplayList& list = *item.owner;
  CMovieStream& stream = *item.character->stream;
  CTagReader in = item.character->Reader();
  Matrix2x3 textMatrix, toBitmap;
  in.ReadMatrix(textMatrix);
  MatrixConcat(textMatrix, item.combined, toBitmap);
  const int glyphBits = in.GetByte();
  const int advanceBits = in.GetByte();
  const MovieCharacter* font = nullptr;
  uint32_t colour = 0xFF000000;  // black
  CSpanFill* fill = nullptr;
  uint32_t fillNumber = 0;
  int32_t x = 0, y = 0;
  uint16_t height = 0;
  while (!in.overrun && *budget > 0 && !sink.Exhausted()) {
    const uint8_t flags = in.GetByte();
    if (flags == 0 || in.overrun) break;
    uint16_t fontId = 0;
    if (flags & kRunHasFont) fontId = in.GetWord();
    if (flags & kRunHasColor) {
      const uint32_t c = in.GetPackedColor();
      if (c != colour) fill = nullptr;  // a new colour gets its own fill
      colour = c;
    }
    if (flags & kRunHasX) x = static_cast<int16_t>(in.GetWord());
    if (flags & kRunHasY) y = static_cast<int16_t>(in.GetWord());
    if (flags & kRunHasFont) {
      height = in.GetWord();
      const MovieCharacter* f = stream.FindCharacter(fontId);
      font = f && f->type == kCharacterFont ? f : nullptr;
    }
    const int count = in.GetByte();
    in.Align();
    for (int g = 0; g < count && !in.overrun; ++g) {
      const uint32_t index = in.GetBits(glyphBits);
      const int32_t advance = in.GetSBits(advanceBits);
      if (in.overrun) break;
      if (font && *budget > 0) {
        if (!fill) {
          if (PlayerFill* f = list.NewFill()) {
            SetSolidFill(f->fill, colour, uint32_t{item.Depth()} << 16 | fillNumber++);
            f->next = item.fills;
            item.fills = f;
            fill = &f->fill;
          }
        }
        if (fill) {
          // Glyphs are designed on a 1024-unit square.
          Matrix2x3 run;
          run.a = run.d = static_cast<Fixed>(uint32_t{height} * (kFixedOne / kGlyphOutlineHeight));
          run.tx = x;
          run.ty = y;
          Matrix2x3 m;
          MatrixConcat(run, toBitmap, m);
          DecodeGlyph(*font, index, m, fill, sink, antiAlias, budget);
        }
      }
      x = WrapAdd(x, advance);
    }
    in.Align();
  }
}

}  // namespace

uint16_t ShapeWidestLine(CTagReader in) {
  const int fillCount = in.GetByte();
  for (int i = 0; i < fillCount && !in.overrun; ++i) {
    FillRecord r;
    ReadFillRecord(in, r);
  }
  const int lineCount = in.GetByte();
  uint16_t widest = 0;
  for (int j = 0; j < lineCount; ++j) {
    const uint16_t width = in.GetWord();
    in.GetPackedColor();
    if (in.overrun) return 0;
    widest = std::max(widest, width);
  }
  return widest;
}

void DisplayItem::BuildRenderData() {
  if (built || !character || character->stream->Error() != 0) return;
  built = 1;
  const uint16_t type = character->type;
  if (type != kCharacterShape && type != kCharacterText) return;
  EdgeSink sink(*owner, &edges);
  const bool antiAlias = owner->AntiAlias();
  int32_t budget = kMaxItemSteps;
  if (type == kCharacterText) {
    BuildText(*this, sink, antiAlias, &budget);
    return;
  }
  CTagReader in = character->Reader();
  CSpanFill* fills[255] = {};
  ShapeDecoder::Line lines[255];
  int lineCount = 0;
  const int fillCount = ReadShapeStyles(*this, in, fills, lines, lineCount);
  if (in.overrun) return;
  ShapeDecoder decoder(sink, in, combined, antiAlias, &budget);
  decoder.SetStyles(fills, fillCount, lines, lineCount);
  decoder.DecodeEdges(FillRule::kEvenOdd);
}

void DisplayItem::FreeRenderData() {
  while (CScanEdge* e = edges) {
    edges = e->next;
    owner->FreeEdge(e);
  }
  while (PlayerFill* f = fills) {
    fills = f->next;
    owner->FreeFill(f);
  }
  built = 0;
}

bool DisplayItem::HitTest(const Point32& p) {
  if (!RectContainsPoint(bounds, p)) return false;
  BuildRenderData();
  for (CScanEdge* e = edges; e; e = e->next) {
    if (p.y < e->curve.p0.y || p.y >= e->curve.p2.y) continue;
    if ((CurveRayCrossings(e->curve, p, 0) & 1) == 0) continue;
    PlayerFill* a = e->fillA ? PlayerFillOf(e->fillA) : nullptr;
    PlayerFill* b = e->fillB ? PlayerFillOf(e->fillB) : nullptr;
    switch (e->kind) {
      case kEdgeToggleTwoFills:
        if (a) a->hits ^= 1;
        if (b) b->hits ^= 1;
        break;
      case kEdgeToggleOneFill:
        if (a) a->hits ^= 1;
        break;
      case kEdgeAddWinding:
        if (a) a->hits += e->direction;
        break;
      default:
        break;
    }
  }
  bool inside = false;
  for (PlayerFill* f = fills; f; f = f->next) {
    if (f->hits != 0) inside = true;
    f->hits = 0;
  }
  return inside;
}
