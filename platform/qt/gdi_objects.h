// Drawing objects of the device contexts: pens, brushes, fonts and bitmaps,
// with the constants the drawing code names. Objects are created by their
// owner and selected into a device context, which keeps a pointer: an object
// must outlive its selection (as on the old window system, where a selected
// object cannot be deleted).
#pragma once

#include <QFont>
#include <QImage>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/qt/win_types.h"

class CDib;
class CFontFace;

// Pen styles.
enum : int {
  PS_SOLID = 0,
  PS_DASH = 1,
  PS_DOT = 2,
  PS_DASHDOT = 3,
  PS_DASHDOTDOT = 4,
  PS_NULL = 5,
  PS_INSIDEFRAME = 6,
};
// Brush styles and hatches.
enum : int {
  BS_SOLID = 0,
  BS_NULL = 1,
  BS_HATCHED = 2,
  BS_PATTERN = 3,
};
enum : int {
  HS_HORIZONTAL = 0,
  HS_VERTICAL = 1,
  HS_FDIAGONAL = 2,
  HS_BDIAGONAL = 3,
  HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};
// Stock objects.
enum : int {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  HOLLOW_BRUSH = NULL_BRUSH,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  ANSI_VAR_FONT = 12,
  SYSTEM_FONT = 13,
  DEFAULT_GUI_FONT = 17,
};
// Font weights and the font fields the drawing code sets.
enum : int {
  FW_DONTCARE = 0,
  FW_THIN = 100,
  FW_LIGHT = 300,
  FW_NORMAL = 400,
  FW_MEDIUM = 500,
  FW_SEMIBOLD = 600,
  FW_BOLD = 700,
  FW_HEAVY = 900,
};

class CGdiObject {
 public:
  enum class Kind { kNone, kPen, kBrush, kFont, kBitmap, kPalette };
  virtual ~CGdiObject() = default;
  virtual Kind ObjectKind() const = 0;
  // True once created.
  bool IsValid() const { return m_valid; }
  // Returns the object to its uncreated state.
  virtual bool DeleteObject() = 0;

 protected:
  bool m_valid = false;
};

class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  Kind ObjectKind() const override { return Kind::kPen; }
  bool CreatePen(int style, int width, COLORREF color);
  bool DeleteObject() override;

  int Style() const { return m_style; }
  // Width in logical units; 0 draws one pixel wide.
  int Width() const { return m_width; }
  COLORREF Color() const { return m_color; }

 private:
  int m_style = PS_SOLID;
  int m_width = 0;
  COLORREF m_color = 0;
};

class CBitmap;

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  Kind ObjectKind() const override { return Kind::kBrush; }
  bool CreateSolidBrush(COLORREF color);
  bool CreateHatchBrush(int hatch, COLORREF color);
  // A pattern of the bitmap's pixels (copied). A one-bit bitmap's 0 pixels
  // take the text colour and 1 pixels the background colour of the device
  // context that draws.
  bool CreatePatternBrush(const CBitmap* bitmap);
  // A pattern from a packed device-independent bitmap (header, colour table,
  // pixels) or a CDib: its colours are its own.
  bool CreateDIBPatternBrush(std::span<const uint8_t> packedDib);
  bool CreateDIBPatternBrush(const CDib& dib);
  // A brush that paints nothing.
  bool CreateNullBrush();
  bool DeleteObject() override;

  int Style() const { return m_style; }
  COLORREF Color() const { return m_color; }
  // Pattern brushes: the pattern (RGB32, or Mono for a monochrome pattern
  // whose colours come from the device context).
  const QImage& Pattern() const { return m_pattern; }
  bool MonoPattern() const { return m_pattern.format() == QImage::Format_Mono; }

 private:
  int m_style = BS_SOLID;
  COLORREF m_color = 0;
  QImage m_pattern;
};

// The fields of a logical font.
struct LOGFONT {
  int lfHeight = 0;      // < 0: character height in pixels; > 0: cell height; 0: default
  int lfWidth = 0;       // average character width; 0: the font's own
  int lfEscapement = 0;  // tenths of a degree, counter-clockwise
  int lfOrientation = 0;
  int lfWeight = FW_NORMAL;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  std::string lfFaceName;  // UTF-8
};

// Interface fonts through Qt (fontconfig picks the face).
class CFont : public CGdiObject {
 public:
  CFont() = default;
  Kind ObjectKind() const override { return Kind::kFont; }
  bool CreateFontIndirect(const LOGFONT& font);
  bool CreateFont(int height, int width, int escapement, int orientation, int weight,
                  uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet,
                  uint8_t outPrecision, uint8_t clipPrecision, uint8_t quality,
                  uint8_t pitchAndFamily, const std::string& faceName);
  // Size in tenths of a point (at 96 pixels per inch).
  bool CreatePointFont(int pointSize10, const std::string& faceName);
  // A font drawn from a face of the font service (the face the drawing's
  // glyph outlines come from): its outlines, advances and metrics are the
  // face's, scaled to lfWidth when given, turned by lfEscapement. The face is
  // shared and must have been made at the LOGFONT's height.
  bool CreateFontFromFace(const LOGFONT& font, std::shared_ptr<const CFontFace> face);
  bool DeleteObject() override;
  // The font service's face of a font made by CreateFontFromFace, else null.
  const CFontFace* Face() const { return m_face.get(); }

  const LOGFONT& LogFont() const { return m_log; }
  int GetLogFont(LOGFONT* out) const;
  // The Qt font that draws it (pixel size set, no escapement). Created
  // fonts only.
  const QFont& Font() const { return *m_font; }

 private:
  LOGFONT m_log;
  // Made when the font is created: a QFont needs the Qt application.
  std::optional<QFont> m_font;
  std::shared_ptr<const CFontFace> m_face;
};

// The size and format of a bitmap.
struct BITMAP {
  int bmType = 0;
  int bmWidth = 0;
  int bmHeight = 0;
  int bmWidthBytes = 0;
  int bmPlanes = 1;
  int bmBitsPixel = 0;
};

// A device-dependent bitmap: 32 bits (QImage::Format_RGB32) or one bit
// (QImage::Format_Mono, 0 black and 1 white).
class CBitmap : public CGdiObject {
 public:
  CBitmap() = default;
  Kind ObjectKind() const override { return Kind::kBitmap; }
  // planes * bitsPerPixel of 1 makes a monochrome bitmap, anything else a
  // 32-bit one. `bits`, when given, holds rows padded to 16 bits (as the
  // old call took them) for monochrome bitmaps, 32-bit words for others.
  bool CreateBitmap(int width, int height, int planes, int bitsPerPixel,
                    const void* bits = nullptr);
  // A bitmap in the format of the device context's surface (monochrome for a
  // memory context that holds no bitmap yet, as on the old system).
  bool CreateCompatibleBitmap(class CDC* dc, int width, int height);
  // Takes an image (converted to Format_RGB32 unless it is Format_Mono).
  bool Attach(QImage image);
  bool DeleteObject() override;
  int GetBitmap(BITMAP* out) const;
  CSize GetBitmapDimension() const { return {m_image.width(), m_image.height()}; }

  QImage& Image() { return m_image; }
  const QImage& Image() const { return m_image; }
  bool Mono() const { return m_image.format() == QImage::Format_Mono; }

 private:
  QImage m_image;
};

// The stock objects (never deleted).
CGdiObject* GetStockObject(int index);
CPen* StockPen(int index);
CBrush* StockBrush(int index);
CFont* StockFont(int index);
