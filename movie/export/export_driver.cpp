#include "movie/export/export_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/geometry_result.h"
#include "model/glyph_outline.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"
#include "movie/export/styled_line_collector.h"
#include "movie/movie_format.h"
#include "movie/movie_writer.h"
#include "platform/core/file.h"

namespace {

constexpr int32_t kMaxU16 = 0xFFFF;

// An edge graph that frees itself.
struct ScratchGraph {
  EdgeGraph graph;
  ScratchGraph() { CheckGeometry(EdgeGraphInit(graph)); }
  ~ScratchGraph() { EdgeGraphFreeAll(graph); }
  ScratchGraph(const ScratchGraph&) = delete;
  ScratchGraph& operator=(const ScratchGraph&) = delete;
};

[[noreturn]] void ThrowLimit(const char* what, int32_t limit = kMaxU16) {
  throw CMovieLimitException(std::string("The movie cannot be exported: it needs more ") + what +
                             " than the movie format holds (" + std::to_string(limit) + ").");
}

uint16_t CheckedU16(int64_t value, const char* what) {
  if (value < 0 || value > kMaxU16) ThrowLimit(what);
  return static_cast<uint16_t>(value);
}

std::string FontKey(const CTextStyle& style) {
  std::string key(style.faceName, strnlen(style.faceName, sizeof style.faceName));
  key.push_back('\0');
  key.push_back(static_cast<char>(style.bold));
  key.push_back(static_cast<char>(style.italic));
  return key;
}

// The hash of an element for linking: its character entry and matrix.
struct LinkKey {
  const CExportCharacter* entry;
  Matrix2x3 matrix;
  bool operator==(const LinkKey& o) const {
    return entry == o.entry && matrix.a == o.matrix.a && matrix.b == o.matrix.b &&
           matrix.c == o.matrix.c && matrix.d == o.matrix.d && matrix.tx == o.matrix.tx &&
           matrix.ty == o.matrix.ty;
  }
};

struct LinkKeyHash {
  size_t operator()(const LinkKey& k) const {
    uint64_t h = reinterpret_cast<uintptr_t>(k.entry);
    for (int32_t v : {k.matrix.a, k.matrix.b, k.matrix.c, k.matrix.d, k.matrix.tx, k.matrix.ty}) {
      h = (h ^ static_cast<uint32_t>(v)) * 0x100000001B3ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

CMovieExportDriver::CMovieExportDriver(CMarlDoc* document, CMovieWriter& writer, bool topDown,
                                       CFile* report)
    : m_document(document), m_writer(writer), m_topDown(topDown), m_report(report) {}

CMovieExportDriver::~CMovieExportDriver() = default;

// ---- collecting ----------------------------------------------------------------------

void CMovieExportDriver::CollectFrame(CDocumentPage* page, int32_t frame) {
  if (m_frames.size() >= static_cast<size_t>(kMaxU16)) ThrowLimit("frames");
  m_frames.push_back(CExportFrame{page, frame, nullptr, nullptr});
  m_collecting = &m_frames.back();
  MatrixSetIdentity(m_matrix);
  m_frame = frame;
  if (CPicPage* root = page->GetRoot()) root->EnumShapes(*this);
  m_collecting = nullptr;
}

CExportNode* CMovieExportDriver::NewNode(CPicObj* obj) {
  if (m_collecting == nullptr || obj == nullptr) return nullptr;
  CExportCharacter* entry = FindOrCreateEntry(obj);
  CExportNode* node = nullptr;
  try {
    node = &m_nodes.emplace_back();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  node->entry = entry;
  node->matrix = m_matrix;
  node->first = node;
  if (m_collecting->last != nullptr)
    m_collecting->last->next = node;
  else
    m_collecting->first = node;
  m_collecting->last = node;
  return node;
}

CExportCharacter* CMovieExportDriver::FindOrCreateEntry(CPicObj* obj) {
  auto found = m_entryOf.find(obj);
  if (found != m_entryOf.end()) return found->second;
  CExportCharacter& entry = m_entries.emplace_back();
  entry.object = obj;
  entry.page = obj->GetDocumentPage();
  m_entryOf.emplace(obj, &entry);
  if (auto* text = DynamicDowncast<CPicText>(obj)) {
    entry.kind = CExportCharacter::kText;
    RegisterTextCodes(text);
  } else if (auto* button = DynamicDowncast<CPicButton>(obj)) {
    entry.kind = CExportCharacter::kButton;
    CollectButton(entry, button);
  } else if (DynamicDowncast<CPicShape>(obj) != nullptr) {
    entry.kind = CExportCharacter::kShape;
  } else if (DynamicDowncast<CPicBitmap>(obj) != nullptr) {
    entry.kind = CExportCharacter::kBitmap;
  } else {
    entry.kind = CExportCharacter::kOther;
  }
  return &entry;
}

CExportFont* CMovieExportDriver::FontFor(const CTextStyle& style) {
  std::string key = FontKey(style);
  auto found = m_fontOf.find(key);
  if (found != m_fontOf.end()) return found->second;
  CExportFont& font = m_fonts.emplace_back();
  font.key = style;
  font.key.size = static_cast<uint16_t>(kGlyphOutlineHeight);
  font.name.assign(style.faceName, strnlen(style.faceName, sizeof style.faceName));
  m_fontOf.emplace(std::move(key), &font);
  return &font;
}

void CMovieExportDriver::RegisterTextCodes(CPicText* text) {
  const auto& styles = text->Styles();
  for (const TextChar& c : text->Chars()) {
    if (c.code == CPicText::kCR) continue;
    const size_t s = static_cast<size_t>(c.styleIndex);
    if (s >= styles.size()) continue;
    CExportFont* font = FontFor(styles[s]);
    // A font holds at most 256 glyphs; later codes draw glyph 0. Codes met
    // after its glyphs were written draw glyph 0 as well.
    if (font->written || font->index.count(c.code) != 0) continue;
    if (font->codes.size() >= static_cast<size_t>(kGlyphSetMaxGlyphs)) continue;
    font->index.emplace(c.code, static_cast<int32_t>(font->codes.size()));
    font->codes.push_back(c.code);
  }
}

void CMovieExportDriver::GlyphOf(CExportFont& font, uint16_t code, int32_t& setId,
                                 int32_t& glyph) const {
  auto found = font.index.find(code);
  const int32_t position = found != font.index.end() ? found->second : 0;
  setId = font.noGlyphs || font.sets.empty() ? -1 : font.sets.front().id;
  glyph = position;
  for (const CExportFont::Set& set : font.sets) {
    if (position >= set.first_glyph && position < set.first_glyph + set.count) {
      setId = set.id;
      glyph = position - set.first_glyph;
      return;
    }
  }
}

int32_t CMovieExportDriver::TakeId() {
  if (m_nextId > kMaxU16) ThrowLimit("characters");
  return m_nextId++;
}

// ---- linking and depths ----------------------------------------------------------------

void CMovieExportDriver::LinkFrames(std::vector<CExportFrame>& frames) {
  // The elements of the later frame by character and matrix, in stacking
  // order; a match is searched after the position of the last match, as a
  // walk of the list would find it.
  struct Candidates {
    std::vector<std::pair<int32_t, CExportNode*>> nodes;  // position, element
    size_t cursor = 0;
  };
  std::unordered_map<LinkKey, Candidates, LinkKeyHash> later;
  for (size_t i = 0; i + 1 < frames.size(); ++i) {
    later.clear();
    int32_t position = 0;
    for (CExportNode* e = frames[i + 1].first; e != nullptr; e = e->next, ++position) {
      later[LinkKey{e->entry, e->matrix}].nodes.emplace_back(position, e);
    }
    int32_t lastMatch = -1;
    for (CExportNode* e = frames[i].first; e != nullptr; e = e->next) {
      auto found = later.find(LinkKey{e->entry, e->matrix});
      if (found == later.end()) continue;
      Candidates& c = found->second;
      while (c.cursor < c.nodes.size() && c.nodes[c.cursor].first <= lastMatch) ++c.cursor;
      if (c.cursor == c.nodes.size()) continue;
      CExportNode* match = c.nodes[c.cursor].second;
      lastMatch = c.nodes[c.cursor].first;
      ++c.cursor;
      e->link = match;
      match->first = e->first;
    }
  }
}

void CMovieExportDriver::AssignDepths(std::vector<CExportFrame>& frames) {
  // Visiting an element at depth a raises it and every occurrence of it to a
  // and visits the element above each occurrence at a + its depth span. The
  // visits run from an explicit stack: long frames would nest deeply.
  struct Visit {
    CExportNode* element;
    int32_t depth;
  };
  std::vector<Visit> stack;
  for (CExportFrame& frame : frames) {
    stack.push_back({frame.first, 1});
    while (!stack.empty()) {
      Visit v = stack.back();
      stack.pop_back();
      if (v.element == nullptr || v.element->depth >= v.depth) continue;
      if (v.depth > kMaxU16) ThrowLimit("depths");
      const int32_t span = v.element->entry != nullptr ? v.element->entry->depthSpan : 1;
      for (CExportNode* occ = v.element->first; occ != nullptr; occ = occ->link) {
        occ->depth = v.depth;
        stack.push_back({occ->next, v.depth + span});
      }
    }
  }
}

// ---- actions ---------------------------------------------------------------------------

int32_t CMovieExportDriver::FirstFrameOf(const CDocumentPage* page) const {
  int64_t first = 0;
  for (CDocumentPage* p = m_document != nullptr ? m_document->m_pages : nullptr; p != nullptr;
       p = p->m_next) {
    if (p == page) break;
    CPicPage* root = p->GetRoot();
    first += root != nullptr ? root->m_frameCount : 1;
  }
  return static_cast<int32_t>(std::min<int64_t>(first, INT32_MAX));
}

std::vector<uint8_t> CMovieExportDriver::ActionBytes(const CFrameAction& action,
                                                     CDocumentPage* page) const {
  std::vector<uint8_t> out;
  auto jump = [&](int64_t frame) {
    out.push_back(ACT_JUMP_TO_FRAME);
    AppendU16(out, 2);
    AppendU16(out, CheckedU16(frame, "frames for a jump target"));
  };
  auto target = [&]() -> int64_t {
    CDocumentPage* to = page;
    if (m_document != nullptr) {
      for (CDocumentPage* p = m_document->m_pages; p != nullptr; p = p->m_next) {
        if (p->m_name == action.page) {
          to = p;
          break;
        }
      }
    }
    // Frame numbers count from 1; a damaged record's 0 or less means the first.
    return int64_t{FirstFrameOf(to)} + std::max(action.frame, 1) - 1;
  };
  auto url = [&] {
    const size_t length = action.url.size() + action.target.size() + 2;
    out.push_back(ACT_OPEN_URL);
    AppendU16(out, CheckedU16(static_cast<int64_t>(length), "bytes in a URL"));
    out.insert(out.end(), action.url.begin(), action.url.end());
    out.push_back(0);
    out.insert(out.end(), action.target.begin(), action.target.end());
    out.push_back(0);
  };
  switch (action.type) {
    case CFrameAction::kPlay:
      out.push_back(ACT_RESUME);
      break;
    case CFrameAction::kStop:
      out.push_back(ACT_HALT);
      break;
    case CFrameAction::kNextFrame:
      out.push_back(ACT_STEP_FORWARD);
      break;
    case CFrameAction::kPreviousFrame:
      out.push_back(ACT_STEP_BACK);
      break;
    case CFrameAction::kNextPage:
      jump(FirstFrameOf(page != nullptr && page->m_next != nullptr ? page->m_next : page));
      break;
    case CFrameAction::kPreviousPage:
      jump(FirstFrameOf(page != nullptr && page->m_prev != nullptr ? page->m_prev : page));
      break;
    case CFrameAction::kToggleHighQuality:
      out.push_back(ACT_SWITCH_QUALITY);
      break;
    case CFrameAction::kGoto:
      jump(target());
      break;
    case CFrameAction::kGetUrl:
      url();
      break;
    case CFrameAction::kGotoAndPlay:
      jump(target());
      out.push_back(ACT_RESUME);
      break;
    case CFrameAction::kGetUrlAndGoto:
      url();
      jump(target());
      break;
    case CFrameAction::kGetUrlGotoAndPlay:
      url();
      jump(target());
      out.push_back(ACT_RESUME);
      break;
    default:
      break;
  }
  out.push_back(0);
  return out;
}

void CMovieExportDriver::WriteFrameScripts(const CExportFrame& frame) {
  CPicPage* root = frame.page->GetRoot();
  if (root == nullptr) return;
  for (CPicObj* child = root->GetFirstChild(); child != nullptr; child = child->GetNext()) {
    auto* layer = DynamicDowncast<CPicLayer>(child);
    if (layer == nullptr) continue;
    int32_t offset = -1;
    CPicFrame* key = layer->FrameAt(frame.frame, &offset);
    if (key == nullptr || offset != 0 || key->GetAction().type == CFrameAction::kNone) continue;
    std::vector<uint8_t> bytes = ActionBytes(key->GetAction(), frame.page);
    m_writer.OpenTag(MT_FRAME_SCRIPT, true);
    m_writer.PutBlock(bytes.data(), bytes.size());
    m_writer.CloseTag();
  }
}

// ---- definitions -----------------------------------------------------------------------

void CMovieExportDriver::Define(CExportCharacter& entry) {
  if (entry.id != 0) return;
  const uint64_t start = m_writer.GetPosition();
  switch (entry.kind) {
    case CExportCharacter::kShape:
      DefineShape(entry, static_cast<CPicShape*>(entry.object));
      break;
    case CExportCharacter::kText:
      DefineText(entry, static_cast<CPicText*>(entry.object));
      break;
    case CExportCharacter::kBitmap:
      DefineBitmap(entry, static_cast<CPicBitmap*>(entry.object));
      break;
    case CExportCharacter::kButton:
      DefineButton(entry, static_cast<CPicButton*>(entry.object));
      break;
    default:
      entry.id = -1;
      break;
  }
  if (entry.id == 0) entry.id = -1;
  entry.bytes += static_cast<int64_t>(m_writer.GetPosition() - start);
  ByteCounts& counts = m_pageBytes[entry.page];
  if (entry.kind == CExportCharacter::kShape) counts.shape += entry.bytes;
  if (entry.kind == CExportCharacter::kBitmap) counts.bitmap += entry.bytes;
}

void CMovieExportDriver::DefineShape(CExportCharacter& entry, CPicShape* shape) {
  ScratchGraph copy;
  CheckGeometry(EdgeGraphMerge(shape->GetGeometry(), copy.graph, kMergeLinesWin | kMergeFillsWin));
  CheckGeometry(EdgeGraphUpdate(copy.graph));
  // Styled lines (a line style of a nonzero kind) go apart: the copy keeps
  // their edges' fills, and the lines become geometry of their own below.
  std::unique_ptr<ScratchGraph> styled;
  std::vector<Edge*> restyled;
  EdgeGraphForEachEdge(copy.graph, nullptr, [&](Edge* e) {
    if (StyleIndexOf(e->line) == 0 || StyleIsTag(e->line)) return;
    LineStyle line;
    EdgeGraphGetLineStyle(copy.graph, e->line, line);
    if (line.kind == 0) return;
    if (styled == nullptr) styled = std::make_unique<ScratchGraph>();
    const int index = EdgeGraphAddLineStyle(styled->graph, line);
    CheckGeometry(index);
    Edge* piece = nullptr;
    CheckGeometry(EdgeGraphNewEdge(e->curve, &piece));
    if (piece == nullptr) throw CMemoryException();
    piece->line = static_cast<StyleIndex>(index);
    CheckGeometry(EdgeGraphInsertEdge(styled->graph, piece, 0, 3));
    restyled.push_back(e);
  });
  for (Edge* e : restyled) e->line = 0;

  const Matrix2x3& m = shape->GetShapeMatrix();
  const bool placed = !MatrixIsIdentity(m);
  if (placed) {
    CheckGeometry(EdgeGraphTransform(copy.graph, m));
    CheckGeometry(EdgeGraphUpdate(copy.graph));
  }
  if (styled != nullptr) {
    // Drawn under the shape's matrix as the object matrix, then merged into
    // the placed copy: widths and dot sizes stay unscaled, as in the editor.
    ScratchGraph strokes;
    CStyledLineCollector collector(strokes.graph);
    collector.Collect(styled->graph, m);
    CheckGeometry(EdgeGraphUpdate(strokes.graph));
    CheckGeometry(EdgeGraphMerge(strokes.graph, copy.graph, kMergeLinesWin | kMergeFillsWin));
    CheckGeometry(EdgeGraphUpdate(copy.graph));
  }
  if (styled != nullptr || placed) {
    // Copied once more, so that the style tables hold only what the edges
    // use: the styled lines' styles are gone from every edge, and a
    // transform gives placed fills new entries.
    ScratchGraph used;
    CheckGeometry(EdgeGraphMerge(copy.graph, used.graph, kMergeLinesWin | kMergeFillsWin));
    CheckGeometry(EdgeGraphUpdate(used.graph));
    WriteShapeCharacter(entry, used.graph);
    return;
  }
  WriteShapeCharacter(entry, copy.graph);
}

void CMovieExportDriver::DefineBitmap(CExportCharacter& entry, CPicBitmap* bitmap) {
  const CImageRef& image = bitmap->GetImage();
  const Rect32& rect = image.bounds;
  if (image.Width() <= 0 || image.Height() <= 0 || rect.IsEmpty()) return;
  // Two ids: the rectangle shape n that shows the image, and the image n + 1.
  const int32_t shapeId = TakeId();
  const int32_t imageId = TakeId();
  m_writer.WriteJpegImage(static_cast<uint16_t>(imageId), image);

  // The fill maps the image's own pixels onto the object's rectangle, and
  // both are placed by the object's matrix.
  const Matrix2x3& m = bitmap->GetBitmapMatrix();
  Matrix2x3 pixels;
  pixels.a = FixedDiv(rect.xmax - rect.xmin, image.Width());
  pixels.d = FixedDiv(rect.ymax - rect.ymin, image.Height());
  pixels.b = pixels.c = 0;
  pixels.tx = rect.xmin;
  pixels.ty = rect.ymin;
  FillStyle fill;
  fill.kind = kMovieFillBitmap;
  fill.colour = static_cast<uint32_t>(imageId);
  MatrixConcat(pixels, m, fill.matrix);
  ScratchGraph shape;
  const int index = EdgeGraphAddFillStyle(shape.graph, fill);
  CheckGeometry(index);
  PointList path;
  CheckGeometry(PathFromRect(path, rect));
  PointListTransform(path, m);
  // The outline's edges carry no style until the region inside is painted.
  CheckGeometry(EdgeGraphAddPath(shape.graph, path, 0, 0, 0));
  CheckGeometry(EdgeGraphPaintRegions(shape.graph, static_cast<StyleIndex>(index), false));
  CheckGeometry(EdgeGraphUpdate(shape.graph));
  entry.id = shapeId;
  m_writer.WriteShape(static_cast<uint16_t>(shapeId), shape.graph);
}

void CMovieExportDriver::CollectButton(CExportCharacter& entry, CPicButton* button) {
  // A symbol inside itself (a damaged file) counts as missing: the button
  // then has no parts.
  CSymbolDescent descent(button);
  CPicPage* root = descent.Root();
  if (root == nullptr) return;
  const int32_t states = std::clamp(root->m_frameCount, 1, 4);
  std::vector<CExportFrame> frames(static_cast<size_t>(states));
  CExportFrame* const outer = m_collecting;
  const Matrix2x3 outerMatrix = m_matrix;
  const int32_t outerFrame = m_frame;
  for (int32_t k = 0; k < states; ++k) {
    frames[static_cast<size_t>(k)].frame = k;
    m_collecting = &frames[static_cast<size_t>(k)];
    MatrixSetIdentity(m_matrix);
    m_frame = k;
    root->EnumShapes(*this);
  }
  m_collecting = outer;
  m_matrix = outerMatrix;
  m_frame = outerFrame;
  LinkFrames(frames);
  AssignDepths(frames);
  int32_t deepest = 0;
  for (const CExportFrame& f : frames)
    for (CExportNode* e = f.first; e != nullptr; e = e->next) deepest = std::max(deepest, e->depth);
  entry.depthSpan = 1 + deepest;
  entry.buttonFrames = std::move(frames);
}

void CMovieExportDriver::DefineButton(CExportCharacter& entry, CPicButton* button) {
  const auto& frames = entry.buttonFrames;
  // The parts' characters first.
  for (const CExportFrame& f : frames)
    for (CExportNode* e = f.first; e != nullptr; e = e->next)
      if (e->first == e) Define(*e->entry);
  std::vector<uint8_t> actions = ActionBytes(button->GetAction(), m_currentPage);
  entry.id = TakeId();
  m_writer.OpenTag(MT_BUTTON_CHARACTER, true);
  m_writer.PutWord(static_cast<uint16_t>(entry.id));
  const int32_t states = static_cast<int32_t>(frames.size());
  for (int32_t k = 0; k < states; ++k) {
    for (CExportNode* e = frames[static_cast<size_t>(k)].first; e != nullptr; e = e->next) {
      if (e->first != e || e->entry->id <= 0) continue;
      // The states the element lasts for; a symbol of fewer than four frames
      // keeps what its last frame shows in the states after it.
      uint8_t mask = 0;
      int32_t state = k;
      for (CExportNode* occ = e; occ != nullptr && state < 4; occ = occ->link, ++state)
        mask = static_cast<uint8_t>(mask | 1 << state);
      if (state == states)
        for (; state < 4; ++state) mask = static_cast<uint8_t>(mask | 1 << state);
      m_writer.PutByte(mask);
      m_writer.PutWord(static_cast<uint16_t>(e->entry->id));
      m_writer.PutWord(static_cast<uint16_t>(e->depth));
      m_writer.WritePackedMatrix(&e->matrix);
    }
  }
  m_writer.PutByte(0);
  m_writer.PutBlock(actions.data(), actions.size());
  m_writer.CloseTag();
}

void CMovieExportDriver::WriteShapeCharacter(CExportCharacter& entry, const EdgeGraph& graph) {
  if (graph.edge_count == 0) return;
  entry.id = TakeId();
  m_writer.WriteShape(static_cast<uint16_t>(entry.id), graph);
}

void CMovieExportDriver::WriteGlyphSets(CExportFont& font) {
  font.written = true;
  if (font.codes.empty()) {
    font.noGlyphs = true;
    return;
  }
  const uint64_t start = m_writer.GetPosition();
  std::sort(font.codes.begin(), font.codes.end());
  for (size_t i = 0; i < font.codes.size(); ++i)
    font.index[font.codes[i]] = static_cast<int32_t>(i);

  // Every glyph's steps, made apart first: a glyph must start within 65535
  // bytes of its set's offset table, so the sets are cut from their sizes.
  CGlyphOutliner outliner;
  outliner.SelectFont(font.key);
  std::vector<std::vector<uint8_t>> glyphs;
  glyphs.reserve(font.codes.size());
  FillStyle black;
  black.colour = 0xFF000000;
  for (uint16_t code : font.codes) {
    ScratchGraph g;
    outliner.m_sink.m_graph = &g.graph;
    outliner.m_sink.m_styleWord = 0;
    if (outliner.OutlineGlyph(code) == 0) m_missingOutline = true;
    outliner.m_sink.m_graph = nullptr;
    int fill = EdgeGraphAddFillStyle(g.graph, black);
    CheckGeometry(fill);
    // The outline's edges carry no style until the regions inside are painted.
    CheckGeometry(EdgeGraphPaintRegions(g.graph, static_cast<StyleIndex>(fill), false));
    CheckGeometry(EdgeGraphUpdate(g.graph));
    CMemFile memory;
    CMovieWriter steps(&memory);
    steps.WriteShapeSteps(g.graph);
    steps.Flush();
    glyphs.push_back(memory.Detach());
  }

  std::vector<size_t> sizes;
  for (const auto& g : glyphs) sizes.push_back(g.size());
  int32_t first = 0;
  for (int32_t count : CutGlyphSets(sizes)) {
    CExportFont::Set set;
    set.id = TakeId();
    set.first_glyph = first;
    set.count = count;
    font.sets.push_back(set);

    m_writer.OpenTag(MT_GLYPH_SET_CHARACTER, true);
    m_writer.PutWord(static_cast<uint16_t>(set.id));
    int64_t offset = 2 * count;
    for (int32_t i = 0; i < count; ++i) {
      m_writer.PutWord(static_cast<uint16_t>(offset));
      offset += static_cast<int64_t>(glyphs[static_cast<size_t>(first + i)].size());
    }
    for (int32_t i = 0; i < count; ++i) {
      const auto& bytes = glyphs[static_cast<size_t>(first + i)];
      m_writer.PutBlock(bytes.data(), bytes.size());
    }
    m_writer.CloseTag();

    if (m_writeFaces) {
      uint16_t highest = font.codes[static_cast<size_t>(first + count - 1)];
      uint8_t flags = 0;
      if (highest > 0xFF) flags |= kFaceWideCodes;
      if (font.key.bold != 0) flags |= kFaceBold;
      if (font.key.italic != 0) flags |= kFaceItalic;
      if (font.key.charSet == 0) flags |= kFaceAnsi;
      if (font.key.charSet == 128) flags |= kFaceShiftJis;
      m_writer.OpenTag(MT_GLYPH_SET_FACE, true);
      m_writer.PutWord(static_cast<uint16_t>(set.id));
      const size_t nameLength = std::min<size_t>(font.name.size(), 255);
      m_writer.PutByte(static_cast<uint8_t>(nameLength));
      m_writer.PutBlock(font.name.data(), nameLength);
      m_writer.PutByte(flags);
      for (int32_t i = 0; i < count; ++i) {
        uint16_t code = font.codes[static_cast<size_t>(first + i)];
        if (flags & kFaceWideCodes)
          m_writer.PutWord(code);
        else
          m_writer.PutByte(static_cast<uint8_t>(code));
      }
      m_writer.CloseTag();
    }
    first += count;
  }
  font.bytes += static_cast<int64_t>(m_writer.GetPosition() - start);
}

std::vector<int32_t> CMovieExportDriver::CutGlyphSets(const std::vector<size_t>& glyphSizes) {
  std::vector<int32_t> counts;
  const int32_t total = static_cast<int32_t>(glyphSizes.size());
  int32_t first = 0;
  while (first < total) {
    // Glyph first + count starts after the table and the glyphs before it.
    int32_t count = 1;
    int64_t before = static_cast<int64_t>(glyphSizes[static_cast<size_t>(first)]);
    while (first + count < total && 2 * (count + 1) + before <= kMaxU16) {
      before += static_cast<int64_t>(glyphSizes[static_cast<size_t>(first + count)]);
      ++count;
    }
    counts.push_back(count);
    first += count;
  }
  return counts;
}

void CMovieExportDriver::DefineText(CExportCharacter& entry, CPicText* text) {
  text->UpdateLayout();
  const auto& chars = text->Chars();
  const auto& styles = text->Styles();
  auto fontOf = [&](const TextChar& c) -> CExportFont* {
    const size_t s = static_cast<size_t>(c.styleIndex);
    return s < styles.size() ? FontFor(styles[s]) : nullptr;
  };
  // The glyph sets first, and the field widths.
  uint32_t highestGlyph = 0;
  std::vector<int32_t> advances;
  for (const TextChar& c : chars) {
    if (c.code == CPicText::kCR) continue;
    CExportFont* font = fontOf(c);
    if (font == nullptr) continue;
    if (!font->written) WriteGlyphSets(*font);
    int32_t setId = 0, glyph = 0;
    GlyphOf(*font, c.code, setId, glyph);
    highestGlyph = std::max(highestGlyph, static_cast<uint32_t>(glyph));
    advances.push_back(c.layoutAdvance);
  }
  const int glyphBits = NumBits(highestGlyph);
  const int advanceBits = TextAdvanceBits(advances);

  const uint64_t start = m_writer.GetPosition();
  entry.id = TakeId();
  m_writer.OpenTag(MT_TEXT_CHARACTER, true);
  m_writer.PutWord(static_cast<uint16_t>(entry.id));
  Rect32 bounds;
  text->GetRangeRect(0, text->GetCharCount(), bounds);
  MatrixTransformRect(text->GetTextMatrix(), bounds, bounds);
  if (bounds.IsEmpty()) bounds = Rect32{0, 0, 0, 0};
  m_writer.WritePackedRect(bounds);
  m_writer.WritePackedMatrix(&text->GetTextMatrix());
  m_writer.PutByte(static_cast<uint8_t>(glyphBits));
  m_writer.PutByte(static_cast<uint8_t>(advanceBits));

  // The run state follows the runs actually written.
  int32_t curFont = 0, curX = 0, curY = 0, curHeight = 0;
  uint32_t curColour = 0;
  struct Glyph {
    int32_t index, advance;
  };
  std::vector<Glyph> run;
  int32_t runX = 0, runY = 0, runHeight = 0, runSet = 0, runStyle = -1;
  uint32_t runColour = 0;
  auto flush = [&] {
    if (run.empty()) return;
    if (runSet > 0) {
      uint8_t flags = kRunMark;
      if (runSet != curFont || runHeight != curHeight) flags |= kRunHasFont;
      if (runColour != curColour) flags |= kRunHasColor;
      if (runX != curX) flags |= kRunHasX;
      if (runY != curY) flags |= kRunHasY;
      m_writer.PutByte(flags);
      if (flags & kRunHasFont) m_writer.PutWord(static_cast<uint16_t>(runSet));
      if (flags & kRunHasColor) m_writer.WriteColorRGB(runColour);
      if (runX < INT16_MIN || runX > INT16_MAX || runY < INT16_MIN || runY > INT16_MAX)
        ThrowLimit("twips in a text line's position", INT16_MAX);
      if (flags & kRunHasX) m_writer.PutWord(static_cast<uint16_t>(static_cast<int16_t>(runX)));
      if (flags & kRunHasY) m_writer.PutWord(static_cast<uint16_t>(static_cast<int16_t>(runY)));
      if (flags & kRunHasFont) m_writer.PutWord(CheckedU16(runHeight, "twips of text height"));
      m_writer.PutByte(static_cast<uint8_t>(run.size()));
      m_writer.AlignBits();
      int32_t x = runX;
      for (const Glyph& g : run) {
        m_writer.WriteBits(static_cast<uint32_t>(g.index), glyphBits);
        m_writer.WriteBits(static_cast<uint32_t>(g.advance), advanceBits);
        x += g.advance;
      }
      m_writer.FlushBits();
      curFont = runSet;
      curHeight = runHeight;
      curColour = runColour;
      curX = x;
      curY = runY;
    }
    run.clear();
  };
  for (const TextLine& line : text->Lines()) {
    int32_t x = line.x;
    for (int32_t i = line.first; i < line.first + line.count; ++i) {
      const TextChar& c = chars[static_cast<size_t>(i)];
      if (c.code == CPicText::kCR) {
        flush();
        x += c.layoutAdvance;
        continue;
      }
      CExportFont* font = fontOf(c);
      int32_t setId = -1, glyph = 0;
      if (font != nullptr) GlyphOf(*font, c.code, setId, glyph);
      if (!run.empty() && (c.styleIndex != runStyle || setId != runSet ||
                           run.size() >= static_cast<size_t>(kRunMaxGlyphs))) {
        flush();
      }
      if (run.empty()) {
        const CTextStyle& style = styles[static_cast<size_t>(c.styleIndex)];
        int32_t size = 0, shift = 0;
        style.GetEffectiveSize(size, shift);
        runX = x;
        runY = line.baseline + shift;
        runHeight = size;
        runColour = style.color & 0xFFFFFF;
        runSet = setId;
        runStyle = c.styleIndex;
      }
      run.push_back({glyph, c.layoutAdvance});
      x += c.layoutAdvance;
    }
    flush();
  }
  m_writer.PutByte(0);
  m_writer.CloseTag();
  m_pageBytes[entry.page].text += static_cast<int64_t>(m_writer.GetPosition() - start);
}

// ---- the frame loop --------------------------------------------------------------------

void CMovieExportDriver::WriteReportLine(const char* text) {
  if (m_report != nullptr) m_report->Write(text, strlen(text));
}

bool CMovieExportDriver::WriteFrames() {
  LinkFrames(m_frames);
  AssignDepths(m_frames);
  WriteReportLine(
      "Movie Report\n------------\n\nFrame #    Frame Bytes    Total Bytes\n"
      "-------    -----------    -----------\n");
  uint64_t previous = 0;
  std::vector<CExportNode*> order;
  for (size_t i = 0; i < m_frames.size(); ++i) {
    const CExportFrame& frame = m_frames[i];
    m_currentPage = frame.page;
    WriteFrameScripts(frame);
    order.clear();
    for (CExportNode* e = frame.first; e != nullptr; e = e->next) order.push_back(e);
    if (m_topDown) std::reverse(order.begin(), order.end());
    for (CExportNode* e : order) {
      if (e->first != e) continue;
      Define(*e->entry);
      if (e->entry->id > 0)
        m_writer.PlaceCharacter(static_cast<uint16_t>(e->entry->id),
                                static_cast<uint16_t>(e->depth), &e->matrix);
    }
    m_writer.ShowFrame();
    const uint64_t now = m_writer.GetPosition();
    char line[64];
    std::snprintf(line, sizeof line, "%5i%14i%15i\n", static_cast<int>(i + 1),
                  static_cast<int>(now - previous), static_cast<int>(now));
    WriteReportLine(line);
    previous = now;
    if (i + 1 == m_frames.size()) break;
    for (CExportNode* e = frame.first; e != nullptr; e = e->next) {
      if (e->link == nullptr && e->entry->id > 0)
        m_writer.RemoveCharacter(static_cast<uint16_t>(e->entry->id),
                                 static_cast<uint16_t>(e->depth));
    }
  }
  WriteReportTables();
  return m_missingOutline;
}

void CMovieExportDriver::WriteReportTables() {
  if (m_report == nullptr) return;
  char line[128];
  auto pages = [&](CDocumentPage* list) {
    for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
      ByteCounts counts;
      auto found = m_pageBytes.find(p);
      if (found != m_pageBytes.end()) counts = found->second;
      std::snprintf(line, sizeof line, "%-26s %8i%14i%16i\n", p->m_name.c_str(),
                    static_cast<int>(counts.shape), static_cast<int>(counts.text),
                    static_cast<int>(counts.bitmap));
      WriteReportLine(line);
    }
  };
  WriteReportLine(
      "\nPage                       Shape Bytes    Text Bytes    Bitmap Bytes\n"
      "-----------------------    -----------    ----------    ------------\n");
  if (m_document != nullptr) pages(m_document->m_pages);
  WriteReportLine(
      "\nSymbol                     Shape Bytes    Text Bytes    Bitmap Bytes\n"
      "-----------------------    -----------    ----------    ------------\n");
  if (m_document != nullptr) pages(m_document->m_symbols);
  WriteReportLine(
      "\nFont Name                  Bytes       Characters\n"
      "-----------------------    --------    -----------\n");
  for (const CExportFont& font : m_fonts) {
    std::string name = font.name;
    if (font.key.bold != 0) name += " Bold";
    if (font.key.italic != 0) name += " Italic";
    std::snprintf(line, sizeof line, "%-26s %6i        ", name.c_str(),
                  static_cast<int>(font.bytes));
    std::string text = line;
    for (uint16_t code : font.codes) {
      if (code > 0xFF) text.push_back(static_cast<char>(code >> 8));
      text.push_back(static_cast<char>(code));
    }
    text.push_back('\n');
    m_report->Write(text.data(), text.size());
  }
}
