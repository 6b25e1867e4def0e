#include "platform/qt/screen_hook.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/dc.h"
#include "render/raster/blit_probe.h"

namespace {

// The probe's trials go through the same transfer that shows offscreen
// bitmaps in windows: a packed bitmap onto a 32-bit surface.
class SurfaceProbeTarget final : public CBlitProbeTarget {
 public:
  SurfaceProbeTarget() : image_(200, 200, QImage::Format_RGB32) {
    image_.fill(0xFFFFFFFFu);
    dc_.AttachImage(&image_);
    clock_.start();
  }
  bool BlitTest(std::span<const uint8_t> info, std::span<const uint8_t> pixels) override {
    return dc_.SetDIBitsToDevice(0, 0, 200, 200, 0, 0, 0, 200, pixels, info) == 200;
  }
  void Flush() override {}
  int64_t Now() override { return clock_.nsecsElapsed() / 1000; }  // microseconds

 private:
  QImage image_;
  CDC dc_;
  QElapsedTimer clock_;
};

class QtScreenHook final : public CScreen {
 public:
  int Depth() override {
    const QScreen* screen =
        QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr;
    const int depth = screen ? screen->depth() : 32;
    // Every window surface holds 32-bit pixels whatever the screen.
    return depth >= 24 ? 32 : depth;
  }
  BlitFormat ProbeBlitFormat(int depth) override {
    SurfaceProbeTarget target;
    return RunBlitProbe(depth, target);
  }
  CSharedPalette* AppPalette() override { return nullptr; }
};

}  // namespace

CScreen* QtScreen() {
  static QtScreenHook* screen = new QtScreenHook;
  return screen;
}

void BlitOffscreenToDC(COffscreenBitmap& bitmap, CDC& dc, const Rect32& destination, int sourceX,
                       int sourceY) {
  if (!bitmap.IsValid()) return;
  dc.BlitOffscreen(bitmap, destination.xmin, destination.ymin, destination.xmax - destination.xmin,
                   destination.ymax - destination.ymin, sourceX, sourceY, SRCCOPY);
}
