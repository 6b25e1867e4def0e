// CPicLayer: a layer of a page. Its children are key frames laid end to end
// in time; a layer may be the motion guide of another layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/pic_obj.h"

class CPicFrame;

class CPicLayer : public CPicObj {
 public:
  // Kinds.
  static constexpr int32_t kHidden = 0;
  static constexpr int32_t kLocked = 1;  // "Protect the layer from changes"
  static constexpr int32_t kEditable = 2;
  static constexpr int32_t kCurrent = 3;  // "Add new drawing and objects to this layer"
  // Link states.
  static constexpr int32_t kLinkNone = 0;
  static constexpr int32_t kLinkGuide = 1;   // not printed, not drawn by the page
  static constexpr int32_t kLinkGuided = 2;  // motion tweens follow the linked guide
  static constexpr int32_t kColorCount = 6;

  CPicLayer() = default;

  // Base record, u8 version 2, name, u8 kind, u8 link, linked, u8 colour index.
  void Serialize(CArchive& ar) override;
  // After a page is read: a layer's link stands only when its partner is
  // another layer of root linking back; otherwise it is cleared (a guided
  // layer becomes unlinked) and a partner that is no child of root deleted.
  static void RepairLinks(CPicObj* root);

  // ---- virtual operations ----
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& collector) override;
  int32_t NextChange(int32_t f) override;
  void DeleteFromParent() override;
  int32_t HitTest(const CHitTest& probe) override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  void OnChildAdded(CPicObj* child) override;
  void OnChildRemoved(CPicObj* child) override;

  // ---- record ----
  const std::string& GetName() const { return m_name; }
  int32_t GetType() const { return m_kind; }
  int32_t GetLinkState() const { return m_link; }
  CPicLayer* GetLinked() const { return m_linked; }
  int32_t GetColorIndex() const { return m_colorIndex; }
  // The outline colour word of the colour index.
  uint32_t GetOutlineColor() const;
  static uint32_t OutlineColor(int32_t index);

  // Setters under undo; each does nothing when the value is unchanged.
  // The name is shared along a guided layer's link to its guide.
  void SetName(std::string_view name);
  // Kind 3 takes over from the sibling that had it.
  void SetType(int32_t kind);
  void SetColorIndex(int32_t index);
  // Unlinks, then becomes a guide layer (true) or a normal one.
  void SetLinkState(bool guide);
  // Follows guide's motion path (null: unlinks).
  void LinkTo(CPicLayer* guide);
  void Unlink();
  // Saves name, kind, link state, linked layer and colour index, once per step.
  void SaveLayerRecord();

  // ---- time ----
  // The key frame covering frame f (offset f - start in *offset), null at
  // or beyond the end; a negative f gives the first key frame.
  CPicFrame* FrameAt(int32_t f, int32_t* offset = nullptr);
  // The sum of the key frames' lengths.
  int32_t TotalLength();
  CPicFrame* GetFirstFrame() const;
  CPicFrame* GetLastFrame() const;

  // ---- frames ----
  // Appends a new key frame of length 1.
  CPicFrame* AddKeyFrame();
  void InsertFrames(int32_t f, int32_t n);
  // Inserts a key frame object so that it starts at f.
  void InsertKeyFrameObject(CPicFrame* frame, int32_t f);
  // Makes f the start of a key frame; 1 when something changed, 0 when f
  // already starts one. With add, a frame past the end also gets a new key
  // frame of its own.
  int32_t SplitFrameAt(int32_t f, bool add);
  void DeleteFrames(int32_t f, int32_t n);
  // Every frame of the layer is to be redrawn and the timeline refreshed.
  void InvalidateFrames();
  // A guide layer: clears the tween caches of the guided layer's key frames
  // over frames a..b.
  void ClearLinkedTweenCaches(int32_t a, int32_t b);
  // Marks the cached starts and total length stale.
  void MarkLengthStale() { m_totalLength = -1; }

  VM_DECLARE_SERIAL(CPicLayer)

 private:
  friend class CPicLayerEditItem;
  // Recomputes every key frame's start and the total length when stale.
  void EnsureIndex();
  // Sets the link fields under undo.
  void SetLinkFields(int32_t link, CPicLayer* linked);
  // Clears the tween caches of every key frame.
  void ClearAllTweenCaches();

  std::string m_name;
  int32_t m_kind = kEditable;
  int32_t m_link = kLinkNone;
  CPicLayer* m_linked = nullptr;
  int32_t m_colorIndex = 0;
  int32_t m_totalLength = 0;  // negative: stale
  CContentRecordMark m_recordSaved;

  // The key frames in order with the end of each (start + length), for a
  // lookup by binary search. Built with the starts; checked against the
  // child list's ends.
  struct FrameSlot {
    CPicFrame* frame;
    int64_t end;
  };
  std::vector<FrameSlot> m_index;
  bool m_indexSorted = true;  // ends never decrease (no negative length)
  CPicObj* m_indexFirst = nullptr;
  CPicObj* m_indexLast = nullptr;
};

// The saved layer record.
class CPicLayerEditItem : public CEditItem {
 public:
  explicit CPicLayerEditItem(CPicLayer* layer);
  void Restore() override;

  CPicLayer* m_layer;
  std::string m_name;
  int32_t m_kind;
  int32_t m_link;
  CPicLayer* m_linked;
  int32_t m_colorIndex;
};
