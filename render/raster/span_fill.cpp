#include "render/raster/span_fill.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "render/raster/dib.h"
#include "render/raster/scan_converter.h"

// ---- Shared tables -------------------------------------------------------------

const std::array<uint16_t, 17> kPatternMasks = {0xFFFF, 0x7FFF, 0x7FDF, 0x5FDF, 0x5F5F, 0x5B5F,
                                                0x5B5E, 0x5A5E, 0x5A5A, 0x1A5A, 0x1A4A, 0x0A4A,
                                                0x0A0A, 0x020A, 0x0208, 0x0008, 0x0000};

const std::array<uint8_t, 64> kOrderedDither = {
    0,  8, 0,  8,  1,  9,  15, 7, 10, 6,  2,  14, 11, 7, 3,  13, 4,  14, 10, 2, 5, 15,
    11, 1, 12, 4,  12, 6,  13, 3, 5,  9,  1,  9,  15, 7, 2,  10, 0,  6,  11, 7, 3, 13,
    12, 8, 4,  12, 5,  15, 9,  1, 6,  14, 10, 0,  13, 3, 11, 5,  14, 2,  4,  8};

const std::array<uint8_t, 64> kDiffusionOffsets = {
    7, 0, 0, 7, 0, 7, 7, 0, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 7, 0, 7, 0, 7, 7, 0, 7, 7, 0, 7, 0, 7, 7,
    7, 0, 7, 0, 0, 7, 0, 7, 0, 7, 0, 7, 7, 0, 7, 0, 7, 7, 0, 7, 0, 7, 0, 0, 0, 7, 7, 0, 7, 0, 7, 7};

const std::array<uint8_t, 16> kDither16 = {7, 0, 5, 1, 2, 6, 4, 3, 4, 3, 7, 2, 0, 6, 1, 5};

namespace {

constexpr std::array<uint16_t, 258> MakeSquares() {
  std::array<uint16_t, 258> t{};
  for (uint32_t i = 0; i < t.size(); ++i)
    t[i] = static_cast<uint16_t>(i * i >= 0xFFFF ? 0xFFFF : i * i);
  return t;
}

}  // namespace

const std::array<uint16_t, 258> kSquares = MakeSquares();

namespace {

constexpr std::array<uint64_t, 257> MakeReciprocals() {
  std::array<uint64_t, 257> t{};
  for (uint64_t d = 1; d < t.size(); ++d) t[d] = ((uint64_t{1} << 32) + d - 1) / d;
  return t;
}

}  // namespace

const std::array<uint64_t, 257> kRampReciprocal = MakeReciprocals();

uint64_t SolidPriority(uint32_t id, uint32_t patternKind, int32_t red, int32_t green,
                       int32_t blue) {
  return uint64_t{id} << kPriorityIdShift | uint64_t{patternKind & 7} << 15 |
         uint64_t(static_cast<uint32_t>(red) >> 3 & 31) << 10 |
         uint64_t(static_cast<uint32_t>(green) >> 3 & 31) << 5 |
         uint64_t(static_cast<uint32_t>(blue) >> 3 & 31);
}

// ---- Records -------------------------------------------------------------------

void CSpanFill::Init(CScanConverter* converter) {
  owner = converter;
  hashNext = nullptr;
  reserved = 0;
  listNext = nullptr;
  clipId = 0;
  inside = 0;
  insideNext = nullptr;
  onInsideList = 0;
  kind = kSpanSolid;
  prepared = 0;
  ramp = nullptr;
  rampRow = 0;
}

namespace {

// The matrix with its translation times 256 (positions with 8 fraction bits).
Matrix2x3 Translation256(Matrix2x3 m) {
  m.tx = static_cast<int32_t>(static_cast<uint32_t>(m.tx) << 8);
  m.ty = static_cast<int32_t>(static_cast<uint32_t>(m.ty) << 8);
  return m;
}

}  // namespace

void CSpanFill::SetBitmap(const CDib& image, const Matrix2x3& m, uint32_t antiAlias) {
  kind = kSpanBitmap;
  dib = &image;
  // Image pixels to device pixels; the inverse keeps its translation in 16.16
  // so that placements between pixels survive.
  const int32_t unit = antiAlias ? 4 : 1;
  Matrix2x3 toPixels;
  toPixels.a = toPixels.d = kFixedOne / unit;
  MatrixConcat(m, toPixels, bitmapMatrix);
  Matrix2x3 linear = m;
  linear.a /= unit;
  linear.b /= unit;
  linear.c /= unit;
  linear.d /= unit;
  linear.tx = linear.ty = 0;
  MatrixInvert(linear, bitmapInverse);
  bitmapInverse.tx = bitmapInverse.ty = 0;
  const Matrix2x3& inv = bitmapInverse;
  const int64_t tx = int64_t{m.tx} * 65536 / unit, ty = int64_t{m.ty} * 65536 / unit;
  bitmapOriginX = -((int64_t{inv.a} * tx + int64_t{inv.c} * ty) >> 16);
  bitmapOriginY = -((int64_t{inv.b} * tx + int64_t{inv.d} * ty) >> 16);
}

void CSpanFill::SetGradient(GradientKind type, const Matrix2x3& placement, const uint8_t* positions,
                            const uint32_t* colours, int count, const Matrix2x3& toPixels) {
  kind = kSpanGradient;
  gradientType = type;
  count = std::clamp(count, 0, kRampPoints);
  rampCount = static_cast<uint8_t>(count);
  std::copy_n(positions, count, rampPos.begin());
  std::copy_n(colours, count, rampColour.begin());
  gradientMatrix = placement;
  // Device pixels (8 fraction bits) to gradient space (8 fraction bits).
  Matrix2x3 toDevice;
  MatrixConcat(Translation256(placement), Translation256(toPixels), toDevice);
  MatrixInvert(toDevice, gradientInverse);
}

namespace {

int32_t Distance(int32_t r, int32_t g, int32_t b, uint32_t entry) {
  return std::abs(r - RedOf(entry)) + std::abs(g - GreenOf(entry)) + std::abs(b - BlueOf(entry));
}

// The cell of a colour whose channels may lie outside 0..255 (clamped).
uint32_t ClampedCell(int32_t r, int32_t g, int32_t b) {
  auto c = [](int32_t v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return InverseMapCell(c(r), c(g), c(b));
}

// A pixel value of the pattern rows in the target format.
uint32_t DeviceColour(uint32_t format, int32_t r, int32_t g, int32_t b) {
  const uint32_t ur = static_cast<uint32_t>(r), ug = static_cast<uint32_t>(g),
                 ub = static_cast<uint32_t>(b);
  switch (format) {
    case kScan555:
      return (ur & 0xF8) << 7 | (ug & 0xF8) << 2 | ub >> 3;
    case kScan565:
      return (ur & 0xF8) << 8 | (ug & 0xFC) << 3 | ub >> 3;
    case kScan32BitAlpha:
      return 0xFF000000u | ur << 16 | ug << 8 | ub;
    default:
      return ur << 16 | ug << 8 | ub;
  }
}

// Four rows of four pixels: row k from pattern bits (pattern >> (12 - 4k)) &
// 0xF turned left by the phase, the leftmost pixel in the nibble's top bit.
void BuildPatternRows(uint32_t pattern, uint32_t phase, uint32_t set, uint32_t clear,
                      uint32_t format, std::array<std::array<uint8_t, 16>, 4>& rows) {
  for (int k = 0; k < 4; ++k) {
    uint32_t nibble = (pattern >> (12 - 4 * k)) & 0xF;
    nibble = ((nibble << phase) | (nibble >> (4 - phase))) & 0xF;
    uint32_t px[4];
    for (int i = 0; i < 4; ++i) px[i] = (nibble >> (3 - i)) & 1 ? set : clear;
    std::array<uint8_t, 16>& row = rows[k];
    row.fill(0);
    switch (format) {
      case kScan1Bit: {
        uint8_t byte = 0;
        for (int j = 0; j < 8; ++j) byte = static_cast<uint8_t>(byte | (px[j & 3] & 1) << (7 - j));
        for (int j = 0; j < 4; ++j) row[j] = byte;
        break;
      }
      case kScan2Bit: {
        uint8_t byte = 0;
        for (int i = 0; i < 4; ++i) byte = static_cast<uint8_t>(byte | (px[i] & 3) << (6 - 2 * i));
        for (int j = 0; j < 4; ++j) row[j] = byte;
        break;
      }
      case kScan4Bit:
        row[0] = row[2] = static_cast<uint8_t>((px[0] & 15) << 4 | (px[1] & 15));
        row[1] = row[3] = static_cast<uint8_t>((px[2] & 15) << 4 | (px[3] & 15));
        break;
      case kScan8Bit:
        for (int i = 0; i < 4; ++i) row[i] = static_cast<uint8_t>(px[i]);
        break;
      case kScan555:
      case kScan565:
        for (int i = 0; i < 4; ++i) {
          row[2 * i] = static_cast<uint8_t>(px[i]);
          row[2 * i + 1] = static_cast<uint8_t>(px[i] >> 8);
        }
        break;
      case kScan24Bit:
        for (int i = 0; i < 4; ++i) {
          row[3 * i] = static_cast<uint8_t>(px[i]);
          row[3 * i + 1] = static_cast<uint8_t>(px[i] >> 8);
          row[3 * i + 2] = static_cast<uint8_t>(px[i] >> 16);
        }
        break;
      default:
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) row[4 * i + j] = static_cast<uint8_t>(px[i] >> (8 * j));
        break;
    }
  }
}

}  // namespace

void CSpanFill::Prepare() {
  if (prepared) return;
  prepared = 1;
  CScanConverter* cv = owner;
  switch (kind) {
    case kSpanBitmap:
      spanProc = &CScanConverter::BitmapFillSpan;
      return;
    case kSpanGradient:
      spanProc = &CScanConverter::GradientFillSpan;
      return;
    default:
      break;
  }

  const uint32_t format = cv ? cv->pixelFormat : kScan32Bit;
  if (!cv || (cv->solidMode == 2 && patternKind == 0)) {
    spanProc = &CScanConverter::SolidColorSpan;
    return;
  }
  // Pattern and second colour (set bits take the fill colour).
  uint32_t pattern = 0xFFFF;
  int32_t r2 = red, g2 = green, b2 = blue;
  const bool dark = red + green + blue < 384;
  switch (patternKind) {
    case 1:
      pattern = 0xA5A5;
      r2 = g2 = b2 = 255;
      break;
    case 2:
      pattern = 0x33CC;
      r2 = g2 = b2 = dark ? 255 : 0;
      break;
    case 3:
      pattern = 0x39C6;
      r2 = g2 = b2 = dark ? 255 : 0;
      break;
    default:
      break;
  }
  uint32_t set, clear;
  if (format <= kScan8Bit) {
    const InverseColorMap& map = cv->ColourMap();
    set = map[ClampedCell(red, green, blue)];
    clear = map[ClampedCell(r2, g2, b2)];
    if (format == kScan1Bit && patternKind == 0) {
      if (cv->solidMode) {
        pattern = kPatternMasks[std::min((red + green + blue + 3) / 48, 16)];
        set = map[0];
        clear = map[4095];
      } else {
        set = clear = map[0];
      }
    } else if (format != kScan1Bit && patternKind == 0 && cv->solidMode) {
      // A colour the palette lacks: the nearest entry and the one on the
      // far side of the colour, mixed in proportion to their distances.
      const uint32_t entry = cv->PaletteColour(set);
      const int32_t d1 = Distance(red, green, blue, entry);
      if (d1 > 7) {
        const uint32_t second = map[ClampedCell(2 * red - RedOf(entry), 2 * green - GreenOf(entry),
                                                2 * blue - BlueOf(entry))];
        const int32_t d2 = Distance(red, green, blue, cv->PaletteColour(second));
        pattern = kPatternMasks[std::min(d1 * 16 / (d1 + d2), 15)];
        clear = second;
      }
    }
  } else {
    set = DeviceColour(format, red, green, blue);
    clear = DeviceColour(format, r2, g2, b2);
  }
  BuildPatternRows(pattern, cv->phaseX & 3, set, clear, format, patternRows);
  plainPattern = pattern == 0xFFFF || pattern == 0 || set == clear;
  static constexpr SpanProc kWriters[] = {
      &CScanConverter::PatternSpan1,  &CScanConverter::PatternSpan2,
      &CScanConverter::PatternSpan4,  &CScanConverter::PatternSpan8,
      &CScanConverter::PatternSpan16, &CScanConverter::PatternSpan16,
      &CScanConverter::PatternSpan24, &CScanConverter::PatternSpan32,
      &CScanConverter::PatternSpan32};
  spanProc = format < std::size(kWriters) ? kWriters[format] : nullptr;
}

namespace {

RampBlock* BlockOfRamp(uint32_t* ramp) {
  return reinterpret_cast<RampBlock*>(reinterpret_cast<char*>(ramp) - offsetof(RampBlock, colours));
}

// Blocks looked at for a free one before the ring grows.
constexpr int kRampLook = 8;
// Rows a fill goes undrawn before its block may be taken: a fill hidden in
// some rows (behind stripes, say) keeps its ramp across short gaps.
constexpr int64_t kRampIdleRows = 8;

}  // namespace

void CSpanFill::TakeRamp(int32_t row) const {
  CScanConverter* cv = owner;
  if (!cv) return;
  // Free: no fill, or one last drawn more than kRampIdleRows rows above, or
  // below this row (in an earlier pass over the rows).
  RampBlock* block = nullptr;
  RampBlock *look = cv->rampHand, *last = nullptr;
  for (int k = 0; look && k < kRampLook; ++k) {
    const CSpanFill* f = look->owner;
    if (!f || f->rampRow < row - kRampIdleRows || f->rampRow > row) {
      block = look;
      break;
    }
    last = look;
    look = look->next;
  }
  if (block) {
    if (block->owner) block->owner->ramp = nullptr;
    cv->rampHand = block->next;
  } else {
    // The blocks looked at are all in use: a new one, in behind the hand.
    block = static_cast<RampBlock*>(cv->rampPool.Alloc());
    if (!block) return;
    if (last) {
      block->next = look;
      last->next = block;
      cv->rampHand = look;
    } else {
      block->next = block;
      cv->rampHand = block;
    }
  }
  block->owner = this;
  ramp = block->colours;
  BuildGradientRamp(rampPos.data(), rampColour.data(), rampCount, ramp);
}

void CSpanFill::Free() {
  if (ramp) BlockOfRamp(ramp)->owner = nullptr;
  ramp = nullptr;
  prepared = 0;
}

// ---- Gradients -----------------------------------------------------------------

void BuildGradientRamp(const uint8_t* positions, const uint32_t* colours, int count,
                       uint32_t ramp[kRampEntries]) {
  if (count <= 0) {
    std::fill_n(ramp, kRampEntries, 0u);
    return;
  }
  count = std::min(count, kRampPoints);
  int32_t prevPos = 0, nextPos = positions[0];
  uint32_t prev = colours[0], next = colours[0];
  int k = 1;
  // Each channel of an entry is (q (j - prevPos) + p (nextPos - j)) / span,
  // truncated through a reciprocal: (numerator * inverse) >> 24, exact and
  // within 32 bits for every numerator a ramp has (at most 255 * span; see
  // the tests). Along one segment a channel's numerator grows by q - p per
  // entry, so its product with the reciprocal grows by (q - p) * inverse
  // (modulo 2^32, which keeps the products exact): each channel carries the
  // product, four entries at a time in vector registers.
  for (int32_t j = 0; j < kRampEntries;) {
    // Every point passed moves on, so stops at one position switch colour
    // right there.
    while (j > nextPos) {
      prevPos = nextPos;
      prev = next;
      if (k < count) {
        nextPos = positions[k];
        next = colours[k];
        ++k;
      } else {
        nextPos = 256;
      }
    }
    const int32_t span = nextPos - prevPos;
    if (span <= 0) {
      ramp[j++] = prev & 0xFFFFFF;
      continue;
    }
    // The entries up to nextPos (j <= nextPos here) lie on this segment.
    const uint32_t inverse = RampReciprocal24(span);
    uint32_t red = 0, green = 0, blue = 0, stepRed = 0, stepGreen = 0, stepBlue = 0;
    const auto start = [&](int c, uint32_t& product, uint32_t& step) {
      const int32_t p = (prev >> (8 * c)) & 0xFF, q = (next >> (8 * c)) & 0xFF;
      product = static_cast<uint32_t>(q * (j - prevPos) + p * (nextPos - j)) * inverse;
      step = static_cast<uint32_t>(q - p) * inverse;
    };
    start(0, red, stepRed);
    start(1, green, stepGreen);
    start(2, blue, stepBlue);
    const int32_t last = std::min(nextPos, kRampEntries - 1);
    for (; j <= last; ++j) {
      ramp[j] = red >> 24 | (green >> 16 & 0xFF00) | (blue >> 8 & 0xFF0000);
      red += stepRed;
      green += stepGreen;
      blue += stepBlue;
    }
  }
}

void LinearGradientIndices(int32_t x, int32_t stepX, int32_t count, uint16_t* out) {
  int64_t pos = x;
  for (int32_t i = 0; i < count; ++i, pos += stepX)
    out[i] = static_cast<uint16_t>(LinearGradientIndex(pos));
}

uint32_t RadialGradientIndex(int32_t x, int32_t y) {
  // A length of 2^31 or more comes back wrapped, negative: far beyond the
  // ramp's end as well (it indexed outside the ramp).
  const int32_t length = VectorLength({x, y});
  return length >= 0x404000 || length < 0 ? 256 : static_cast<uint32_t>(length >> 14);
}

void RadialGradientWalk::Start(int32_t gx, int32_t gy, int32_t stepX, int32_t stepY) {
  x = gx;
  y = gy;
  sx = stepX;
  sy = stepY;
  h = static_cast<int32_t>(RadialGradientIndex(x, y));
  change = 0;
  started = false;
}

void RadialGradientWalk::Next(int32_t count, uint16_t* out) {
  for (int32_t i = 0; i < count; ++i) out[i] = static_cast<uint16_t>(Step());
}

// ---- Dithered brushes ----------------------------------------------------------

DitheredBrush CreateDitheredBrush(const CSharedPalette* palette, const InverseColorMap* map,
                                  uint32_t colour) {
  DitheredBrush brush;
  brush.colour = colour & 0xFFFFFF;
  if (!palette || palette->table.count == 0) return brush;
  const ColorTable& table = palette->table;
  auto nearest = [&](int32_t r, int32_t g, int32_t b) -> uint8_t {
    if (map) return (*map)[ClampedCell(r, g, b)];
    uint32_t best = 0;
    for (uint32_t i = 1; i < table.count; ++i)
      if (Distance(r, g, b, table.entries[i]) < Distance(r, g, b, table.entries[best])) best = i;
    return static_cast<uint8_t>(best);
  };
  auto entryOf = [&](uint8_t index) { return index < table.count ? table.entries[index] : 0u; };
  const int32_t r = RedOf(colour), g = GreenOf(colour), b = BlueOf(colour);
  const uint8_t first = nearest(r, g, b);
  const uint32_t e1 = entryOf(first);
  const int32_t d1 = Distance(r, g, b, e1);
  if (d1 < 8) return brush;
  const uint8_t second =
      nearest(std::clamp(2 * r - RedOf(e1), 0, 255), std::clamp(2 * g - GreenOf(e1), 0, 255),
              std::clamp(2 * b - BlueOf(e1), 0, 255));
  const int32_t d2 = Distance(r, g, b, entryOf(second));
  const uint16_t mask = kPatternMasks[std::min(d1 * 16 / (d1 + d2), 15)];
  brush.solid = false;
  brush.indices = {first, second};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int bit = 15 - ((y & 3) * 4 + (x & 3));
      brush.pattern[y * 8 + x] = (mask >> bit) & 1 ? 0 : 1;
    }
  return brush;
}
