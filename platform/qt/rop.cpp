#include "platform/qt/rop.h"

uint32_t Rop3Reference(uint8_t index, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t out = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const unsigned i = (p >> bit & 1) << 2 | (s >> bit & 1) << 1 | (d >> bit & 1);
    out |= static_cast<uint32_t>(index >> i & 1) << bit;
  }
  return out;
}

void Rop3Row(uint8_t index, uint32_t* dst, const uint32_t* src, const uint32_t* pat, int count) {
  switch (index) {
    case Rop3Index(SRCCOPY):
      for (int i = 0; i < count; ++i) dst[i] = src ? src[i] : 0;
      return;
    case Rop3Index(PATCOPY):
      for (int i = 0; i < count; ++i) dst[i] = pat ? pat[i] : 0;
      return;
    case Rop3Index(SRCINVERT):
      if (src)
        for (int i = 0; i < count; ++i) dst[i] ^= src[i];
      return;
    case Rop3Index(SRCAND):
      for (int i = 0; i < count; ++i) dst[i] &= src ? src[i] : 0;
      return;
    case Rop3Index(SRCPAINT):
      if (src)
        for (int i = 0; i < count; ++i) dst[i] |= src[i];
      return;
    case Rop3Index(PATINVERT):
      if (pat)
        for (int i = 0; i < count; ++i) dst[i] ^= pat[i];
      return;
    case Rop3Index(DSTINVERT):
      for (int i = 0; i < count; ++i) dst[i] = ~dst[i];
      return;
    case Rop3Index(BLACKNESS):
      for (int i = 0; i < count; ++i) dst[i] = 0;
      return;
    case Rop3Index(WHITENESS):
      for (int i = 0; i < count; ++i) dst[i] = 0xFFFFFFFFu;
      return;
    default:
      break;
  }
  const Rop3Eval rop(index);
  for (int i = 0; i < count; ++i) dst[i] = rop(pat ? pat[i] : 0, src ? src[i] : 0, dst[i]);
}
