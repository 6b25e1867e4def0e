#include "platform/qt/screen_hook.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "platform/qt/dc.h"
#include "platform/qt/system_palette.h"
#include "render/raster/blit_probe.h"

namespace {

bool g_paletteScreen = false;
CSharedPalette* (*g_appPaletteProvider)() = nullptr;

// The old system's static colours: the first ten and the last ten entries
// of the system palette.
constexpr PaletteEntry kStaticColours[kReservedPaletteEntries] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

constexpr UINT kFirstFree = kReservedPaletteEntries / 2;
constexpr UINT kEndFree = kSystemPaletteSize - kReservedPaletteEntries / 2;

PaletteEntry StaticEntry(UINT index) {
  if (index < kFirstFree) return kStaticColours[index];
  if (index >= kEndFree)
    return kStaticColours[index - (kSystemPaletteSize - kReservedPaletteEntries)];
  return {};  // the free entries start black
}

// The fake screen's system palette.
struct SystemPalette {
  PaletteEntry entries[kSystemPaletteSize];
  void Reset() {
    for (UINT i = 0; i < kSystemPaletteSize; ++i) entries[i] = StaticEntry(i);
  }
  SystemPalette() { Reset(); }
};
SystemPalette& System() {
  static SystemPalette palette;
  return palette;
}

bool SameColour(const PaletteEntry& a, const PaletteEntry& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

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
    if (g_paletteScreen) return 8;
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
  CSharedPalette* AppPalette() override {
    return g_appPaletteProvider ? g_appPaletteProvider() : nullptr;
  }
  int32_t LogPixels() override {
    const QScreen* screen =
        QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr;
    return screen ? static_cast<int32_t>(screen->logicalDotsPerInchY() + 0.5) : 96;
  }
};

}  // namespace

void SetFakePaletteScreen(bool on) {
  g_paletteScreen = on;
  System().Reset();
}

UINT RealizeOnPaletteScreen(const LogPalette& palette) {
  if (!g_paletteScreen) return 0;
  SystemPalette& system = System();
  UINT next = kFirstFree, changed = 0;
  for (const PaletteEntry& e : palette.entries) {
    if (!(e.flags & kPaletteNoCollapse)) {
      bool held = false;
      for (UINT i = 0; i < kSystemPaletteSize && !held; ++i) {
        const bool placed = i < kFirstFree || i >= kEndFree || i < next;
        held = placed && SameColour(system.entries[i], e);
      }
      if (held) continue;
    }
    if (next == kEndFree) continue;  // no free entry left: matched, not placed
    PaletteEntry& slot = system.entries[next++];
    if (!SameColour(slot, e)) ++changed;
    slot = {e.red, e.green, e.blue, 0};
  }
  return changed;
}

bool IsPaletteScreen() {
  return g_paletteScreen;
}

ScreenPaletteInfo QtScreenPaletteInfo() {
  ScreenPaletteInfo info;
  info.bits_pixel = QtScreen()->Depth();
  info.planes = 1;
  info.palette_device = g_paletteScreen;
  info.num_reserved = g_paletteScreen ? kReservedPaletteEntries : 0;
  if (g_paletteScreen) {
    info.system.resize(kSystemPaletteSize);
    GetSystemPaletteEntries(0, kSystemPaletteSize, info.system.data());
  }
  return info;
}

UINT GetSystemPaletteEntries(UINT start, UINT count, PaletteEntry* out) {
  if (!g_paletteScreen || out == nullptr || start >= kSystemPaletteSize) return 0;
  const UINT n = std::min<UINT>(count, kSystemPaletteSize - start);
  for (UINT i = 0; i < n; ++i) out[i] = System().entries[start + i];
  return n;
}

void SetAppPaletteProvider(CSharedPalette* (*provider)()) {
  g_appPaletteProvider = provider;
}

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
