// What the GDI back-end tests share: a white image with a memory device
// context on it, and a PostScript delegate that records what reaches it.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/edge_style.h"
#include "platform/qt/dc.h"
#include "render/context/render_context.h"
#include "render/raster/dib.h"

struct ImageDC {
  explicit ImageDC(int width = 64, int height = 64) : image(width, height, QImage::Format_RGB32) {
    image.fill(Qt::white);
    dc.CreateCompatibleDC(nullptr);
    dc.AttachImage(&image);
  }
  uint32_t At(int x, int y) const { return image.pixel(x, y) & 0xFFFFFF; }
  // 0 for white, 1 for black.
  double Ink(int x, int y) const { return (255 - qGreen(image.pixel(x, y))) / 255.0; }
  QImage image;
  CDC dc;
};

// Records "begin", "end" and one entry a call; text is answered with
// textAnswer.
class CRecordingDelegate : public CPostScriptDelegate {
 public:
  void BeginPage() override { calls.push_back("begin"); }
  void EndPage() override { calls.push_back("end"); }
  void FillPolygon(const PointList&, const LineStyle* line, const FillStyle* fill) override {
    calls.push_back(std::string("polygon") + (line ? " line" : "") + (fill ? " fill" : ""));
  }
  void FillRegion(Region*, const FillStyle& fill) override {
    calls.push_back(fill.kind == kFillSolid ? "region" : "region gradient");
  }
  int32_t DrawText(int32_t byteCount, const Point32&, const uint8_t*, const int32_t*,
                   const CTextStyle&) override {
    calls.push_back("text " + std::to_string(byteCount));
    return textAnswer;
  }
  void DrawBitmap(const CImageRef& image) override {
    calls.push_back("bitmap " + std::to_string(image.Width()));
  }
  std::vector<std::string> calls;
  int32_t textAnswer = 1;
};
