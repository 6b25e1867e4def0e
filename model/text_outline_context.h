// A render context that draws nothing: the text runs sent to DrawText
// become filled glyph outlines merged into a target edge graph (text broken
// apart into a shape).
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"
#include "render/context/render_context.h"

class CTextOutlineContext : public CRenderContext {
 public:
  explicit CTextOutlineContext(EdgeGraph* target) : m_target(target) {}

  // Nothing: only text is outlined.
  void FillPolygon(const PointList& /*path*/, const LineStyle* /*line*/,
                   const FillStyle* /*fill*/) override {}
  // 1 when every glyph was outlined; else 0, and the failure flag is set.
  int32_t DrawText(int32_t byteCount, const Point32& origin, const uint8_t* bytes,
                   const int32_t* advances, const CTextStyle& style) override;

  EdgeGraph* m_target;    // not owned
  uint32_t m_failed = 0;  // 1 once some glyph could not be outlined
};
