#include "platform/qt/palette.h"

#include <algorithm>
#include <utility>

#include "platform/qt/dc.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/system_palette.h"

bool CPalette::CreatePalette(const LogPalette& palette) {
  if (palette.entries.empty() || palette.entries.size() > 256) return false;
  m_palette = palette;
  m_valid = true;
  return true;
}

bool CPalette::DeleteObject() {
  if (!m_valid) return false;
  m_palette = {};
  m_valid = false;
  return true;
}

UINT CPalette::GetPaletteEntries(UINT start, UINT count, PaletteEntry* out) const {
  const auto size = static_cast<UINT>(m_palette.entries.size());
  if (start >= size || out == nullptr) return 0;
  const UINT n = std::min(count, size - start);
  std::copy_n(m_palette.entries.begin() + start, n, out);
  return n;
}

CPalette* CDC::SelectPalette(CPalette* palette, bool) {
  return std::exchange(m_palette, palette);
}

UINT CDC::RealizePalette() {
  // A true-colour screen's colours never change: no entry is remapped.
  if (!IsPaletteScreen() || m_palette == nullptr || !m_palette->IsValid()) return 0;
  LogPalette entries;
  entries.entries.resize(static_cast<size_t>(m_palette->GetEntryCount()));
  m_palette->GetPaletteEntries(0, static_cast<UINT>(entries.entries.size()),
                               entries.entries.data());
  return RealizeOnPaletteScreen(entries);
}
