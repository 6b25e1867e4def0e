// A player site for tests and benchmarks: a window of a fixed size whose
// "screen" is a pixel array painted the way a window's paint would, a fake
// clock, and a record of what the player asked of its host (timers, URLs,
// status texts, paints and invalidations).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "movie/player/player_core.h"

class RecordingPlayerSite : public IPlayerSite, public IPlayerPaintTarget {
 public:
  RecordingPlayerSite(int32_t width, int32_t height)
      : client{0, 0, width, height},
        screen(static_cast<size_t>(width) * static_cast<size_t>(height), 0),
        width_(width),
        height_(height) {}

  CPlayerCore* core = nullptr;  // the player painting; none: paints are only counted
  bool window = true;
  WinRect client;
  uint32_t clock = 1000;
  uint32_t paint_cost = 0;       // ms each paint takes on the fake clock
  std::vector<uint32_t> screen;  // 0xRRGGBB, row by row
  std::map<int, uint32_t> timers;
  std::vector<std::pair<std::string, std::string>> urls;
  std::vector<std::string> statuses;
  int paints = 0, invalidations = 0;
  // Mouse samples handed out by PollMouse; each advances the clock.
  struct Sample {
    Point32 p;
    bool down;
    uint32_t ms;
  };
  std::deque<Sample> mouse;

  bool HasWindow() override { return window; }
  WinRect ClientRect() override { return client; }
  void Invalidate(const WinRect&) override { ++invalidations; }
  void PaintNow(const WinRect& area) override {
    ++paints;
    if (core != nullptr) core->Paint(*this, area);
    clock += paint_cost;
  }
  bool XorFrameNow(const WinRect& r) override {
    XorFrame(r);
    return true;
  }
  void StartTimer(int id, uint32_t ms) override { timers[id] = ms; }
  void StopTimer(int id) override { timers.erase(id); }
  uint32_t TimeMs() override { return clock; }
  std::function<void()> on_poll;
  bool PollMouse(Point32& p) override {
    if (on_poll) on_poll();
    if (mouse.empty()) return false;
    const Sample s = mouse.front();
    mouse.pop_front();
    clock += s.ms;
    p = s.p;
    return s.down;
  }
  void GetUrl(const std::string& url, const std::string& target) override {
    urls.emplace_back(url, target);
  }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }

  void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) override {
    // A 32-bit pixel is blue, green, red, unused in memory: read as a
    // little-endian word, its low three bytes are 0xRRGGBB.
    static_assert(std::endian::native == std::endian::little);
    for (int32_t y = area.top; y < area.bottom; ++y) {
      const uint8_t* row = const_cast<COffscreenBitmap&>(bitmap).Row(y) + area.left * 4;
      uint32_t* out = screen.data() + static_cast<size_t>(y) * width_ + area.left;
      for (int32_t i = 0, n = area.right - area.left; i < n; ++i) {
        uint32_t px;
        std::memcpy(&px, row + i * 4, 4);
        out[i] = px & 0xFFFFFF;
      }
    }
  }
  void FillColor(const WinRect& area, uint32_t c) override {
    const uint32_t rgb = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
    for (int32_t y = std::max(area.top, 0); y < std::min(area.bottom, height_); ++y)
      for (int32_t x = std::max(area.left, 0); x < std::min(area.right, width_); ++x)
        screen[y * width_ + x] = rgb;
  }
  void XorFrame(const WinRect& r) override {
    auto flip = [&](int32_t x, int32_t y) {
      if (x >= 0 && y >= 0 && x < width_ && y < height_) screen[y * width_ + x] ^= 0xFFFFFF;
    };
    for (int32_t x = r.left; x < r.right; ++x) {
      flip(x, r.top);
      if (r.bottom - 1 != r.top) flip(x, r.bottom - 1);
    }
    for (int32_t y = r.top + 1; y < r.bottom - 1; ++y) {
      flip(r.left, y);
      if (r.right - 1 != r.left) flip(r.right - 1, y);
    }
  }
  uint32_t At(int32_t x, int32_t y) const { return screen[y * width_ + x]; }
  // Paints the whole window as a paint message would.
  void PaintAll() { core->Paint(*this, client); }

 private:
  int32_t width_, height_;
};
