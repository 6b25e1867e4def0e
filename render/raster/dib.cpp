#include "render/raster/dib.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>

#include "render/raster/little_endian.h"
#include "render/raster/raster_tables.h"

namespace {

// Bytes per row for a format code in 64 bits; -1 for unknown codes or a
// negative width.
int64_t RowStride64(uint32_t format, int32_t width) {
  if (width < 0) return -1;
  const int64_t w = width;
  switch (format) {
    case kDib1Bit:
      return ((w + 31) >> 5) * 4;
    case kDib2Bit:
      return ((w + 15) >> 4) * 4;
    case kDib4Bit:
      return ((w + 7) >> 3) * 4;
    case kDib8Bit:
      return (w + 3) & ~int64_t{3};
    case kDib16Bit:
      return (2 * w + 3) & ~int64_t{3};
    case kDib32Bit:
      return 4 * w;
    default:
      return -1;
  }
}

bool IsPaletteFormat(uint32_t format) {
  return format <= kDib8Bit;
}

// Packs a colour for the bilinear sum: red at bit 21, green at bit 10, blue
// without its lowest bit at bit 0. Weights sum to 8, so no field spills into
// the next.
uint32_t PackForBlend(Rgb c) {
  return uint32_t{c.red} << 21 | uint32_t{c.green} << 10 | uint32_t{c.blue} >> 1;
}

}  // namespace

int CDib::BitsPerPixel(uint32_t format) {
  static constexpr int kBits[] = {1, 2, 4, 8, 16, 32};
  return format < 6 ? kBits[format] : 0;
}

int32_t CDib::RowStride(uint32_t format, int32_t width) {
  const int64_t stride = RowStride64(format, width);
  return stride < 0 || stride > INT32_MAX ? 0 : static_cast<int32_t>(stride);
}

bool CDib::Create(uint32_t format, int32_t width, int32_t height, const ColorTable* colors) {
  Free();
  const int bits = BitsPerPixel(format);
  const int64_t stride = RowStride64(format, width);
  if (bits == 0 || stride < 0 || height < 0) return false;
  if (height != 0 && stride > kMaxBytes / height) return false;
  if (IsPaletteFormat(format)) {
    m_colors.reset(new (std::nothrow) ColorTable);
    if (!m_colors) return false;
    if (colors) {
      const uint32_t count =
          std::min({colors->count, ColorTable::kMaxEntries, uint32_t{1} << bits});
      m_colors->count = count;
      std::copy_n(colors->entries.begin(), count, m_colors->entries.begin());
    }
  }
  const size_t bytes = static_cast<size_t>(stride * height);
  m_bits.reset(new (std::nothrow) uint8_t[bytes]());
  if (!m_bits) {
    Free();
    return false;
  }
  m_format = format;
  m_width = width;
  m_height = height;
  m_stride = static_cast<int32_t>(stride);
  return true;
}

void CDib::Free() {
  m_bits.reset();
  m_colors.reset();
  m_format = 0;
  m_width = m_height = m_stride = 0;
}

Rgb CDib::PixelAt(int32_t x, int32_t y) const {
  const uint8_t* row = m_bits.get() + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
  const size_t ux = static_cast<size_t>(x);
  uint32_t index;
  switch (m_format) {
    case kDib1Bit:
      index = (row[ux >> 3] >> (7 - (ux & 7))) & 1;
      break;
    case kDib2Bit:
      index = (row[ux >> 2] >> (6 - 2 * (ux & 3))) & 3;
      break;
    case kDib4Bit:
      index = (row[ux >> 1] >> ((ux & 1) ? 0 : 4)) & 15;
      break;
    case kDib8Bit:
      index = row[ux];
      break;
    case kDib16Bit: {
      const uint32_t v = LoadLE16(row + 2 * ux);
      return {kExpand5To8[(v >> 10) & 31], kExpand5To8[(v >> 5) & 31], kExpand5To8[v & 31]};
    }
    default: {
      const uint32_t v = LoadLE32(row + 4 * ux);
      return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    }
  }
  const uint32_t c = m_colors->entries[index];
  return {RedOf(c), GreenOf(c), BlueOf(c)};
}

Rgb CDib::GetPixel(int32_t x, int32_t y) const {
  if (!m_bits || m_width <= 0 || m_height <= 0) return {};
  return PixelAt(std::clamp(x, 0, m_width - 1), std::clamp(y, 0, m_height - 1));
}

Rgb CDib::SampleBilinear(Fixed x, Fixed y) const {
  if (!m_bits || m_width <= 0 || m_height <= 0) return {};
  // Picks the pixel pair of one axis; outside the image (or in an image one
  // pixel thick) the nearest pixel takes the whole weight.
  auto pick = [](int32_t v, int32_t size, int& frac, int32_t& p0, int32_t& p1) {
    frac = (v >> 13) & 7;
    const int32_t i = v >> 16;
    if (i < 0 || i >= size - 1) {
      p0 = p1 = i < 0 ? 0 : size - 1;
      frac = 0;
    } else {
      p0 = i;
      p1 = i + 1;
    }
  };
  int fx, fy;
  int32_t x0, x1, y0, y1;
  pick(x, m_width, fx, x0, x1);
  pick(y, m_height, fy, y0, y1);
  const auto& w = kBilinearWeights[fx * 8 + fy].w;
  const uint32_t sum = PackForBlend(PixelAt(x0, y0)) * w[0] + PackForBlend(PixelAt(x1, y0)) * w[1] +
                       PackForBlend(PixelAt(x0, y1)) * w[2] + PackForBlend(PixelAt(x1, y1)) * w[3];
  return {static_cast<uint8_t>(sum >> 24), static_cast<uint8_t>(sum >> 13),
          static_cast<uint8_t>(sum >> 2)};
}
