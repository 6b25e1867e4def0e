#include "render/gdi/app_palette.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/qt/gdi_objects.h"
#include "platform/qt/wnd.h"
#include "render/gdi/app_shell.h"
#include "render/raster/span_fill.h"

namespace {

struct AppPaletteState {
  CPalette palette;
  CSharedPalette* shared = nullptr;
  bool built = false;
  std::vector<CPaletteView*> views;
};

AppPaletteState& State() {
  static AppPaletteState* state = new AppPaletteState;  // lives as long as the process
  return *state;
}

void Build() {
  AppPaletteState& s = State();
  s.built = true;
  const AppPalettePlan plan = PlanAppPalette(QtScreenPaletteInfo());
  switch (plan.kind) {
    case AppPaletteKind::kNone:
      break;
    case AppPaletteKind::kIdentity:
      s.shared = CSharedPalette::CreateFromLogPalette(plan.log_palette);
      if (s.shared && !s.palette.CreatePalette(plan.log_palette)) {
        CSharedPalette::Release(s.shared);
        s.shared = nullptr;
      }
      break;
    case AppPaletteKind::kSystem:
      s.shared = CSharedPalette::Acquire(plan.system_table);
      break;
  }
}

void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An 8 x 8 packed bitmap of the pattern's two colours (0x00BBGGRR).
std::vector<uint8_t> PatternDib(const std::array<uint8_t, 64>& pattern,
                                const std::array<uint32_t, 2>& colours) {
  std::vector<uint8_t> dib;
  PutLE(dib, 40, 4);  // header size
  PutLE(dib, 8, 4);   // width
  PutLE(dib, 8, 4);   // height (bottom-up)
  PutLE(dib, 1, 2);   // planes
  PutLE(dib, 8, 2);   // bits per pixel
  PutLE(dib, 0, 4);   // no compression
  PutLE(dib, 64, 4);  // image size
  PutLE(dib, 0, 4);
  PutLE(dib, 0, 4);
  PutLE(dib, 2, 4);  // colours used
  PutLE(dib, 0, 4);
  for (uint32_t c : colours) {
    dib.push_back(static_cast<uint8_t>(c >> 16));  // blue, green, red, 0
    dib.push_back(static_cast<uint8_t>(c >> 8));
    dib.push_back(static_cast<uint8_t>(c));
    dib.push_back(0);
  }
  for (int y = 7; y >= 0; --y)
    for (int x = 0; x < 8; ++x) dib.push_back(pattern[y * 8 + x]);
  return dib;
}

}  // namespace

CSharedPalette* GetAppSharedPalette() {
  if (!State().built) Build();
  return State().shared;
}

CPalette* GetAppPalette() {
  AppPaletteState& s = State();
  if (!s.built) Build();
  return s.palette.IsValid() && s.shared ? &s.palette : nullptr;
}

bool CreateColorBrush(CBrush& brush, uint32_t colour) {
  colour &= 0xFFFFFF;
  CSharedPalette* shared = GetAppPalette() ? GetAppSharedPalette() : nullptr;
  if (shared != nullptr) {
    const DitheredBrush d = CreateDitheredBrush(shared, &shared->inverseMap, colour);
    if (!d.solid) {
      auto entry = [&](uint8_t i) {
        return i < shared->table.count ? shared->table.entries[i] : 0u;
      };
      return brush.CreateDIBPatternBrush(
          PatternDib(d.pattern, {entry(d.indices[0]), entry(d.indices[1])}));
    }
  }
  return brush.CreateSolidBrush(colour);
}

void ResetAppPalette() {
  AppPaletteState& s = State();
  // A view may leave the list while it repaints.
  const std::vector<CPaletteView*> views = s.views;
  for (CPaletteView* view : views) {
    view->DropOffscreenBitmap();
    if (CWnd* wnd = view->PaletteWindow()) wnd->Invalidate(true);
  }
  s.palette.DeleteObject();
  CSharedPalette::Release(s.shared);
  s.shared = nullptr;
  s.built = false;
}

void RepaintAllViews() {
  AppPaletteState& s = State();
  if (CAppShell* shell = AppShell()) {
    if (CWnd* bar = shell->GetToolOptionBar(nullptr)) bar->Invalidate(false);
  }
  const std::vector<CPaletteView*> views = s.views;
  for (CPaletteView* view : views)
    if (CWnd* wnd = view->PaletteWindow()) wnd->Invalidate(false);
}

void JoinPaletteViews(CPaletteView* view) {
  auto& views = State().views;
  if (view && std::find(views.begin(), views.end(), view) == views.end()) views.push_back(view);
}

void LeavePaletteViews(CPaletteView* view) {
  std::erase(State().views, view);
}
