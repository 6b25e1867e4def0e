#include "platform/qt/gdi_objects.h"

#include <QFontMetricsF>
#include <cmath>
#include <cstring>

#include "platform/qt/dc.h"
#include "render/raster/dib.h"

bool CPen::CreatePen(int style, int width, COLORREF color) {
  if (style < PS_SOLID || style > PS_INSIDEFRAME) return false;
  m_style = style;
  m_width = std::max(width, 0);
  m_color = color & 0xFFFFFF;
  m_valid = true;
  return true;
}

bool CPen::DeleteObject() {
  return std::exchange(m_valid, false);
}

bool CBrush::CreateSolidBrush(COLORREF color) {
  m_style = BS_SOLID;
  m_color = color & 0xFFFFFF;
  m_pattern = QImage();
  m_valid = true;
  return true;
}

bool CBrush::CreateNullBrush() {
  m_style = BS_NULL;
  m_pattern = QImage();
  m_valid = true;
  return true;
}

bool CBrush::CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return false;
  // 8 x 8 one-bit patterns: 0 is the hatch line, 1 the background.
  QImage p(8, 8, QImage::Format_Mono);
  p.setColorTable({0xFF000000u, 0xFFFFFFFFu});
  p.fill(1);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      bool line = false;
      switch (hatch) {
        case HS_HORIZONTAL:
          line = y == 7;
          break;
        case HS_VERTICAL:
          line = x == 7;
          break;
        case HS_FDIAGONAL:
          line = x == y;
          break;
        case HS_BDIAGONAL:
          line = x == 7 - y;
          break;
        case HS_CROSS:
          line = y == 7 || x == 7;
          break;
        default:
          line = x == y || x == 7 - y;
          break;
      }
      if (line) p.setPixel(x, y, 0);
    }
  }
  m_style = BS_HATCHED;
  m_color = color & 0xFFFFFF;
  m_pattern = p;
  m_valid = true;
  return true;
}

bool CBrush::CreatePatternBrush(const CBitmap* bitmap) {
  if (!bitmap || !bitmap->IsValid()) return false;
  m_style = BS_PATTERN;
  m_pattern = bitmap->Image().copy();
  m_valid = !m_pattern.isNull();
  return m_valid;
}

bool CBrush::CreateDIBPatternBrush(std::span<const uint8_t> packedDib) {
  CDib dib;
  if (!dib.LoadPackedDib(packedDib)) return false;
  return CreateDIBPatternBrush(dib);
}

bool CBrush::CreateDIBPatternBrush(const CDib& dib) {
  if (!dib.Bits() || dib.Width() <= 0 || dib.Height() <= 0) return false;
  QImage p(dib.Width(), dib.Height(), QImage::Format_RGB32);
  for (int y = 0; y < dib.Height(); ++y) {
    for (int x = 0; x < dib.Width(); ++x) {
      const Rgb c = dib.PixelAt(x, y);
      p.setPixel(x, y, qRgb(c.red, c.green, c.blue));
    }
  }
  m_style = BS_PATTERN;
  m_pattern = p;
  m_valid = true;
  return true;
}

bool CBrush::DeleteObject() {
  m_pattern = QImage();
  return std::exchange(m_valid, false);
}

// ---- fonts ----

bool CFont::CreateFontIndirect(const LOGFONT& font) {
  m_log = font;
  QFont f;
  if (!font.lfFaceName.empty()) f.setFamily(QString::fromStdString(font.lfFaceName));
  f.setStyleStrategy(QFont::PreferDefault);
  f.setWeight(static_cast<QFont::Weight>(std::clamp(font.lfWeight ? font.lfWeight : 400, 1, 1000)));
  f.setItalic(font.lfItalic != 0);
  f.setUnderline(font.lfUnderline != 0);
  f.setStrikeOut(font.lfStrikeOut != 0);
  int height = font.lfHeight;
  if (height == 0) height = -12;
  if (height < 0) {
    f.setPixelSize(std::max(1, -height));
  } else {
    // A cell height: the em size that gives ascent + descent of that height.
    f.setPixelSize(std::max(1, height));
    QFontMetricsF fm(f);
    const double cell = fm.ascent() + fm.descent();
    if (cell > 0)
      f.setPixelSize(std::max(1, static_cast<int>(std::lround(height * height / cell))));
  }
  if (font.lfWidth > 0) {
    QFontMetricsF fm(f);
    const double average = fm.averageCharWidth();
    if (average > 0) {
      f.setStretch(
          std::clamp(static_cast<int>(std::lround(font.lfWidth * 100.0 / average)), 1, 4000));
    }
  }
  m_font = f;
  m_face.reset();
  m_valid = true;
  return true;
}

bool CFont::CreateFontFromFace(const LOGFONT& font, std::shared_ptr<const CFontFace> face) {
  if (!face) return false;
  m_log = font;
  m_font.reset();
  m_face = std::move(face);
  m_valid = true;
  return true;
}

bool CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet,
                       uint8_t outPrecision, uint8_t clipPrecision, uint8_t quality,
                       uint8_t pitchAndFamily, const std::string& faceName) {
  LOGFONT f;
  f.lfHeight = height;
  f.lfWidth = width;
  f.lfEscapement = escapement;
  f.lfOrientation = orientation;
  f.lfWeight = weight;
  f.lfItalic = italic;
  f.lfUnderline = underline;
  f.lfStrikeOut = strikeOut;
  f.lfCharSet = charSet;
  f.lfOutPrecision = outPrecision;
  f.lfClipPrecision = clipPrecision;
  f.lfQuality = quality;
  f.lfPitchAndFamily = pitchAndFamily;
  f.lfFaceName = faceName;
  return CreateFontIndirect(f);
}

bool CFont::CreatePointFont(int pointSize10, const std::string& faceName) {
  LOGFONT f;
  f.lfHeight = -static_cast<int>(std::lround(pointSize10 * 96.0 / 720.0));
  f.lfFaceName = faceName;
  return CreateFontIndirect(f);
}

bool CFont::DeleteObject() {
  m_font.reset();
  m_face.reset();
  return std::exchange(m_valid, false);
}

int CFont::GetLogFont(LOGFONT* out) const {
  if (!m_valid || !out) return 0;
  *out = m_log;
  return 1;
}

// ---- bitmaps ----

bool CBitmap::CreateBitmap(int width, int height, int planes, int bitsPerPixel, const void* bits) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > (int64_t{1} << 26)) return false;
  const bool mono = planes * bitsPerPixel == 1;
  QImage image(width, height, mono ? QImage::Format_Mono : QImage::Format_RGB32);
  if (image.isNull()) return false;
  if (mono) {
    image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    image.fill(0);
  } else {
    image.fill(0xFF000000u);
  }
  if (bits) {
    const auto* src = static_cast<const uint8_t*>(bits);
    const int rowBytes = mono ? ((width + 15) / 16) * 2 : width * 4;
    for (int y = 0; y < height; ++y) {
      std::memcpy(image.scanLine(y), src + static_cast<size_t>(y) * rowBytes,
                  mono ? static_cast<size_t>((width + 7) / 8) : static_cast<size_t>(rowBytes));
      if (!mono) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) row[x] |= 0xFF000000u;
      }
    }
  }
  m_image = std::move(image);
  m_valid = true;
  return true;
}

bool CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  const bool mono = dc && dc->Surface().kind == PixelSurface::kMono;
  return CreateBitmap(width, height, 1, mono ? 1 : 32);
}

bool CBitmap::Attach(QImage image) {
  if (image.isNull()) return false;
  if (image.format() == QImage::Format_Mono) {
    image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
  } else if (image.format() != QImage::Format_RGB32) {
    image = image.convertToFormat(QImage::Format_RGB32);
  }
  m_image = std::move(image);
  m_valid = true;
  return true;
}

bool CBitmap::DeleteObject() {
  m_image = QImage();
  return std::exchange(m_valid, false);
}

int CBitmap::GetBitmap(BITMAP* out) const {
  if (!m_valid || !out) return 0;
  out->bmType = 0;
  out->bmWidth = m_image.width();
  out->bmHeight = m_image.height();
  out->bmPlanes = 1;
  out->bmBitsPixel = Mono() ? 1 : 32;
  out->bmWidthBytes = Mono() ? ((m_image.width() + 15) / 16) * 2 : m_image.width() * 4;
  return static_cast<int>(sizeof(BITMAP));
}

// ---- stock objects ----

namespace {

struct StockObjects {
  CBrush brushes[6];
  CPen pens[3];
  StockObjects() {
    brushes[WHITE_BRUSH].CreateSolidBrush(RGB(255, 255, 255));
    brushes[LTGRAY_BRUSH].CreateSolidBrush(RGB(192, 192, 192));
    brushes[GRAY_BRUSH].CreateSolidBrush(RGB(128, 128, 128));
    brushes[DKGRAY_BRUSH].CreateSolidBrush(RGB(64, 64, 64));
    brushes[BLACK_BRUSH].CreateSolidBrush(RGB(0, 0, 0));
    brushes[NULL_BRUSH].CreateNullBrush();
    pens[0].CreatePen(PS_SOLID, 0, RGB(255, 255, 255));
    pens[1].CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
    pens[2].CreatePen(PS_NULL, 0, 0);
  }
};

// Fonts are made on first use: they need the Qt application.
struct StockFonts {
  CFont system_font, gui_font, var_font;
  StockFonts() {
    LOGFONT system;
    system.lfHeight = 16;
    system.lfWeight = FW_BOLD;
    system.lfFaceName = "Sans Serif";
    system_font.CreateFontIndirect(system);
    LOGFONT gui;
    gui.lfHeight = -11;
    gui.lfFaceName = "Sans Serif";
    gui_font.CreateFontIndirect(gui);
    var_font.CreateFontIndirect(gui);
  }
};

StockObjects& Stock() {
  static StockObjects* objects = new StockObjects;  // lives as long as the process
  return *objects;
}

StockFonts& Fonts() {
  static StockFonts* fonts = new StockFonts;  // lives as long as the process
  return *fonts;
}

}  // namespace

CGdiObject* GetStockObject(int index) {
  if (index >= WHITE_BRUSH && index <= NULL_BRUSH) return StockBrush(index);
  if (index >= WHITE_PEN && index <= NULL_PEN) return StockPen(index);
  return StockFont(index);
}

CPen* StockPen(int index) {
  if (index < WHITE_PEN || index > NULL_PEN) return nullptr;
  return &Stock().pens[index - WHITE_PEN];
}

CBrush* StockBrush(int index) {
  if (index < WHITE_BRUSH || index > NULL_BRUSH) return nullptr;
  return &Stock().brushes[index];
}

CFont* StockFont(int index) {
  switch (index) {
    case SYSTEM_FONT:
      return &Fonts().system_font;
    case DEFAULT_GUI_FONT:
      return &Fonts().gui_font;
    case ANSI_VAR_FONT:
      return &Fonts().var_font;
    default:
      return nullptr;
  }
}
