// The offscreen view: a scroll view whose picture lives in an offscreen
// bitmap. Painting only copies from the bitmap; the parts that changed are
// drawn into it first (the derived view's DrawPage), and scrolling moves its
// pixels so that only the uncovered strip is drawn again.
//
// The dirty rectangle is kept in scrolled coordinates (client pixels plus the
// scroll position at the time it was added), so it follows the pixels it
// stands for through every later scroll. The whole window is a flag, not a
// rectangle, so a client of any size is redrawn whole.
#pragma once

#include <cstdint>

#include "render/gdi/app_palette.h"
#include "render/raster/offscreen_bitmap.h"
#include "view/scroll_view.h"

class COffscreenView : public CSScrollView, public CPaletteView {
  VM_DECLARE_DYNAMIC(COffscreenView)

 public:
  // Joins the palette views; everything is dirty.
  COffscreenView();
  ~COffscreenView() override;

  // Marks client pixels (null: the whole window) to be drawn again and
  // invalidates them with erase.
  void InvalidateDoc(const CRect* rect);
  // The painting: the application palette selected and realised, the
  // bitmap brought up to date and the context's clip box (cut to the client
  // area) copied from the same place of the bitmap. 1 also for an empty clip
  // box; 0 when the bitmap could not be made or drawn (nothing is copied).
  int BlitToDC(CDC* dc);
  // Brings the bitmap up to date: scrolls its pixels by the scroll change
  // since the last drawing, makes it when there is none, and draws what is
  // dirty. 1 when the bitmap shows the window (also when nothing was dirty);
  // 0 when it could not be made or DrawPage failed, whose rectangle then
  // stays dirty for the next try.
  int UpdateOffscreen();
  // Draws the dirty part of the client area into the bitmap and shows it on
  // the window now, through a client context with the application palette.
  void RedrawDirtyNow();

  // The dirty part of the client area now (empty when nothing is dirty).
  CRect GetDirtyClientRect() const;
  COffscreenBitmap& GetOffscreenBitmap() { return m_bitmap; }

  // Palette views: the bitmap is made again at the next paint.
  void DropOffscreenBitmap() override { m_bitmap.Free(); }
  CWnd* PaletteWindow() override { return this; }

 protected:
  // Draws the client pixels rect (never empty, inside the client area) of
  // the picture into the bitmap, whose pixels are the client area's. False
  // when the drawing failed.
  virtual bool DrawPage(COffscreenBitmap& bitmap, const CRect& rect) = 0;
  // The paint handler's drawing; the base shows the bitmap.
  virtual void OnDraw(CDC* dc);
  // Prepares a context that shows the bitmap on the window (the paint
  // handler's and RedrawDirtyNow's); nothing here.
  virtual void OnPrepareDC(CDC* /*dc*/) {}

  void OnPaint() override;
  void OnSize(UINT type, int cx, int cy) override;
  // The screen mode changed: the application palette is built again and
  // every palette view redrawn whole.
  void OnDisplayChange(UINT bitsPerPixel, int cx, int cy) override;
  // Marks client pixels to be drawn again without invalidating the window
  // (RedrawDirtyNow shows them).
  void MarkDirty(const CRect& client);

 private:
  // Scrolled coordinates, which may pass the 32-bit range.
  struct Area {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
  };

  Area m_dirty;
  bool m_dirtyAll = true;
  CPoint m_drawnScroll;  // the scroll position the bitmap was drawn at
  COffscreenBitmap m_bitmap;
};
