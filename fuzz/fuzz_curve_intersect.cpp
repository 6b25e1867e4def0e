// Random curve pairs through the intersection and nearest-approach searches:
// no crash, at most four results, every parameter within [0, 1.0].
//
// Input: byte 0 selects the coordinate scale (bits 0-1: 8, 16, 24 or 32-bit
// coordinates) and the shape of the pair (bit 2: A straight, bit 3: B
// straight, bit 4: B is A, bit 5: B is A reversed); bytes 1-2 the tolerance
// (signed 16-bit, little-endian); then twelve 32-bit little-endian
// coordinates: A's p0, control, p2, then B's. Missing bytes read as 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "geometry/curve.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return v;
  }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

bool ParamOk(Fixed t) {
  return t >= 0 && t <= kFixedOne;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t mode = in.Byte();
  const int32_t tol = static_cast<int16_t>(in.Byte() | (in.Byte() << 8));
  const int shift = 24 - 8 * (mode & 3);  // 8-bit coordinates shift right by 24
  auto coord = [&] {
    const int32_t v = static_cast<int32_t>(in.Word());
    return shift == 0 ? v : (v >> shift);
  };
  Point32 p[6];
  for (Point32& q : p) q = {coord(), coord()};
  QuadCurve a, b;
  CurveSet(p[0], p[1], p[2], a);
  CurveSet(p[3], p[4], p[5], b);
  if (mode & 4) CurveFromLine(a.p0, a.p2, a);
  if (mode & 8) CurveFromLine(b.p0, b.p2, b);
  if (mode & 16) b = a;
  if (mode & 32) CurveReverse(a, b);

  CurveIntersectResult r;
  const int n = CurveIntersect(a, b, r, tol);
  Check(n == r.count && n >= 0 && n <= 4);
  for (int i = 0; i < n; ++i) {
    Check(ParamOk(r.entries[i].tA) && ParamOk(r.entries[i].tB));
    Check(r.entries[i].overlap == 0 || r.entries[i].overlap == 1);
  }

  Fixed ta = 0, tb = 0;
  const int32_t d = CurveCurveNearest(a, b, tol < 0 ? 0x7FFFFFFF : tol * 64, tol, ta, tb);
  if (d == kNoDistance) {
    Check(ta == kNoParam && tb == kNoParam);
  } else {
    Check(ParamOk(ta) && ParamOk(tb));
  }
  return 0;
}
