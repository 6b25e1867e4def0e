#include "render/raster/dib_record.h"

#include <algorithm>
#include <vector>

#include "render/raster/little_endian.h"

namespace {

constexpr uint8_t kDibRecordVersion = 0;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// A colour component as stored: 0 stays 0, else value * 256 + 255.
uint16_t WideComponent(uint8_t v) {
  return v == 0 ? 0 : static_cast<uint16_t>(v << 8 | 0xFF);
}

// Stored and memory order differ by a byte swap within each 16-bit pixel
// (format 4) or a reversal of each 32-bit pixel (format 5); the swap is its
// own inverse.
void SwapPixelBytes(uint8_t* row, size_t bytes, uint32_t format) {
  if (format == kDib16Bit) {
    for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(row[i], row[i + 1]);
  } else if (format == kDib32Bit) {
    for (size_t i = 0; i + 3 < bytes; i += 4) {
      std::swap(row[i], row[i + 3]);
      std::swap(row[i + 1], row[i + 2]);
    }
  }
}

bool Fail(const char** error, const char* why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool WriteDibRecord(const CImageRef& image, CDibRecordWriter& out) {
  if (image.Bits() == nullptr || image.Width() > 0xFFFF || image.Height() > 0xFFFF ||
      image.Stride() > 0xFFFF)
    return false;
  const uint32_t format = image.Format();
  std::vector<uint8_t> head;
  head.push_back(kDibRecordVersion);
  head.push_back(static_cast<uint8_t>(format));
  Put16(head, static_cast<uint32_t>(image.Stride()));
  Put16(head, static_cast<uint32_t>(image.Width()));
  Put16(head, static_cast<uint32_t>(image.Height()));
  Put32(head, image.bounds.xmin);
  Put32(head, image.bounds.xmax);
  Put32(head, image.bounds.ymin);
  Put32(head, image.bounds.ymax);
  if (format <= kDib8Bit) {
    const ColorTable* colors = image.Colors();
    const uint32_t count = colors ? colors->count : 0;
    Put16(head, count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t c = colors->entries[i];
      Put16(head, WideComponent(RedOf(c)));
      Put16(head, WideComponent(GreenOf(c)));
      Put16(head, WideComponent(BlueOf(c)));
    }
  }
  out.Write(head.data(), head.size());

  const size_t stride = static_cast<size_t>(image.Stride());
  std::vector<uint8_t> row(stride);
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* src = image.Bits() + static_cast<size_t>(y) * stride;
    if (format == kDib16Bit || format == kDib32Bit) {
      std::copy_n(src, stride, row.begin());
      SwapPixelBytes(row.data(), stride, format);
      src = row.data();
    }
    out.Write(src, stride);
  }
  return true;
}

bool ReadDibRecord(CDibRecordReader& in, CImageRef& image, const char** error) {
  image.Free();
  image.bounds = Rect32{};
  uint8_t head[24];
  in.Read(head, sizeof head);
  const uint8_t version = head[0];
  const uint32_t format = head[1];
  const int32_t width = LoadLE16(head + 4);
  const int32_t height = LoadLE16(head + 6);
  Rect32 bounds;
  bounds.xmin = static_cast<int32_t>(LoadLE32(head + 8));
  bounds.xmax = static_cast<int32_t>(LoadLE32(head + 12));
  bounds.ymin = static_cast<int32_t>(LoadLE32(head + 16));
  bounds.ymax = static_cast<int32_t>(LoadLE32(head + 20));
  if (version != kDibRecordVersion) return Fail(error, "unknown image record version");
  if (format > kDib32Bit) return Fail(error, "unknown image format");
  if (width == 0 || height == 0) return Fail(error, "empty image");

  ColorTable table;
  if (format <= kDib8Bit) {
    uint8_t countBytes[2];
    in.Read(countBytes, 2);
    const uint32_t count = LoadLE16(countBytes);
    const uint32_t kept = std::min(count, uint32_t{1} << CDib::BitsPerPixel(format));
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t c[6];
      in.Read(c, sizeof c);
      if (i < kept) table.entries[i] = PackRgb(c[1], c[3], c[5]) | 0xFF000000u;
    }
    table.count = kept;
  }
  const int32_t stride = CDib::RowStride(format, width);
  const uint64_t bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (bytes > in.Remaining()) return Fail(error, "image rows run past the end");
  if (!image.Create(format, width, height, &table)) return Fail(error, "out of memory");
  try {
    in.Read(image.Bits(), static_cast<size_t>(bytes));
  } catch (...) {
    image.Free();
    throw;
  }
  for (int32_t y = 0; y < height; ++y)
    SwapPixelBytes(image.Bits() + static_cast<size_t>(y) * static_cast<size_t>(stride),
                   static_cast<size_t>(stride), format);
  image.bounds = bounds;
  return true;
}
