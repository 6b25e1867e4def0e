#include "movie/player/display_list.h"

#include <algorithm>
#include <new>

#include "movie/movie_format.h"
#include "movie/player/movie_stream.h"
#include "movie/player/player_render.h"
#include "render/raster/offscreen_bitmap.h"

CDisplayList::CDisplayList() {
  m_edgePool.Init(sizeof(CScanEdge), 600, 1, 0x22222222, alignof(CScanEdge));
  m_itemPool.Init(sizeof(DisplayItem), 32, 1, 0x55555555, alignof(DisplayItem));
  m_fillPool.Init(sizeof(PlayerFill), 64, 1, 0x44444444, alignof(PlayerFill));
}

CDisplayList::~CDisplayList() {
  Clear();
  m_edgePool.FreeAll();
  m_itemPool.FreeAll();
  m_fillPool.FreeAll();
}

// ---- Pools ---------------------------------------------------------------------

CScanEdge* CDisplayList::NewEdge() {
  if (m_edgeCount >= kMaxEdges) return nullptr;
  void* p = m_edgePool.Alloc();
  if (!p) return nullptr;
  ++m_edgeCount;
  return new (p) CScanEdge;
}

void CDisplayList::FreeEdge(CScanEdge* e) {
  --m_edgeCount;
  m_edgePool.Free(e);
}

PlayerFill* CDisplayList::NewFill() {
  if (m_fillCount >= kMaxFills) return nullptr;
  void* p = m_fillPool.Alloc();
  if (!p) return nullptr;
  ++m_fillCount;
  PlayerFill* f = new (p) PlayerFill;
  f->fill.Init(&m_converter);
  return f;
}

void CDisplayList::FreeFill(PlayerFill* f) {
  f->fill.Free();
  f->~PlayerFill();
  --m_fillCount;
  m_fillPool.Free(f);
}

DisplayItem* CDisplayList::NewItem() {
  if (m_itemCount >= kMaxItems) return nullptr;
  void* p = m_itemPool.Alloc();
  if (!p) return nullptr;
  ++m_itemCount;
  DisplayItem* item = new (p) DisplayItem;
  item->owner = this;
  return item;
}

void CDisplayList::FreeItem(DisplayItem* item) {
  item->FreeRenderData();
  if (item == m_tracked) m_tracked = nullptr;
  item->~DisplayItem();
  --m_itemCount;
  m_itemPool.Free(item);
}

int32_t CDisplayList::BandBottom() const {
  const int64_t h = m_bitmap && m_bitmap->IsValid() ? m_bitmap->Height() : kNoBitmapExtent;
  return ClampCoordinate(h * (m_antiAlias ? 4 : 1));
}

// ---- Bitmap, view and background -------------------------------------------------

void CDisplayList::SetBitmap(COffscreenBitmap* bitmap) {
  m_bitmap = bitmap;
  RecalcAll();
}

void CDisplayList::UpdateBitmapBounds() {
  int64_t w = kNoBitmapExtent, h = kNoBitmapExtent;
  if (m_bitmap && m_bitmap->IsValid()) {
    w = m_bitmap->Width();
    h = m_bitmap->Height();
  }
  const int64_t s = m_antiAlias ? 4 : 1;
  m_dirty = {0, ClampCoordinate(w * s), 0, ClampCoordinate(h * s)};
}

void CDisplayList::ApplyView(const ViewInputs& inputs) {
  m_viewInputs = inputs;
  const Rect32& stage = inputs.stage;
  const WinRect& window = inputs.window;
  const bool antiAlias = inputs.anti_alias;
  const uint32_t flags = inputs.flags;
  const int64_t s = antiAlias ? 4 : 1;
  const int64_t wl = window.left * s, wr = window.right * s;
  const int64_t wt = window.top * s, wb = window.bottom * s;
  const int64_t sl = stage.xmin, sr = stage.xmax, st = stage.ymin, sb = stage.ymax;
  auto extent = [](int64_t lo, int64_t hi) {
    return static_cast<int32_t>(std::clamp<int64_t>(hi - lo, 16, INT32_MAX));
  };
  Fixed sx = FixedDiv(extent(wl, wr), extent(sl, sr));
  Fixed sy = FixedDiv(extent(wt, wb), extent(st, sb));
  switch (flags & 0x0F) {
    case kScaleShowAll:
      sx = sy = std::min(sx, sy);
      break;
    case kScaleNoBorder:
      sx = sy = std::max(sx, sy);
      break;
    default:
      break;  // exact fit: each keeps its own
  }
  int64_t wx, stx, wy, sty;
  if (flags & kAlignLeft) {
    wx = wl, stx = sl;
  } else if (flags & kAlignRight) {
    wx = wr, stx = sr;
  } else {
    wx = (wl + wr) >> 1, stx = (sl + sr) >> 1;
  }
  if (flags & kAlignTop) {
    wy = wt, sty = st;
  } else if (flags & kAlignBottom) {
    wy = wb, sty = sb;
  } else {
    wy = (wt + wb) >> 1, sty = (st + sb) >> 1;
  }
  Matrix2x3 m;
  m.a = sx;
  m.d = sy;
  m.tx = WrapSub(ClampCoordinate(wx), FixedMul(ClampCoordinate(stx), sx));
  m.ty = WrapSub(ClampCoordinate(wy), FixedMul(ClampCoordinate(sty), sy));
  if (m == m_view && antiAlias == m_antiAlias) return;
  m_view = m;
  m_antiAlias = antiAlias;
  RecalcAll();
}

namespace {

// An item's bounds: its character's bounds through the matrix, grown by the
// half-width of its widest line as drawn. Lines are widened by one scalar
// width in every direction, so under a non-uniform scale they reach past
// the transformed bounds (2 more: the least width and the offsets of thin
// lines).
void ItemBounds(const Matrix2x3& combined, const MovieCharacter& c, Rect32& out) {
  MatrixTransformRect(combined, c.bounds, out);
  if (c.widest_line == 0 || out.IsEmpty()) return;
  RectInset(out, -(MatrixScaleLength(combined, c.widest_line) / 2 + 2));
}

}  // namespace

void CDisplayList::RecalcAll() {
  UpdateBitmapBounds();
  for (DisplayItem* item = m_items; item; item = item->next) {
    item->FreeRenderData();
    MatrixConcat(item->matrix, m_view, item->combined);
    if (item->character->type == kCharacterButton) continue;  // bounds stay empty
    ItemBounds(item->combined, *item->character, item->bounds);
  }
}

void CDisplayList::SetBackgroundColor(uint32_t colour, int priority) {
  if (colour == m_background || m_backgroundPriority >= priority) return;
  m_background = colour;
  m_backgroundPriority = priority;
  UpdateBitmapBounds();
}

void CDisplayList::ResetBackground() {
  if (m_backgroundPriority > 1) return;
  m_background = kDefaultBackground;
  m_backgroundPriority = 0;
  UpdateBitmapBounds();
}

void CDisplayList::AddDirty(const Rect32& r) {
  if (r.IsEmpty()) return;
  RectUnion(m_dirty, r, m_dirty);
}

// ---- Items --------------------------------------------------------------------------

void CDisplayList::Clear() {
  while (DisplayItem* item = m_items) {
    m_items = item->next;
    AddDirty(item->bounds);
    FreeItem(item);
  }
  m_tracked = nullptr;
  ResetBackground();
}

int CDisplayList::PlaceObject(MovieCharacter* character, uint32_t key, const Matrix2x3& matrix) {
  DisplayItem* item = NewItem();
  if (!item) return 0;
  item->character = character;
  item->key = key;
  item->matrix = matrix;
  item->next = m_items;
  m_items = item;
  MatrixConcat(matrix, m_view, item->combined);
  if (character->type == kCharacterButton) {
    uint16_t state = kStateUp;
    if (m_trackedKey != 0 && key == m_trackedKey) {
      state = m_trackedState;
      m_tracked = item;
    }
    SetButtonState(item, state);
    return 1;
  }
  ItemBounds(item->combined, *character, item->bounds);
  AddDirty(item->bounds);
  return 1;
}

DisplayItem* CDisplayList::FindItem(uint32_t key, DisplayItem*** link) {
  DisplayItem** l = &m_items;
  while (DisplayItem* item = *l) {
    if (item->key == key) {
      if (link) *link = l;
      return item;
    }
    l = &item->next;
  }
  return nullptr;
}

bool CDisplayList::Contains(const DisplayItem* item) const {
  for (const DisplayItem* i = m_items; i; i = i->next)
    if (i == item) return true;
  return false;
}

void CDisplayList::UnlinkAndFree(DisplayItem* item, DisplayItem** link) {
  if (item->drawn) AddDirty(item->bounds);
  *link = item->next;
  FreeItem(item);
}

void CDisplayList::RemoveObject(uint32_t key) {
  // A button first takes its parts off the stage, then is removed itself;
  // its parts may in turn remove items, so the key is looked up afresh.
  for (;;) {
    DisplayItem** link = nullptr;
    DisplayItem* item = FindItem(key, &link);
    if (!item) return;
    if (item->character->type == kCharacterButton && item->button_state != 0) {
      if (item == m_tracked) m_tracked = nullptr;
      SetButtonState(item, 0);
      continue;
    }
    UnlinkAndFree(item, link);
    return;
  }
}

void CDisplayList::SetButtonState(DisplayItem* item, uint16_t state) {
  if (state == item->button_state) return;
  // Everything needed is copied first: placing and removing parts may remove
  // this very item (a part under the button's own key).
  const uint16_t old = item->button_state;
  item->button_state = state;
  ++m_stateChanges;
  const MovieCharacter* button = item->character;
  const Matrix2x3 placement = item->matrix;
  const uint16_t depth = item->Depth();
  // Buttons made of buttons are followed only so deep; a cycle ends here.
  if (m_nesting >= kMaxButtonNesting) return;
  ++m_nesting;
  CTagReader in = button->Reader();
  for (;;) {
    const uint8_t mask = in.GetByte();
    if (mask == 0 || in.overrun) break;
    const uint16_t id = in.GetWord();
    const uint16_t partDepth = in.GetWord();
    Matrix2x3 partMatrix;
    in.ReadMatrix(partMatrix);
    if (in.overrun) break;
    const uint32_t key = StageKey(id, static_cast<uint16_t>(partDepth + depth));
    const bool now = (state & mask) != 0, before = (old & mask) != 0;
    if (now && !before) {
      if (MovieCharacter* part = button->stream->FindCharacter(id)) {
        Matrix2x3 m;
        MatrixConcat(partMatrix, placement, m);
        // A part the full stage cannot take is left out of the button; the
        // other parts still change state.
        static_cast<void>(PlaceObject(part, key, m));
      }
    } else if (before && !now) {
      RemoveObject(key);
    }
  }
  --m_nesting;
}

void CDisplayList::ScanStatusUrl(DisplayItem* button) {
  m_statusUrl[0] = 0;
  CTagReader in = button->character->Reader();
  SkipButtonParts(in);
  ActionRecord action;
  while (NextAction(in, action)) {
    if (action.code == ACT_OPEN_URL)
      CopyActionUrl(in.data, action, m_statusUrl, sizeof m_statusUrl);
  }
}

bool CDisplayList::SetTrackedButton(DisplayItem* item, uint16_t state) {
  const int changesBefore = m_stateChanges;
  if (item != m_tracked) {
    if (m_tracked) SetButtonState(m_tracked, kStateUp);
    // Changing the old button's parts may have taken the new one away.
    if (item && !Contains(item)) item = nullptr;
    m_tracked = item;
    m_statusUrl[0] = 0;
    if (item) {
      SetButtonState(item, state);
      if (Contains(item)) {
        ScanStatusUrl(item);
      } else {
        m_tracked = item = nullptr;
      }
    }
  } else if (item && state != item->button_state) {
    SetButtonState(item, state);
  }
  m_trackedState = m_tracked ? state : 0;
  m_trackedKey = m_tracked ? m_tracked->key : 0;
  return m_stateChanges != changesBefore;
}

bool CDisplayList::ButtonHit(DisplayItem* button, const Point32& p) {
  CTagReader in = button->character->Reader();
  for (;;) {
    const uint8_t mask = in.GetByte();
    if (mask == 0 || in.overrun) return false;
    const uint16_t id = in.GetWord();
    const uint16_t partDepth = in.GetWord();
    Matrix2x3 partMatrix;
    in.ReadMatrix(partMatrix);
    if (in.overrun) return false;
    if (!(mask & kButtonHitArea)) continue;
    MovieCharacter* part = button->character->stream->FindCharacter(id);
    if (!part) continue;
    DisplayItem probe;
    probe.owner = this;
    probe.character = part;
    probe.key = StageKey(id, static_cast<uint16_t>(partDepth + button->Depth()));
    MatrixConcat(partMatrix, button->matrix, probe.matrix);
    MatrixConcat(probe.matrix, m_view, probe.combined);
    ItemBounds(probe.combined, *part, probe.bounds);
    const bool hit = probe.HitTest(p);
    probe.FreeRenderData();
    if (hit) return true;
  }
}

DisplayItem* CDisplayList::HitTestButton(const Point32& windowPoint) {
  const int32_t s = m_antiAlias ? 4 : 1;
  const Point32 p{ClampCoordinate(int64_t{windowPoint.x} * s),
                  ClampCoordinate(int64_t{windowPoint.y} * s)};
  DisplayItem* best = nullptr;
  uint16_t bestDepth = 0;
  for (DisplayItem* item = m_items; item; item = item->next) {
    if (item->character->type != kCharacterButton || item->Depth() <= bestDepth) continue;
    if (ButtonHit(item, p)) {
      best = item;
      bestDepth = item->Depth();
    }
  }
  return best;
}

// ---- Rendering ----------------------------------------------------------------------

void CDisplayList::Render() {
  if (m_dirty.IsEmpty() || !m_bitmap || !m_bitmap->IsValid()) return;
  Rect32 clip;
  GetDirtyRect(clip);
  // Only the bitmap can be drawn.
  clip.xmin = std::max(clip.xmin, 0);
  clip.ymin = std::max(clip.ymin, 0);
  clip.xmax = std::min(clip.xmax, m_bitmap->Width() - 1);
  clip.ymax = std::min(clip.ymax, m_bitmap->Height() - 1);
  if (clip.xmin > clip.xmax || clip.ymin > clip.ymax) {
    RectSetEmpty(m_dirty);
    return;
  }
  if (m_refresh.IsEmpty()) {
    m_refresh = clip;
  } else {
    RectUnion(m_refresh, clip, m_refresh);
  }
  // The converter's band excludes its right and bottom ends.
  const Rect32 band{clip.xmin, clip.xmax + 1, clip.ymin, clip.ymax + 1};
  m_converter.SetTarget(m_bitmap, &band, m_antiAlias ? 1 : 0);
  m_converter.smoothBitmaps = m_antiAlias && !m_moving;
  m_converter.ditherMode = m_antiAlias ? 2 : 1;
  m_converter.AllocBuckets();

  const int32_t s = m_antiAlias ? 4 : 1;
  const Rect32 area{band.xmin * s, band.xmax * s - 1, band.ymin * s, band.ymax * s - 1};

  // The background lies below every item: order key 0, bounded by two
  // vertical edges at the band's sides.
  CSpanFill background;
  CScanEdge sides[2];
  if (m_background != 0) {
    background.Init(&m_converter);
    SetSolidFill(background, m_background, 0);
    background.Prepare();
    const int32_t xs[2] = {band.xmin * s, band.xmax * s};
    for (int i = 0; i < 2; ++i) {
      CScanEdge& e = sides[i];
      e.curve.p0 = {xs[i], band.ymin * s};
      e.curve.p2 = {xs[i], band.ymax * s};
      e.curve.control = {xs[i], static_cast<int32_t>((int64_t{band.ymin} + band.ymax) * s / 2)};
      e.curve.straight = 1;
      e.fillA = &background;
      e.kind = kEdgeToggleOneFill;
      e.direction = 1;
      e.next = i == 0 ? &sides[1] : nullptr;
    }
    m_converter.AddEdgeList(&sides[0]);
  }

  for (DisplayItem* item = m_items; item; item = item->next) {
    if (item->bounds.IsEmpty() || !RectsOverlap(item->bounds, area)) continue;
    item->BuildRenderData();
    item->drawn = 1;
    for (PlayerFill* f = item->fills; f; f = f->next) f->fill.Prepare();
    m_converter.AddEdgeList(item->edges);
  }
  m_converter.RenderAll();
  // Leaves no fill of ours on the converter's lists: the records may be freed
  // before the next pass.
  m_converter.AllocBuckets();
  background.Free();
  RectSetEmpty(m_dirty);
}
