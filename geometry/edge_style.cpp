#include "geometry/edge_style.h"

#include <algorithm>

bool FillStyleIsNone(const FillStyle& s) {
  return s.colour == 0 && s.kind == 0;
}

bool LineStyleIsNone(const LineStyle& s) {
  return s.colour == 0 || s.width == 0;
}

namespace {

// The gradient or texture definition of two fills of the same non-solid kind.
bool FillPartsEqual(const FillStyle& a, const FillStyle& b) {
  if (a.kind & kFillHasGradient) {
    if (a.gradient.count != b.gradient.count) return false;
    const int n = std::min<int>(a.gradient.count, kGradientMaxEntries);
    for (int i = 0; i < n; ++i)
      if (a.gradient.ratios[i] != b.gradient.ratios[i] ||
          a.gradient.colours[i] != b.gradient.colours[i])
        return false;
    return true;
  }
  if (a.kind & kFillHasTexture)
    return a.texture.background == b.texture.background &&
           std::equal(a.texture.params, a.texture.params + 4, b.texture.params);
  return true;
}

}  // namespace

bool FillStyleEqual(const FillStyle& a, const FillStyle& b) {
  if (a.kind != b.kind || a.colour != b.colour || a.texture_flags != b.texture_flags ||
      a.pattern_kind != b.pattern_kind)
    return false;
  if (a.kind == 0) return true;
  return a.matrix == b.matrix && FillPartsEqual(a, b);
}

bool FillRecordEqual(const FillStyle& a, const FillStyle& b) {
  if (a.kind != b.kind || a.colour != b.colour) return false;
  return a.kind == 0 || FillPartsEqual(a, b);
}

bool LineStyleEqual(const LineStyle& a, const LineStyle& b) {
  if (a.kind != b.kind || a.colour != b.colour || a.width != b.width || a.flags != b.flags)
    return false;
  return a.kind == 0 || std::equal(a.params, a.params + 6, b.params);
}

int32_t LineStyleOutset(const LineStyle& s) {
  const int32_t width = s.width;
  const int32_t p1 = s.params[0], p2 = s.params[1], p4 = s.params[3], p6 = s.params[5];
  // The stroke code works in 16-bit words: each added term is cut to 16 bits.
  auto u16 = [](int32_t v) { return static_cast<int32_t>(static_cast<uint16_t>(v)); };
  switch (s.kind) {
    case 3: {
      static constexpr int32_t kScale[4] = {1, 3, 5, 9};
      return kScale[p2 & 3] * width / 2;
    }
    case 4: {
      const int32_t a = std::max<int32_t>(width, 20) / 2;
      const int32_t b = u16((std::max<int32_t>(a, 40) - 13) * p1 / 2 + 13);
      return a + u16(b * p2 / 4) + b;
    }
    case 5: {
      const int32_t a = std::max<int32_t>(width, 20) / 2;
      return u16(a * p4 / 4) + u16(a * p6 / 2) + a;
    }
    default:
      return width / 2;
  }
}
