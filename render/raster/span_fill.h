// Fill records of the scan converter: one fill style prepared for drawing.
//
// A record carries what the row loop needs (priority, clip id, inside state,
// the span callback) and what the pixel writers need (colour, pattern rows).
// Solid fills are complete here; bitmap and gradient fills add their samplers
// and tables to this record.
#pragma once

#include <array>
#include <cstdint>

class CScanConverter;
struct CSpanFill;

// Writes columns [x0, x1) of the converter's current row with the fill
// (columns before the converter's x offset is added).
using SpanProc = void (*)(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);

enum SpanFillKind : int32_t {
  kFillSolid = 0,
  kFillBitmap = 1,
  kFillGradient = 2,
};

struct CSpanFill {
  CScanConverter* owner = nullptr;
  CSpanFill* hashNext = nullptr;  // next record in the same hash bucket
  int32_t reserved = 0;
  CSpanFill* listNext = nullptr;  // next record of the converter's list of all fills

  uint32_t id = 0;        // the converter's object id when the record was made
  int32_t priority = 0;   // compared as unsigned: the greatest inside fill is drawn
  int32_t clipId = 0;     // 0 = none
  int32_t inside = 0;     // inside flag, or winding count for winding edges
  CSpanFill* insideNext = nullptr;  // link of the converter's inside list
  int32_t onInsideList = 0;

  int32_t kind = kFillSolid;
  int32_t prepared = 0;
  SpanProc spanProc = nullptr;

  uint32_t colour = 0;  // the fill style's colour word, kept for matching
  int32_t red = 0;
  int32_t green = 0;
  int32_t blue = 0;
  uint32_t patternKind = 0;  // 0 plain, 1 checker with white, 2 and 3 highlights

  // Solid fills: one 4-pixel row per row phase, in the target's pixel format.
  std::array<std::array<uint8_t, 16>, 4> patternRows{};

  // Binds the record to a converter and clears links, kind, clip id and state.
  void Init(CScanConverter* converter);
  // Chooses the span callback and builds the record's tables, once.
  void Prepare();
  // Releases the record's tables.
  void Free();
};
