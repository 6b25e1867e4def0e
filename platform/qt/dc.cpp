#include "platform/qt/dc.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "platform/qt/dc_internal.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/window_surface.h"
#include "render/raster/offscreen_bitmap.h"

// ---- pixel surfaces ----

PixelSurface SurfaceOfImage(QImage& image) {
  PixelSurface s;
  if (image.isNull()) return s;
  if (image.format() == QImage::Format_Mono) {
    s.kind = PixelSurface::kMono;
    s.bits = 1;
  } else if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32) {
    s.kind = PixelSurface::kRgb32;
    s.bits = 32;
  } else {
    return s;
  }
  s.row0 = image.bits();
  s.stride = image.bytesPerLine();
  s.width = image.width();
  s.height = image.height();
  return s;
}

PixelSurface SurfaceOfOffscreen(COffscreenBitmap& bitmap) {
  PixelSurface s;
  if (!bitmap.IsValid()) return s;
  s.width = bitmap.Width();
  s.height = bitmap.Height();
  s.row0 = bitmap.Row(0);
  s.stride = bitmap.BottomUp() ? -static_cast<ptrdiff_t>(bitmap.Stride()) : bitmap.Stride();
  s.bits = bitmap.BitsPerPixel();
  switch (bitmap.Format()) {
    case kOffscreen32:
      s.kind = PixelSurface::kRgb32;
      break;
    case kOffscreen24:
      s.kind = PixelSurface::k24;
      break;
    case kOffscreen555:
      s.kind = PixelSurface::k555;
      break;
    case kOffscreen565:
      s.kind = PixelSurface::k565;
      break;
    default:
      s.kind = PixelSurface::kIndexed;
      if (bitmap.Palette()) {
        s.colors = bitmap.Palette()->table.entries.data();
        s.color_count = static_cast<int>(bitmap.Palette()->table.count);
      }
      break;
  }
  return s;
}

uint32_t PixelSurface::ReadRgb(int x, int y) const {
  const uint8_t* row = Row(y);
  switch (kind) {
    case kRgb32: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v & 0xFFFFFF;
    }
    case kMono:
      return (row[x >> 3] >> (7 - (x & 7)) & 1) ? 0xFFFFFF : 0;
    case k24:
      return uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x];
    case k555:
    case k565: {
      const uint32_t v = row[2 * x] | uint32_t{row[2 * x + 1]} << 8;
      uint32_t r, g, b;
      if (kind == k555) {
        r = v >> 10 & 31;
        g = v >> 5 & 31;
        b = v & 31;
        r = r << 3 | r >> 2;
        g = g << 3 | g >> 2;
      } else {
        r = v >> 11 & 31;
        g = v >> 5 & 63;
        b = v & 31;
        r = r << 3 | r >> 2;
        g = g << 2 | g >> 4;
      }
      b = b << 3 | b >> 2;
      return r << 16 | g << 8 | b;
    }
    case kIndexed: {
      const int per = 8 / bits;
      const int shift = (per - 1 - x % per) * bits;
      const int index = row[x / per] >> shift & ((1 << bits) - 1);
      if (!colors || index >= color_count) return 0;
      const uint32_t c = colors[index];
      return ColorRefToRgb(c & 0xFFFFFF);
    }
    case kNone:
      break;
  }
  return 0;
}

// ---- construction ----

CDC::CDC() {
  m_state.pen = StockPen(BLACK_PEN);
  m_state.brush = StockBrush(WHITE_BRUSH);
}

CDC::~CDC() = default;

CFont* CDC::GetCurrentFont() const {
  return m_state.font ? m_state.font : StockFont(SYSTEM_FONT);
}

bool CDC::CreateCompatibleDC(CDC*) {
  DeleteDC();
  m_memory = true;
  m_defaultBitmap = std::make_unique<CBitmap>();
  m_defaultBitmap->CreateBitmap(1, 1, 1, 1);
  m_bitmap = m_defaultBitmap.get();
  m_surface = SurfaceOfImage(m_bitmap->Image());
  return true;
}

bool CDC::AttachImage(QImage* image) {
  DeleteDC();
  if (!image) return false;
  m_surface = SurfaceOfImage(*image);
  return m_surface.Writable();
}

void CDC::AttachWindow(CWindowSurface* window) {
  DeleteDC();
  m_window = window;
  if (window) m_surface = SurfaceOfImage(window->Image());
}

bool CDC::DeleteDC() {
  const bool was = IsValid();
  m_state = State();
  m_state.pen = StockPen(BLACK_PEN);
  m_state.brush = StockBrush(WHITE_BRUSH);
  m_saved.clear();
  m_surface = PixelSurface();
  m_bitmap = nullptr;
  m_offscreen = nullptr;
  m_defaultBitmap.reset();
  m_window = nullptr;
  m_memory = false;
  m_pathOpen = m_pathDone = false;
  m_path.clear();
  return was;
}

// ---- objects ----

CPen* CDC::SelectObject(CPen* pen) {
  CPen* old = m_state.pen;
  if (pen && pen->IsValid()) m_state.pen = pen;
  return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
  CBrush* old = m_state.brush;
  if (brush && brush->IsValid()) m_state.brush = brush;
  return old;
}

CFont* CDC::SelectObject(CFont* font) {
  CFont* old = GetCurrentFont();
  if (font && font->IsValid()) m_state.font = font;
  return old;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  if (!m_memory || !bitmap || !bitmap->IsValid()) return nullptr;
  PixelSurface s = SurfaceOfImage(bitmap->Image());
  if (!s.Writable()) return nullptr;
  CBitmap* old = m_bitmap ? m_bitmap : m_defaultBitmap.get();
  m_bitmap = bitmap;
  m_offscreen = nullptr;
  m_surface = s;
  return old;
}

COffscreenBitmap* CDC::SelectObject(COffscreenBitmap* bitmap) {
  if (!m_memory || !bitmap || !bitmap->IsValid()) return nullptr;
  PixelSurface s = SurfaceOfOffscreen(*bitmap);
  if (!s.IsValid()) return nullptr;
  COffscreenBitmap* old = m_offscreen;
  m_offscreen = bitmap;
  m_bitmap = nullptr;
  m_surface = s;
  return old;
}

CGdiObject* CDC::SelectStockObject(int index) {
  CGdiObject* object = GetStockObject(index);
  if (!object) return nullptr;
  switch (object->ObjectKind()) {
    case CGdiObject::Kind::kPen:
      return SelectObject(static_cast<CPen*>(object));
    case CGdiObject::Kind::kBrush:
      return SelectObject(static_cast<CBrush*>(object));
    case CGdiObject::Kind::kFont:
      return SelectObject(static_cast<CFont*>(object));
    default:
      return nullptr;
  }
}

// ---- attributes ----

COLORREF CDC::SetTextColor(COLORREF color) {
  return std::exchange(m_state.text_color, color & 0xFFFFFF);
}
COLORREF CDC::SetBkColor(COLORREF color) {
  return std::exchange(m_state.bk_color, color & 0xFFFFFF);
}
int CDC::SetBkMode(int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return std::exchange(m_state.bk_mode, mode);
}
int CDC::SetROP2(int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  return std::exchange(m_state.rop2, rop2);
}
int CDC::SetPolyFillMode(int mode) {
  if (mode != ALTERNATE && mode != WINDING) return 0;
  return std::exchange(m_state.poly_fill_mode, mode);
}
unsigned CDC::SetTextAlign(unsigned align) {
  return std::exchange(m_state.text_align, align);
}
int CDC::SetStretchBltMode(int mode) {
  return std::exchange(m_state.stretch_mode, mode);
}
int CDC::SetMapMode(int mode) {
  return mode == MM_TEXT ? MM_TEXT : 0;
}
CPoint CDC::SetBrushOrg(int x, int y) {
  return std::exchange(m_state.brush_org, CPoint(x, y));
}
CPoint CDC::SetViewportOrg(int x, int y) {
  return std::exchange(m_state.viewport_org, CPoint(x, y));
}
CPoint CDC::OffsetViewportOrg(int dx, int dy) {
  const CPoint old = m_state.viewport_org;
  m_state.viewport_org.Offset(dx, dy);
  return old;
}
CPoint CDC::SetWindowOrg(int x, int y) {
  return std::exchange(m_state.window_org, CPoint(x, y));
}

int CDC::SetGraphicsMode(int mode) {
  if (mode != GM_COMPATIBLE && mode != GM_ADVANCED) return 0;
  // Leaving the advanced mode needs the identity transform.
  if (mode == GM_COMPATIBLE && DcRaster::HasTransform(*this)) return 0;
  return std::exchange(m_state.graphics_mode, mode);
}

bool CDC::SetWorldTransform(const XFORM& xf) {
  if (m_state.graphics_mode != GM_ADVANCED) return false;
  if (xf.eM11 * xf.eM22 - xf.eM12 * xf.eM21 == 0) return false;
  m_state.world = xf;
  return true;
}

namespace {

// a then b (a applied first).
XFORM Combine(const XFORM& a, const XFORM& b) {
  XFORM r;
  r.eM11 = a.eM11 * b.eM11 + a.eM12 * b.eM21;
  r.eM12 = a.eM11 * b.eM12 + a.eM12 * b.eM22;
  r.eM21 = a.eM21 * b.eM11 + a.eM22 * b.eM21;
  r.eM22 = a.eM21 * b.eM12 + a.eM22 * b.eM22;
  r.eDx = a.eDx * b.eM11 + a.eDy * b.eM21 + b.eDx;
  r.eDy = a.eDx * b.eM12 + a.eDy * b.eM22 + b.eDy;
  return r;
}

}  // namespace

bool CDC::ModifyWorldTransform(const XFORM& xf, int mode) {
  if (m_state.graphics_mode != GM_ADVANCED) return false;
  switch (mode) {
    case MWT_IDENTITY:
      m_state.world = XFORM();
      return true;
    case MWT_LEFTMULTIPLY:
      return SetWorldTransform(Combine(xf, m_state.world));
    case MWT_RIGHTMULTIPLY:
      return SetWorldTransform(Combine(m_state.world, xf));
    default:
      return false;
  }
}

bool CDC::GetWorldTransform(XFORM* xf) const {
  if (!xf) return false;
  *xf = m_state.world;
  return true;
}

void CDC::LPtoDP(CPoint* points, int count) const {
  for (int i = 0; i < count; ++i)
    points[i] = DcRaster::ToDeviceInt(*this, points[i].x, points[i].y);
}

void CDC::LPtoDP(CRect* rect) const {
  LPtoDP(reinterpret_cast<CPoint*>(rect), 2);
}

void CDC::DPtoLP(CPoint* points, int count) const {
  const XFORM& w = m_state.world;
  const bool advanced = DcRaster::HasTransform(*this);
  const double det = double(w.eM11) * w.eM22 - double(w.eM12) * w.eM21;
  for (int i = 0; i < count; ++i) {
    double x = points[i].x - m_state.viewport_org.x + m_state.window_org.x;
    double y = points[i].y - m_state.viewport_org.y + m_state.window_org.y;
    if (advanced && det != 0) {
      x -= w.eDx;
      y -= w.eDy;
      const double lx = (x * w.eM22 - y * w.eM21) / det;
      const double ly = (y * w.eM11 - x * w.eM12) / det;
      x = lx;
      y = ly;
    }
    points[i] = CPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
  }
}

void CDC::DPtoLP(CRect* rect) const {
  DPtoLP(reinterpret_cast<CPoint*>(rect), 2);
}

namespace {
constexpr int kDefaultLogPixels = 96;
int g_logPixelsX = kDefaultLogPixels;
int g_logPixelsY = kDefaultLogPixels;
}  // namespace

void SetLogPixels(int x, int y) {
  g_logPixelsX = x > 0 ? x : kDefaultLogPixels;
  g_logPixelsY = y > 0 ? y : kDefaultLogPixels;
}

int CDC::GetDeviceCaps(int index) const {
  switch (index) {
    case HORZRES:
      return m_surface.width;
    case VERTRES:
      return m_surface.height;
    // Colour surfaces report the screen (8 bits on the fake palette screen).
    case BITSPIXEL:
      if (m_surface.kind == PixelSurface::kMono) return 1;
      return IsPaletteScreen() ? 8 : 32;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return IsPaletteScreen() ? kReservedPaletteEntries : -1;
    case RASTERCAPS:
      return IsPaletteScreen() ? RC_PALETTE : 0;
    case SIZEPALETTE:
      return IsPaletteScreen() ? kSystemPaletteSize : 0;
    case NUMRESERVED:
      return IsPaletteScreen() ? kReservedPaletteEntries : 0;
    case LOGPIXELSX:
      return g_logPixelsX;
    case LOGPIXELSY:
      return g_logPixelsY;
    default:
      return 0;
  }
}

int CDC::SaveDC() {
  m_saved.push_back({m_state, m_bitmap, m_offscreen});
  return static_cast<int>(m_saved.size());
}

bool CDC::RestoreDC(int saved) {
  const int level = saved < 0 ? static_cast<int>(m_saved.size()) + saved + 1 : saved;
  if (level < 1 || level > static_cast<int>(m_saved.size())) return false;
  Saved s = std::move(m_saved[level - 1]);
  m_saved.resize(level - 1);
  m_state = std::move(s.state);
  if (s.offscreen && s.offscreen != m_offscreen) {
    SelectObject(s.offscreen);
  } else if (s.bitmap && s.bitmap != m_bitmap) {
    SelectObject(s.bitmap);
  }
  return true;
}

// ---- clipping ----

int CDC::SelectClipRgn(const CRgn* region) {
  if (!region) {
    m_state.has_clip = false;
    m_state.clip.DeleteObject();
    return SIMPLEREGION;
  }
  if (!region->IsValid()) return RGN_ERROR;
  m_state.clip.CopyRgn(region);
  m_state.has_clip = true;
  return m_state.clip.Kind();
}

int CDC::SelectClipRgn(const CRgn* region, int mode) {
  if (mode == RGN_COPY) return SelectClipRgn(region);
  if (!region || !region->IsValid()) return RGN_ERROR;
  if (!m_state.has_clip) {
    m_state.clip.CreateRectRgn(0, 0, m_surface.width, m_surface.height);
    m_state.has_clip = true;
  }
  return m_state.clip.CombineRgn(&m_state.clip, region, mode);
}

int CDC::IntersectClipRect(int left, int top, int right, int bottom) {
  CRect r(left, top, right, bottom);
  LPtoDP(&r);
  r.NormalizeRect();
  CRgn rgn;
  rgn.CreateRectRgnIndirect(&r);
  return SelectClipRgn(&rgn, RGN_AND);
}

int CDC::ExcludeClipRect(int left, int top, int right, int bottom) {
  CRect r(left, top, right, bottom);
  LPtoDP(&r);
  r.NormalizeRect();
  CRgn rgn;
  rgn.CreateRectRgnIndirect(&r);
  return SelectClipRgn(&rgn, RGN_DIFF);
}

int CDC::OffsetClipRgn(int dx, int dy) {
  if (!m_state.has_clip) return SIMPLEREGION;
  return m_state.clip.OffsetRgn(dx, dy);
}

int CDC::GetClipBox(CRect* rect) const {
  CRect box = DcRaster::ClipBounds(*this);
  int kind = box.IsRectEmpty() ? NULLREGION : SIMPLEREGION;
  if (m_state.has_clip && m_state.clip.Kind() == COMPLEXREGION) kind = COMPLEXREGION;
  if (rect) {
    *rect = box;
    DPtoLP(rect);
    rect->NormalizeRect();
  }
  return kind;
}

bool CDC::PtVisible(int x, int y) const {
  const CPoint p = DcRaster::ToDeviceInt(*this, x, y);
  return DcRaster::Visible(*this, p.x, p.y);
}

bool CDC::RectVisible(const CRect* rect) const {
  if (!rect) return false;
  CRect r = *rect;
  LPtoDP(&r);
  r.NormalizeRect();
  CRect bounds(0, 0, m_surface.width, m_surface.height);
  if (!r.IntersectRect(r, bounds)) return false;
  return !m_state.has_clip || m_state.clip.RectInRegion(&r);
}

int CDC::GetClipRgn(CRgn* region) const {
  if (!m_state.has_clip || !region) return 0;
  region->CopyRgn(&m_state.clip);
  return 1;
}

CRect CDC::TakeChangedRect() {
  return std::exchange(m_changed, CRect());
}

void CDC::Changed(const CRect&) {}

// ---- window contexts ----

CClientDC::CClientDC(CWindowSurface* window) {
  AttachWindow(window);
}

CClientDC::~CClientDC() = default;

void CClientDC::Changed(const CRect& device) {
  if (WindowSurface()) WindowSurface()->Flush(device);
}

CPaintDC::CPaintDC(CWindowSurface* window) {
  AttachWindow(window);
  if (!window) return;
  CRgn clip;
  clip.CreateFromQRegion(window->InvalidRegion());
  clip.GetRgnBox(&m_rcPaint);
  SelectClipRgn(&clip);
}

CPaintDC::~CPaintDC() {
  if (WindowSurface()) WindowSurface()->ValidateAll();
}

// ---- shared helpers ----

uint32_t DcRaster::DeviceColor(const CDC& dc, COLORREF color) {
  if (dc.m_surface.kind == PixelSurface::kMono) {
    const int intensity = (GetRValue(color) * 30 + GetGValue(color) * 59 + GetBValue(color) * 11);
    return intensity >= 128 * 100 ? 0xFFFFFFFFu : 0;
  }
  return 0xFF000000u | ColorRefToRgb(color);
}

PatternSource DcRaster::SolidSource(const CDC& dc, COLORREF color) {
  PatternSource p;
  p.none = false;
  p.value = DeviceColor(dc, color);
  return p;
}

PatternSource DcRaster::BrushSource(const CDC& dc, const CBrush* brush) {
  PatternSource p;
  if (!brush || !brush->IsValid() || brush->Style() == BS_NULL) return p;
  if (brush->Style() == BS_SOLID) return SolidSource(dc, brush->Color());
  const QImage& pat = brush->Pattern();
  if (pat.isNull()) return p;
  p.none = false;
  p.solid = false;
  p.width = pat.width();
  p.height = pat.height();
  p.org_x = dc.m_state.brush_org.x;
  p.org_y = dc.m_state.brush_org.y;
  p.pixels.resize(static_cast<size_t>(p.width) * p.height);
  const bool mono = pat.format() == QImage::Format_Mono;
  // Hatches draw their lines in the brush colour over the background colour.
  const COLORREF zero = brush->Style() == BS_HATCHED ? brush->Color() : dc.m_state.text_color;
  const uint32_t c0 = DeviceColor(dc, zero);
  const uint32_t c1 = DeviceColor(dc, dc.m_state.bk_color);
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* row = pat.constScanLine(y);
    for (int x = 0; x < p.width; ++x) {
      uint32_t v;
      if (mono) {
        v = (row[x >> 3] >> (7 - (x & 7)) & 1) ? c1 : c0;
      } else {
        uint32_t rgb;
        std::memcpy(&rgb, row + 4 * x, 4);
        v = DeviceColor(dc, RgbToColorRef(rgb & 0xFFFFFF));
      }
      p.pixels[static_cast<size_t>(y) * p.width + x] = v;
    }
  }
  return p;
}

void DcRaster::Touch(CDC& dc, int y, int x0, int x1) {
  CRect r(x0, y, x1, y + 1);
  dc.m_changed.UnionRect(dc.m_changed, r);
}

void DcRaster::Finish(CDC& dc) {
  if (!dc.m_changed.IsRectEmpty() && dc.m_window) dc.Changed(dc.m_changed);
  if (dc.m_window) dc.m_changed = CRect();
}

void DcRaster::WriteSpan(CDC& dc, int y, int x0, int x1, const PatternSource& pat,
                         const uint32_t* src, uint8_t rop3) {
  const PixelSurface& s = dc.m_surface;
  if (!s.Writable() || y < 0 || y >= s.height) return;
  if (pat.none && RopUsesPattern(rop3)) return;  // a null brush paints nothing
  int lo = std::max(x0, 0), hi = std::min(x1, s.width);
  if (lo >= hi) return;
  auto write = [&](int a, int b) {
    if (a >= b) return;
    Touch(dc, y, a, b);
    uint8_t* row = s.Row(y);
    const uint32_t* srcAt = src ? src + (a - x0) : nullptr;
    if (s.kind == PixelSurface::kRgb32) {
      uint32_t* d = reinterpret_cast<uint32_t*>(row) + a;
      const int n = b - a;
      if (!RopUsesPattern(rop3) || pat.solid) {
        uint32_t patRow[256];
        for (int k = 0; k < n; k += 256) {
          const int m = std::min(256, n - k);
          const uint32_t* pp = nullptr;
          if (RopUsesPattern(rop3)) {
            std::fill(patRow, patRow + m, pat.value);
            pp = patRow;
          }
          Rop3Row(rop3, d + k, srcAt ? srcAt + k : nullptr, pp, m);
          for (int i = 0; i < m; ++i) d[k + i] |= 0xFF000000u;
        }
      } else {
        uint32_t patRow[256];
        for (int k = 0; k < n; k += 256) {
          const int m = std::min(256, n - k);
          for (int i = 0; i < m; ++i) patRow[i] = pat.At(a + k + i, y);
          Rop3Row(rop3, d + k, srcAt ? srcAt + k : nullptr, patRow, m);
          for (int i = 0; i < m; ++i) d[k + i] |= 0xFF000000u;
        }
      }
    } else {
      const Rop3Eval rop(rop3);
      for (int x = a; x < b; ++x) {
        uint8_t& byte = row[x >> 3];
        const int shift = 7 - (x & 7);
        const uint32_t dv = (byte >> shift & 1) ? 0xFFFFFFFFu : 0;
        const uint32_t pv = pat.none ? 0 : pat.At(x, y);
        const uint32_t sv = srcAt ? srcAt[x - a] : 0;
        const uint32_t r = rop(pv, sv, dv) & 1;
        byte = static_cast<uint8_t>((byte & ~(1 << shift)) | r << shift);
      }
    }
  };
  if (!dc.m_state.has_clip) {
    write(lo, hi);
    return;
  }
  const CRgn::Band* band = dc.m_state.clip.BandAt(y);
  if (!band) return;
  for (size_t i = 0; i + 1 < band->xs.size(); i += 2) {
    write(std::max(lo, band->xs[i]), std::min(hi, band->xs[i + 1]));
  }
}

void DcRaster::NormalizeSpanList(std::vector<DeviceSpan>& spans) {
  std::sort(spans.begin(), spans.end(), [](const DeviceSpan& a, const DeviceSpan& b) {
    return a.y != b.y ? a.y < b.y : a.x0 < b.x0;
  });
  size_t out = 0;
  for (const DeviceSpan& s : spans) {
    if (s.x1 <= s.x0) continue;
    if (out > 0 && spans[out - 1].y == s.y && s.x0 <= spans[out - 1].x1) {
      spans[out - 1].x1 = std::max(spans[out - 1].x1, s.x1);
    } else {
      spans[out++] = s;
    }
  }
  spans.resize(out);
}

void DcRaster::WriteSpans(CDC& dc, std::vector<DeviceSpan>& spans, const PatternSource& pat,
                          uint8_t rop3) {
  NormalizeSpanList(spans);
  for (const DeviceSpan& s : spans) WriteSpan(dc, s.y, s.x0, s.x1, pat, nullptr, rop3);
}

bool DcRaster::HasTransform(const CDC& dc) {
  const XFORM& w = dc.m_state.world;
  return dc.m_state.graphics_mode == GM_ADVANCED &&
         (w.eM11 != 1 || w.eM12 != 0 || w.eM21 != 0 || w.eM22 != 1 || w.eDx != 0 || w.eDy != 0);
}

CPointF DcRaster::ToDevice(const CDC& dc, double x, double y) {
  if (HasTransform(dc)) {
    const XFORM& w = dc.m_state.world;
    const double tx = x * w.eM11 + y * w.eM21 + w.eDx;
    const double ty = x * w.eM12 + y * w.eM22 + w.eDy;
    x = tx;
    y = ty;
  }
  return {x - dc.m_state.window_org.x + dc.m_state.viewport_org.x,
          y - dc.m_state.window_org.y + dc.m_state.viewport_org.y};
}

CPoint DcRaster::ToDeviceInt(const CDC& dc, int x, int y) {
  if (!HasTransform(dc)) {
    return {x - dc.m_state.window_org.x + dc.m_state.viewport_org.x,
            y - dc.m_state.window_org.y + dc.m_state.viewport_org.y};
  }
  const CPointF p = ToDevice(dc, x, y);
  return {static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))};
}

double DcRaster::DeviceWidth(const CDC& dc, int width) {
  if (!HasTransform(dc)) return width;
  const XFORM& w = dc.m_state.world;
  return width * std::sqrt(std::fabs(double(w.eM11) * w.eM22 - double(w.eM12) * w.eM21));
}

bool DcRaster::Visible(const CDC& dc, int x, int y) {
  if (x < 0 || y < 0 || x >= dc.m_surface.width || y >= dc.m_surface.height) return false;
  return !dc.m_state.has_clip || dc.m_state.clip.PtInRegion(x, y);
}

CRect DcRaster::ClipBounds(const CDC& dc) {
  CRect bounds(0, 0, dc.m_surface.width, dc.m_surface.height);
  if (dc.m_state.has_clip) {
    CRect box;
    dc.m_state.clip.GetRgnBox(&box);
    bounds.IntersectRect(bounds, box);
  }
  return bounds;
}

uint32_t DcRaster::ReadDevice(const CDC& dc, int x, int y) {
  const PixelSurface& s = dc.m_surface;
  if (s.kind == PixelSurface::kMono) {
    return (s.Row(y)[x >> 3] >> (7 - (x & 7)) & 1) ? 0xFFFFFFFFu : 0;
  }
  return 0xFF000000u | s.ReadRgb(x, y);
}
