// Reading packed device-independent bitmaps (clipboard, import): outside
// input, so every field is read by offset within the bytes present and every
// size is checked before anything is allocated.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "render/raster/dib.h"
#include "render/raster/little_endian.h"
#include "render/raster/offscreen_bitmap.h"

namespace {

constexpr size_t kInfoHeaderSize = 40;

bool Fail(const char** error, const char* why) {
  if (error) *error = why;
  return false;
}

// One colour channel of a 16- or 32-bit pixel, given by its mask.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  // Contiguous, non-empty masks only.
  bool Set(uint32_t m) {
    if (m == 0) return false;
    mask = m;
    shift = std::countr_zero(m);
    bits = std::popcount(m);
    return (m >> shift) == (bits == 32 ? UINT32_MAX : (uint32_t{1} << bits) - 1);
  }
  // The channel widened (by repeating its bits) or narrowed to 8 bits.
  uint32_t Get8(uint32_t pixel) const {
    uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) out = out << bits | v;
    return out >> ((8 + bits - 1) / bits * bits - 8);
  }
};

// Source row reader for one stored row.
struct SourceFormat {
  uint16_t bit_count = 0;
  Channel red, green, blue;

  // Palette index for 1, 4 and 8 bits.
  uint32_t Index(const uint8_t* row, size_t x) const {
    switch (bit_count) {
      case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
      case 4:
        return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
      default:
        return row[x];
    }
  }
  // Red, green and blue (8 bits each) for 16, 24 and 32 bits.
  Rgb Color(const uint8_t* row, size_t x) const {
    if (bit_count == 24) return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const uint32_t v = bit_count == 16 ? LoadLE16(row + 2 * x) : LoadLE32(row + 4 * x);
    return {static_cast<uint8_t>(red.Get8(v)), static_cast<uint8_t>(green.Get8(v)),
            static_cast<uint8_t>(blue.Get8(v))};
  }
};

void StoreIndex(uint8_t* row, uint32_t format, size_t x, uint32_t index) {
  switch (format) {
    case kDib1Bit: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~bit) | (index & 1 ? bit : 0));
      break;
    }
    case kDib4Bit: {
      const int shift = (x & 1) ? 0 : 4;
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xF << shift)) | (index & 15) << shift);
      break;
    }
    default:
      row[x] = static_cast<uint8_t>(index);
      break;
  }
}

void StoreColor(uint8_t* row, uint32_t format, size_t x, Rgb c) {
  if (format == kDib16Bit) {
    const uint32_t v = uint32_t{c.red} >> 3 << 10 | uint32_t{c.green} >> 3 << 5 | c.blue >> 3;
    row[2 * x] = static_cast<uint8_t>(v);
    row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
  } else {
    row[4 * x] = c.blue;
    row[4 * x + 1] = c.green;
    row[4 * x + 2] = c.red;
    row[4 * x + 3] = 0;
  }
}

// Decodes run-length coded rows of 8 (RLE8) or 4 (RLE4) bits per pixel into
// bottom-up rows of `stride` bytes, zeroed beforehand: pixels the codes skip
// (ends of line, deltas, the end of the bitmap) stay index 0, pixels past the
// width are dropped. Fails when the codes end before the end-of-bitmap mark
// and the last row, or an absolute run is cut short.
bool DecodeRunLength(std::span<const uint8_t> data, uint16_t bits, int32_t width, int32_t height,
                     int32_t stride, uint8_t* out) {
  size_t i = 0;
  int64_t x = 0, y = 0;  // y: stored row, 0 = bottom
  auto put = [&](uint32_t v) {
    if (x < width) {
      uint8_t* row = out + static_cast<size_t>(y) * static_cast<size_t>(stride);
      if (bits == 8) {
        row[x] = static_cast<uint8_t>(v);
      } else {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<uint8_t>(row[x >> 1] | (v & 15) << shift);
      }
    }
    ++x;
  };
  while (y < height) {
    if (data.size() - i < 2) return false;
    const uint32_t n = data[i], v = data[i + 1];
    i += 2;
    if (n > 0) {  // a run of n pixels; RLE4 alternates the two nibbles
      for (uint32_t k = 0; k < n; ++k) put(bits == 8 ? v : (k & 1) ? v & 15 : v >> 4);
      continue;
    }
    switch (v) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta: right and up
        if (data.size() - i < 2) return false;
        x += data[i];
        y += data[i + 1];
        i += 2;
        break;
      default: {  // v literal pixels, padded to an even byte count
        const size_t bytes = bits == 8 ? v : (v + 1) / 2;
        if (data.size() - i < bytes) return false;
        const uint8_t* lit = data.data() + i;
        for (uint32_t k = 0; k < v; ++k)
          put(bits == 8 ? lit[k] : (k & 1) ? lit[k / 2] & 15 : lit[k / 2] >> 4);
        i += std::min(bytes + (bytes & 1), data.size() - i);
        break;
      }
    }
  }
  return true;
}

}  // namespace

bool ParsePackedDibHeader(std::span<const uint8_t> block, PackedDibHeader& out,
                          const char** error) {
  out = PackedDibHeader{};
  if (block.size() < 4) return Fail(error, "truncated bitmap header");
  const uint8_t* p = block.data();
  out.header_size = LoadLE32(p);
  const bool core = out.header_size == kCoreHeaderSize;
  if (!core && out.header_size < kInfoHeaderSize) return Fail(error, "unsupported bitmap header");
  if (out.header_size > block.size()) return Fail(error, "truncated bitmap header");
  if (core) {
    // 16-bit size, always bottom-up; no compression, resolution or colour count.
    out.width = LoadLE16(p + 4);
    out.height = LoadLE16(p + 6);
    out.planes = LoadLE16(p + 8);
    out.bit_count = LoadLE16(p + 10);
    out.color_entry_size = 3;
  } else {
    out.width = static_cast<int32_t>(LoadLE32(p + 4));
    out.height = static_cast<int32_t>(LoadLE32(p + 8));
    out.planes = LoadLE16(p + 12);
    out.bit_count = LoadLE16(p + 14);
    out.compression = LoadLE32(p + 16);
    out.size_image = LoadLE32(p + 20);
    out.x_pels_per_meter = static_cast<int32_t>(LoadLE32(p + 24));
    out.y_pels_per_meter = static_cast<int32_t>(LoadLE32(p + 28));
    out.clr_used = LoadLE32(p + 32);
    out.clr_important = LoadLE32(p + 36);
  }

  if (out.width <= 0 || out.height == 0 || out.height == INT32_MIN)
    return Fail(error, "bad bitmap size");
  if (out.planes != 1) return Fail(error, "bad plane count");
  switch (out.bit_count) {
    case 1:
    case 4:
    case 8:
    case 24:
      break;
    case 16:
    case 32:
      if (core) return Fail(error, "unsupported bits per pixel");
      break;
    default:
      return Fail(error, "unsupported bits per pixel");
  }
  const bool bitfields = out.compression == kBiBitfields;
  const bool rle = (out.compression == kBiRle8 && out.bit_count == 8) ||
                   (out.compression == kBiRle4 && out.bit_count == 4);
  if (out.compression != kBiRgb && !rle &&
      !(bitfields && (out.bit_count == 16 || out.bit_count == 32)))
    return Fail(error, "unsupported compression");
  // Run-length codes run from the bottom row up.
  if (rle && out.height < 0) return Fail(error, "top-down run-length bitmap");

  size_t offset = out.header_size;
  if (bitfields) {
    // Masks follow a 40-byte header; longer headers hold them at offset 40.
    size_t at = kInfoHeaderSize;
    if (out.header_size == kInfoHeaderSize) {
      if (block.size() - offset < 12) return Fail(error, "truncated colour masks");
      offset += 12;
    } else if (out.header_size < kInfoHeaderSize + 12) {
      return Fail(error, "truncated colour masks");
    }
    for (int i = 0; i < 3; ++i) out.masks[i] = LoadLE32(p + at + 4 * i);
  } else if (out.bit_count == 16) {
    out.masks = {0x7C00, 0x03E0, 0x001F};
  } else {
    out.masks = {0xFF0000, 0xFF00, 0xFF};
  }

  out.color_count = out.clr_used;
  if (out.color_count == 0 && out.bit_count <= 8) out.color_count = uint32_t{1} << out.bit_count;
  out.color_table_offset = offset;
  if (out.color_count > (block.size() - offset) / out.color_entry_size)
    return Fail(error, "colour table runs past the end");
  out.bits_offset = offset + size_t{out.color_count} * out.color_entry_size;

  const int64_t stride = ((int64_t{out.bit_count} * out.width + 31) >> 5) * 4;
  if (stride > INT32_MAX) return Fail(error, "bad bitmap size");
  out.row_stride = static_cast<int32_t>(stride);
  return true;
}

bool CDib::LoadPackedDib(std::span<const uint8_t> block, std::span<const uint8_t> pixels,
                         const WinRect* source, PackedDibHeader* headerOut, const char** error) {
  Free();
  PackedDibHeader h;
  if (!ParsePackedDibHeader(block, h, error)) return false;
  if (headerOut) *headerOut = h;

  SourceFormat src;
  src.bit_count = h.bit_count;
  if (h.bit_count >= 16 &&
      !(src.red.Set(h.masks[0]) && src.green.Set(h.masks[1]) && src.blue.Set(h.masks[2])))
    return Fail(error, "bad colour masks");

  const int32_t srcWidth = h.width;
  const int32_t srcHeight = h.height < 0 ? -h.height : h.height;
  const bool bottomUp = h.height > 0;
  if (pixels.empty()) pixels = block.subspan(h.bits_offset);
  std::unique_ptr<uint8_t[]> decoded;
  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    if (h.row_stride > kMaxBytes / srcHeight) return Fail(error, "image too large");
    const size_t bytes = static_cast<size_t>(h.row_stride) * static_cast<size_t>(srcHeight);
    decoded.reset(new (std::nothrow) uint8_t[bytes]());
    if (!decoded) return Fail(error, "out of memory");
    if (!DecodeRunLength(pixels, h.bit_count, srcWidth, srcHeight, h.row_stride, decoded.get()))
      return Fail(error, "run-length codes run past the end");
    pixels = std::span<const uint8_t>(decoded.get(), bytes);
  }
  if (h.row_stride > 0 &&
      static_cast<uint64_t>(srcHeight) > pixels.size() / static_cast<uint64_t>(h.row_stride))
    return Fail(error, "pixel rows run past the end");

  int32_t left = 0, top = 0, width = srcWidth, height = srcHeight;
  if (source) {
    const int64_t w = int64_t{source->right} - source->left;
    const int64_t hh = int64_t{source->bottom} - source->top;
    if (w <= 0 || hh <= 0 || w > INT32_MAX || hh > INT32_MAX)
      return Fail(error, "bad source rectangle");
    left = source->left;
    top = source->top;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(hh);
  }

  uint32_t format;
  switch (h.bit_count) {
    case 1:
      format = kDib1Bit;
      break;
    case 4:
      format = kDib4Bit;
      break;
    case 8:
      format = kDib8Bit;
      break;
    default:
      format = kDib32Bit;
      break;
  }
  const bool masks555 = h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F;
  if (h.bit_count == 16 && masks555) format = kDib16Bit;
  ColorTable table;
  if (h.bit_count <= 8) {
    table.count = std::min({h.color_count, ColorTable::kMaxEntries, uint32_t{1} << h.bit_count});
    for (uint32_t i = 0; i < table.count; ++i) {
      const uint8_t* q = block.data() + h.color_table_offset + h.color_entry_size * size_t{i};
      table.entries[i] = PackRgb(q[2], q[1], q[0]) | 0xFF000000u;
    }
  }
  if (!Create(format, width, height, &table))
    return Fail(error, "image too large or out of memory");

  // Same layout and whole rows: copy bytes. Otherwise pixel by pixel.
  const bool sameLayout = h.bit_count <= 8 || (h.bit_count == 16 && masks555);
  const bool wholeRows = left == 0 && width == srcWidth;
  // Columns of the source that exist: [cx0, cx1) in destination columns.
  const int64_t cx0 = std::max<int64_t>(0, -int64_t{left});
  const int64_t cx1 = std::min<int64_t>(width, int64_t{srcWidth} - left);
  for (int32_t dy = 0; dy < height; ++dy) {
    const int64_t sy = int64_t{top} + dy;
    if (sy < 0 || sy >= srcHeight) continue;
    const int64_t stored = bottomUp ? srcHeight - 1 - sy : sy;
    const uint8_t* srow = pixels.data() + static_cast<size_t>(stored) * h.row_stride;
    uint8_t* drow = Bits() + static_cast<size_t>(dy) * Stride();
    if (sameLayout && wholeRows) {
      std::memcpy(drow, srow, static_cast<size_t>(Stride()));
      continue;
    }
    for (int64_t dx = cx0; dx < cx1; ++dx) {
      const size_t sx = static_cast<size_t>(left + dx);
      if (h.bit_count <= 8)
        StoreIndex(drow, format, static_cast<size_t>(dx), src.Index(srow, sx));
      else
        StoreColor(drow, format, static_cast<size_t>(dx), src.Color(srow, sx));
    }
  }
  return true;
}

int32_t TwipsFromPixels(int64_t pixels, int32_t pelsPerMeter, int32_t screenLogPixels) {
  constexpr double kTwipsPerMetre = 56692.913385826774;
  // 39.37 (inches per metre) in 16.16.
  constexpr Fixed kInchesPerMetre = 2580152;
  if (pelsPerMeter < 787 || pelsPerMeter > 56692)
    pelsPerMeter = FixedMul(kInchesPerMetre, screenLogPixels);
  if (pelsPerMeter <= 0) pelsPerMeter = 3780;  // a screen reporting no resolution: 96 dpi
  const double twips = static_cast<double>(pixels) / pelsPerMeter * kTwipsPerMetre;
  return twips >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(twips);
}

bool CImageRef::LoadPackedDib(std::span<const uint8_t> block, std::span<const uint8_t> pixels,
                              const WinRect* source, PackedDibHeader* headerOut,
                              const char** error) {
  PackedDibHeader h;
  if (!CDib::LoadPackedDib(block, pixels, source, &h, error)) return false;
  if (headerOut) *headerOut = h;
  const int32_t dpi = ScreenLogPixels();
  bounds.xmin = 0;
  bounds.ymin = 0;
  bounds.xmax = TwipsFromPixels(Width(), h.x_pels_per_meter, dpi);
  bounds.ymax = TwipsFromPixels(Height(), h.y_pels_per_meter, dpi);
  return true;
}
