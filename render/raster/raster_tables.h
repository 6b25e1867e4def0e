// Constant tables shared by the bitmap readers and the scan converter.
#pragma once

#include <array>
#include <cstdint>

// 5-bit channel to 8 bits. Entries 12 and 28 repeat their predecessors (95 and
// 223): pixels stored by earlier releases were expanded through this very table,
// so it is kept as is rather than computed.
inline constexpr std::array<uint8_t, 32> kExpand5To8 = {
    0,   15,  23,  31,  39,  47,  55,  63,  71,  79,  87,  95,  95,  111, 119, 127,
    135, 143, 151, 159, 167, 175, 183, 191, 199, 207, 215, 223, 223, 239, 247, 255};

// Bilinear weights in eighths for the pixels (x, y), (x + 1, y), (x, y + 1),
// (x + 1, y + 1), indexed by fx * 8 + fy, where fx and fy are the top three
// fraction bits of the sample position. Each raw weight in 64ths is rounded as
// (w + 4) / 8 and what the four lack of 8 goes to the first largest one, so
// every entry sums to exactly 8.
struct BilinearWeights {
  std::array<uint8_t, 4> w;
};

constexpr std::array<BilinearWeights, 64> MakeBilinearWeights() {
  std::array<BilinearWeights, 64> table{};
  for (int fx = 0; fx < 8; ++fx) {
    for (int fy = 0; fy < 8; ++fy) {
      const int raw[4] = {(8 - fx) * (8 - fy), fx * (8 - fy), (8 - fx) * fy, fx * fy};
      int w[4];
      int sum = 0;
      int largest = 0;
      for (int i = 0; i < 4; ++i) {
        w[i] = (raw[i] + 4) / 8;
        sum += w[i];
        if (w[i] > w[largest]) largest = i;
      }
      w[largest] += 8 - sum;
      for (int i = 0; i < 4; ++i) table[fx * 8 + fy].w[i] = static_cast<uint8_t>(w[i]);
    }
  }
  return table;
}

inline constexpr std::array<BilinearWeights, 64> kBilinearWeights = MakeBilinearWeights();
