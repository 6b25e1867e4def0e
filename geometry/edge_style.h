// Fill and line styles of an edge graph.
//
// Edges refer to styles by StyleIndex: a 1-based index into the graph's fill
// or line table, 0 for none. Bit 15 marks the style as selected and is not part
// of the index. Values above kStyleLastIndex are reserved tags: they are never
// looked up and pass unchanged through every re-indexing.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

using StyleIndex = uint16_t;

constexpr StyleIndex kStyleSelected = 0x8000;   // selection mark
constexpr StyleIndex kStyleIndexMask = 0x7FFF;  // the index without the mark
constexpr StyleIndex kStyleLastIndex = 0x7FEF;  // the largest real index
constexpr StyleIndex kFillTagOutside =
    0x7FF1;  // temporary "outside" fill of the clipping operations

constexpr StyleIndex StyleIndexOf(StyleIndex s) {
  return s & kStyleIndexMask;
}
constexpr bool StyleIsSelected(StyleIndex s) {
  return (s & kStyleSelected) != 0;
}
constexpr bool StyleIsTag(StyleIndex s) {
  return StyleIndexOf(s) > kStyleLastIndex;
}

// Gradient kinds: the fill kinds of gradient fills, the same in edge styles,
// span fills and movies.
enum GradientKind : uint8_t {
  kGradientLinear = 0x10,
  kGradientRadial = 0x12,
};

// Fill kinds: bit 4 carries a gradient, bit 5 a texture.
constexpr uint8_t kFillSolid = 0;
constexpr uint8_t kFillTextureFirst = 0x20;  // 0x20..0x23: scribble, wavy hatch, cross-hatch, blobs
constexpr uint8_t kFillHasGradient = 0x10;
constexpr uint8_t kFillHasTexture = 0x20;
constexpr int kGradientMaxEntries = 8;

struct FillGradient {
  uint8_t count = 0;                         // entries in use, at most 8
  uint8_t ratios[kGradientMaxEntries] = {};  // position of each entry along the gradient, 0..255
  uint32_t colours[kGradientMaxEntries] = {};
};

struct FillTexture {
  uint32_t background = 0;  // filled first when it or the pattern kind is not 0
  int16_t params[4] = {};
};

struct FillStyle {
  uint32_t colour = 0;  // alpha in the top byte, red in the low byte
  uint8_t kind = kFillSolid;
  uint8_t texture_flags = 0;  // bit 0: classify texture pieces at the outline
  uint16_t pattern_kind = 0;  // 0 plain, 1 checkerboard, 2 and 3 highlights
  Matrix2x3 matrix;           // places a gradient or texture
  FillGradient gradient;      // kind bit 4
  FillTexture texture;        // kind bit 5 (and bit 4 clear)
};

struct LineStyle {
  uint8_t kind = 0;   // 0 plain, 1..5 styled strokes
  uint8_t flags = 0;  // bit 1 is kept with the document
  uint32_t colour = 0;
  int16_t width = 0;          // twips
  uint16_t pattern_kind = 0;  // the renderer's highlight; not compared
  int16_t params[6] = {};     // P1..P6, meaning by kind
};

// No fill: colour 0 and kind 0. No line: colour 0 or width 0.
bool FillStyleIsNone(const FillStyle& s);
bool LineStyleIsNone(const LineStyle& s);

// Kind, colour, texture flags and pattern kind; for a non-solid kind the
// matrix, then the gradient entries (kind bit 4) or the texture part (bit 5).
bool FillStyleEqual(const FillStyle& a, const FillStyle& b);
// FillStyleEqual without texture flags, pattern kind and matrix: the same
// gradient or texture definition in another placement.
bool FillRecordEqual(const FillStyle& a, const FillStyle& b);
// Kind, colour, width and flags; P1..P6 for a styled kind.
bool LineStyleEqual(const LineStyle& a, const LineStyle& b);

// Half-width of the stroke in twips, by which an edge's bounds grow.
int32_t LineStyleOutset(const LineStyle& s);
