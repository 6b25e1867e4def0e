// CPicFrame: a key frame. It is a shape that is a child of a layer, lasts a
// number of frames, carries a frame action, and can tween its first child
// toward the first child of the next key frame along an optional motion
// path. Its own geometry is the loose drawing of the key frame; its children
// are the grouped objects, symbol instances, texts and bitmaps.
//
// Frame numbers inside a key frame are offsets from its start.
#pragma once

#include <cstdint>
#include <vector>

#include "model/frame_action.h"
#include "model/pic_shape.h"

class CPicLayer;
class CPropertiesHost;
struct EdgeGraph;

// One frame of a cached tween: the matrix the tweened child is drawn with,
// and the bounds it covers then.
struct TweenEntry {
  Matrix2x3 matrix;
  Rect32 bounds;
};

class CPicFrame : public CPicShape {
 public:
  // Tween word: low byte the kind, then the flags.
  static constexpr int32_t kTweenKindMask = 0xFF;
  static constexpr int32_t kTweenNone = 0;
  static constexpr int32_t kTweenMotion = 1;
  static constexpr int32_t kTweenOrient = 0x100;
  static constexpr int32_t kTweenScale = 0x200;
  static constexpr int32_t kTweenRotate = 0x400;
  static constexpr int32_t kNewTween = kTweenScale | kTweenRotate;
  // Easing is a percentage.
  static constexpr int32_t kEasingMin = -100;
  static constexpr int32_t kEasingMax = 100;

  CPicFrame() = default;

  // Shape record, u8 version 4, u16 length, u16 tween, i16 easing, action.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& collector) override;
  int32_t MapFrame(int32_t frame) override;
  int32_t NextChange(int32_t f) override;
  // Clears this key frame's tween cache and the previous one's first.
  void Invalidate(int32_t kind) override;
  int32_t HitTest(const CHitTest& probe) override;
  void UpdateExtent() override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  void PrepareGeometryChange() override;

  // ---- time ----
  // The first frame in the layer (0 without a layer).
  int32_t GetStartFrame();
  int32_t GetLength() const { return m_length; }
  int32_t GetEasing() const { return m_easing; }
  int32_t GetTween() const { return m_tween; }
  int32_t GetTweenKind() const { return m_tween & kTweenKindMask; }
  const CFrameAction& GetAction() const { return m_action; }
  CPicLayer* GetLayer() const;
  CPicFrame* GetNextKeyFrame() const;
  CPicFrame* GetPrevKeyFrame() const;

  // Setters under undo; each does nothing when the value is unchanged.
  void SetLength(int32_t n);
  // The easing, clamped to -100..100.
  void SetFrameMode(int32_t easing);
  // The tween word.
  void SetFrameStyle(int32_t tween);
  // The action (recorded with the frame record).
  void SetAction(const CFrameAction& action);
  // Saves length, easing, tween word and action, once per step.
  void SaveFrameRecord();
  // Runs the Frame Action dialog of view; OK stores the action under undo.
  void EditAction(CPropertiesHost& view);

  // ---- tween ----
  // Frees the cache (its rectangles go to the change area) so that the
  // next update computes it again.
  void ClearTweenCache();
  // Computes the cache when the tween kind is nonzero and there is none.
  void ComputeTween();
  int32_t GetTweenCount() const { return m_tweenCount; }
  bool IsTweenBroken() const { return m_tweenBroken != 0; }
  // The cached entry of an offset, null when none.
  const TweenEntry* GetTweenEntry(int32_t offset) const;

  // Makes the content of this key frame at page frame f into children of
  // target (a new key frame, or the shape that breaks a symbol apart).
  void CopyContentTo(int32_t f, CPicShape* target);

  VM_DECLARE_SERIAL(CPicFrame)

 private:
  friend class CPicLayer;
  friend class CPicFrameEditItem;
  // Adds the cached rectangles of offsets 1 and up to the change area.
  void AddCachedRects();
  // The geometry of the guide's key frame covering this key frame's start,
  // when the layer follows a motion guide; null otherwise.
  EdgeGraph* GuideGeometry();
  // Whether the tween draws only the first child, moved, at this offset.
  bool IsTweening(int32_t offset) const;
  // The query's window as offsets clipped to the key frame; false when empty.
  bool LocalWindow(const CExtentQuery& q, int32_t start, int32_t& first, int32_t& last) const;

  int32_t m_tween = kNewTween;
  int32_t m_length = 1;
  int32_t m_easing = 0;
  uint32_t m_start = 0;  // valid while the layer's total length is
  CFrameAction m_action;
  uint8_t m_empty = 1;
  uint8_t m_tweenBroken = 0;
  int32_t m_tweenCount = -1;  // -1: not computed
  std::vector<TweenEntry> m_tweenCache;
  CContentRecordMark m_saved;
};

// The saved frame record.
class CPicFrameEditItem : public CEditItem {
 public:
  explicit CPicFrameEditItem(CPicFrame* frame);
  void Restore() override;

  CPicFrame* m_frame;
  int32_t m_length;
  int32_t m_easing;
  int32_t m_tween;
  CFrameAction m_action;
};
