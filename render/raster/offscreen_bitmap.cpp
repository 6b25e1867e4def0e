#include "render/raster/offscreen_bitmap.h"

#include <algorithm>
#include <new>

namespace {

// Windows show 32-bit top-down surfaces (bytes blue, green, red, unused)
// without converting them, so there is nothing to time on this screen.
class CTrueColorScreen final : public CScreen {
 public:
  int Depth() override { return 32; }
  BlitFormat ProbeBlitFormat(int) override { return {kOffscreen32, 0}; }
  CSharedPalette* AppPalette() override { return nullptr; }
};

CTrueColorScreen g_trueColorScreen;
CScreen* g_screen = &g_trueColorScreen;

// The probe result, remembered for the process with the depth it was made for.
bool g_probed = false;
int g_probedDepth = 0;
BlitFormat g_probedFormat;

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// The default colours of a bitmap made without a palette.
void DefaultColors(int bits, ColorTable& table) {
  table = ColorTable{};
  if (bits == 1) {
    table.count = 2;
    table.entries[1] = PackRgb(255, 255, 255);
  } else if (bits == 4) {
    table.count = 16;
    for (uint32_t i = 0; i < 16; ++i) {
      const uint32_t v = i == 15 ? 255 : i * 16;
      table.entries[i] = PackRgb(v, v, v);
    }
  } else {
    BuildColorCube(table);
  }
}

}  // namespace

int OffscreenBitsPerPixel(uint32_t format) {
  static constexpr int kBits[] = {1, 2, 4, 8, 16, 16, 24, 32};
  return format < 8 ? kBits[format] : 0;
}

std::vector<uint8_t> BuildBitmapInfo(int32_t width, int32_t height, uint16_t bitCount,
                                     bool masks565, std::span<const uint32_t> colors,
                                     uint32_t sizeImage) {
  std::vector<uint8_t> out;
  out.reserve(40 + 4 * std::max<size_t>(colors.size(), 3));
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, bitCount);
  PutU32(out, masks565 ? 3 : 0);  // BI_BITFIELDS or BI_RGB
  PutU32(out, sizeImage);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(colors.size()));
  PutU32(out, static_cast<uint32_t>(colors.size()));
  if (masks565) {
    PutU32(out, 0xF800);
    PutU32(out, 0x07E0);
    PutU32(out, 0x001F);
  }
  for (uint32_t c : colors) {
    out.push_back(BlueOf(c));
    out.push_back(GreenOf(c));
    out.push_back(RedOf(c));
    out.push_back(0);
  }
  return out;
}

int32_t ScreenLogPixels() {
  return g_screen->LogPixels();
}

void SetOffscreenScreen(CScreen* screen) {
  g_screen = screen ? screen : &g_trueColorScreen;
}

void ResetOffscreenProbe() {
  g_probed = false;
}

bool COffscreenBitmap::Create(const Rect32& size) {
  Free();
  if (size.IsEmpty()) return false;
  const int depth = g_screen->Depth();
  if (!g_probed || depth != g_probedDepth) {
    g_probedFormat = g_screen->ProbeBlitFormat(depth);
    g_probedDepth = depth;
    g_probed = true;
  }
  CSharedPalette* palette =
      g_probedFormat.format <= kOffscreen8Bit ? g_screen->AppPalette() : nullptr;
  return CreateFormat(g_probedFormat.format, g_probedFormat.bottom_up != 0, palette,
                      int64_t{size.xmax} - size.xmin, int64_t{size.ymax} - size.ymin);
}

bool COffscreenBitmap::CreateDepth(int bits, CSharedPalette* palette, int32_t width, int32_t height,
                                   bool bottomUp) {
  Free();
  uint32_t format;
  switch (bits) {
    case 1:
      format = kOffscreen1Bit;
      break;
    case 4:
      format = kOffscreen4Bit;
      break;
    case 8:
      format = kOffscreen8Bit;
      break;
    case 16:
      format = kOffscreen555;
      break;
    case 24:
      format = kOffscreen24;
      break;
    case 32:
      format = kOffscreen32;
      break;
    default:
      return false;
  }
  if (palette) {
    palette->AddRef();
  } else {
    ColorTable table;
    DefaultColors(bits, table);
    palette = CSharedPalette::Acquire(table);
    if (!palette) return false;
  }
  // CreateFormat takes its own reference; this one was for the default table.
  const bool ok = CreateFormat(format, bottomUp, palette, width, height);
  CSharedPalette::Release(palette);
  return ok;
}

bool COffscreenBitmap::CreateFormat(uint32_t format, bool bottomUp, CSharedPalette* palette,
                                    int64_t width, int64_t height) {
  Free();
  const int bits = OffscreenBitsPerPixel(format);
  if (bits == 0 || width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
    return false;
  // A palette format needs colours: the given palette or nothing to draw with.
  if (format <= kOffscreen8Bit && !palette) return false;
  const int64_t stride = ((bits * width + 31) >> 5) * 4;
  if (stride > kMaxBytes / height) return false;

  std::span<const uint32_t> colors;
  if (format <= kOffscreen8Bit) {
    const uint32_t n =
        std::min({palette->table.count, ColorTable::kMaxEntries, uint32_t{1} << bits});
    colors = std::span<const uint32_t>(palette->table.entries.data(), n);
  }
  const auto size = static_cast<size_t>(stride * height);
  try {
    m_info = BuildBitmapInfo(
        static_cast<int32_t>(width), static_cast<int32_t>(bottomUp ? height : -height),
        static_cast<uint16_t>(bits), format == kOffscreen565, colors, static_cast<uint32_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  m_bits.reset(new (std::nothrow) uint8_t[size]());
  if (!m_bits) {
    Free();
    return false;
  }
  if (palette) palette->AddRef();
  m_palette = palette;
  m_bottomUp = bottomUp ? 1 : 0;
  m_format = format;
  m_bitsPerPixel = bits;
  m_stride = static_cast<int32_t>(stride);
  m_width = static_cast<int32_t>(width);
  m_height = static_cast<int32_t>(height);
  return true;
}

void COffscreenBitmap::Free() {
  CSharedPalette::Release(m_palette);
  m_palette = nullptr;
  m_bits.reset();
  m_info.clear();
  m_info.shrink_to_fit();
  m_bottomUp = m_format = 0;
  m_bitsPerPixel = 0;
  m_stride = m_width = m_height = 0;
}
