#include "render/gdi/bitmap_render_context.h"

#include "render/raster/offscreen_bitmap.h"

CBitmapRenderContext::CBitmapRenderContext(COffscreenBitmap* bitmap, uint32_t highQuality)
    : CGdiRenderContext(&m_memoryDC, nullptr),
      m_scanConverter(bitmap, nullptr, nullptr, highQuality),
      m_bitmap(bitmap) {
  m_flags |= kFlagFills;
  const bool valid = bitmap && bitmap->IsValid();
  SetClip({0, valid ? bitmap->Width() : 0, 0, valid ? bitmap->Height() : 0});
  m_scan = &m_scanConverter;
  UpdateMatrix();
  m_memoryDC.CreateCompatibleDC(nullptr);
  if (valid) {
    m_oldBitmap = m_memoryDC.SelectObject(bitmap);
    // Device colours drawn into a bitmap with a palette are palette-relative.
    if (bitmap->Palette()) m_paletteColours = 1;
  }
}

CBitmapRenderContext::~CBitmapRenderContext() {
  if (m_oldBitmap) m_memoryDC.SelectObject(m_oldBitmap);
  m_scan = nullptr;
}

void CBitmapRenderContext::Blit(CDC* destination, const Rect32& destRect, int32_t sourceX,
                                int32_t sourceY) {
  Flush();
  if (!destination || !m_bitmap || !m_bitmap->IsValid()) return;
  destination->BitBlt(destRect.xmin, destRect.ymin, destRect.xmax - destRect.xmin,
                      destRect.ymax - destRect.ymin, &m_memoryDC, sourceX, sourceY, SRCCOPY);
}
