// The player library's browser face driven by untrusted movies: NPP_New
// with page parameters, NPP_SetWindow with a window that paints into
// memory, NPP_NewStream and NPP_Write in chunks of varying size (each sized
// by NPP_WriteReady), then frame ticks, mouse moves, presses with drags,
// menu commands, a print and NPP_Destroy.
//
// The first byte chooses: bit 0 loop off, bit 1 high quality, bit 2 a speed
// limit, bits 4-7 the chunk seed. The rest is the movie.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/npapi.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"

extern "C" {
NPError NP_GetEntryPoints(NPPluginFuncs* funcs);
NPError NP_Initialize(NPNetscapeFuncs* browser);
NPError NP_Shutdown();
}

namespace {

constexpr int32_t kWidth = 64, kHeight = 48;
uint32_t g_clock = 0;
uint32_t g_seed = 1;
uint32_t g_checksum = 0;

uint32_t Clock() {
  return g_clock += 9;
}

class MemoryWindow final : public IPluginWindow, public IPlayerPaintTarget {
 public:
  explicit MemoryWindow(CPluginPlayer& player) : player_(player) {}
  WinRect ClientRect() override { return {0, 0, kWidth, kHeight}; }
  void Invalidate(const WinRect&) override {}
  void PaintNow(const WinRect& area) override { player_.Core().Paint(*this, area); }
  bool XorFrameNow(const WinRect& r) override {
    XorFrame(r);
    return true;
  }
  void StartTimer(int, uint32_t) override {}
  void StopTimer(int) override {}
  bool PollMouse(Point32& p) override {
    g_seed = g_seed * 1103515245 + 12345;
    p = {static_cast<int32_t>(g_seed >> 8) % (kWidth + 20) - 10,
         static_cast<int32_t>(g_seed >> 16) % (kHeight + 20) - 10};
    g_clock += g_seed >> 28;
    return ++polls_ % 5 != 0;
  }
  void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) override {
    for (int32_t y = area.top; y < area.bottom; ++y)
      g_checksum += const_cast<COffscreenBitmap&>(bitmap).Row(y)[area.left];
  }
  void FillColor(const WinRect&, uint32_t colour) override { g_checksum += colour; }
  void XorFrame(const WinRect& r) override { g_checksum ^= static_cast<uint32_t>(r.left); }

 private:
  CPluginPlayer& player_;
  int polls_ = 0;
};

std::unique_ptr<IPluginWindow> MakeWindow(CPluginPlayer& player, void* handle) {
  return handle ? std::make_unique<MemoryWindow>(player) : nullptr;
}

void Print(CPlayerCore& core, void*, const NPWindow& area) {
  int64_t width = area.width, height = area.height;
  COffscreenBitmap out;
  if (core.RenderForPrint(width, height, 1, out)) g_checksum += out.Row(0)[0];
}

NPError GetUrl(NPP, const char* url, const char* target) {
  g_checksum += static_cast<uint32_t>(std::string(url).size() + std::string(target).size());
  return NPERR_NO_ERROR;
}
void Status(NPP, const char* text) {
  g_checksum += static_cast<uint32_t>(std::string(text).size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  SetPluginWindowFactory(MakeWindow);
  SetPluginPrinter(Print);
  SetPluginClock(Clock);
  NPNetscapeFuncs browser{};
  browser.size = sizeof browser;
  browser.geturl = GetUrl;
  browser.status = Status;
  NP_Initialize(&browser);
  NPPluginFuncs f{};
  f.size = sizeof f;
  NP_GetEntryPoints(&f);
  std::string loop = control & 1 ? "false" : "true", quality = control & 2 ? "high" : "autolow",
              limit = control & 4 ? "3000" : "0";
  std::string n0 = "loop", n1 = "quality", n2 = "speedlimit", n3 = "salign", v3 = "tr";
  char* argn[] = {n0.data(), n1.data(), n2.data(), n3.data()};
  char* argv[] = {loop.data(), quality.data(), limit.data(), v3.data()};
  NPP_t npp{};
  if (f.newp(nullptr, &npp, NP_EMBED, 4, argn, argv, nullptr) != NPERR_NO_ERROR) return 0;
  int native = 0;
  NPWindow window{};
  window.window = &native;
  window.width = kWidth;
  window.height = kHeight;
  f.setwindow(&npp, &window);
  NPStream stream{};
  stream.url = "http://h.example/dir/movie.vmp";
  stream.end = static_cast<uint32_t>(size - 1);
  f.newstream(&npp, nullptr, &stream, 0, nullptr);
  auto* player = static_cast<CPluginPlayer*>(npp.pdata);
  uint32_t seed = control >> 4 | 1;
  const uint8_t* movie = data + 1;
  const size_t length = size - 1;
  for (size_t at = 0; at < length;) {
    const int32_t ready = f.writeready(&npp, &stream);
    seed = seed * 1103515245 + 12345;
    if (ready <= 0) {
      g_clock += 100;  // the throttle lets bytes through as time passes
      continue;
    }
    const size_t chunk =
        std::min({static_cast<size_t>(ready), size_t{1} + (seed >> 16) % 512, length - at});
    if (f.write(&npp, &stream, static_cast<int32_t>(at), static_cast<int32_t>(chunk),
                const_cast<uint8_t*>(movie + at)) < 0)
      break;
    at += chunk;
    player->Core().OnTimer(seed % 3 == 0);
  }
  f.destroystream(&npp, &stream, NPRES_DONE);
  CPlayerCore& core = player->Core();
  for (int i = 0; i < 20; ++i) {
    core.OnTimer(i % 2 == 0);
    core.OnMouseMove({(i * 7) % kWidth, (i * 5) % kHeight});
    if (i % 6 == 0) core.OnLButtonDown({(i * 3) % kWidth, (i * 11) % kHeight});
    core.OnCommand(20042 + i % 4);  // zoom in, loop, About, the not-loaded item
  }
  core.OnCommand(20030);
  NPPrint print{};
  print.mode = NP_EMBED;
  print.print.embedPrint.window.width = 700;
  print.print.embedPrint.window.height = 500;
  f.print(&npp, &print);
  f.destroy(&npp, nullptr);
  NP_Shutdown();
  return static_cast<int>(g_checksum & 0);
}
