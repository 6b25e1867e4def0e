// The player's rendering of one display item: shape and glyph records of the
// movie become chains of monotone quadratic edges with span fills, in bitmap
// coordinates, for the scan converter; lines become filled outlines.
//
// Decoding is bounded by the character's record and by a step budget; edges
// come from the display list's capped pools, so a hostile record costs at
// most a bounded amount of memory and time.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/curve.h"
#include "geometry/fill_rule.h"
#include "geometry/fixed.h"
#include "movie/player/display_list.h"
#include "movie/player/tag_reader.h"
#include "render/raster/stroke_outline.h"

// Steps one item may decode (shape steps and glyph steps together).
constexpr int32_t kMaxItemSteps = 1 << 22;
// Splitting of edges for the scan converter goes at most this deep.
constexpr int kMaxEdgeSplitDepth = 16;
// Edges are cut to at most this height (bitmap units).
constexpr int32_t kMaxEdgeHeight = 256;

// Makes an initialised span fill a solid colour (packed 0xFF000000 | blue << 16
// | green << 8 | red) with an order key: a higher key covers a lower one.
void SetSolidFill(CSpanFill& f, uint32_t packed, uint32_t orderKey);

// The widest line style of a shape's style table (twips), read from the
// start of the shape's data; 0 when it has none or the table is cut short.
uint16_t ShapeWidestLine(CTagReader in);

// The item's edge chain under construction.
class EdgeSink {
 public:
  EdgeSink(CDisplayList& list, CScanEdge** chain)
      : list_(list), chain_(chain), top_(list.BandTop()), bottom_(list.BandBottom()) {}
  // Adds a curve as edges: oriented downwards, made monotone in y, cut to
  // kMaxEdgeHeight; horizontal pieces and pieces wholly above or below the
  // bitmap are dropped.
  void Add(const QuadCurve& c, CSpanFill* fillA, CSpanFill* fillB, ScanEdgeKind rule,
           int depth = 0);
  bool Exhausted() const { return exhausted_; }

 private:
  CDisplayList& list_;
  CScanEdge** chain_;
  int32_t top_;
  int32_t bottom_;
  bool exhausted_ = false;
};

// Outlines one stroked path into a filled band (winding rule) through the
// raster core's stroke outline.
class Stroker final : public StrokeOutline::Sink {
 public:
  Stroker(EdgeSink& sink, bool antiAlias) : sink_(sink), anti_alias_(antiAlias) {}
  // Width in bitmap units; starts an empty path.
  void SetLineStyle(int32_t width, CSpanFill* fill);
  void AddCurve(const QuadCurve& c) { outline_.AddCurve(c); }
  // Ends the path: joins a closed one, caps an open one (a path without a
  // segment draws nothing).
  void Finish() { static_cast<void>(outline_.Finish()); }
  bool Wide() const { return outline_.Wide(); }
  int32_t Width() const { return outline_.Width(); }

 private:
  void AddOutlineEdge(const QuadCurve& c) override;

  EdgeSink& sink_;
  bool anti_alias_;
  CSpanFill* fill_ = nullptr;
  StrokeOutline outline_{*this};
};

// Decodes the steps of one shape record (or one glyph) through a matrix.
class ShapeDecoder {
 public:
  struct Line {
    int32_t width = 0;
    CSpanFill* fill = nullptr;
  };

  ShapeDecoder(EdgeSink& sink, CTagReader& in, const Matrix2x3& matrix, bool antiAlias,
               int32_t* budget)
      : sink_(sink), in_(in), matrix_(matrix), stroker_(sink, antiAlias), budget_(budget) {}
  // The style tables (fills numbered from 1, lines after them).
  void SetStyles(CSpanFill* const* fills, int fillCount, const Line* lines, int lineCount) {
    fills_ = fills, fill_count_ = fillCount, lines_ = lines, line_count_ = lineCount;
  }
  // Shapes count even-odd, glyphs non-zero.
  void DecodeEdges(FillRule rule);
  void AddFillEdge(const QuadCurve& c);

 private:
  // An end of a fill edge read, for each fill the edge bounds.
  struct OutlineEnd {
    CSpanFill* fill;
    Point32 point;
    int32_t weight;  // +1 where the edge arrives, -1 where it leaves
    bool winding;    // under the winding rule (else a toggling one)
  };

  CSpanFill* FillAt(uint32_t index) const;
  void NoteOutlineEnds(const QuadCurve& c);
  void CloseOpenOutlines();

  EdgeSink& sink_;
  CTagReader& in_;
  Matrix2x3 matrix_;
  Stroker stroker_;
  int32_t* budget_;
  CSpanFill* const* fills_ = nullptr;
  int fill_count_ = 0;
  const Line* lines_ = nullptr;
  int line_count_ = 0;
  CSpanFill* fill_a_ = nullptr;
  CSpanFill* fill_b_ = nullptr;
  ScanEdgeKind rule_ = kEdgeToggleOneFill;
  bool filling_ = false;
  bool stroking_ = false;
  std::vector<OutlineEnd> ends_;
  bool ends_lost_ = false;  // no memory to note them: outlines stay as read
};
