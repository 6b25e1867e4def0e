// The pen's buttons that the tablet driver maps to a left click: a packet
// with one of them down draws.
#pragma once

#include <array>
#include <cstdint>

#include "platform/qt/tablet.h"

class PenButtons {
 public:
  bool IsDown(const PACKET& p) {
    const uint32_t cursor = p.pkCursor & 7;
    if (!read_[cursor]) {
      read_[cursor] = true;
      WTInfoA(WTI_CURSORS + cursor, CSR_SYSBTNMAP, maps_[cursor].data());
    }
    for (int b = 0; b < 32; ++b) {
      const uint8_t action = maps_[cursor][static_cast<size_t>(b)];
      if ((p.pkButtons & (1u << b)) != 0 && action >= kLeftClickFirst && action <= kLeftClickLast)
        return true;
    }
    return false;
  }

 private:
  // The system button actions of a left click, double click and drag.
  static constexpr uint8_t kLeftClickFirst = 1;
  static constexpr uint8_t kLeftClickLast = 3;
  // One 32-byte map per cursor number, read when first needed.
  std::array<std::array<uint8_t, 32>, 8> maps_{};
  std::array<bool, 8> read_{};
};
