// Logical palettes. The screens this program runs on are true colour:
// selecting and realising a palette changes no pixel (see screen_hook.h for
// the fake palette screen of the tests).
#pragma once

#include "platform/qt/gdi_objects.h"
#include "render/raster/color_table.h"

class CPalette : public CGdiObject {
 public:
  Kind ObjectKind() const override { return Kind::kPalette; }
  // 1 to 256 entries (false otherwise).
  bool CreatePalette(const LogPalette& palette);
  bool DeleteObject() override;
  int GetEntryCount() const { return static_cast<int>(m_palette.entries.size()); }
  // Copies up to count entries from start; returns how many.
  UINT GetPaletteEntries(UINT start, UINT count, PaletteEntry* out) const;

 private:
  LogPalette m_palette;
};
