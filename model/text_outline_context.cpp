#include "model/text_outline_context.h"

#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_style.h"
#include "model/glyph_outline.h"
#include "model/text_style.h"
#include "platform/core/code_page.h"
#include "platform/core/font.h"

namespace {

// A graph freed on every path out.
struct TempGraph {
  EdgeGraph graph;
  bool live = false;
  ~TempGraph() {
    if (live) EdgeGraphFreeAll(graph);
  }
};

}  // namespace

int32_t CTextOutlineContext::DrawText(int32_t byteCount, const Point32& origin,
                                      const uint8_t* bytes, const int32_t* advances,
                                      const CTextStyle& style) {
  const int32_t height = (style.flags & CTextStyle::kFlagSmall) ? 1 : 2048;
  std::shared_ptr<CFontFace> font = style.CreateFont(height, 0);
  CGlyphSink sink;
  sink.m_font = font.get();
  FillStyle fill;
  fill.colour = style.color;
  const int codePage = CodePageForCharSet(style.charSet);
  Matrix2x3 scale;
  Fixed factor = FixedDiv(style.size, 2048);
  MatrixSetScale(scale, factor, factor);
  int32_t result = 1;
  Point32 pen = origin;
  for (int32_t i = 0; i < byteCount; ++i) {
    uint16_t code = bytes[i];
    int32_t advance = advances[i];
    if (IsLeadByteInCodePage(codePage, bytes[i]) && i + 1 < byteCount) {
      code = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
      advance += advances[i + 1];
      ++i;
    }
    Matrix2x3 at, glyph;
    MatrixSetTranslation(at, pen.x, pen.y);
    MatrixConcat(at, m_matrix, at);
    MatrixConcat(scale, at, glyph);
    TempGraph temp;
    if (EdgeGraphInit(temp.graph) < 0) {
      result = 0;
      break;
    }
    temp.live = true;
    sink.m_matrix = glyph;
    sink.m_graph = &temp.graph;
    if (sink.OutlineChar(code) == 0) result = 0;
    int index = EdgeGraphAddFillStyle(temp.graph, fill);
    if (index > 0 &&
        EdgeGraphPaintRegions(temp.graph, static_cast<StyleIndex>(index), false) >= 0) {
      if (EdgeGraphMerge(temp.graph, *m_target, kMergeLinesWin | kMergeFillsWin) < 0) result = 0;
    } else {
      result = 0;
    }
    pen.x = WrapAdd(pen.x, advance);
  }
  if (result == 0) m_failed = 1;
  return result;
}
