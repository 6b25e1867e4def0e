// A small canvas of palette indices for drawing the program's bitmaps,
// cursors and icons in code: rectangles, lines and filled polygons, then
// packed as a 4-bit device-independent bitmap or as cursor masks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/qt/resources.h"

// The 16-colour table of the image wells (0x00RRGGBB). Index 7 is the
// button face (0xC0C0C0), 8 the shadow (0x808080), 15 the highlight
// (0xFFFFFF), 0 black: the tool bars remap exactly these four.
extern const uint32_t kArtPalette[16];
enum ArtColor : uint8_t {
  kBlack = 0,
  kDarkRed = 1,
  kDarkGreen = 2,
  kOlive = 3,
  kNavy = 4,
  kPurple = 5,
  kTeal = 6,
  kFace = 7,
  kShadow = 8,
  kRed = 9,
  kGreen = 10,
  kYellow = 11,
  kBlue = 12,
  kMagenta = 13,
  kCyan = 14,
  kWhite = 15,
};
// Cursor canvases: transparent, black, white, inverted screen.
enum CursorColor : uint8_t { kClear = 0, kInk = 1, kPaper = 2, kInvert = 3 };

class CPixelArt {
 public:
  CPixelArt(int width, int height, uint8_t fill);
  int Width() const { return w_; }
  int Height() const { return h_; }
  uint8_t At(int x, int y) const { return px_[static_cast<size_t>(y * w_ + x)]; }
  void Set(int x, int y, uint8_t c);
  // Inclusive corners.
  void Fill(int x0, int y0, int x1, int y1, uint8_t c);
  void Frame(int x0, int y0, int x1, int y1, uint8_t c);
  void Line(int x0, int y0, int x1, int y1, uint8_t c);
  // Pixel centres inside the polygon (even-odd), then its outline.
  void Polygon(std::initializer_list<int> xy, uint8_t fill, uint8_t outline);
  // The canvas turned about its main diagonal (x and y swapped) or mirrored
  // left to right.
  CPixelArt Flipped(bool diagonal) const;
  // Copies another canvas at (x, y).
  void Blit(const CPixelArt& src, int x, int y);

  // Packed 4-bit DIB: 40-byte info header, 16 colours, rows bottom up.
  std::vector<uint8_t> ToDib4() const;
  // One-bit AND and XOR masks from a cursor canvas.
  CursorDef ToCursor(CPoint hotSpot) const;

 private:
  int w_;
  int h_;
  std::vector<uint8_t> px_;
};
