// Text through Qt's fonts, placed with the old system's alignment rules,
// escapement and per-character advances.
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTransform>
#include <cmath>
#include <cstring>

#include "platform/core/code_page.h"
#include "platform/core/font.h"
#include "platform/qt/dc.h"
#include "platform/qt/dc_internal.h"

namespace {

// The characters (code points) of UTF-8 text.
std::vector<QString> SplitChars(std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  std::vector<QString> out;
  for (qsizetype i = 0; i < s.size();) {
    const qsizetype n = (s[i].isHighSurrogate() && i + 1 < s.size()) ? 2 : 1;
    out.push_back(s.mid(i, n));
    i += n;
  }
  return out;
}

// A face's outline as a path (winding rule), each point placed by `at`.
template <class Place>
QPainterPath OutlinePath(const GlyphOutline& outline, Place at) {
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (const OutlineContour& contour : outline.contours) {
    path.moveTo(at(contour.start));
    for (const OutlineRecord& r : contour.records) {
      const size_t n = r.points.size();
      if (r.type == OutlineRecord::kLine) {
        for (const Point32& q : r.points) path.lineTo(at(q));
        continue;
      }
      // Off-curve points with implied midpoints, the last one on the curve.
      for (size_t i = 0; i + 1 < n; ++i) {
        const QPointF control = at(r.points[i]), next = at(r.points[i + 1]);
        path.quadTo(control, i + 2 == n ? next : (control + next) / 2);
      }
    }
    path.closeSubpath();
  }
  return path;
}

const CFont* ValidFont(const CFont* font) {
  return (font && font->IsValid()) ? font : StockFont(SYSTEM_FONT);
}

// What text drawing needs of a font: its metrics, the advance of a
// character and the drawing of one. Fonts of the font service draw the
// face's own outlines; the others draw through Qt.
class TextFont {
 public:
  explicit TextFont(const CFont* font) {
    font = ValidFont(font);
    face_ = font->Face();
    if (face_ == nullptr) {
      qfont_ = &font->Font();
      QFontMetricsF fm(*qfont_);
      ascent_ = std::round(fm.ascent());
      descent_ = std::round(fm.descent());
      return;
    }
    face_->GetTextMetrics(metrics_);
    ascent_ = metrics_.ascent;
    descent_ = metrics_.descent;
    code_page_ = CodePageForCharSet(face_->GetLogFont().char_set);
    const int width = font->LogFont().lfWidth;
    if (width > 0 && metrics_.avg_char_width > 0)
      width_scale_ = static_cast<double>(width) / metrics_.avg_char_width;
  }

  double Ascent() const { return ascent_; }
  double Descent() const { return descent_; }
  const CFontFace* Face() const { return face_; }
  const TextMetrics& FaceMetrics() const { return metrics_; }
  const QFont* Font() const { return qfont_; }

  int Advance(const QString& ch) const {
    if (qfont_) return static_cast<int>(std::lround(QFontMetricsF(*qfont_).horizontalAdvance(ch)));
    const std::vector<uint8_t> bytes = CodeBytes(ch);
    int32_t cx = 0;
    if (!face_->GetTextExtent(bytes.data(), static_cast<int>(bytes.size()), cx)) return 0;
    return static_cast<int>(std::lround(cx * width_scale_));
  }

  // The character with its pen at `pen` (text space: x along the baseline,
  // y down).
  void Draw(QPainter& p, const QPointF& pen, const QString& ch) const {
    if (qfont_) {
      p.drawText(pen, ch);
      return;
    }
    const std::vector<uint8_t> bytes = CodeBytes(ch);
    const uint16_t code = bytes.size() >= 2 ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1])
                                            : (bytes.empty() ? 0 : bytes[0]);
    GlyphOutline outline;
    if (!face_->GetGlyphOutline(code, outline)) return;
    auto at = [&](const Point32& q) {
      return QPointF(pen.x() + q.x / 65536.0 * width_scale_, pen.y() - q.y / 65536.0);
    };
    const QPainterPath path = OutlinePath(outline, at);
    p.fillPath(path, p.pen().color());
  }

 private:
  // The character's bytes in the face's code page.
  std::vector<uint8_t> CodeBytes(const QString& ch) const {
    const QList<uint> scalars = ch.toUcs4();
    if (scalars.isEmpty()) return {};
    return UnicodeToBytes(code_page_, std::u32string(1, static_cast<char32_t>(scalars[0])));
  }

  const QFont* qfont_ = nullptr;
  const CFontFace* face_ = nullptr;
  TextMetrics metrics_;
  int code_page_ = 1252;
  double width_scale_ = 1;
  double ascent_ = 0;
  double descent_ = 0;
};

std::vector<int> Advances(const TextFont& font, const std::vector<QString>& chars) {
  std::vector<int> out;
  out.reserve(chars.size());
  for (const QString& c : chars) out.push_back(font.Advance(c));
  return out;
}

}  // namespace

struct DcText {
  static bool Draw(CDC& dc, int x, int y, unsigned options, const CRect* rect,
                   std::string_view text, const int* dx);
};

bool DcText::Draw(CDC& dc, int x, int y, unsigned options, const CRect* rect, std::string_view text,
                  const int* dx) {
  if (!dc.IsValid()) return false;
  CDC::State& st = dc.m_state;
  const TextFont font(st.font);
  const LOGFONT log = dc.GetCurrentFont()->LogFont();
  const double ascent = font.Ascent(), descent = font.Descent();

  // The device transform of logical points.
  QTransform world;
  if (DcRaster::HasTransform(dc)) {
    const XFORM& w = st.world;
    world = QTransform(w.eM11, w.eM12, w.eM21, w.eM22, w.eDx, w.eDy);
  }
  world *= QTransform::fromTranslate(st.viewport_org.x - st.window_org.x,
                                     st.viewport_org.y - st.window_org.y);

  // ETO_OPAQUE: the rectangle in the background colour.
  if ((options & ETO_OPAQUE) && rect) {
    const QPolygonF poly =
        world.map(QPolygonF(QRectF(rect->left, rect->top, rect->Width(), rect->Height())));
    std::vector<CPointF> c;
    for (const QPointF& p : poly) c.push_back({p.x(), p.y()});
    if (c.size() == 5) c.pop_back();
    const CRect clip = DcRaster::ClipBounds(dc);
    std::vector<DeviceSpan> spans;
    ScanPolygons({c}, false, clip.top, clip.bottom, [&](int yy, int x0, int x1) {
      spans.push_back({yy, x0, x1});
    });
    DcRaster::WriteSpans(dc, spans, DcRaster::SolidSource(dc, st.bk_color), Rop3Index(PATCOPY));
  }
  const std::vector<QString> chars = SplitChars(text);
  if (chars.empty()) {
    DcRaster::Finish(dc);
    return true;
  }
  std::vector<int> adv = dx ? std::vector<int>(dx, dx + chars.size()) : Advances(font, chars);
  double total = 0;
  for (int a : adv) total += a;

  if (st.text_align & TA_UPDATECP) {
    x = st.current_pos.x;
    y = st.current_pos.y;
  }
  double start = 0;
  switch (st.text_align & TA_CENTER) {
    case TA_RIGHT:
      start = -total;
      break;
    case TA_CENTER:
      start = -total / 2;
      break;
    default:
      break;
  }
  double baseline = ascent;  // TA_TOP
  if ((st.text_align & TA_BASELINE) == TA_BASELINE) {
    baseline = 0;
  } else if (st.text_align & TA_BOTTOM) {
    baseline = -descent;
  }
  if (st.text_align & TA_UPDATECP) {
    // The current position moves along the text.
    if ((st.text_align & TA_CENTER) == TA_LEFT) st.current_pos.x = x + static_cast<int>(total);
    if ((st.text_align & TA_CENTER) == TA_RIGHT) st.current_pos.x = x - static_cast<int>(total);
  }

  // Text space (along the baseline, down) to device pixels.
  const double angle = log.lfEscapement / 10.0 * M_PI / 180.0;
  const double ca = std::cos(angle), sa = std::sin(angle);
  const QTransform textToLogical(ca, -sa, sa, ca, x, y);
  const QTransform toDevice = textToLogical * world;

  const QRectF cell(start, baseline - ascent, total, ascent + descent);
  const QPolygonF cellPoly = toDevice.map(QPolygonF(cell));
  CRect area = DcRaster::ClipBounds(dc);
  if ((options & ETO_CLIPPED) && rect) {
    CRect r = *rect;
    dc.LPtoDP(&r);
    r.NormalizeRect();
    area.IntersectRect(area, r);
  }
  if (st.bk_mode == OPAQUE) {
    std::vector<CPointF> c;
    for (const QPointF& p : cellPoly) c.push_back({p.x(), p.y()});
    if (c.size() == 5) c.pop_back();
    std::vector<DeviceSpan> spans;
    ScanPolygons({c}, false, area.top, area.bottom, [&](int yy, int x0, int x1) {
      spans.push_back({yy, std::max(x0, area.left), std::min(x1, area.right)});
    });
    DcRaster::WriteSpans(dc, spans, DcRaster::SolidSource(dc, st.bk_color), Rop3Index(PATCOPY));
  }
  // Glyphs drawn by Qt into a coverage image over the text's device bounds
  // (grown for overhangs), then blended in the text colour through the clip.
  QRect box = toDevice.mapRect(cell.adjusted(-ascent, -2, ascent, 2)).toAlignedRect();
  box &= QRect(area.left, area.top, area.Width(), area.Height());
  if (box.isEmpty()) {
    DcRaster::Finish(dc);
    return true;
  }
  QImage coverage(box.size(), QImage::Format_ARGB32_Premultiplied);
  coverage.fill(0);
  {
    QPainter p(&coverage);
    p.setTransform(toDevice * QTransform::fromTranslate(-box.left(), -box.top()));
    if (font.Font()) p.setFont(*font.Font());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(255, 255, 255));
    double pen = start;
    for (size_t i = 0; i < chars.size(); ++i) {
      font.Draw(p, QPointF(pen, baseline), chars[i]);
      pen += adv[i];
    }
  }
  const uint32_t color = DcRaster::DeviceColor(dc, st.text_color);
  const bool mono = dc.Surface().kind == PixelSurface::kMono;
  const PatternSource solid = DcRaster::SolidSource(dc, st.text_color);
  for (int row = 0; row < box.height(); ++row) {
    const int yy = box.top() + row;
    const uint32_t* cov = reinterpret_cast<const uint32_t*>(coverage.constScanLine(row));
    for (int col = 0; col < box.width(); ++col) {
      const uint32_t a = cov[col] >> 24;
      if (a == 0) continue;
      const int xx = box.left() + col;
      if (!DcRaster::Visible(dc, xx, yy)) continue;
      if (mono || a == 255) {
        if (a >= 128) DcRaster::WriteSpan(dc, yy, xx, xx + 1, solid, nullptr, Rop3Index(PATCOPY));
        continue;
      }
      uint32_t* d = reinterpret_cast<uint32_t*>(dc.Surface().Row(yy)) + xx;
      uint32_t out = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t dv = *d >> shift & 0xFF, cv = color >> shift & 0xFF;
        out |= ((cv * a + dv * (255 - a) + 127) / 255) << shift;
      }
      *d = out;
      DcRaster::Touch(dc, yy, xx, xx + 1);
    }
  }
  DcRaster::Finish(dc);
  return true;
}

bool CDC::TextOut(int x, int y, std::string_view text) {
  return DcText::Draw(*this, x, y, 0, nullptr, text, nullptr);
}

bool CDC::ExtTextOut(int x, int y, unsigned options, const CRect* rect, std::string_view text,
                     const int* dx) {
  return DcText::Draw(*this, x, y, options, rect, text, dx);
}

CSize CDC::GetTextExtent(std::string_view text) const {
  const TextFont font(m_state.font);
  int width = 0;
  for (int a : Advances(font, SplitChars(text))) width += a;
  return {width, static_cast<int>(font.Ascent() + font.Descent())};
}

bool CDC::GetTextMetrics(TEXTMETRIC* metrics) const {
  if (!metrics) return false;
  const TextFont text(m_state.font);
  TEXTMETRIC m;
  if (text.Face()) {
    const TextMetrics& f = text.FaceMetrics();
    m.tmAscent = f.ascent;
    m.tmDescent = f.descent;
    m.tmHeight = f.height;
    m.tmInternalLeading = std::max(0, f.height - std::abs(text.Face()->GetLogFont().height));
    m.tmAveCharWidth = f.avg_char_width;
    m.tmMaxCharWidth = f.avg_char_width;
    m.tmWeight = f.weight;
    m.tmItalic = f.italic;
    *metrics = m;
    return true;
  }
  const QFont& font = *text.Font();
  QFontMetricsF fm(font);
  m.tmAscent = static_cast<int>(std::round(fm.ascent()));
  m.tmDescent = static_cast<int>(std::round(fm.descent()));
  m.tmHeight = m.tmAscent + m.tmDescent;
  const int em =
      font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(std::round(fm.height()));
  m.tmInternalLeading = std::max(0, m.tmHeight - em);
  m.tmExternalLeading = static_cast<int>(std::round(fm.leading()));
  m.tmAveCharWidth = static_cast<int>(std::round(fm.averageCharWidth()));
  m.tmMaxCharWidth = static_cast<int>(std::round(fm.maxWidth()));
  m.tmWeight = GetCurrentFont()->LogFont().lfWeight;
  m.tmItalic = font.italic() ? 1 : 0;
  *metrics = m;
  return true;
}

DWORD CDC::GetGlyphOutline(UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                           const MAT2* matrix) const {
  const CFont* font = ValidFont(m_state.font);
  const CFontFace* face = font->Face();
  if (!face || !metrics || !matrix || (format != GGO_BITMAP && format != GGO_METRICS))
    return GDI_ERROR;
  const double m11 = matrix->eM11 / 65536.0, m12 = matrix->eM12 / 65536.0,
               m21 = matrix->eM21 / 65536.0, m22 = matrix->eM22 / 65536.0;
  auto turn = [&](const Point32& q) {
    const double x = q.x / 65536.0, y = q.y / 65536.0;
    return QPointF(x * m11 + y * m21, x * m12 + y * m22);
  };
  GlyphOutline outline;
  if (!face->GetGlyphOutline(static_cast<uint16_t>(code), outline)) return GDI_ERROR;
  const QPainterPath path = OutlinePath(outline, turn);
  // The black box: the outline's bounds out to whole pixels (y up).
  int left = 0, top = 0, width = 1, height = 1;
  const QRectF b = path.boundingRect();
  const bool ink = !path.isEmpty() && b.width() > 0 && b.height() > 0;
  if (ink) {
    left = static_cast<int>(std::floor(b.left()));
    top = static_cast<int>(std::ceil(b.bottom()));
    width = std::max(1, static_cast<int>(std::ceil(b.right())) - left);
    height = std::max(1, top - static_cast<int>(std::floor(b.top())));
    if (int64_t{width} * height > (int64_t{1} << 26)) return GDI_ERROR;
  }
  uint8_t codeBytes[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
  const bool pair = code > 0xFF;
  int32_t advance = 0;
  if (!face->GetTextExtent(pair ? codeBytes : codeBytes + 1, pair ? 2 : 1, advance)) advance = 0;
  GLYPHMETRICS gm;
  gm.gmBlackBoxX = static_cast<UINT>(width);
  gm.gmBlackBoxY = static_cast<UINT>(height);
  gm.gmptGlyphOrigin = CPoint(left, top);
  gm.gmCellIncX = static_cast<short>(std::lround(advance * m11));
  gm.gmCellIncY = static_cast<short>(std::lround(advance * m12));
  *metrics = gm;
  if (format == GGO_METRICS) return 0;
  const size_t stride = ((static_cast<size_t>(width) + 31) >> 5) * 4;
  const DWORD needed = static_cast<DWORD>(stride * static_cast<size_t>(height));
  if (!buffer || size == 0) return needed;
  if (size < needed) return GDI_ERROR;
  auto* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, needed);
  if (ink) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    {
      QPainter p(&image);
      // (x, y up) to (column, row from the top).
      p.setTransform(QTransform(1, 0, 0, -1, -left, top));
      p.fillPath(path, QColor(255, 255, 255));
    }
    for (int row = 0; row < height; ++row) {
      const uint32_t* px = reinterpret_cast<const uint32_t*>(image.constScanLine(row));
      for (int col = 0; col < width; ++col) {
        if ((px[col] >> 24) >= 128) out[row * stride + (col >> 3)] |= 0x80 >> (col & 7);
      }
    }
  }
  return needed;
}

namespace {

// Removes mnemonic prefixes ("&x" shows x, "&&" shows &).
std::string StripPrefixes(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

}  // namespace

int CDC::DrawText(std::string_view text, CRect* rect, unsigned format) {
  if (!rect) return 0;
  std::string body = (format & DT_NOPREFIX) ? std::string(text) : StripPrefixes(text);
  TEXTMETRIC tm;
  GetTextMetrics(&tm);
  const int lineHeight = tm.tmHeight;
  std::vector<std::string> lines;
  if (format & DT_SINGLELINE) {
    for (char& c : body)
      if (c == '\n' || c == '\r') c = ' ';
    lines.push_back(body);
  } else {
    std::string cur;
    for (char c : body) {
      if (c == '\r') continue;
      if (c == '\n') {
        lines.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    lines.push_back(cur);
    if (format & DT_WORDBREAK) {
      std::vector<std::string> wrapped;
      for (const std::string& line : lines) {
        std::string acc;
        size_t i = 0;
        while (i <= line.size()) {
          const size_t end = std::min(line.find(' ', i), line.size());
          const std::string word = line.substr(i, end - i);
          const std::string trial = acc.empty() ? word : acc + " " + word;
          if (!acc.empty() && GetTextExtent(trial).cx > rect->Width()) {
            wrapped.push_back(acc);
            acc = word;
          } else {
            acc = trial;
          }
          i = end + 1;
        }
        wrapped.push_back(acc);
      }
      lines = std::move(wrapped);
    }
  }
  int width = 0;
  for (const std::string& line : lines) width = std::max(width, GetTextExtent(line).cx);
  const int height = lineHeight * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = rect->left + width;
    rect->bottom = rect->top + height;
    return height;
  }
  int top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect->top + (rect->Height() - lineHeight) / 2;
    if (format & DT_BOTTOM) top = rect->bottom - lineHeight;
  }
  const int saved = SaveDC();
  if (!(format & DT_NOCLIP)) IntersectClipRect(rect);
  SetTextAlign(TA_LEFT | TA_TOP);
  const CFont* current = ValidFont(m_state.font);
  for (std::string line : lines) {
    if ((format & DT_END_ELLIPSIS) && GetTextExtent(line).cx > rect->Width()) {
      if (current->Face()) {
        // Characters dropped from the end until the text and the ellipsis fit.
        std::vector<QString> chars = SplitChars(line);
        const std::string ellipsis = "\u2026";
        std::string kept;
        do {
          if (!chars.empty()) chars.pop_back();
          kept.clear();
          for (const QString& c : chars) kept += c.toStdString();
        } while (!chars.empty() && GetTextExtent(kept + ellipsis).cx > rect->Width());
        line = kept + ellipsis;
      } else {
        line = QFontMetrics(current->Font())
                   .elidedText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())),
                               Qt::ElideRight, rect->Width())
                   .toStdString();
      }
    }
    const int w = GetTextExtent(line).cx;
    int left = rect->left;
    if (format & DT_CENTER) left = rect->left + (rect->Width() - w) / 2;
    if (format & DT_RIGHT) left = rect->right - w;
    TextOut(left, top, line);
    top += lineHeight;
  }
  RestoreDC(saved);
  return height;
}
