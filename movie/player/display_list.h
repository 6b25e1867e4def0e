// CDisplayList: the stage of the player engine.
//
// The characters the movie has put on the stage, each under its stage key
// (id << 16 | depth) with its own matrix; the stage background; the transform
// from movie twips to the pixels (or, anti-aliased, quarter pixels) of the
// player's offscreen bitmap; the rectangle that must be rendered again; and
// the state of the buttons under the mouse. The movie stream changes it while
// it reads a frame; the player windows render the dirty area, hit-test
// buttons and change button states.
//
// Every item and all of its render data come from the list's pools, which
// are capped: an exhausted pool drops the item or the edge silently and the
// rest of the frame is still shown.
#pragma once

#include <cstdint>
#include <optional>

#include "geometry/fixed.h"
#include "geometry/pool.h"
#include "render/raster/scan_converter.h"
#include "render/raster/span_fill.h"

class COffscreenBitmap;
class CDisplayList;
struct MovieCharacter;

// Button states (the display item's state and the parts' masks).
constexpr uint16_t kStateUp = 0x01;
constexpr uint16_t kStateOver = 0x02;
constexpr uint16_t kStateDown = 0x04;

// View-transform flags: the scale mode in the low four bits, then the anchors.
constexpr uint32_t kScaleShowAll = 0;
constexpr uint32_t kScaleNoBorder = 1;
constexpr uint32_t kScaleExactFit = 2;
constexpr uint32_t kAlignLeft = 0x10;
constexpr uint32_t kAlignRight = 0x20;
constexpr uint32_t kAlignTop = 0x40;
constexpr uint32_t kAlignBottom = 0x80;

// Background colours are packed 0xFF000000 | blue << 16 | green << 8 | red;
// 0 means no background.
constexpr uint32_t kDefaultBackground = 0xFFFFFFFF;

// A span fill of the player: the scan converter's record with the item's
// chain link and the hit counter of the item's hit test.
struct PlayerFill {
  CSpanFill fill;
  PlayerFill* next = nullptr;
  int32_t hits = 0;
};

// One character on the stage.
struct DisplayItem {
  DisplayItem* next = nullptr;
  CDisplayList* owner = nullptr;
  MovieCharacter* character = nullptr;
  uint32_t key = 0;    // id << 16 | depth
  Matrix2x3 matrix;    // placement, movie coordinates
  Matrix2x3 combined;  // placement, then the view transform
  Rect32 bounds;       // bitmap coordinates
  uint16_t button_state = 0;
  uint8_t drawn = 0;
  uint8_t built = 0;  // render data made (an empty shape has no edges)
  CScanEdge* edges = nullptr;
  PlayerFill* fills = nullptr;

  uint16_t Depth() const { return static_cast<uint16_t>(key); }
  // Builds the edge chain and span fills (once; nothing for a stream in error).
  void BuildRenderData();
  // Returns every scan edge and span fill to the pools.
  void FreeRenderData();
  // True when the point (bitmap coordinates) lies inside the item's outline.
  bool HitTest(const Point32& p);
};

class CDisplayList {
 public:
  // Caps of the pools: items, scan edges, span fills.
  static constexpr int32_t kMaxItems = 1 << 16;
  static constexpr int32_t kMaxEdges = 1 << 20;
  static constexpr int32_t kMaxFills = 1 << 18;
  // Buttons whose parts are buttons are followed this deep.
  static constexpr int kMaxButtonNesting = 4;
  static constexpr int kStatusUrlSize = 512;
  // The dirty area without a bitmap.
  static constexpr int32_t kNoBitmapExtent = 2000;

  CDisplayList();
  ~CDisplayList();
  CDisplayList(const CDisplayList&) = delete;
  CDisplayList& operator=(const CDisplayList&) = delete;

  // Attaches the player's offscreen bitmap (not owned) or none; everything
  // is dirty and every item's render data is rebuilt.
  void SetBitmap(COffscreenBitmap* bitmap);
  COffscreenBitmap* Bitmap() const { return m_bitmap; }
  // Marks the whole bitmap dirty.
  void UpdateBitmapBounds();
  // Maps the stage (twips) into the window (pixels) by the scale mode and
  // anchors of `flags`; recomputes every item when the result changed. The
  // player sets the view on every write while a movie loads: the same inputs
  // give the same matrix, which is already in place, and that test stays
  // inline.
  void SetViewTransform(const Rect32& stage, const WinRect& window, bool antiAlias,
                        uint32_t flags) {
    const ViewInputs inputs{stage, window, antiAlias, flags};
    if (!m_viewInputs || !(*m_viewInputs == inputs)) ApplyView(inputs);
  }
  const Matrix2x3& ViewTransform() const { return m_view; }
  bool AntiAlias() const { return m_antiAlias; }
  void SetMoving(bool moving) { m_moving = moving; }
  void RecalcAll();

  void SetBackgroundColor(uint32_t colour, int priority);
  void ResetBackground();
  uint32_t BackgroundColor() const { return m_background; }
  int BackgroundPriority() const { return m_backgroundPriority; }

  // Empties the stage (the tracked button's key and state stay remembered).
  void Clear();
  // 1 when placed, 0 when the item pool is exhausted.
  [[nodiscard]] int PlaceObject(MovieCharacter* character, uint32_t key, const Matrix2x3& matrix);
  // The first item with the key, and the link that points to it.
  DisplayItem* FindItem(uint32_t key, DisplayItem*** link = nullptr);
  void RemoveObject(uint32_t key);
  void SetButtonState(DisplayItem* item, uint16_t state);
  // Makes a button (or none) the tracked one in a state; true when any
  // button's state changed.
  bool SetTrackedButton(DisplayItem* item, uint16_t state);
  DisplayItem* TrackedButton() const { return m_tracked; }
  uint16_t TrackedState() const { return m_trackedState; }
  uint32_t TrackedKey() const { return m_trackedKey; }
  // The URL of the tracked button's open-URL action, or "".
  const char* StatusUrl() const { return m_statusUrl; }
  // The button under a window point, or none.
  DisplayItem* HitTestButton(const Point32& windowPoint);

  // The dirty rectangle in window pixels, grown by 2 (empty stays empty).
  // Inline, as the player asks for it after every write while a movie loads.
  void GetDirtyRect(Rect32& out) const {
    out = m_dirty;
    if (out.IsEmpty()) return;
    if (m_antiAlias) {
      out.xmin >>= 2;
      out.xmax >>= 2;
      out.ymin >>= 2;
      out.ymax >>= 2;
    }
    out.xmin = ClampCoordinate(int64_t{out.xmin} - 2);
    out.ymin = ClampCoordinate(int64_t{out.ymin} - 2);
    out.xmax = ClampCoordinate(int64_t{out.xmax} + 2);
    out.ymax = ClampCoordinate(int64_t{out.ymax} + 2);
  }
  const Rect32& DirtyRect() const { return m_dirty; }
  // What has been rendered and must still be copied to the window; the
  // player reads it and empties it.
  Rect32 TakeRefreshRect() {
    const Rect32 r = m_refresh;
    m_refresh = Rect32{};
    return r;
  }
  // Renders the dirty area into the bitmap.
  void Render();

  DisplayItem* Items() const { return m_items; }
  int32_t ItemCount() const { return m_itemCount; }
  CScanConverter& Converter() { return m_converter; }

  // ---- Pools (used by the render data of items) ----
  CScanEdge* NewEdge();
  void FreeEdge(CScanEdge* e);
  PlayerFill* NewFill();
  void FreeFill(PlayerFill* f);
  // Rows (bitmap coordinates) outside which an item's edges are not kept.
  int32_t BandTop() const { return 0; }
  int32_t BandBottom() const;

 private:
  DisplayItem* NewItem();
  void FreeItem(DisplayItem* item);
  void AddDirty(const Rect32& r);
  void UnlinkAndFree(DisplayItem* item, DisplayItem** link);
  bool Contains(const DisplayItem* item) const;
  bool ButtonHit(DisplayItem* button, const Point32& p);
  void ScanStatusUrl(DisplayItem* button);

  // The arguments of the last SetViewTransform, which alone decide m_view.
  struct ViewInputs {
    Rect32 stage;
    WinRect window;
    bool anti_alias = false;
    uint32_t flags = 0;
    friend bool operator==(const ViewInputs&, const ViewInputs&) = default;
  };
  std::optional<ViewInputs> m_viewInputs;
  void ApplyView(const ViewInputs& inputs);
  Matrix2x3 m_view;
  uint32_t m_background = kDefaultBackground;
  int m_backgroundPriority = 0;
  COffscreenBitmap* m_bitmap = nullptr;
  bool m_antiAlias = false;
  bool m_moving = false;
  Rect32 m_dirty;
  Rect32 m_refresh;
  CScanConverter m_converter;
  DisplayItem* m_items = nullptr;
  int32_t m_itemCount = 0;
  DisplayItem* m_tracked = nullptr;
  uint16_t m_trackedState = 0;
  uint32_t m_trackedKey = 0;
  char m_statusUrl[kStatusUrlSize] = {};
  int m_nesting = 0;
  int m_stateChanges = 0;
  BlockPool m_edgePool;
  BlockPool m_itemPool;
  BlockPool m_fillPool;
  int32_t m_edgeCount = 0;
  int32_t m_fillCount = 0;
};
