// Fill records of the scan converter: one fill style prepared for drawing.
//
// A record carries what the row loop needs (priority, clip id, inside state,
// the span callback) and what the pixel writers need: a solid colour (drawn
// plain or as a two-colour 4 x 4 pattern), a bitmap with its placement, or a
// linear or radial gradient with its 257-entry colour ramp. Prepare builds
// these for the converter's current target format.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "geometry/edge_style.h"
#include "geometry/fixed.h"
#include "render/raster/palette.h"

class CScanConverter;
class CDib;
struct CSpanFill;

// Writes columns [x0, x1) of the converter's current row with the fill
// (columns before the converter's x offset is added).
using SpanProc = void (*)(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);

enum SpanFillKind : int32_t {
  kSpanSolid = 0,
  kSpanBitmap = 1,
  kSpanGradient = 2,
};

constexpr int kRampPoints = 8;     // colours of a gradient ramp
constexpr int kRampEntries = 257;  // entries of a prepared ramp table

// Priority keys: the object id above 18 bits of pattern kind and colour. The
// key is 64 bits wide, so an id never runs into the bits above it and later
// objects always stack above earlier ones, however many a batch holds.
constexpr int kPriorityIdShift = 18;
uint64_t SolidPriority(uint32_t id, uint32_t patternKind, int32_t red, int32_t green, int32_t blue);

struct CSpanFill {
  CScanConverter* owner = nullptr;
  CSpanFill* hashNext = nullptr;  // next record in the same hash bucket
  int32_t reserved = 0;
  CSpanFill* listNext = nullptr;  // next record of the converter's list of all fills

  uint32_t id = 0;                  // the converter's object id when the record was made
  uint64_t priority = 0;            // the greatest inside fill is drawn
  int32_t clipId = 0;               // 0 = none
  int32_t inside = 0;               // inside flag, or winding count for winding edges
  CSpanFill* insideNext = nullptr;  // link of the converter's inside list
  int32_t onInsideList = 0;

  int32_t kind = kSpanSolid;
  int32_t prepared = 0;
  SpanProc spanProc = nullptr;

  uint32_t colour = 0;  // the fill style's colour word, kept for matching
  int32_t red = 0;
  int32_t green = 0;
  int32_t blue = 0;
  uint32_t patternKind = 0;  // 0 plain, 1 checker with white, 2 and 3 highlights

  // Solid fills: one 4-pixel row per row phase, in the target's pixel format
  // (packed formats: the row's 32-bit word).
  std::array<std::array<uint8_t, 16>, 4> patternRows{};
  uint32_t plainPattern = 0;  // nonzero: all 16 pixels of the pattern are alike

  // Bitmap fills: the image and bitmap pixels to device pixels and back.
  const CDib* dib = nullptr;
  Matrix2x3 bitmapMatrix;
  Matrix2x3 bitmapInverse;    // its linear part; the translation is below
  int64_t bitmapOriginX = 0;  // where device pixel (0, 0) falls in the image (16.16)
  int64_t bitmapOriginY = 0;

  // Gradient fills: type, gradient space to device and back (device pixels
  // and gradient space both with 8 fraction bits), the ramp points and the
  // prepared ramp (red in the low byte).
  GradientKind gradientType = kGradientLinear;
  Matrix2x3 gradientMatrix;
  Matrix2x3 gradientInverse;
  uint8_t rampCount = 0;
  std::array<uint8_t, kRampPoints> rampPos{};
  std::array<uint32_t, kRampPoints> rampColour{};
  // The ramp, made when a row first draws the fill (null until then, and
  // when memory was refused), and the row that drew it last.
  mutable uint32_t* ramp = nullptr;
  mutable int32_t rampRow = 0;

  // Binds the record to a converter and clears links, kind, clip id and state.
  void Init(CScanConverter* converter);
  // Makes the record a bitmap fill: `imageToDevice` maps image pixels to
  // device units (quarter pixels when anti-aliased).
  void SetBitmap(const CDib& image, const Matrix2x3& imageToDevice, uint32_t antiAlias);
  // Makes the record a gradient of the kind with up to
  // kRampPoints points: `placement` maps gradient space to the drawing's
  // coordinates, `toPixels` those to device pixels.
  void SetGradient(GradientKind type, const Matrix2x3& placement, const uint8_t* positions,
                   const uint32_t* colours, int count, const Matrix2x3& toPixels);
  // Chooses the span callback and builds the record's tables, once.
  void Prepare();
  // A prepared gradient's ramp for drawing `row`, made now if it is not yet
  // (null when memory was refused).
  const uint32_t* Ramp(int32_t row) const {
    if (!ramp) TakeRamp(row);
    rampRow = row;
    return ramp;
  }
  // Makes the ramp in a block of the converter's ring (see RampBlock).
  void TakeRamp(int32_t row) const;
  // Releases the record's tables.
  void Free();
};

// A block of a converter's ring of gradient ramps. A frame may hold
// thousands of gradients but the rows draw only a few hundred at a time: a
// fill takes a block when a row first draws it, from a fill that the last
// rows have not drawn (such a fill makes a new ramp should it draw again), so
// that the ramps in use stay few and in the cache. The ring keeps its blocks
// for the converter's next batches.
struct RampBlock {
  const CSpanFill* owner;  // null: free
  RampBlock* next;
  uint32_t colours[kRampEntries];
};

// The 257 colours of a ramp (red in the low byte). Stops at equal positions
// switch colour there.
void BuildGradientRamp(const uint8_t* positions, const uint32_t* colours, int count,
                       uint32_t ramp[kRampEntries]);

// Gradient indices (0..256) of a row of pixels, from the start position and
// the per-pixel step, both in gradient space. The radial index is tracked
// incrementally with a table of squares, as the span writer draws it.
void LinearGradientIndices(int32_t x, int32_t stepX, int32_t count, uint16_t* out);
// The index of one pixel at linear gradient position x.
inline uint32_t LinearGradientIndex(int64_t x) {
  if (x >= 0x408000) return 256;
  if (x < -0x400000) return 0;
  return static_cast<uint32_t>((x >> 15) + 128);
}
// The index of one pixel at radial gradient position (x, y): from the length
// of the position, as a row's first pixel takes it.
uint32_t RadialGradientIndex(int32_t x, int32_t y);
struct RadialGradientWalk {
  int32_t x = 0, y = 0;    // position of the pixel last given
  int32_t sx = 0, sy = 0;  // step per pixel
  int32_t h = 0;           // its index
  int32_t change = 0;      // the index's last change
  bool started = false;
  // The first pixel's index comes from the length of its position.
  void Start(int32_t gx, int32_t gy, int32_t stepX, int32_t stepY);
  // Indices of the next count pixels.
  void Next(int32_t count, uint16_t* out);
  // The next pixel's index.
  inline uint32_t Step();
};

// Shared tables of the pixel writers.
extern const std::array<uint16_t, 17> kPatternMasks;     // 4 x 4 patterns, 16 - k bits set
extern const std::array<uint8_t, 64> kOrderedDither;     // 8 x 8, values 0..15
extern const std::array<uint8_t, 64> kDiffusionOffsets;  // 8 x 8, 0 or 7
extern const std::array<uint8_t, 16> kDither16;          // 4 x 4, values 0..7
extern const std::array<uint16_t, 258> kSquares;         // i * i, capped at 0xFFFF
extern const std::array<uint64_t, 257> kRampReciprocal;  // ceil(2^32 / d)
uint32_t RadialGradientWalk::Step() {
  if (!started) {
    started = true;
    return static_cast<uint32_t>(h);
  }
  x = static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(sx));
  y = static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(sy));
  // The index is found from t = gx^2 + gy^2 and the squares: from the
  // prediction p (the last change again), down while t is below the square
  // of the index, up while the next square is below t. That search ends on
  //   below p: the greatest h with square(h) <= t, when square(p) > t;
  //   from p up: the least h >= p with square(h + 1) >= t, or 256;
  // so on a perfect square the prediction decides between its root and
  // the one below. With r = floor(sqrt(t)) for t < 65535 (the squares
  // table holds 65535 from 256 on) these are r, and r or r - 1 (the
  // latter on a perfect square); from t = 65535 on, 256 and 255 or 256.
  const int32_t old = h;
  const int32_t p = std::clamp(h + change, 0, 256);
  const int64_t gx = x >> 14, gy = y >> 14;
  const int64_t t = gx * gx + gy * gy;
  if (t >= 0xFFFF) {
    h = std::max(p, t == 0xFFFF ? 255 : 256);
  } else {
    // A float's square root of t < 2^16 is correctly rounded and at least
    // 1/512 from the next whole number unless it is one: its floor is exact.
    const int32_t r = static_cast<int32_t>(std::sqrt(static_cast<float>(t)));
    if (kSquares[p] > t) {
      h = r;
    } else {
      h = std::max(p, t == int64_t{r} * r ? std::max(r - 1, 0) : r);
    }
  }
  change = h - old;
  return static_cast<uint32_t>(h);
}

// ceil(2^24 / d): a ramp numerator n <= 255 d times it stays below 2^32, and
// the product's top eight bits are n / d.
inline uint32_t RampReciprocal24(int32_t d) {
  return static_cast<uint32_t>((kRampReciprocal[d] + 255) >> 8);
}

// The dithered brush for a colour that a palette lacks: a solid colour when
// the nearest entry is within 7 (sum of channel differences), else an 8 x 8
// pattern of two palette indices (pattern value 0 = first, 1 = second).
struct DitheredBrush {
  bool solid = true;
  uint32_t colour = 0;                // red in the low byte
  std::array<uint8_t, 2> indices{};   // nearest, second
  std::array<uint8_t, 64> pattern{};  // rows of 8 pixels
};
DitheredBrush CreateDitheredBrush(const CSharedPalette* palette, const InverseColorMap* map,
                                  uint32_t colour);
