// A whole player driven by untrusted movies: intake in chunks, frame ticks
// on a moving clock, mouse moves, presses with drags, every menu command,
// zoom and panning, and a print render, through a window site that paints
// into memory.
//
// The first byte chooses: bit 0 the editor's player (else the plug-in's),
// bit 1 loop off, bits 4-7 the chunk size. The rest is the movie.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "movie/player/player_core.h"

namespace {

constexpr int32_t kWidth = 64, kHeight = 48;

class MemorySite : public IPlayerSite, public IPlayerPaintTarget {
 public:
  CPlayerCore* core = nullptr;
  uint32_t clock = 0;
  uint32_t seed = 1;
  int polls = 0;
  uint32_t checksum = 0;

  bool HasWindow() override { return true; }
  WinRect ClientRect() override { return {0, 0, kWidth, kHeight}; }
  void Invalidate(const WinRect&) override {}
  void PaintNow(const WinRect& area) override { core->Paint(*this, area); }
  bool XorFrameNow(const WinRect& r) override {
    XorFrame(r);
    return true;
  }
  void StartTimer(int, uint32_t) override {}
  void StopTimer(int) override {}
  uint32_t TimeMs() override { return clock += 7; }
  bool PollMouse(Point32& p) override {
    seed = seed * 1103515245 + 12345;
    p = {static_cast<int32_t>(seed >> 8) % (kWidth + 20) - 10,
         static_cast<int32_t>(seed >> 16) % (kHeight + 20) - 10};
    clock += seed >> 28;
    return ++polls % 6 != 0;
  }
  void GetUrl(const std::string&, const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) override {
    for (int32_t y = area.top; y < area.bottom; ++y)
      checksum += const_cast<COffscreenBitmap&>(bitmap).Row(y)[area.left];
  }
  void FillColor(const WinRect&, uint32_t colour) override { checksum += colour; }
  void XorFrame(const WinRect& r) override { checksum ^= static_cast<uint32_t>(r.left); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const bool editor = control & 1;
  const size_t chunk = size_t{1} << (control >> 4 & 7);
  MemorySite site;
  PlayerOptions options = editor ? PlayerOptions::Editor() : PlayerOptions::Plugin();
  CPlayerCore core(site, editor ? MovieReaderMode::kEditor : MovieReaderMode::kPlugin, options);
  site.core = &core;
  core.loop = !(control & 2);
  const uint8_t* movie = data + 1;
  const size_t length = size - 1;
  int step = 0;
  for (size_t at = 0; at < length; at += chunk) {
    core.Feed(movie + at, std::min(chunk, length - at));
    core.OnTimer(++step % 3 == 0);
  }
  core.Paint(site, site.ClientRect());
  for (int i = 0; i < 24; ++i) {
    core.OnTimer(i % 2 == 0);
    core.OnMouseMove({(i * 7) % kWidth, (i * 5) % kHeight});
    if (i % 5 == 0) core.OnLButtonDown({(i * 3) % kWidth, (i * 11) % kHeight});
    if (editor) core.OnButtonWatch();
  }
  const int ids[] = {options.id_zoom_in,  options.id_zoom_in_context, options.id_zoom_out,
                     options.id_show_all, options.id_high_quality,    options.id_play,
                     options.id_loop,     options.id_rewind,          options.id_forward,
                     options.id_back,     options.id_zoom_in,         options.id_zoom_in};
  for (int id : ids) {
    core.PopupMenu({kWidth / 3, kHeight / 3});
    (void)core.MenuItem(id);
    core.OnCommand(id);
    core.OnLButtonDown({kWidth / 2, kHeight / 2});  // pans when zoomed
  }
  int64_t w = 120, h = 80;
  COffscreenBitmap print;
  (void)core.RenderForPrint(w, h, (control & 4) ? 1 : 24, print);
  core.Paint(site, site.ClientRect());
  return static_cast<int>(site.checksum & 0);
}
