#include "render/raster/span_fill.h"

#include "render/raster/scan_converter.h"

void CSpanFill::Init(CScanConverter* converter) {
  owner = converter;
  hashNext = nullptr;
  reserved = 0;
  listNext = nullptr;
  clipId = 0;
  inside = 0;
  insideNext = nullptr;
  onInsideList = 0;
  kind = kFillSolid;
  prepared = 0;
}

void CSpanFill::Prepare() {
  if (prepared) return;
  prepared = 1;
  if (kind == kFillSolid) spanProc = &CScanConverter::SolidColorSpan;
}

void CSpanFill::Free() {}
