#include "res/pixel_art.h"

#include <algorithm>
#include <cstdlib>

const uint32_t kArtPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                  0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                  0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

CPixelArt::CPixelArt(int width, int height, uint8_t fill)
    : w_(width), h_(height), px_(static_cast<size_t>(width * height), fill) {}

void CPixelArt::Set(int x, int y, uint8_t c) {
  if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y * w_ + x)] = c;
}

void CPixelArt::Fill(int x0, int y0, int x1, int y1, uint8_t c) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) Set(x, y, c);
}

void CPixelArt::Frame(int x0, int y0, int x1, int y1, uint8_t c) {
  Line(x0, y0, x1, y0, c);
  Line(x0, y1, x1, y1, c);
  Line(x0, y0, x0, y1, c);
  Line(x1, y0, x1, y1, c);
}

void CPixelArt::Line(int x0, int y0, int x1, int y1, uint8_t c) {
  int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    Set(x0, y0, c);
    if (x0 == x1 && y0 == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void CPixelArt::Polygon(std::initializer_list<int> xy, uint8_t fill, uint8_t outline) {
  std::vector<int> p(xy);
  size_t n = p.size() / 2;
  for (int y = 0; y < h_; ++y) {
    double cy = y + 0.5;
    for (int x = 0; x < w_; ++x) {
      double cx = x + 0.5;
      bool inside = false;
      for (size_t i = 0, j = n - 1; i < n; j = i++) {
        double xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
        if ((yi > cy) != (yj > cy) && cx < (xj - xi) * (cy - yi) / (yj - yi) + xi) inside = !inside;
      }
      if (inside) Set(x, y, fill);
    }
  }
  for (size_t i = 0, j = n - 1; i < n; j = i++)
    Line(p[2 * j], p[2 * j + 1], p[2 * i], p[2 * i + 1], outline);
}

CPixelArt CPixelArt::Flipped(bool diagonal) const {
  CPixelArt out(diagonal ? h_ : w_, diagonal ? w_ : h_, 0);
  for (int y = 0; y < h_; ++y)
    for (int x = 0; x < w_; ++x) {
      if (diagonal) {
        out.Set(y, x, At(x, y));
      } else {
        out.Set(w_ - 1 - x, y, At(x, y));
      }
    }
  return out;
}

void CPixelArt::Blit(const CPixelArt& src, int x, int y) {
  for (int sy = 0; sy < src.h_; ++sy)
    for (int sx = 0; sx < src.w_; ++sx) Set(x + sx, y + sy, src.At(sx, sy));
}

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
}  // namespace

std::vector<uint8_t> CPixelArt::ToDib4() const {
  int stride = ((w_ * 4 + 31) / 32) * 4;
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(w_));
  Put32(out, static_cast<uint32_t>(h_));
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, 0);  // no compression
  Put32(out, static_cast<uint32_t>(stride * h_));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 16);
  Put32(out, 0);
  for (uint32_t rgb : kArtPalette) Put32(out, rgb);  // blue, green, red, 0 in memory
  for (int y = h_ - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < w_; ++x) {
      uint8_t c = static_cast<uint8_t>(At(x, y) & 0xF);
      row[static_cast<size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<uint8_t>(c << 4) : c;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

CursorDef CPixelArt::ToCursor(CPoint hotSpot) const {
  CursorDef c;
  c.width = w_;
  c.height = h_;
  c.hot_spot = hotSpot;
  int stride = (w_ + 7) / 8;
  c.and_mask.assign(static_cast<size_t>(stride * h_), 0);
  c.xor_mask.assign(static_cast<size_t>(stride * h_), 0);
  for (int y = 0; y < h_; ++y) {
    for (int x = 0; x < w_; ++x) {
      uint8_t v = At(x, y);
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      size_t i = static_cast<size_t>(y * stride + x / 8);
      if (v == kClear || v == kInvert) c.and_mask[i] |= bit;
      if (v == kPaper || v == kInvert) c.xor_mask[i] |= bit;
    }
  }
  return c;
}
