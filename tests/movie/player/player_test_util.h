// A movie stream, display list and 32-bit offscreen bitmap wired together as
// a player does, and readable summaries of the stage for comparisons.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/image32.h"

struct TestPlayer {
  CMovieStream stream;
  CDisplayList list;
  COffscreenBitmap bitmap;
  bool anti_alias;
  int32_t width, height;

  explicit TestPlayer(int32_t w = 110, int32_t h = 80, bool aa = false,
                      MovieReaderMode mode = MovieReaderMode::kEditor)
      : stream(mode), anti_alias(aa), width(w), height(h) {
    stream.SetDisplayList(&list);
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, w, h, false));
    list.SetBitmap(&bitmap);
  }
  void Feed(std::span<const uint8_t> bytes) { stream.PutData(bytes.data(), bytes.size()); }
  // The view of the whole stage in the bitmap (once the header is known).
  void FitView() {
    list.SetViewTransform(stream.FrameRect(), WinRect{0, 0, width, height}, anti_alias, 0);
  }
  int Goto(int32_t frame) {
    const int r = stream.GotoFrame(frame);
    FitView();
    return r;
  }
  void Render() { list.Render(); }
  // 0xRRGGBB of a pixel.
  uint32_t Pixel(int32_t x, int32_t y) { return RgbAt(bitmap, x, y); }
  uint64_t PixelHash() {
    uint64_t h = 1469598103934665603ull;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) h = (h ^ Pixel(x, y)) * 1099511628211ull;
    return h;
  }
};

// Items (key, type, matrix), background and the current frame, one line each.
inline std::string StageSignature(const CMovieStream& stream, const CDisplayList& list) {
  std::string s;
  char line[160];
  std::snprintf(line, sizeof line, "frame %d bg %08x/%d\n", stream.CurrentFrame(),
                list.BackgroundColor(), list.BackgroundPriority());
  s += line;
  for (const DisplayItem* i = list.Items(); i; i = i->next) {
    const Matrix2x3& m = i->matrix;
    std::snprintf(line, sizeof line, "%08x t%u s%u m%d,%d,%d,%d,%d,%d\n", i->key,
                  i->character->type, i->button_state, m.a, m.b, m.c, m.d, m.tx, m.ty);
    s += line;
  }
  return s;
}
