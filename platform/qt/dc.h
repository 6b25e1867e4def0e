// Device contexts: drawing with the old window system's pixel rules into a
// pixel surface (a window's backing surface, a bitmap, an offscreen bitmap).
//
// Coordinates: logical points go through the world transform (advanced
// graphics mode only), then window origin -> viewport origin, to device
// pixels. Only the text mapping mode (one logical unit per pixel) exists.
//
// Pixel rules: filled rectangles leave out their right and bottom edges; a
// line leaves out its last point; Rectangle and Ellipse with a pen stay
// inside (left, top)-(right - 1, bottom - 1); with the null pen they fill one
// pixel less in width and height; polygons fill the pixels whose centres lie
// inside. Colour-to-monochrome blits make pixels equal to the source's
// background colour 1 and others 0; monochrome-to-colour blits make 0 the
// destination's text colour and 1 its background colour. Pattern brushes are
// aligned to the brush origin (device pixels).
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/qt/gdi_objects.h"
#include "platform/qt/region.h"
#include "platform/qt/rop.h"
#include "platform/qt/win_types.h"

class CWindowSurface;
class CPalette;
class COffscreenBitmap;
class CDib;

// Background modes.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
// Text alignment.
enum : int {
  TA_NOUPDATECP = 0,
  TA_UPDATECP = 1,
  TA_LEFT = 0,
  TA_RIGHT = 2,
  TA_CENTER = 6,
  TA_TOP = 0,
  TA_BOTTOM = 8,
  TA_BASELINE = 24,
};
// ExtTextOut options.
enum : unsigned { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };
// DrawText formats.
enum : unsigned {
  DT_TOP = 0,
  DT_LEFT = 0,
  DT_CENTER = 1,
  DT_RIGHT = 2,
  DT_VCENTER = 4,
  DT_BOTTOM = 8,
  DT_WORDBREAK = 0x10,
  DT_SINGLELINE = 0x20,
  DT_EXPANDTABS = 0x40,
  DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
  DT_END_ELLIPSIS = 0x8000,
};
// Graphics modes and world-transform changes.
enum : int { GM_COMPATIBLE = 1, GM_ADVANCED = 2 };
enum : int { MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3 };
enum : int { MM_TEXT = 1 };
// Stretch modes (all stretch by nearest pixel here).
enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
// Device capabilities.
enum : int {
  HORZRES = 8,
  VERTRES = 10,
  BITSPIXEL = 12,
  PLANES = 14,
  NUMCOLORS = 24,
  RASTERCAPS = 38,
  LOGPIXELSX = 88,
  LOGPIXELSY = 90,
  SIZEPALETTE = 104,
  NUMRESERVED = 106,
};
constexpr int RC_PALETTE = 0x100;
constexpr unsigned DIB_RGB_COLORS = 0;

// A world transform: x' = x * eM11 + y * eM21 + eDx, y' = x * eM12 + y * eM22 + eDy.
struct XFORM {
  float eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
};

// GetGlyphOutline formats, and its failure.
enum : UINT { GGO_METRICS = 0, GGO_BITMAP = 1 };
constexpr DWORD GDI_ERROR = 0xFFFFFFFFu;

// A glyph's black box (pixels), the offset of its top-left corner from the
// pen (y up) and the pen's advance.
struct GLYPHMETRICS {
  UINT gmBlackBoxX = 0;
  UINT gmBlackBoxY = 0;
  CPoint gmptGlyphOrigin;
  short gmCellIncX = 0;
  short gmCellIncY = 0;
};

// The matrix a glyph is turned through, in 16.16 fixed point, y up:
// x' = x * eM11 + y * eM21, y' = x * eM12 + y * eM22.
struct MAT2 {
  int32_t eM11 = 65536, eM12 = 0, eM21 = 0, eM22 = 65536;
};

struct TEXTMETRIC {
  int tmHeight = 0;
  int tmAscent = 0;
  int tmDescent = 0;
  int tmInternalLeading = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmWeight = 0;
  uint8_t tmItalic = 0;
};

// A pixel surface as the drawing code sees it: rows of 32-bit pixels (blue,
// green, red, unused), or of one bit (most significant first), or (to read
// from only) an offscreen bitmap's other formats.
struct PixelSurface {
  enum Kind { kNone, kRgb32, kMono, kIndexed, k555, k565, k24 };
  uint8_t* row0 = nullptr;  // row 0 (the top row)
  ptrdiff_t stride = 0;     // bytes from a row to the next one down (negative bottom-up)
  int width = 0;
  int height = 0;
  Kind kind = kNone;
  int bits = 0;                      // bits per pixel
  const uint32_t* colors = nullptr;  // palette (red low byte) for kIndexed
  int color_count = 0;
  bool IsValid() const { return kind != kNone && row0; }
  bool Writable() const { return kind == kRgb32 || kind == kMono; }
  uint8_t* Row(int y) const { return row0 + y * stride; }
  // 0xRRGGBB of pixel (x, y), in range; monochrome pixels give 0 or 0xFFFFFF.
  uint32_t ReadRgb(int x, int y) const;
};
PixelSurface SurfaceOfImage(QImage& image);
PixelSurface SurfaceOfOffscreen(COffscreenBitmap& bitmap);

// LOGPIXELSX and LOGPIXELSY of every device context: 96 unless set (tests
// set other resolutions; 0 restores 96).
void SetLogPixels(int x, int y);

// Block transfers take the pixel-by-pixel path that the row-by-row one
// replaced (tests compare the two); false restores the fast path.
void UseReferenceBlits(bool on);

class CDC {
 public:
  // A context without a surface; CreateCompatibleDC makes it a memory context.
  CDC();
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  // A memory context: its surface is the selected bitmap (at first a 1 x 1
  // monochrome one).
  bool CreateCompatibleDC(CDC* other);
  // A context drawing straight into an image (Format_RGB32 or Format_Mono).
  bool AttachImage(QImage* image);
  bool DeleteDC();
  bool IsValid() const { return m_surface.IsValid(); }

  // ---- objects ----
  CPen* SelectObject(CPen* pen);
  CBrush* SelectObject(CBrush* brush);
  CFont* SelectObject(CFont* font);
  // Memory contexts only; null when the bitmap cannot be selected.
  CBitmap* SelectObject(CBitmap* bitmap);
  // Selects an offscreen bitmap (memory contexts); drawing works on 32-bit
  // and 1-bit ones, every format can be a blit source. Returns the previous
  // offscreen bitmap (null when it was a CBitmap).
  COffscreenBitmap* SelectObject(COffscreenBitmap* bitmap);
  // A region selects a copy of it as the clip region.
  int SelectObject(CRgn* region) { return SelectClipRgn(region); }
  CGdiObject* SelectStockObject(int index);
  CPen* GetCurrentPen() const { return m_state.pen; }
  CBrush* GetCurrentBrush() const { return m_state.brush; }
  // The selected font (the system font when none was selected).
  CFont* GetCurrentFont() const;
  CBitmap* GetCurrentBitmap() const { return m_bitmap; }
  // Palettes are kept for the caller but change no colour (the screens are
  // true colour); RealizePalette answers that no entry changed.
  CPalette* SelectPalette(CPalette* palette, bool forceBackground);
  UINT RealizePalette();

  // ---- attributes ----
  COLORREF SetTextColor(COLORREF color);
  COLORREF GetTextColor() const { return m_state.text_color; }
  COLORREF SetBkColor(COLORREF color);
  COLORREF GetBkColor() const { return m_state.bk_color; }
  int SetBkMode(int mode);
  int GetBkMode() const { return m_state.bk_mode; }
  int SetROP2(int rop2);
  int GetROP2() const { return m_state.rop2; }
  int SetPolyFillMode(int mode);
  int GetPolyFillMode() const { return m_state.poly_fill_mode; }
  unsigned SetTextAlign(unsigned align);
  unsigned GetTextAlign() const { return m_state.text_align; }
  int SetStretchBltMode(int mode);
  int GetStretchBltMode() const { return m_state.stretch_mode; }
  int SetMapMode(int mode);
  int GetMapMode() const { return MM_TEXT; }
  // Brush origin in device pixels.
  CPoint SetBrushOrg(int x, int y);
  CPoint SetBrushOrg(CPoint p) { return SetBrushOrg(p.x, p.y); }
  CPoint GetBrushOrg() const { return m_state.brush_org; }
  CPoint SetViewportOrg(int x, int y);
  CPoint SetViewportOrg(CPoint p) { return SetViewportOrg(p.x, p.y); }
  CPoint OffsetViewportOrg(int dx, int dy);
  CPoint GetViewportOrg() const { return m_state.viewport_org; }
  CPoint SetWindowOrg(int x, int y);
  CPoint SetWindowOrg(CPoint p) { return SetWindowOrg(p.x, p.y); }
  CPoint GetWindowOrg() const { return m_state.window_org; }
  int SetGraphicsMode(int mode);
  int GetGraphicsMode() const { return m_state.graphics_mode; }
  // Advanced mode only (false otherwise).
  bool SetWorldTransform(const XFORM& xf);
  bool ModifyWorldTransform(const XFORM& xf, int mode);
  bool GetWorldTransform(XFORM* xf) const;
  void LPtoDP(CPoint* points, int count = 1) const;
  void LPtoDP(CRect* rect) const;
  void DPtoLP(CPoint* points, int count = 1) const;
  void DPtoLP(CRect* rect) const;
  int GetDeviceCaps(int index) const;
  // Saves every attribute, object and the clip; RestoreDC(-1) takes the
  // latest back, RestoreDC(n) the state saved as level n.
  int SaveDC();
  bool RestoreDC(int saved);

  // ---- clipping (device pixels) ----
  // Null removes the clip region; the region is copied.
  int SelectClipRgn(const CRgn* region);
  int SelectClipRgn(const CRgn* region, int mode);
  int IntersectClipRect(int left, int top, int right, int bottom);
  int IntersectClipRect(const CRect* r) {
    return IntersectClipRect(r->left, r->top, r->right, r->bottom);
  }
  int ExcludeClipRect(int left, int top, int right, int bottom);
  int ExcludeClipRect(const CRect* r) {
    return ExcludeClipRect(r->left, r->top, r->right, r->bottom);
  }
  int OffsetClipRgn(int dx, int dy);
  // The clip box in logical units.
  int GetClipBox(CRect* rect) const;
  bool PtVisible(int x, int y) const;
  bool RectVisible(const CRect* rect) const;
  // The clip region in device pixels (0 when there is none, 1 when copied).
  int GetClipRgn(CRgn* region) const;

  // ---- lines and shapes ----
  // The calls that take point lists are virtual, so that a context can
  // record how drawing code batches its points.
  virtual CPoint MoveTo(int x, int y);
  CPoint MoveTo(CPoint p) { return MoveTo(p.x, p.y); }
  virtual bool LineTo(int x, int y);
  bool LineTo(CPoint p) { return LineTo(p.x, p.y); }
  CPoint GetCurrentPosition() const { return m_state.current_pos; }
  virtual bool Polyline(const CPoint* points, int count);
  virtual bool PolylineTo(const CPoint* points, int count);
  bool PolyBezier(const CPoint* points, int count);
  virtual bool PolyBezierTo(const CPoint* points, int count);
  virtual bool Polygon(const CPoint* points, int count);
  virtual bool PolyPolygon(const CPoint* points, const int* counts, int polygons);
  bool Rectangle(int left, int top, int right, int bottom);
  bool Rectangle(const CRect* r) { return Rectangle(r->left, r->top, r->right, r->bottom); }
  bool Ellipse(int left, int top, int right, int bottom);
  bool Ellipse(const CRect* r) { return Ellipse(r->left, r->top, r->right, r->bottom); }

  // ---- fills and blits ----
  void FillRect(const CRect* rect, CBrush* brush);
  // Fills with a colour through an opaque empty ExtTextOut; the background
  // colour is restored.
  void FillSolidRect(const CRect* rect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  void FrameRect(const CRect* rect, CBrush* brush);
  void InvertRect(const CRect* rect);
  // Top and left edges in the first colour, right and bottom in the second.
  void Draw3dRect(const CRect* rect, COLORREF topLeft, COLORREF bottomRight);
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
  // A dotted frame drawn by XOR: drawing it twice removes it.
  void DrawFocusRect(const CRect* rect);
  bool PatBlt(int x, int y, int width, int height, uint32_t rop);
  bool BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, uint32_t rop);
  // Nearest-pixel stretching; negative sizes mirror.
  bool StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc,
                  int widthSrc, int heightSrc, uint32_t rop);
  bool PaintRgn(const CRgn* region);
  bool FillRgn(const CRgn* region, CBrush* brush);
  bool FrameRgn(const CRgn* region, CBrush* brush, int width, int height);
  bool InvertRgn(const CRgn* region);
  COLORREF SetPixel(int x, int y, COLORREF color);
  bool SetPixelV(int x, int y, COLORREF color) { return SetPixel(x, y, color) != CLR_INVALID; }
  COLORREF GetPixel(int x, int y) const;
  // Moves the pixels of scroll (logical; default all) by (dx, dy) inside
  // clip; what is left uncovered is returned in update and updateRect.
  bool ScrollDC(int dx, int dy, const CRect* scroll, const CRect* clip, CRgn* update,
                CRect* updateRect);

  // ---- device-independent bitmaps ----
  // A packed bitmap's info block (header and colours or masks) and its rows.
  // SetDIBitsToDevice counts ySrc and startScan from the bottom row of a
  // bottom-up bitmap, as the old call did; StretchDIBits takes the source
  // rectangle with row 0 at the top of the picture. Return the rows drawn
  // (SetDIBitsToDevice) or the destination height (StretchDIBits), 0 on
  // failure (bad header, too few pixel bytes).
  int SetDIBitsToDevice(int x, int y, int width, int height, int xSrc, int ySrc, int startScan,
                        int numScans, std::span<const uint8_t> bits, std::span<const uint8_t> info,
                        unsigned usage = DIB_RGB_COLORS);
  int StretchDIBits(int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                    int heightSrc, std::span<const uint8_t> bits, std::span<const uint8_t> info,
                    unsigned usage, uint32_t rop);
  // The same from the project's bitmaps (source rectangles with row 0 at the top).
  int StretchDib(const CDib& dib, const CRect& dest, const CRect& source, uint32_t rop);
  int BlitOffscreen(COffscreenBitmap& bitmap, int x, int y, int width, int height, int xSrc,
                    int ySrc, uint32_t rop = SRCCOPY);

  // ---- paths (recorded in device pixels) ----
  bool BeginPath();
  bool EndPath();
  bool AbortPath();
  bool CloseFigure();
  bool FillPath();
  bool StrokePath();
  bool StrokeAndFillPath();
  // The path becomes (mode) the clip region and is discarded.
  bool SelectClipPath(int mode);

  // ---- text ----
  bool TextOut(int x, int y, std::string_view text);
  // `dx`, when given, holds one advance per character (code point) in
  // logical units; otherwise the font's advances are used. `rect` is used
  // with ETO_OPAQUE (filled with the background colour) and ETO_CLIPPED.
  bool ExtTextOut(int x, int y, unsigned options, const CRect* rect, std::string_view text,
                  const int* dx = nullptr);
  // Returns the height of the text drawn (or measured with DT_CALCRECT).
  int DrawText(std::string_view text, CRect* rect, unsigned format);
  CSize GetTextExtent(std::string_view text) const;
  CSize GetOutputTextExtent(std::string_view text) const { return GetTextExtent(text); }
  bool GetTextMetrics(TEXTMETRIC* metrics) const;
  // One character (a code of the font's code page, a lead byte in the high
  // byte) of the selected font, through the matrix. GGO_BITMAP: its black
  // box as one bit per pixel (1 = ink, rows from the top, each row padded to
  // 32 bits; a character without ink has a blank 1 x 1 box); returns the
  // bytes that takes, copied to buffer when size holds them (null buffer:
  // only the size). GGO_METRICS: the metrics alone, 0. GDI_ERROR for fonts
  // that are not the font service's, other formats, or too small a buffer.
  DWORD GetGlyphOutline(UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                        const MAT2* matrix) const;

  // ---- the surface ----
  const PixelSurface& Surface() const { return m_surface; }
  // The window surface drawn into (client and paint contexts), else null.
  CWindowSurface* WindowSurface() const { return m_window; }
  // Device rectangle touched by drawing since the last call (and cleared).
  CRect TakeChangedRect();

 protected:
  // Window contexts: draw into the window's surface.
  void AttachWindow(CWindowSurface* window);
  // Called after each drawing call with the device pixels it changed.
  virtual void Changed(const CRect& device);

 private:
  struct State {
    CPen* pen = nullptr;
    CBrush* brush = nullptr;
    CFont* font = nullptr;
    COLORREF text_color = 0;
    COLORREF bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int poly_fill_mode = ALTERNATE;
    unsigned text_align = 0;
    int stretch_mode = BLACKONWHITE;
    CPoint brush_org;
    CPoint viewport_org;
    CPoint window_org;
    CPoint current_pos;
    int graphics_mode = GM_COMPATIBLE;
    XFORM world;
    bool has_clip = false;
    CRgn clip;  // device pixels
  };
  struct Saved {
    State state;
    CBitmap* bitmap;
    COffscreenBitmap* offscreen;
  };
  friend struct DcRaster;
  friend struct DcPath;
  friend struct DcBlit;
  friend struct DcText;

  State m_state;
  std::vector<Saved> m_saved;
  PixelSurface m_surface;
  CBitmap* m_bitmap = nullptr;
  COffscreenBitmap* m_offscreen = nullptr;
  CPalette* m_palette = nullptr;
  std::unique_ptr<CBitmap> m_defaultBitmap;
  CWindowSurface* m_window = nullptr;
  bool m_memory = false;
  CRect m_changed;
  // The path under construction (device pixels).
  struct Figure {
    std::vector<CPointF> points;
    bool closed = false;
  };
  bool m_pathOpen = false;
  bool m_pathDone = false;
  std::vector<Figure> m_path;
};

// A context for drawing into a window's surface outside its paint event:
// every drawing call is shown at once (a synchronous repaint of what it
// changed).
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWindowSurface* window);
  ~CClientDC() override;

 protected:
  void Changed(const CRect& device) override;
};
using CWindowDC = CClientDC;

// The context of a paint handler: clipped to the window's invalid region,
// which it validates; its drawing is copied to the screen by the paint event
// itself.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWindowSurface* window);
  ~CPaintDC() override;
  // The invalid area's bounds when painting began.
  CRect m_rcPaint;
};
