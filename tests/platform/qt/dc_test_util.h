// Small helpers of the device-context tests: surfaces and ASCII pictures.
#pragma once

#include <QImage>
#include <string>

#include "platform/qt/dc.h"

// A white 32-bit image of the size with a context drawing into it.
struct TestCanvas {
  QImage image;
  CDC dc;
  TestCanvas(int width, int height) : image(width, height, QImage::Format_RGB32) {
    image.fill(0xFFFFFFFFu);
    dc.AttachImage(&image);
  }
  // One character per pixel, rows separated by '\n': '.' white, '#' black,
  // 'o' any other colour.
  std::string Picture() const {
    std::string out;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb c = image.pixel(x, y) & 0xFFFFFF;
        out += c == 0xFFFFFF ? '.' : c == 0 ? '#' : 'o';
      }
      out += '\n';
    }
    return out;
  }
};

// Rows of a picture joined with '\n' (each row given as its own string).
inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* r : rows) {
    out += r;
    out += '\n';
  }
  return out;
}
