// Device-independent bitmaps: rows of pixels in one of six formats with an
// optional colour table, read by nearest pixel or bilinear sampling.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "geometry/fixed.h"
#include "render/raster/color_table.h"

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Format codes of a CDib.
enum DibFormat : uint32_t {
  kDib1Bit = 0,   // palette, most significant bit first
  kDib2Bit = 1,   // palette, shifts 6, 4, 2, 0
  kDib4Bit = 2,   // palette, high nibble first
  kDib8Bit = 3,   // palette
  kDib16Bit = 4,  // 5-5-5: red in bits 10-14, green 5-9, blue 0-4
  kDib32Bit = 5,  // red in bits 16-23, green 8-15, blue 0-7
};

// The fields of a packed device-independent bitmap's header (a 12-byte core
// header or a 40-byte or longer info header, masks, colour table, then the
// pixel rows), read field by field and checked against the bytes present.
struct PackedDibHeader {
  uint32_t header_size = 0;  // 12: core header (16-bit sizes, 3-byte colours)
  int32_t width = 0;
  int32_t height = 0;  // positive: bottom-up rows; negative: top-down
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  uint32_t compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
  std::array<uint32_t, 3> masks{};  // red, green, blue for 16 and 32 bits
  uint32_t color_count = 0;         // colour table entries stored in the block
  uint32_t color_entry_size = 4;    // bytes per entry: 3 after a core header
  size_t color_table_offset = 0;
  size_t bits_offset = 0;  // the bytes after the colour table
  int32_t row_stride = 0;  // bytes per stored (or, run-length coded, decoded) row
};

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kCoreHeaderSize = 12;

// Reads and checks a packed DIB's header, masks and colour table position.
// On failure returns false with a short reason in *error (when given).
[[nodiscard]] bool ParsePackedDibHeader(std::span<const uint8_t> block, PackedDibHeader& out,
                                        const char** error = nullptr);

class CDib {
 public:
  // Largest pixel block Create accepts; a larger or impossible size fails.
  static constexpr int64_t kMaxBytes = int64_t{1} << 28;

  CDib() = default;
  CDib(const CDib&) = delete;
  CDib& operator=(const CDib&) = delete;
  CDib(CDib&&) noexcept = default;
  CDib& operator=(CDib&&) noexcept = default;
  ~CDib() = default;

  // Bits per pixel of a format code, 0 for unknown codes.
  static int BitsPerPixel(uint32_t format);
  // Bytes per row (DWORD aligned), 0 for unknown codes or a negative width.
  static int32_t RowStride(uint32_t format, int32_t width);

  // Stores format and size, copies the colour table for palette formats (at
  // most min(count, 256, 2^bits) entries; none given means an empty table) and
  // allocates zeroed rows. Returns false, holding nothing, for an unknown
  // format, a negative size, a size past kMaxBytes, or when memory runs out.
  [[nodiscard]] bool Create(uint32_t format, int32_t width, int32_t height,
                            const ColorTable* colors);
  void Free();

  // The colour of pixel (x, y); x and y are clamped into the image. An image
  // without pixels gives black.
  Rgb GetPixel(int32_t x, int32_t y) const;
  // Bilinear sample at (x, y) in 16.16 pixel coordinates, weights in eighths.
  // Positions outside the image take the nearest row or column unblended.
  Rgb SampleBilinear(Fixed x, Fixed y) const;
  // The colour of an existing pixel (0 <= x < width, 0 <= y < height).
  Rgb PixelAt(int32_t x, int32_t y) const;

  // Fills the image from a packed DIB (header, masks, colour table, then the
  // pixel rows) the way a block transfer into a bitmap of the matching format
  // does: 1, 4 and 8 bits keep their indices and colours; 16 bits with the
  // 5-5-5 masks stay 5-5-5; other 16-bit masks, 24 and 32 bits become format
  // 5 (so 5-6-5 keeps its sixth green bit). Run-length coded rows (RLE8,
  // RLE4) are decoded; pixels the codes skip are index 0. `pixels`, when not
  // empty, holds the rows instead of the bytes after the colour table.
  // `source` (pixels, top row 0) selects a part; it is cut to the image.
  // 2-bit DIBs and other compressions are refused. On failure the image
  // holds nothing.
  [[nodiscard]] bool LoadPackedDib(std::span<const uint8_t> block,
                                   std::span<const uint8_t> pixels = {},
                                   const WinRect* source = nullptr,
                                   PackedDibHeader* header = nullptr, const char** error = nullptr);

  uint8_t* Bits() { return m_bits.get(); }
  const uint8_t* Bits() const { return m_bits.get(); }
  ColorTable* Colors() { return m_colors.get(); }
  const ColorTable* Colors() const { return m_colors.get(); }
  uint32_t Format() const { return m_format; }
  int32_t Width() const { return m_width; }
  int32_t Height() const { return m_height; }
  int32_t Stride() const { return m_stride; }
  size_t SizeBytes() const { return static_cast<size_t>(m_stride) * static_cast<size_t>(m_height); }

 private:
  std::unique_ptr<uint8_t[]> m_bits;
  std::unique_ptr<ColorTable> m_colors;
  uint32_t m_format = 0;
  int32_t m_width = 0;
  int32_t m_height = 0;
  int32_t m_stride = 0;
};

// The record that carries an image to the window system: a CDib and its bounds
// (in twips for bitmap objects; empty when new). The pixels are always the
// image's own block, which the platform layer shows without copying.
class CImageRef : public CDib {
 public:
  // CDib::LoadPackedDib, then the bounds in twips: 0, 0 to the size divided
  // by the header's resolution (pixels per metre) times 56692.913385826774
  // twips per metre, truncated. A resolution below 787 or above 56692 (a
  // core header has none) stands for the screen's: 39.37 times its logical
  // pixels per inch (ScreenLogPixels).
  [[nodiscard]] bool LoadPackedDib(std::span<const uint8_t> block,
                                   std::span<const uint8_t> pixels = {},
                                   const WinRect* source = nullptr,
                                   PackedDibHeader* header = nullptr, const char** error = nullptr);

  Rect32 bounds;
};

// The twips that `pixels` pixels span at a resolution in pixels per metre
// (out-of-range resolutions replaced as above, given the screen's pixels per
// inch); at most INT32_MAX.
int32_t TwipsFromPixels(int64_t pixels, int32_t pelsPerMeter, int32_t screenLogPixels);
