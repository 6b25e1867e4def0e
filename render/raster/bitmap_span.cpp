// The destination-to-source mapping is kept in 16.16 with 64-bit values, so
// images whose bounds pass 32,767 twips neither overflow nor lose their
// fraction. A zero step (quarter turns, pure scales) is never divided by.
#include "render/raster/bitmap_span.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Floor and ceiling of a / b for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int64_t CeilDiv(int64_t a, int64_t b) {
  return -FloorDiv(-a, b);
}

// Narrows [lo, hi) to the j with 0 <= start + j * step < limit.
void ClipRun(int64_t start, int64_t step, int64_t limit, int64_t& lo, int64_t& hi) {
  if (step == 0) {
    if (start < 0 || start >= limit) hi = lo;
    return;
  }
  if (step > 0) {
    lo = std::max(lo, CeilDiv(-start, step));
    hi = std::min(hi, FloorDiv(limit - 1 - start, step) + 1);
  } else {
    // start + j*step < limit  <=>  j > (start - limit) / -step
    lo = std::max(lo, FloorDiv(start - limit, -step) + 1);
    hi = std::min(hi, FloorDiv(start, -step) + 1);
  }
}

uint32_t ReadPixel(const uint8_t* row, uint32_t format, int64_t x) {
  switch (format) {
    case kDib1Bit:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case kDib2Bit:
      return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case kDib4Bit:
      return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    case kDib8Bit:
      return row[x];
    case kDib16Bit:
      return uint32_t{row[2 * x]} | uint32_t{row[2 * x + 1]} << 8;
    default:
      return uint32_t{row[4 * x]} | uint32_t{row[4 * x + 1]} << 8 | uint32_t{row[4 * x + 2]} << 16 |
             uint32_t{row[4 * x + 3]} << 24;
  }
}

void WritePixel(uint8_t* row, uint32_t format, int64_t x, uint32_t v) {
  switch (format) {
    case kDib1Bit: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~bit) | (v & 1 ? bit : 0));
      break;
    }
    case kDib2Bit: {
      const int shift = 6 - 2 * static_cast<int>(x & 3);
      row[x >> 2] = static_cast<uint8_t>((row[x >> 2] & ~(3 << shift)) | (v & 3) << shift);
      break;
    }
    case kDib4Bit: {
      const int shift = (x & 1) ? 0 : 4;
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xF << shift)) | (v & 15) << shift);
      break;
    }
    case kDib8Bit:
      row[x] = static_cast<uint8_t>(v);
      break;
    case kDib16Bit:
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    default:
      for (int k = 0; k < 4; ++k) row[4 * x + k] = static_cast<uint8_t>(v >> (8 * k));
      break;
  }
}

// The index of the first black table entry (0 when there is none); 1 bit per
// pixel takes 1 for any index but 0; 0 for the formats without a table.
uint32_t BackgroundValue(const CDib& dib) {
  if (dib.Format() > kDib8Bit || !dib.Colors()) return 0;
  const ColorTable& t = *dib.Colors();
  for (uint32_t i = 0; i < t.count; ++i)
    if ((t.entries[i] & 0xFFFFFF) == 0) return dib.Format() == kDib1Bit ? (i != 0) : i;
  return 0;
}

// Destination pixel to source pixel, 16.16 in 64 bits: x = a*j + c*i + tx.
struct Inverse {
  int64_t a, b, c, d, tx, ty;
};

bool BuildInverse(const CImageRef& src, const Matrix2x3& m, const CImageRef& dst, Inverse& out) {
  const Rect32& sb = src.bounds;
  const Rect32& db = dst.bounds;
  const double sbw = static_cast<double>(sb.xmax) - sb.xmin,
               sbh = static_cast<double>(sb.ymax) - sb.ymin;
  const double dbw = static_cast<double>(db.xmax) - db.xmin,
               dbh = static_cast<double>(db.ymax) - db.ymin;
  // Source pixel -> source twips -> parent twips -> destination pixel.
  const double sx = sbw / src.Width(), sy = sbh / src.Height();
  const double kx = dst.Width() / dbw, ky = dst.Height() / dbh;
  const double ma = m.a / 65536.0, mb = m.b / 65536.0, mc = m.c / 65536.0, md = m.d / 65536.0;
  const double fa = kx * ma * sx, fc = kx * mc * sy;
  const double fb = ky * mb * sx, fd = ky * md * sy;
  const double ftx = kx * (ma * sb.xmin + mc * sb.ymin + m.tx - db.xmin);
  const double fty = ky * (mb * sb.xmin + md * sb.ymin + m.ty - db.ymin);
  const double det = fa * fd - fb * fc;
  if (!std::isfinite(det) || det == 0) return false;
  const double ia = fd / det, ib = -fb / det, ic = -fc / det, id = fa / det;
  const double itx = -(ia * ftx + ic * fty), ity = -(ib * ftx + id * fty);
  // Positions far past any image (2^46 pixels) count as a failed mapping.
  constexpr double kLimit = 70368744177664.0;
  int64_t* fields[] = {&out.a, &out.b, &out.c, &out.d, &out.tx, &out.ty};
  const double values[] = {ia, ib, ic, id, itx, ity};
  for (int k = 0; k < 6; ++k) {
    if (!std::isfinite(values[k]) || std::fabs(values[k]) > kLimit / 65536.0) return false;
    *fields[k] = std::llround(values[k] * 65536.0);
  }
  return true;
}

}  // namespace

uint32_t ReadRawPixel(const CDib& dib, int32_t x, int32_t y) {
  return ReadPixel(dib.Bits() + static_cast<size_t>(y) * static_cast<size_t>(dib.Stride()),
                   dib.Format(), x);
}

bool TransformBitmapSpan(const CImageRef& source, const Matrix2x3& matrix, CImageRef& dest,
                         CDib* mask) {
  const uint32_t format = source.Format();
  if (!source.Bits() || !dest.Bits() || dest.Format() != format) return false;
  for (const Rect32* r : {&source.bounds, static_cast<const Rect32*>(&dest.bounds)})
    if (r->IsEmpty() || r->xmax <= r->xmin || r->ymax <= r->ymin) return false;
  if (mask && (!mask->Bits() || (mask->Format() != kDib1Bit && mask->Format() != kDib8Bit) ||
               mask->Width() != dest.Width() || mask->Height() != dest.Height()))
    return false;

  Inverse inv{};
  const bool mapped = BuildInverse(source, matrix, dest, inv);
  const uint32_t background = BackgroundValue(dest.Colors() ? dest : source);
  const int64_t width = dest.Width();
  const int64_t srcW = int64_t{source.Width()} << 16;
  const int64_t srcH = int64_t{source.Height()} << 16;

  for (int64_t i = 0; i < dest.Height(); ++i) {
    uint8_t* drow = dest.Bits() + static_cast<size_t>(i) * static_cast<size_t>(dest.Stride());
    int64_t lo = 0, hi = width;
    int64_t x0 = 0, y0 = 0;
    if (mapped) {
      x0 = inv.c * i + inv.tx;
      y0 = inv.d * i + inv.ty;
      ClipRun(x0, inv.a, srcW, lo, hi);
      ClipRun(y0, inv.b, srcH, lo, hi);
    } else {
      hi = lo;
    }
    if (mask) {
      uint8_t* mrow = mask->Bits() + static_cast<size_t>(i) * static_cast<size_t>(mask->Stride());
      for (int64_t j = 0; j < width; ++j)
        WritePixel(mrow, mask->Format(), j, (j >= lo && j < hi) ? 0 : 1);
    }
    if (lo >= hi) {
      for (int64_t j = 0; j < width; ++j) WritePixel(drow, format, j, background);
      continue;
    }
    uint32_t value = 0;
    for (int64_t j = lo; j < hi; ++j) {
      const int64_t sx = (x0 + inv.a * j) >> 16;
      const int64_t sy = (y0 + inv.b * j) >> 16;
      const uint8_t* srow =
          source.Bits() + static_cast<size_t>(sy) * static_cast<size_t>(source.Stride());
      value = ReadPixel(srow, format, sx);
      WritePixel(drow, format, j, value);
    }
    // Outside the run: the background with a mask, else the row's edge pixels.
    const uint32_t before = mask ? background : ReadPixel(drow, format, lo);
    const uint32_t after = mask ? background : value;
    for (int64_t j = 0; j < lo; ++j) WritePixel(drow, format, j, before);
    for (int64_t j = hi; j < width; ++j) WritePixel(drow, format, j, after);
  }
  return true;
}
