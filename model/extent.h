// Change areas, bounds queries and hit probes of the drawing objects.
//
// Frame numbers are signed 32-bit; 16000 means "never" in change queries and
// ends the full span 0..16000; query windows default to -16000..16000.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

constexpr int32_t kFrameNever = 16000;
constexpr int32_t kFrameWindowFirst = -16000;
constexpr int32_t kFrameWindowLast = 16000;

struct CExtentQuery;

// The area, over a span of frames, that must be redrawn; also carries the
// kinds of change (bits OR-ed together) that views react to.
struct CExtent {
  Rect32 rect;  // empty when xmin is 0x80000000
  int32_t firstFrame = 0;
  int32_t lastFrame = 0;
  int16_t changeBits = 0;
  int16_t empty = 1;  // 1 = no span recorded yet

  // Empty rectangle, span 0..0, no bits, no span recorded.
  void Reset();
  // Unions a non-empty rectangle and sets the span to 0..16000.
  void SetRect(const Rect32& r);
  // Sets the span to a..b the first time, widens it afterwards.
  void AddFrameSpan(int32_t a, int32_t b);
  // A non-empty rectangle over a..b: widens the span, unions the rectangle.
  void AddRectSpan(const Rect32& r, int32_t a, int32_t b);
  // The rectangle and found span of a bounds query.
  void AddQuery(const CExtentQuery& q);
  // Another change area: its span (when recorded), its rectangle, its bits.
  void Add(const CExtent& other);

  // Nothing recorded: neither an area nor a span.
  bool IsEmpty() const { return rect.IsEmpty() && empty != 0; }
};

// Accumulates bounds within a window of frames.
struct CExtentQuery {
  Rect32 rect;
  int32_t foundFirst = 0;
  int32_t foundLast = 0;
  uint32_t full = 1;  // 1 = visual bounds (line widths, centre points), 0 = exact geometry
  int32_t windowFirst = kFrameWindowFirst;
  int32_t windowLast = kFrameWindowLast;

  // Empty rectangle, found span 0..0, full 1, window -16000..16000.
  void Init();
  // A non-empty rectangle present over the whole window.
  void AddRect(const Rect32& r);
  // A rectangle present over frames a..b (clipped to the window; nothing when
  // no frame of the window is left).
  void AddRectSpan(const Rect32& r, int32_t a, int32_t b);
  void AddExtent(const CExtent& e);
  // Moves the window and the found span by d frames (descending into a key
  // frame that starts at frame d).
  void ShiftFrames(int32_t d);
};

// A hit probe.
struct CHitTest {
  Point32 point;
  int32_t distance1 = 0;  // tolerance distances
  int32_t distance2 = 0;
  int32_t user[3] = {0, 0, 0};  // the caller's own words
  int32_t frame = 0;

  // Maps the probe into an object's own coordinates: the point through the
  // inverse of the object's matrix, both distances scaled by that inverse.
  void MapToObject(const Matrix2x3& m);
};
