#include "render/raster/blit_probe.h"

#include <vector>

namespace {

constexpr int32_t kTestSize = 200;
constexpr size_t kTestBytes = 160000;
constexpr int64_t kStartTime = 0x7FF0;

struct Trial {
  uint32_t format;
  uint32_t bottom_up;
};

class CProbe {
 public:
  CProbe(int depth, CBlitProbeTarget& target) : m_target(target) {
    m_best.format = DefaultFormatForDepth(depth);
    m_best.bottom_up = 1;
    // Descending 16-bit values from 79999, kept to 16 bits.
    m_pixels.resize(kTestBytes);
    for (size_t i = 0; i < kTestBytes / 2; ++i) {
      const auto v = static_cast<uint16_t>(79999 - i);
      m_pixels[2 * i] = static_cast<uint8_t>(v);
      m_pixels[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
  }

  void Run(Trial t) {
    const int bits = OffscreenBitsPerPixel(t.format);
    std::vector<uint32_t> colors;
    if (t.format <= kOffscreen8Bit) {
      // Black at even indexes, white at odd ones.
      colors.resize(size_t{1} << bits);
      for (size_t i = 1; i < colors.size(); i += 2) colors[i] = 0xFFFFFF;
    }
    const std::vector<uint8_t> info =
        BuildBitmapInfo(kTestSize, t.bottom_up ? kTestSize : -kTestSize,
                        static_cast<uint16_t>(bits), t.format == kOffscreen565, colors, 0);
    m_target.Flush();
    const int64_t start = m_target.Now();
    const bool ok = m_target.BlitTest(info, m_pixels);
    m_target.Flush();
    const uint64_t diff = static_cast<uint64_t>(m_target.Now()) - static_cast<uint64_t>(start);
    const uint64_t elapsed = static_cast<int64_t>(diff) < 0 ? 0 - diff : diff;
    if (ok && elapsed < static_cast<uint64_t>(m_bestTime)) {
      m_bestTime = static_cast<int64_t>(elapsed);
      m_best = {t.format, t.bottom_up};
    }
  }

  int64_t BestTime() const { return m_bestTime; }
  BlitFormat Best() const { return m_best; }

 private:
  CBlitProbeTarget& m_target;
  std::vector<uint8_t> m_pixels;
  BlitFormat m_best;
  int64_t m_bestTime = kStartTime;
};

}  // namespace

uint32_t DefaultFormatForDepth(int depth) {
  switch (depth) {
    case 1:
      return kOffscreen1Bit;
    case 2:
      return kOffscreen2Bit;
    case 4:
      return kOffscreen4Bit;
    case 16:
      return kOffscreen555;
    case 24:
      return kOffscreen24;
    case 32:
      return kOffscreen32;
    default:
      return kOffscreen8Bit;
  }
}

BlitFormat RunBlitProbe(int depth, CBlitProbeTarget& target) {
  CProbe probe(depth, target);
  if (depth == 16) {
    for (Trial t : {Trial{4, 1}, Trial{4, 1}, Trial{4, 0}, Trial{5, 1}, Trial{5, 0}}) probe.Run(t);
    if (probe.BestTime() > 0x7000) probe.Run({6, 1});
    probe.Run({5, 0});
  } else if (depth == 24) {
    for (Trial t : {Trial{6, 1}, Trial{6, 1}, Trial{6, 0}, Trial{7, 1}, Trial{7, 0}}) probe.Run(t);
  } else {
    const uint32_t f = DefaultFormatForDepth(depth);
    for (Trial t : {Trial{f, 1}, Trial{f, 1}, Trial{f, 0}}) probe.Run(t);
  }
  return probe.Best();
}
