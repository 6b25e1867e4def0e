// CMotionPath: the path a motion tween follows, in graph units (twips x 256):
// along the edges of a guide drawing from the edge nearest the start point
// to the edge nearest the end point, or the straight line between the two.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/curve.h"
#include "geometry/fixed.h"

struct EdgeGraph;

class CMotionPath {
 public:
  // The straight line from start to end.
  void SetLine(const Point32& start, const Point32& end);
  // Follows the guide; the straight line when the guide offers no path.
  // 1 when the path follows the guide, 0 for the straight line. Throws
  // CMemoryException when the guide's regions cannot be built.
  int Build(EdgeGraph* guide, const Point32& start, const Point32& end);

  int32_t GetLength() const { return m_length; }
  const std::vector<QuadCurve>& GetCurves() const { return m_curves; }
  // The direction of travel at the start and at the end (the last curve's
  // tangent at its end), in degrees; 0 for a path of no curves.
  Fixed StartDirection() const;
  Fixed EndDirection() const;
  // The point at a distance along the path (clamped to its ends) and the
  // direction of travel there.
  void PointAt(int32_t distance, Point32& point, Fixed& direction) const;

 private:
  void Append(const QuadCurve& c);

  Point32 m_start;
  std::vector<QuadCurve> m_curves;
  std::vector<int64_t> m_ends;  // distance at the end of each curve
  int32_t m_length = 0;
};
