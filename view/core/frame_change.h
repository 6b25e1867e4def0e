// What a view needs to change its current frame without redrawing the whole
// page: the onion range (the neighbouring frames shown or edited with the
// current one) and the document area that differs between two frames.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

class CPicPage;

// Onion flags.
constexpr uint32_t kOnionEditSeveral = 0x1;  // edit several frames
constexpr uint32_t kOnionShow = 0x2;         // show neighbouring frames dimmed
constexpr uint32_t kOnionOutlines = 0x4;     // show them as outlines

// A view's onion settings.
struct OnionSettings {
  uint32_t flags = 0;
  // 1: the range is current + before .. current + after; 0: before and
  // after are frame numbers.
  int32_t relative = 1;
  int32_t before = -2;
  int32_t after = 2;
  bool On() const { return (flags & (kOnionEditSeveral | kOnionShow)) != 0; }
};

// The first frame of the onion range around current: current itself when
// onion bits 0 and 1 are clear; never below 0.
int32_t GetOnionFirstFrame(const OnionSettings& onion, int32_t current);
// The last frame: current itself when onion bits 0 and 1 are clear or there
// is no root; never past the root's last frame.
int32_t GetOnionLastFrame(const OnionSettings& onion, int32_t current, const CPicPage* root);

// The document area (visual bounds) that may differ between the pictures of
// frames a and b of the page. With the onion skin on, every key frame in the
// union of both onion ranges; otherwise the key frames at a and at b that
// change between the two frames, over the frames between them. Empty when
// nothing differs.
Rect32 GatherFrameChangeExtent(CPicPage* root, int32_t a, int32_t b, const OnionSettings& onion);
