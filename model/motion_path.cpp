#include "model/motion_path.h"

#include <algorithm>
#include <limits>

void CMotionPath::Append(const QuadCurve& c) {
  int64_t before = m_ends.empty() ? 0 : m_ends.back();
  m_curves.push_back(c);
  m_ends.push_back(before + CurveLength(c));
  m_length = static_cast<int32_t>(std::min<int64_t>(m_ends.back(), std::numeric_limits<int32_t>::max()));
}

void CMotionPath::SetLine(const Point32& start, const Point32& end) {
  m_curves.clear();
  m_ends.clear();
  m_length = 0;
  m_start = start;
  if (start == end) return;
  QuadCurve line;
  CurveFromLine(start, end, line);
  Append(line);
}

int CMotionPath::Build(EdgeGraph* /*guide*/, const Point32& start, const Point32& end) {
  SetLine(start, end);
  return 0;
}

Fixed CMotionPath::StartDirection() const {
  return m_curves.empty() ? 0 : CurveTangentAngle(m_curves.front(), 0);
}

Fixed CMotionPath::EndDirection() const {
  return m_curves.empty() ? 0 : CurveTangentAngle(m_curves.back(), kFixedOne);
}

void CMotionPath::PointAt(int32_t distance, Point32& point, Fixed& direction) const {
  if (m_curves.empty()) {
    point = m_start;
    direction = 0;
    return;
  }
  // The first curve that ends at or after the distance.
  auto it = std::lower_bound(m_ends.begin(), m_ends.end(), int64_t{distance});
  size_t i = it == m_ends.end() ? m_ends.size() - 1 : static_cast<size_t>(it - m_ends.begin());
  int64_t before = i == 0 ? 0 : m_ends[i - 1];
  int64_t local = std::clamp<int64_t>(int64_t{distance} - before, 0, m_ends[i] - before);
  const QuadCurve& c = m_curves[i];
  Fixed t = CurveParamAtLength(c, static_cast<int32_t>(local));
  CurvePointAt(c, t, point);
  direction = CurveTangentAngle(c, t);
}
