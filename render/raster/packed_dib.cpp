// Reading packed device-independent bitmaps (clipboard, import): outside
// input, so every field is read by offset within the bytes present and every
// size is checked before anything is allocated.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "render/raster/dib.h"
#include "render/raster/little_endian.h"

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
  uint16_t bitCount = 0;
  Channel red, green, blue;

  // Palette index for 1, 4 and 8 bits.
  uint32_t Index(const uint8_t* row, size_t x) const {
    switch (bitCount) {
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
    if (bitCount == 24) return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const uint32_t v = bitCount == 16 ? LoadLE16(row + 2 * x) : LoadLE32(row + 4 * x);
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

}  // namespace

bool ParsePackedDibHeader(std::span<const uint8_t> block, PackedDibHeader& out,
                          const char** error) {
  out = PackedDibHeader{};
  if (block.size() < 4) return Fail(error, "truncated bitmap header");
  const uint8_t* p = block.data();
  out.headerSize = LoadLE32(p);
  if (out.headerSize < kInfoHeaderSize) return Fail(error, "unsupported bitmap header");
  if (out.headerSize > block.size()) return Fail(error, "truncated bitmap header");
  out.width = static_cast<int32_t>(LoadLE32(p + 4));
  out.height = static_cast<int32_t>(LoadLE32(p + 8));
  out.planes = LoadLE16(p + 12);
  out.bitCount = LoadLE16(p + 14);
  out.compression = LoadLE32(p + 16);
  out.sizeImage = LoadLE32(p + 20);
  out.xPelsPerMeter = static_cast<int32_t>(LoadLE32(p + 24));
  out.yPelsPerMeter = static_cast<int32_t>(LoadLE32(p + 28));
  out.clrUsed = LoadLE32(p + 32);
  out.clrImportant = LoadLE32(p + 36);

  if (out.width <= 0 || out.height == 0 || out.height == INT32_MIN)
    return Fail(error, "bad bitmap size");
  if (out.planes != 1) return Fail(error, "bad plane count");
  switch (out.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return Fail(error, "unsupported bits per pixel");
  }
  const bool bitfields = out.compression == kBiBitfields;
  if (out.compression != kBiRgb && !(bitfields && (out.bitCount == 16 || out.bitCount == 32)))
    return Fail(error, "unsupported compression");

  size_t offset = out.headerSize;
  if (bitfields) {
    // Masks follow a 40-byte header; longer headers hold them at offset 40.
    size_t at = kInfoHeaderSize;
    if (out.headerSize == kInfoHeaderSize) {
      if (block.size() - offset < 12) return Fail(error, "truncated colour masks");
      offset += 12;
    } else if (out.headerSize < kInfoHeaderSize + 12) {
      return Fail(error, "truncated colour masks");
    }
    for (int i = 0; i < 3; ++i) out.masks[i] = LoadLE32(p + at + 4 * i);
  } else if (out.bitCount == 16) {
    out.masks = {0x7C00, 0x03E0, 0x001F};
  } else {
    out.masks = {0xFF0000, 0xFF00, 0xFF};
  }

  out.colorCount = out.clrUsed;
  if (out.colorCount == 0 && out.bitCount <= 8) out.colorCount = uint32_t{1} << out.bitCount;
  out.colorTableOffset = offset;
  if (out.colorCount > (block.size() - offset) / 4)
    return Fail(error, "colour table runs past the end");
  out.bitsOffset = offset + size_t{out.colorCount} * 4;

  const int64_t stride = ((int64_t{out.bitCount} * out.width + 31) >> 5) * 4;
  if (stride > INT32_MAX) return Fail(error, "bad bitmap size");
  out.rowStride = static_cast<int32_t>(stride);
  return true;
}

bool CDib::LoadPackedDib(std::span<const uint8_t> block, std::span<const uint8_t> pixels,
                         const WinRect* source, PackedDibHeader* headerOut, const char** error) {
  Free();
  PackedDibHeader h;
  if (!ParsePackedDibHeader(block, h, error)) return false;
  if (headerOut) *headerOut = h;

  SourceFormat src;
  src.bitCount = h.bitCount;
  if (h.bitCount >= 16 &&
      !(src.red.Set(h.masks[0]) && src.green.Set(h.masks[1]) && src.blue.Set(h.masks[2])))
    return Fail(error, "bad colour masks");

  const int32_t srcWidth = h.width;
  const int32_t srcHeight = h.height < 0 ? -h.height : h.height;
  const bool bottomUp = h.height > 0;
  if (pixels.empty()) pixels = block.subspan(h.bitsOffset);
  if (h.rowStride > 0 &&
      static_cast<uint64_t>(srcHeight) > pixels.size() / static_cast<uint64_t>(h.rowStride))
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
  switch (h.bitCount) {
    case 1:
      format = kDib1Bit;
      break;
    case 4:
      format = kDib4Bit;
      break;
    case 8:
      format = kDib8Bit;
      break;
    case 16:
      format = kDib16Bit;
      break;
    default:
      format = kDib32Bit;
      break;
  }
  ColorTable table;
  if (h.bitCount <= 8) {
    table.count = std::min({h.colorCount, ColorTable::kMaxEntries, uint32_t{1} << h.bitCount});
    for (uint32_t i = 0; i < table.count; ++i) {
      const uint8_t* q = block.data() + h.colorTableOffset + 4 * size_t{i};
      table.entries[i] = PackRgb(q[2], q[1], q[0]) | 0xFF000000u;
    }
  }
  if (!Create(format, width, height, &table))
    return Fail(error, "image too large or out of memory");

  // Same layout and whole rows: copy bytes. Otherwise pixel by pixel.
  const bool sameLayout = h.bitCount <= 8 || (h.bitCount == 16 && h.masks[0] == 0x7C00 &&
                                              h.masks[1] == 0x03E0 && h.masks[2] == 0x001F);
  const bool wholeRows = left == 0 && width == srcWidth;
  // Columns of the source that exist: [cx0, cx1) in destination columns.
  const int64_t cx0 = std::max<int64_t>(0, -int64_t{left});
  const int64_t cx1 = std::min<int64_t>(width, int64_t{srcWidth} - left);
  for (int32_t dy = 0; dy < height; ++dy) {
    const int64_t sy = int64_t{top} + dy;
    if (sy < 0 || sy >= srcHeight) continue;
    const int64_t stored = bottomUp ? srcHeight - 1 - sy : sy;
    const uint8_t* srow = pixels.data() + static_cast<size_t>(stored) * h.rowStride;
    uint8_t* drow = Bits() + static_cast<size_t>(dy) * Stride();
    if (sameLayout && wholeRows) {
      std::memcpy(drow, srow, static_cast<size_t>(Stride()));
      continue;
    }
    for (int64_t dx = cx0; dx < cx1; ++dx) {
      const size_t sx = static_cast<size_t>(left + dx);
      if (h.bitCount <= 8)
        StoreIndex(drow, format, static_cast<size_t>(dx), src.Index(srow, sx));
      else
        StoreColor(drow, format, static_cast<size_t>(dx), src.Color(srow, sx));
    }
  }
  return true;
}
