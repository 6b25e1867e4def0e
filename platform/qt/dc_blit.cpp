// Fills, block transfers, device-independent bitmaps and scrolling.
#include <bit>
#include <cmath>

#include "platform/qt/dc.h"
#include "platform/qt/dc_internal.h"
#include "platform/qt/window_surface.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"

namespace {

// Reads source pixels as device values of the destination.
class SourceReader {
 public:
  virtual ~SourceReader() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Device value of the destination for the source pixel (x, y), in range.
  virtual uint32_t At(int x, int y) const = 0;
  // Device values of the source pixels (xs[i], y), each in range, into out.
  virtual void Gather(int y, const int32_t* xs, int n, uint32_t* out) const = 0;
  // Device values of the n source pixels from (x, y), all in range.
  virtual void Span(int y, int x, int n, uint32_t* out) const = 0;
};

// Gather and Span through a final reader's own At, called without the
// virtual dispatch.
template <class Reader>
class RowReader : public SourceReader {
 public:
  void Gather(int y, const int32_t* xs, int n, uint32_t* out) const override {
    const Reader& self = static_cast<const Reader&>(*this);
    for (int i = 0; i < n; ++i) out[i] = self.Reader::At(xs[i], y);
  }
  void Span(int y, int x, int n, uint32_t* out) const override {
    const Reader& self = static_cast<const Reader&>(*this);
    for (int i = 0; i < n; ++i) out[i] = self.Reader::At(x + i, y);
  }
};

// Another context's surface, with the colour and monochrome rules.
class SurfaceSource final : public RowReader<SurfaceSource> {
 public:
  SurfaceSource(const PixelSurface& src, COLORREF srcBk, const PixelSurface& dst, COLORREF dstText,
                COLORREF dstBk)
      : s_(src), dst_mono_(dst.kind == PixelSurface::kMono) {
    src_bk_ = ColorRefToRgb(srcBk);
    text_ = 0xFF000000u | ColorRefToRgb(dstText);
    bk_ = 0xFF000000u | ColorRefToRgb(dstBk);
  }
  int Width() const override { return s_.width; }
  int Height() const override { return s_.height; }
  uint32_t At(int x, int y) const override {
    if (s_.kind == PixelSurface::kMono) {
      const bool one = s_.Row(y)[x >> 3] >> (7 - (x & 7)) & 1;
      if (dst_mono_) return one ? 0xFFFFFFFFu : 0;
      return one ? bk_ : text_;
    }
    const uint32_t rgb = s_.ReadRgb(x, y);
    if (dst_mono_) return rgb == src_bk_ ? 0xFFFFFFFFu : 0;
    return 0xFF000000u | rgb;
  }
  // 32-bit colour onto colour: whole rows, with the top byte set.
  void Gather(int y, const int32_t* xs, int n, uint32_t* out) const override {
    if (!Direct()) return RowReader::Gather(y, xs, n, out);
    const uint32_t* row = reinterpret_cast<const uint32_t*>(s_.Row(y));
    for (int i = 0; i < n; ++i) out[i] = row[xs[i]] | 0xFF000000u;
  }
  void Span(int y, int x, int n, uint32_t* out) const override {
    if (!Direct()) return RowReader::Span(y, x, n, out);
    const uint32_t* row = reinterpret_cast<const uint32_t*>(s_.Row(y)) + x;
    for (int i = 0; i < n; ++i) out[i] = row[i] | 0xFF000000u;
  }

 private:
  bool Direct() const { return s_.kind == PixelSurface::kRgb32 && !dst_mono_; }
  PixelSurface s_;
  bool dst_mono_;
  uint32_t src_bk_, text_, bk_;
};

// One colour channel of a bit-field mask.
struct Channel {
  int shift = 0, bits = 0;
  uint32_t mask = 0;
  void Set(uint32_t m) {
    mask = m;
    shift = m ? std::countr_zero(m) : 0;
    bits = std::popcount(m);
  }
  uint32_t Get(uint32_t v) const {
    if (!bits) return 0;
    uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return c >> (bits - 8);
    // Widen by repeating the top bits.
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) out = out << bits | c;
    return (out >> ((8 / bits + (8 % bits ? 1 : 0)) * bits - 8)) & 0xFF;
  }
};

// A packed device-independent bitmap (header and colours, rows apart).
class DibSource final : public RowReader<DibSource> {
 public:
  bool Init(std::span<const uint8_t> info, std::span<const uint8_t> bits, const PixelSurface& dst) {
    if (!ParsePackedDibHeader(info, h_)) return false;
    height_ = h_.height < 0 ? -h_.height : h_.height;
    bottom_up_ = h_.height > 0;
    if (h_.row_stride <= 0 || static_cast<uint64_t>(height_) > bits.size() / h_.row_stride)
      return false;
    bits_ = bits;
    for (uint32_t i = 0; i < h_.color_count && i < 256; ++i) {
      const uint8_t* c = info.data() + h_.color_table_offset + 4 * i;
      colors_[i] = uint32_t{c[2]} << 16 | uint32_t{c[1]} << 8 | c[0];
    }
    red_.Set(h_.masks[0]);
    green_.Set(h_.masks[1]);
    blue_.Set(h_.masks[2]);
    dst_mono_ = dst.kind == PixelSurface::kMono;
    return true;
  }
  int Width() const override { return h_.width; }
  int Height() const override { return height_; }
  uint32_t At(int x, int y) const override {
    const uint8_t* row =
        bits_.data() + static_cast<size_t>(bottom_up_ ? height_ - 1 - y : y) * h_.row_stride;
    uint32_t rgb = 0;
    switch (h_.bit_count) {
      case 1:
      case 4:
      case 8: {
        const int per = 8 / h_.bit_count;
        const int shift = (per - 1 - x % per) * h_.bit_count;
        const uint32_t index = row[x / per] >> shift & ((1u << h_.bit_count) - 1);
        rgb = index < h_.color_count ? colors_[index] : 0;
        break;
      }
      case 16: {
        const uint32_t v = row[2 * x] | uint32_t{row[2 * x + 1]} << 8;
        rgb = red_.Get(v) << 16 | green_.Get(v) << 8 | blue_.Get(v);
        break;
      }
      case 24:
        rgb = uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x];
        break;
      default: {
        const uint32_t v = row[4 * x] | uint32_t{row[4 * x + 1]} << 8 |
                           uint32_t{row[4 * x + 2]} << 16 | uint32_t{row[4 * x + 3]} << 24;
        rgb = red_.Get(v) << 16 | green_.Get(v) << 8 | blue_.Get(v);
        break;
      }
    }
    if (dst_mono_) {
      const uint32_t i = ((rgb >> 16 & 0xFF) * 30 + (rgb >> 8 & 0xFF) * 59 + (rgb & 0xFF) * 11);
      return i >= 12800 ? 0xFFFFFFFFu : 0;
    }
    return 0xFF000000u | rgb;
  }

 private:
  PackedDibHeader h_;
  std::span<const uint8_t> bits_;
  int height_ = 0;
  bool bottom_up_ = false;
  bool dst_mono_ = false;
  uint32_t colors_[256] = {};
  Channel red_, green_, blue_;
};

// A CDib.
class CDibSource final : public RowReader<CDibSource> {
 public:
  CDibSource(const CDib& dib, const PixelSurface& dst)
      : m_dib(dib), m_dstMono(dst.kind == PixelSurface::kMono) {}
  int Width() const override { return m_dib.Width(); }
  int Height() const override { return m_dib.Height(); }
  uint32_t At(int x, int y) const override {
    const Rgb c = m_dib.PixelAt(x, y);
    if (m_dstMono) return (c.red * 30 + c.green * 59 + c.blue * 11) >= 12800 ? 0xFFFFFFFFu : 0;
    return 0xFF000000u | uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue;
  }

 private:
  const CDib& m_dib;
  bool m_dstMono;
};

bool g_referenceBlits = false;

}  // namespace

void UseReferenceBlits(bool on) {
  g_referenceBlits = on;
}

struct DcBlit {
  // Transfers the source rectangle (xs, ys, ws, hs) (source pixels; negative
  // sizes mirror) onto the device rectangle (x, y, w, h) with the current
  // brush as pattern. A null source is a pattern-only operation.
  static bool Run(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs, int ys,
                  int ws, int hs, uint32_t rop);
  // The destination rectangle (x, y, w, h) and the source one, sizes made
  // positive, with the mirroring they asked for.
  struct Mapping {
    int x, y, w, h, xs, ys, ws, hs;
    bool flipX, flipY;
  };
  // The rows of the area (device, inside the clip's bounds): each row's
  // source pixels read at once, the columns worked out once per transfer.
  static void WriteRows(CDC& dc, const CRect& area, const Mapping& m, const SourceReader* src,
                        const PatternSource& pat, uint8_t index);
  // The same pixel by pixel: the reference that tests compare WriteRows with.
  static void WritePixels(CDC& dc, const CRect& area, const Mapping& m, const SourceReader* src,
                          const PatternSource& pat, uint8_t index);
  // The same for a logical rectangle under a rotating or shearing world
  // transform: every device pixel whose centre lies inside the transformed
  // rectangle takes the source pixel under its centre.
  static bool RunTransformed(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs,
                             int ys, int ws, int hs, uint32_t rop);
  static bool Rotated(const CDC& dc) {
    return DcRaster::HasTransform(dc) && (dc.m_state.world.eM12 != 0 || dc.m_state.world.eM21 != 0);
  }
  // Logical rectangle to device, by the right path.
  static bool Transfer(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs, int ys,
                       int ws, int hs, uint32_t rop);
};

bool DcBlit::RunTransformed(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs,
                            int ys, int ws, int hs, uint32_t rop) {
  const uint8_t index = Rop3Index(rop);
  if (!dc.Surface().Writable()) return false;
  if (RopUsesSource(index) && !src) return false;
  if (w == 0 || h == 0) return true;
  const XFORM& m = dc.m_state.world;
  const double det = double(m.eM11) * m.eM22 - double(m.eM12) * m.eM21;
  if (det == 0) return false;
  const std::vector<CPointF> corners = {
      DcRaster::ToDevice(dc, x, y), DcRaster::ToDevice(dc, x + w, y),
      DcRaster::ToDevice(dc, x + w, y + h), DcRaster::ToDevice(dc, x, y + h)};
  const CPointF origin = DcRaster::ToDevice(dc, 0, 0);
  const CRect clip = DcRaster::ClipBounds(dc);
  std::vector<DeviceSpan> spans;
  ScanPolygons({corners}, false, clip.top, clip.bottom, [&](int yy, int x0, int x1) {
    spans.push_back({yy, std::max(x0, clip.left), std::min(x1, clip.right)});
  });
  const PatternSource pat =
      RopUsesPattern(index) ? DcRaster::BrushSource(dc, dc.GetCurrentBrush()) : PatternSource{};
  std::vector<uint32_t> row;
  for (const DeviceSpan& sp : spans) {
    if (sp.x1 <= sp.x0) continue;
    const uint32_t* srcRow = nullptr;
    if (src && RopUsesSource(index)) {
      row.resize(static_cast<size_t>(sp.x1 - sp.x0));
      for (int px = sp.x0; px < sp.x1; ++px) {
        // Device centre back to logical coordinates.
        const double dx = px + 0.5 - origin.x, dy = sp.y + 0.5 - origin.y;
        const double lx = (dx * m.eM22 - dy * m.eM21) / det;
        const double ly = (dy * m.eM11 - dx * m.eM12) / det;
        const double u = std::clamp((lx - x) / w, 0.0, 0.999999);
        const double v = std::clamp((ly - y) / h, 0.0, 0.999999);
        const int64_t sx = xs + static_cast<int64_t>(std::floor(u * ws));
        const int64_t sy = ys + static_cast<int64_t>(std::floor(v * hs));
        uint32_t value = 0xFF000000u;
        if (sx >= 0 && sy >= 0 && sx < src->Width() && sy < src->Height())
          value = src->At(static_cast<int>(sx), static_cast<int>(sy));
        row[px - sp.x0] = value;
      }
      srcRow = row.data();
    }
    DcRaster::WriteSpan(dc, sp.y, sp.x0, sp.x1, pat, srcRow, index);
  }
  DcRaster::Finish(dc);
  return true;
}

bool DcBlit::Run(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs, int ys,
                 int ws, int hs, uint32_t rop) {
  const uint8_t index = Rop3Index(rop);
  const PixelSurface& s = dc.Surface();
  if (!s.Writable()) return false;
  if (RopUsesSource(index) && !src) return false;
  // Mirroring: a negative size on one side only flips the picture.
  bool flipX = false, flipY = false;
  if (w < 0) {
    x += w;
    w = -w;
    flipX = !flipX;
  }
  if (h < 0) {
    y += h;
    h = -h;
    flipY = !flipY;
  }
  if (ws < 0) {
    xs += ws;
    ws = -ws;
    flipX = !flipX;
  }
  if (hs < 0) {
    ys += hs;
    hs = -hs;
    flipY = !flipY;
  }
  if (w == 0 || h == 0) return true;
  CRect bounds = DcRaster::ClipBounds(dc);
  CRect area(x, y, x + w, y + h);
  if (!area.IntersectRect(area, bounds)) return true;
  const PatternSource pat =
      RopUsesPattern(index) ? DcRaster::BrushSource(dc, dc.GetCurrentBrush()) : PatternSource{};
  const Mapping m{x, y, w, h, xs, ys, ws, hs, flipX, flipY};
  if (g_referenceBlits)
    WritePixels(dc, area, m, src, pat, index);
  else
    WriteRows(dc, area, m, src, pat, index);
  DcRaster::Finish(dc);
  return true;
}

void DcBlit::WriteRows(CDC& dc, const CRect& area, const Mapping& m, const SourceReader* src,
                       const PatternSource& pat, uint8_t index) {
  const PixelSurface& s = dc.Surface();
  const auto [x, y, w, h, xs, ys, ws, hs, flipX, flipY] = m;
  const int n = area.Width();
  std::vector<uint32_t> row(static_cast<size_t>(n));
  const bool reads = src && RopUsesSource(index);
  // The source column of each destination column (nearest to the pixel's
  // centre), worked out once; the columns inside the source are one run,
  // [first, last), as the mapping is monotonic.
  std::vector<int32_t> columns;
  int first = 0, last = 0;
  bool contiguous = false;
  const uint32_t outside = s.kind == PixelSurface::kRgb32 ? 0xFF000000u : 0;
  if (reads) {
    columns.resize(static_cast<size_t>(n));
    first = n;
    for (int i = 0; i < n; ++i) {
      int64_t u = (int64_t{area.left + i - x} * 2 + 1) * ws / (int64_t{2} * w);
      if (flipX) u = ws - 1 - u;
      const int64_t sx = xs + u;
      if (sx >= 0 && sx < src->Width()) {
        columns[i] = static_cast<int32_t>(sx);
        first = std::min(first, i);
        last = i + 1;
      }
    }
    if (first >= last) first = last = 0;
    contiguous = last > first && columns[last - 1] - columns[first] == last - 1 - first;
  }
  // A plain copy onto an unclipped 32-bit surface reads the source straight
  // into the destination's rows.
  const bool direct = reads && index == Rop3Index(SRCCOPY) && s.kind == PixelSurface::kRgb32 &&
                      !dc.m_state.has_clip;
  for (int dy = area.top; dy < area.bottom; ++dy) {
    const uint32_t* srcRow = nullptr;
    if (reads) {
      int64_t v = (int64_t{dy - y} * 2 + 1) * hs / (int64_t{2} * h);
      if (flipY) v = hs - 1 - v;
      const int64_t sy = ys + v;
      uint32_t* out = direct ? reinterpret_cast<uint32_t*>(s.Row(dy)) + area.left : row.data();
      if (sy < 0 || sy >= src->Height() || first >= last) {
        std::fill(out, out + n, outside);
      } else {
        std::fill(out, out + first, outside);
        std::fill(out + last, out + n, outside);
        const int sourceRow = static_cast<int>(sy);
        if (contiguous)
          src->Span(sourceRow, columns[first], last - first, out + first);
        else
          src->Gather(sourceRow, columns.data() + first, last - first, out + first);
      }
      if (direct) {
        DcRaster::Touch(dc, dy, area.left, area.right);
        continue;
      }
      srcRow = row.data();
    }
    DcRaster::WriteSpan(dc, dy, area.left, area.right, pat, srcRow, index);
  }
}

void DcBlit::WritePixels(CDC& dc, const CRect& area, const Mapping& m, const SourceReader* src,
                         const PatternSource& pat, uint8_t index) {
  const PixelSurface& s = dc.Surface();
  const auto [x, y, w, h, xs, ys, ws, hs, flipX, flipY] = m;
  std::vector<uint32_t> row(static_cast<size_t>(area.Width()));
  for (int dy = area.top; dy < area.bottom; ++dy) {
    const uint32_t* srcRow = nullptr;
    if (src && RopUsesSource(index)) {
      // Nearest source pixel of each destination pixel's centre.
      int64_t v = (int64_t{dy - y} * 2 + 1) * hs / (int64_t{2} * h);
      if (flipY) v = hs - 1 - v;
      const int64_t sy = ys + v;
      for (int dx = area.left; dx < area.right; ++dx) {
        int64_t u = (int64_t{dx - x} * 2 + 1) * ws / (int64_t{2} * w);
        if (flipX) u = ws - 1 - u;
        const int64_t sx = xs + u;
        uint32_t value = 0;
        if (sx >= 0 && sy >= 0 && sx < src->Width() && sy < src->Height()) {
          value = src->At(static_cast<int>(sx), static_cast<int>(sy));
        } else if (s.kind == PixelSurface::kRgb32) {
          value = 0xFF000000u;  // outside the source reads black
        }
        row[dx - area.left] = value;
      }
      srcRow = row.data();
    }
    DcRaster::WriteSpan(dc, dy, area.left, area.right, pat, srcRow, index);
  }
}

bool DcBlit::Transfer(CDC& dc, int x, int y, int w, int h, const SourceReader* src, int xs, int ys,
                      int ws, int hs, uint32_t rop) {
  if (Rotated(dc)) return RunTransformed(dc, x, y, w, h, src, xs, ys, ws, hs, rop);
  CRect r(x, y, x + w, y + h);
  dc.LPtoDP(&r);
  return Run(dc, r.left, r.top, r.Width(), r.Height(), src, xs, ys, ws, hs, rop);
}

bool CDC::PatBlt(int x, int y, int width, int height, uint32_t rop) {
  if (RopUsesSource(Rop3Index(rop))) return false;
  return DcBlit::Transfer(*this, x, y, width, height, nullptr, 0, 0, 0, 0, rop);
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc,
                 uint32_t rop) {
  return StretchBlt(x, y, width, height, source, xSrc, ySrc, width, height, rop);
}

bool CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc,
                     int widthSrc, int heightSrc, uint32_t rop) {
  if (!RopUsesSource(Rop3Index(rop))) {
    return DcBlit::Transfer(*this, x, y, width, height, nullptr, 0, 0, 0, 0, rop);
  }
  if (!source || !source->Surface().IsValid()) return false;
  CRect sr(xSrc, ySrc, xSrc + widthSrc, ySrc + heightSrc);
  source->LPtoDP(&sr);
  if (source == this) {
    // Overlapping transfers within one surface read a copy of the source.
    QImage copy;
    CDC snapshot;
    const PixelSurface& s = Surface();
    copy = s.kind == PixelSurface::kMono ? QImage(s.width, s.height, QImage::Format_Mono)
                                         : QImage(s.width, s.height, QImage::Format_RGB32);
    if (s.kind == PixelSurface::kMono) copy.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    for (int row = 0; row < s.height; ++row)
      std::memcpy(copy.scanLine(row), s.Row(row), static_cast<size_t>(copy.bytesPerLine()));
    snapshot.AttachImage(&copy);
    snapshot.SetBkColor(GetBkColor());
    SurfaceSource src(snapshot.Surface(), GetBkColor(), Surface(), GetTextColor(), GetBkColor());
    return DcBlit::Transfer(*this, x, y, width, height, &src, sr.left, sr.top, sr.Width(),
                            sr.Height(), rop);
  }
  SurfaceSource src(source->Surface(), source->GetBkColor(), Surface(), GetTextColor(),
                    GetBkColor());
  return DcBlit::Transfer(*this, x, y, width, height, &src, sr.left, sr.top, sr.Width(),
                          sr.Height(), rop);
}

void CDC::FillRect(const CRect* rect, CBrush* brush) {
  if (!rect || !brush) return;
  CBrush* old = m_state.brush;
  m_state.brush = brush;
  PatBlt(rect->left, rect->top, rect->Width(), rect->Height(), PATCOPY);
  m_state.brush = old;
}

void CDC::FillSolidRect(const CRect* rect, COLORREF color) {
  if (!rect) return;
  const COLORREF old = SetBkColor(color);
  ExtTextOut(rect->left, rect->top, ETO_OPAQUE, rect, {}, nullptr);
  SetBkColor(old);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  const CRect r(x, y, x + cx, y + cy);
  FillSolidRect(&r, color);
}

void CDC::FrameRect(const CRect* rect, CBrush* brush) {
  if (!rect || !brush || rect->IsRectEmpty()) return;
  CBrush* old = m_state.brush;
  m_state.brush = brush;
  const CRect& r = *rect;
  PatBlt(r.left, r.top, r.Width(), 1, PATCOPY);
  if (r.Height() > 1) PatBlt(r.left, r.bottom - 1, r.Width(), 1, PATCOPY);
  if (r.Height() > 2) {
    PatBlt(r.left, r.top + 1, 1, r.Height() - 2, PATCOPY);
    if (r.Width() > 1) PatBlt(r.right - 1, r.top + 1, 1, r.Height() - 2, PATCOPY);
  }
  m_state.brush = old;
}

void CDC::InvertRect(const CRect* rect) {
  if (rect) PatBlt(rect->left, rect->top, rect->Width(), rect->Height(), DSTINVERT);
}

void CDC::Draw3dRect(const CRect* rect, COLORREF topLeft, COLORREF bottomRight) {
  if (rect) Draw3dRect(rect->left, rect->top, rect->Width(), rect->Height(), topLeft, bottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight) {
  FillSolidRect(x, y, cx - 1, 1, topLeft);
  FillSolidRect(x, y, 1, cy - 1, topLeft);
  FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
  FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

void CDC::DrawFocusRect(const CRect* rect) {
  if (!rect || rect->IsRectEmpty()) return;
  // Every other pixel of the one-pixel frame, inverted: a checkerboard brush
  // aligned to the device origin, PATINVERT over the four edges.
  static const CBrush* checker = [] {
    auto* b = new CBrush;
    QImage pattern(8, 8, QImage::Format_Mono);
    pattern.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    for (int y = 0; y < 8; ++y) pattern.scanLine(y)[0] = (y & 1) ? 0x55 : 0xAA;
    CBitmap bitmap;
    bitmap.Attach(pattern);
    b->CreatePatternBrush(&bitmap);
    return b;
  }();
  const int saved = SaveDC();
  SetBrushOrg(0, 0);
  SetTextColor(0);
  SetBkColor(0xFFFFFF);
  m_state.brush = const_cast<CBrush*>(checker);
  const CRect& r = *rect;
  PatBlt(r.left, r.top, r.Width(), 1, PATINVERT);
  if (r.Height() > 1) PatBlt(r.left, r.bottom - 1, r.Width(), 1, PATINVERT);
  if (r.Height() > 2) {
    PatBlt(r.left, r.top + 1, 1, r.Height() - 2, PATINVERT);
    if (r.Width() > 1) PatBlt(r.right - 1, r.top + 1, 1, r.Height() - 2, PATINVERT);
  }
  RestoreDC(saved);
}

namespace {

// Writes a region's pixels (device) with a pattern and operation.
void WriteRegion(CDC& dc, const CRgn& region, const PatternSource& pat, uint8_t rop) {
  const CRect clip = DcRaster::ClipBounds(dc);
  for (const CRgn::Band& band : region.Bands()) {
    for (int y = std::max(band.top, clip.top); y < std::min(band.bottom, clip.bottom); ++y) {
      for (size_t i = 0; i + 1 < band.xs.size(); i += 2)
        DcRaster::WriteSpan(dc, y, band.xs[i], band.xs[i + 1], pat, nullptr, rop);
    }
  }
  DcRaster::Finish(dc);
}

}  // namespace

bool CDC::PaintRgn(const CRgn* region) {
  if (!region || !region->IsValid()) return false;
  WriteRegion(*this, *region, DcRaster::BrushSource(*this, m_state.brush),
              DcRaster::Rop2Index(*this));
  return true;
}

bool CDC::FillRgn(const CRgn* region, CBrush* brush) {
  if (!region || !region->IsValid() || !brush) return false;
  WriteRegion(*this, *region, DcRaster::BrushSource(*this, brush), Rop3Index(PATCOPY));
  return true;
}

bool CDC::InvertRgn(const CRgn* region) {
  if (!region || !region->IsValid()) return false;
  WriteRegion(*this, *region, PatternSource{}, Rop3Index(DSTINVERT));
  return true;
}

bool CDC::FrameRgn(const CRgn* region, CBrush* brush, int width, int height) {
  if (!region || !region->IsValid() || !brush || width < 1 || height < 1) return false;
  // The frame: the region less the region eroded by (width, height).
  CRgn eroded;
  eroded.CopyRgn(region);
  for (int dx = -width + 1; dx < width; ++dx) {
    for (int dy = -height + 1; dy < height; ++dy) {
      CRgn moved;
      moved.CopyRgn(region);
      moved.OffsetRgn(dx, dy);
      eroded.CombineRgn(&eroded, &moved, RGN_AND);
    }
  }
  CRgn frame;
  frame.CombineRgn(region, &eroded, RGN_DIFF);
  return FillRgn(&frame, brush);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
  const CPoint p = DcRaster::ToDeviceInt(*this, x, y);
  if (!m_surface.Writable() || !DcRaster::Visible(*this, p.x, p.y)) return CLR_INVALID;
  DcRaster::WriteSpan(*this, p.y, p.x, p.x + 1, DcRaster::SolidSource(*this, color), nullptr,
                      Rop3Index(PATCOPY));
  DcRaster::Finish(*this);
  return GetPixel(x, y);
}

COLORREF CDC::GetPixel(int x, int y) const {
  const CPoint p = DcRaster::ToDeviceInt(*this, x, y);
  if (!m_surface.IsValid() || !DcRaster::Visible(*this, p.x, p.y)) return CLR_INVALID;
  return RgbToColorRef(m_surface.ReadRgb(p.x, p.y));
}

bool CDC::ScrollDC(int dx, int dy, const CRect* scroll, const CRect* clip, CRgn* update,
                   CRect* updateRect) {
  if (!m_surface.Writable()) return false;
  CRect all(0, 0, m_surface.width, m_surface.height);
  CRect s = all, c = all;
  if (scroll) {
    s = *scroll;
    LPtoDP(&s);
    s.IntersectRect(s, all);
  }
  if (clip) {
    c = *clip;
    LPtoDP(&c);
    c.IntersectRect(c, all);
  }
  // Through a QImage over the same pixels (rows top-down).
  QImage view(m_surface.stride > 0 ? m_surface.row0 : m_surface.Row(m_surface.height - 1),
              m_surface.width, m_surface.height,
              static_cast<qsizetype>(m_surface.stride > 0 ? m_surface.stride : -m_surface.stride),
              m_surface.kind == PixelSurface::kMono ? QImage::Format_Mono : QImage::Format_RGB32);
  QRegion uncovered;
  const QRect qs(s.left, s.top, s.Width(), s.Height()), qc(c.left, c.top, c.Width(), c.Height());
  if (m_surface.stride > 0 && m_surface.kind == PixelSurface::kRgb32) {
    uncovered = ScrollImagePixels(view, dx, dy, qs, qc);
  } else {
    // Bottom-up or one-bit surfaces: a copy through the blitter.
    CDC self;
    QImage copy = view.copy();
    if (m_surface.stride < 0) copy = copy.mirrored(false, true);
    self.AttachImage(&copy);
    const QRect area = qs & qc;
    const QRect src = qs.intersected(area.translated(-dx, -dy));
    const QRect dst = src.translated(dx, dy);
    const int saved = SaveDC();
    SelectClipRgn(nullptr);
    SetViewportOrg(0, 0);
    SetWindowOrg(0, 0);
    SetGraphicsMode(GM_ADVANCED);
    ModifyWorldTransform(XFORM(), MWT_IDENTITY);
    SetGraphicsMode(GM_COMPATIBLE);
    if (!src.isEmpty()) {
      BitBlt(dst.left(), dst.top(), dst.width(), dst.height(), &self, src.left(), src.top(),
             SRCCOPY);
    }
    RestoreDC(saved);
    uncovered = QRegion(area) - QRegion(dst);
  }
  if (update) update->CreateFromQRegion(uncovered);
  if (updateRect) {
    const QRect b = uncovered.boundingRect();
    *updateRect =
        uncovered.isEmpty() ? CRect() : CRect(b.left(), b.top(), b.right() + 1, b.bottom() + 1);
    DPtoLP(updateRect);
  }
  DcRaster::Touch(*this, s.top, s.left, s.right);
  DcRaster::Touch(*this, s.bottom - 1, s.left, s.right);
  DcRaster::Finish(*this);
  return true;
}

int CDC::SetDIBitsToDevice(int x, int y, int width, int height, int xSrc, int ySrc, int startScan,
                           int numScans, std::span<const uint8_t> bits,
                           std::span<const uint8_t> info, unsigned) {
  PackedDibHeader h;
  if (!ParsePackedDibHeader(info, h) || width < 0 || height < 0 || numScans < 0) return 0;
  const int fullHeight = h.height < 0 ? -h.height : h.height;
  // The rows given are scans startScan .. startScan + numScans - 1, counted
  // from the bottom of a bottom-up picture (from the top of a top-down one).
  if (startScan < 0 || startScan >= fullHeight) return 0;
  numScans = std::min(numScans, fullHeight - startScan);
  // A picture of just the given rows.
  std::vector<uint8_t> header(info.begin(), info.end());
  const int32_t partHeight = h.height < 0 ? -numScans : numScans;
  for (int i = 0; i < 4; ++i)
    header[8 + i] = static_cast<uint8_t>(static_cast<uint32_t>(partHeight) >> (8 * i));
  DibSource src;
  if (!src.Init(header, bits, Surface())) return 0;
  // Source row (top = 0) of the picture's y coordinate.
  int topRow;
  if (h.height > 0) {
    // ySrc counts from the bottom of the whole picture; the part holds
    // scans startScan (its bottom row) and up.
    topRow = (startScan + numScans) - (ySrc + height);
  } else {
    topRow = ySrc - startScan;
  }
  DcBlit::Transfer(*this, x, y, width, height, &src, xSrc, topRow, width, height, SRCCOPY);
  return numScans;
}

int CDC::StretchDIBits(int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                       int heightSrc, std::span<const uint8_t> bits, std::span<const uint8_t> info,
                       unsigned, uint32_t rop) {
  DibSource src;
  if (!src.Init(info, bits, Surface())) return 0;
  if (!DcBlit::Transfer(*this, x, y, width, height, &src, xSrc, ySrc, widthSrc, heightSrc, rop))
    return 0;
  return height;
}

int CDC::StretchDib(const CDib& dib, const CRect& dest, const CRect& source, uint32_t rop) {
  if (!dib.Bits() || dib.Width() <= 0 || dib.Height() <= 0) return 0;
  CDibSource src(dib, Surface());
  if (!DcBlit::Transfer(*this, dest.left, dest.top, dest.Width(), dest.Height(), &src, source.left,
                        source.top, source.Width(), source.Height(), rop))
    return 0;
  return dest.Height();
}

int CDC::BlitOffscreen(COffscreenBitmap& bitmap, int x, int y, int width, int height, int xSrc,
                       int ySrc, uint32_t rop) {
  const PixelSurface s = SurfaceOfOffscreen(bitmap);
  if (!s.IsValid()) return 0;
  SurfaceSource src(s, GetBkColor(), Surface(), GetTextColor(), GetBkColor());
  return DcBlit::Transfer(*this, x, y, width, height, &src, xSrc, ySrc, width, height, rop) ? height
                                                                                            : 0;
}
