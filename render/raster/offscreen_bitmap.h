// Offscreen bitmaps: the project's own pixel surfaces that views, exporters and
// players draw into. The pixels are one contiguous block with a known stride,
// so the platform layer shows them in a window without copying.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "geometry/fixed.h"
#include "render/raster/palette.h"

// Offscreen format codes (not those of CDib).
enum OffscreenFormat : uint32_t {
  kOffscreen1Bit = 0,  // palette
  kOffscreen2Bit = 1,  // palette
  kOffscreen4Bit = 2,  // palette
  kOffscreen8Bit = 3,  // palette
  kOffscreen555 = 4,   // 16 bits, red in bits 10-14, green 5-9, blue 0-4
  kOffscreen565 = 5,   // 16 bits, red in bits 11-15, green 5-10, blue 0-4
  kOffscreen24 = 6,    // bytes blue, green, red
  kOffscreen32 = 7,    // bytes blue, green, red, unused
};

int OffscreenBitsPerPixel(uint32_t format);  // 0 for unknown codes

// A pixel format and row order for offscreen bitmaps.
struct BlitFormat {
  uint32_t format = kOffscreen32;
  uint32_t bottom_up = 0;  // 1: row 0 is the last in memory
  friend bool operator==(const BlitFormat&, const BlitFormat&) = default;
};

// A device-independent bitmap info block, byte for byte: the 40-byte header
// (width, height (negative for top-down rows), 1 plane, the bit count, plain or
// bit-field compression, the image size, colours used = important = the table
// entries written), then the colours as blue, green, red, 0 or, with
// `masks565`, the three 5-6-5 masks.
std::vector<uint8_t> BuildBitmapInfo(int32_t width, int32_t height, uint16_t bitCount,
                                     bool masks565, std::span<const uint32_t> colors,
                                     uint32_t sizeImage);

// What offscreen bitmaps ask of the display.
class CScreen {
 public:
  virtual ~CScreen() = default;
  virtual int Depth() = 0;  // bits per pixel times planes
  // The fastest format and row order for the depth (the blit-speed probe).
  virtual BlitFormat ProbeBlitFormat(int depth) = 0;
  // The application palette's shared record, borrowed; null without one.
  virtual CSharedPalette* AppPalette() = 0;
  // Logical pixels per inch (images without a resolution are sized by it).
  virtual int32_t LogPixels() { return 96; }
};

// The screen that COffscreenBitmap::Create serves; null restores the built-in
// true-colour screen (32 bits; windows show 32-bit top-down blue-green-red
// surfaces directly, so its format is code 7, top-down, without a trial; no
// palette). Not owned.
void SetOffscreenScreen(CScreen* screen);
// Forgets the remembered probe result, so the next Create probes again.
void ResetOffscreenProbe();
// The logical pixels per inch of the screen in use (96 for the built-in one).
int32_t ScreenLogPixels();

class COffscreenBitmap {
 public:
  // Largest pixel block accepted; a larger or impossible size fails.
  static constexpr int64_t kMaxBytes = int64_t{1} << 28;

  COffscreenBitmap() = default;
  COffscreenBitmap(const COffscreenBitmap&) = delete;
  COffscreenBitmap& operator=(const COffscreenBitmap&) = delete;
  ~COffscreenBitmap() { Free(); }

  // A bitmap of the rectangle's size in the screen's fastest format (probed
  // the first time and whenever the screen depth changes); palette formats
  // take the application palette (one more reference).
  [[nodiscard]] bool Create(const Rect32& size);
  // A bitmap of 1, 4, 8, 16 (5-5-5), 24 or 32 bits. Without a palette: black
  // and white for 1 bit, sixteen greys for 4 bits, the colour cube otherwise,
  // acquired as a shared palette; a given palette gains a reference. Other
  // depths, sizes of 0 or less and sizes past kMaxBytes fail.
  [[nodiscard]] bool CreateDepth(int bits, CSharedPalette* palette, int32_t width, int32_t height,
                                 bool bottomUp);
  // Releases the palette and the pixels.
  void Free();
  bool IsValid() const { return m_bits != nullptr; }
  void SetOrigin(int32_t origin) { m_origin = origin; }

  uint32_t BottomUp() const { return m_bottomUp; }
  uint32_t Format() const { return m_format; }
  int BitsPerPixel() const { return m_bitsPerPixel; }
  uint8_t* Bits() { return m_bits.get(); }
  const uint8_t* Bits() const { return m_bits.get(); }
  int32_t Stride() const { return m_stride; }
  int32_t Width() const { return m_width; }
  int32_t Height() const { return m_height; }
  size_t SizeBytes() const { return static_cast<size_t>(m_stride) * static_cast<size_t>(m_height); }
  CSharedPalette* Palette() const { return m_palette; }
  int32_t Origin() const { return m_origin; }
  // The info block describing the pixels (header, then colours or masks).
  std::span<const uint8_t> Info() const { return m_info; }
  // Start of pixel row y (0 = top) for either row order.
  uint8_t* Row(int32_t y) {
    return m_bits.get() + static_cast<size_t>(m_bottomUp ? m_height - 1 - y : y) * m_stride;
  }

 private:
  [[nodiscard]] bool CreateFormat(uint32_t format, bool bottomUp, CSharedPalette* palette,
                                  int64_t width, int64_t height);

  uint32_t m_bottomUp = 0;
  uint32_t m_format = 0;
  int m_bitsPerPixel = 0;
  std::unique_ptr<uint8_t[]> m_bits;
  int32_t m_stride = 0;
  int32_t m_width = 0;
  int32_t m_height = 0;
  CSharedPalette* m_palette = nullptr;  // counted reference
  int32_t m_origin = 0;
  std::vector<uint8_t> m_info;
};
