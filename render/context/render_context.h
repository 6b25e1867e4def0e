// The render context as the drawing objects see it: the flag word, the key
// frame being drawn and the drawing operations they call. The back ends (GDI,
// bitmap, PostScript, exporters) derive from it; the model only calls through
// these virtual operations, so it builds and tests without any back end.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

class CPicObj;

class CRenderContext {
 public:
  // Flag word bits read by the drawing objects.
  static constexpr uint32_t kFlagAbortTest = 0x80;  // stop early when the user cancels printing
  static constexpr uint32_t kFlagGdiPaths = 0x1000;  // set by the constructor

  // Handle kinds and flags of DrawHandle: low nibble kind (0 none, 1 square,
  // 2 circle, 3 cross), 0x10 white fill, 0x20 hollow, 0x40 large.
  static constexpr int kHandleSquare = 1;
  static constexpr int kHandleCircle = 2;
  static constexpr int kHandleCross = 3;

  virtual ~CRenderContext() = default;

  // A hairline around a rectangle in document coordinates.
  virtual void FrameRect(const Rect32& /*rect*/) {}
  // A selection handle at a point in document coordinates.
  virtual void DrawHandle(const Point32& /*point*/, int /*flags*/) {}

  uint32_t m_flags = kFlagGdiPaths;
  // The key frame being drawn (set by the page drawing code), null otherwise.
  CPicObj* m_currentKeyFrame = nullptr;
};
