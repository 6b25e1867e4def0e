// Helpers shared by the point-list, path and curve-fitting tests.
#pragma once

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/curve.h"
#include "geometry/point_list.h"
#include "geometry/pool.h"
#include "tests/common/refuse_memory.h"

inline void Fill(PointList& list, std::initializer_list<PointListEntry> entries) {
  for (const PointListEntry& e : entries)
    EXPECT_EQ(PointListAppend(list, {e.x, e.y}, e.off_curve), 0);
}

inline std::vector<PointListEntry> Entries(const PointList& list) {
  return {list.buffer, list.buffer + list.length};
}

inline std::vector<QuadCurve> Curves(const PointList& list) {
  std::vector<QuadCurve> out;
  PointListIter iter;
  PointListIterInit(list, iter);
  QuadCurve c;
  while (PointListIterNext(iter, c)) out.push_back(c);
  return out;
}

// The entries, one per line, for failure messages: "x,y" on-curve, "(x,y)" control.
inline std::string Describe(const PointList& list) {
  std::ostringstream s;
  for (int32_t i = 0; i < list.length; ++i) {
    const PointListEntry& e = list.buffer[i];
    s << (e.off_curve ? "(" : "") << e.x << ',' << e.y << (e.off_curve ? ")" : "") << ' ';
  }
  return s.str();
}

inline void FillSamples(CPointList& list, const std::vector<Point32>& points) {
  for (const Point32& p : points) EXPECT_EQ(list.Add(p), 0);
}
