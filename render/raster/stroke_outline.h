// The outline of a stroked path: the band a line of some width covers, as
// edges for the scan converter's winding rule. The editor's stroke input and
// the player's line records both stroke through it.
//
// Wide strokes (more than 3 device units) offset each curve by half the width
// along its end normals (tight bends split first), join segments round and
// cap open ends round; anti-aliased axis-aligned lines of 1, 2 or 3 pixels
// land on the pixel grid. Thin strokes are the band between two copies of
// each piece (split until monotone and turning within one axis), shifted by
// whole units across its major axis, joined and capped straight.
#pragma once

#include <cstdint>

#include "geometry/curve.h"
#include "geometry/fixed.h"

class StrokeOutline {
 public:
  // Receives the outline's edges.
  class Sink {
   public:
    virtual void AddOutlineEdge(const QuadCurve& c) = 0;

   protected:
    ~Sink() = default;
  };

  explicit StrokeOutline(Sink& sink) : sink_(sink) {}
  StrokeOutline(const StrokeOutline&) = delete;
  StrokeOutline& operator=(const StrokeOutline&) = delete;

  // Starts a path of this width (device units, at least 1); anti-aliased
  // output has 4 units to the pixel.
  void Begin(int32_t width, bool anti_alias);
  // Adds one curve of the path; a curve that is a single point adds nothing.
  void AddCurve(const QuadCurve& c);
  // Ends the path: joins a closed one, caps an open one. False when the path
  // had no segment (nothing was added).
  bool Finish();
  // An arc of radius width / 2 around the centre from `from` down to `to`
  // (at most 16 chords) when the stroke is wide, else a straight edge.
  void AddRoundJoin(const Point32& from, const Point32& to, const Point32& centre);
  void AddLine(const Point32& from, const Point32& to);

  bool Wide() const { return wide_; }
  int32_t Width() const { return width_; }

 private:
  void AddWide(const QuadCurve& c, int depth);
  void AddThin(const QuadCurve& c, int depth);
  // Records a segment's corners (plus side at the left of travel, minus at
  // the right): joins it to the previous one or keeps it as the path's start.
  void AddSegmentEnds(const Point32& plus0, const Point32& p0, const Point32& minus0,
                      const Point32& plus1, const Point32& p1, const Point32& minus1);

  Sink& sink_;
  int32_t width_ = 1;
  bool wide_ = false;
  bool anti_alias_ = false;
  bool have_segment_ = false;
  // The path's start and the last segment's end: plus side, point, minus side.
  Point32 start_plus_, start_, start_minus_;
  Point32 end_plus_, end_, end_minus_;
};
