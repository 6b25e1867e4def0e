// The stored form of a shape's geometry (its EdgeGraph) and of the style
// entries it is made of. Fill entries are shared with the colour
// definitions (color_def.h).
//
// Geometry record, version 3:
//   u8 version          1: no edges follow the tables; 2: edges, old fill
//                       entries; 3: current
//   u32 edge count      above 1200 the reader deepens the spatial grid by one
//   u16 n, n fill entries
//   u16 n, n line entries
//   edge records        version 2 and above, ended by a u8 0
//
// Edge record: u8 code (bits 0-1 start delta size, bits 2-3 control delta
// size with 0 for a straight edge, bits 4-5 end delta size, bit 6 a style
// triple follows, bit 7 the triple is in bytes); the triple line, side-A
// fill, side-B fill (renumbered, selection bit kept), in force until the
// next; then the deltas: size 0 nothing, 1 two i16, 2 two i32, 3 two i16 of
// the values divided by 128. The start is the previous end plus the first
// delta (0, 0 before the first edge); control and end are relative to the start.
//
// Reading refuses damage with CArchiveException::genericException: a style
// table above 0x7FEF entries, a style index past its table, an end point off
// the 128 grid or at the reserved coordinate INT32_MIN, an edge whose ends
// meet, a record version above the one written. A failed allocation throws
// CMemoryException. No table is allocated beyond what the bytes left could fill.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

class CArchive;

constexpr uint8_t kGeometryRecordVersion = 3;
constexpr uint8_t kFillEntryVersion = 3;

// Fill entry of version 3: u32 colour, u8 kind, u8 texture flags; with kind
// bit 0x10 the matrix, u8 stop count (at most 8) and per stop u8 ratio and
// u32 colour; else with kind bit 0x20 the matrix, u32 background and four
// i16 parameters. The pattern kind is not stored. Versions 1 and 2: u32
// colour and an ignored i16 (a solid fill). A reader keeps 8 stops of a
// larger count and skips the others' bytes.
void FillEntryWrite(CArchive& ar, const FillStyle& fill);
void FillEntryRead(CArchive& ar, FillStyle& fill, uint8_t version = kFillEntryVersion);

// Line entry: u32 colour, i16 width, then the kind and P1-P6 packed into two
// u16 words (bit 15 of the second carries line flag 2).
void LineStylePackWrite(CArchive& ar, const LineStyle& line);
void LineStylePackRead(CArchive& ar, LineStyle& line);
// The packing alone, for tests.
void LineStylePack(const LineStyle& line, uint16_t& w1, uint16_t& w2);
void LineStyleUnpack(uint16_t w1, uint16_t w2, LineStyle& line);

// The smallest size code of a delta: 0 both zero, 1 both below 0x8000 in
// magnitude, 3 both multiples of 128 up to 0x3FFFFF, else 2.
int DeltaSizeCode(int32_t dx, int32_t dy);
void DeltaWrite(CArchive& ar, int code, int32_t dx, int32_t dy);
void DeltaRead(CArchive& ar, int code, int32_t& dx, int32_t& dy);

// Writes the used styles (renumbered in table order) and every edge in
// chains; the same graph always gives the same bytes, whatever the order its
// edges were linked in.
void ShapeGeometryWrite(CArchive& ar, const EdgeGraph& graph);
// Reads into graph (emptied first). Equal or empty table entries are folded
// (edges take the surviving index). The graph's change callback is not called.
void ShapeGeometryRead(CArchive& ar, EdgeGraph& graph);
