// A render context over an offscreen bitmap: everything is drawn through the
// bitmap's own scan converter (anti-aliased when high quality), and what
// device-context drawing remains (handles, text) goes to a memory device
// context on the same pixels. Blit copies the result to another context.
#pragma once

#include <cstdint>

#include "platform/qt/dc.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/scan_converter.h"

class COffscreenBitmap;

class CBitmapRenderContext : public CGdiRenderContext {
 public:
  // High quality: anti-aliasing, smooth bitmaps and error diffusion.
  CBitmapRenderContext(COffscreenBitmap* bitmap, uint32_t highQuality);
  ~CBitmapRenderContext() override;

  // Renders what is pending, then copies the destination rectangle's size
  // from (sourceX, sourceY) of the bitmap to its top-left. Nothing for a
  // bitmap without pixels.
  void Blit(CDC* destination, const Rect32& destRect, int32_t sourceX, int32_t sourceY);

  CScanConverter m_scanConverter;
  CDC m_memoryDC;
  COffscreenBitmap* m_bitmap;  // not owned
  COffscreenBitmap* m_oldBitmap = nullptr;
};
