// CPicObj: every node of a page's drawing tree (the page root, layers, key
// frames and the drawing objects inside key frames).
//
// Children form a doubly linked list in drawing order: drawing, extents,
// enumeration and transformation run from the first child along next; hit
// testing runs from the last child along prev (topmost first).
//
// Every mutator saves the object's state into the open edit step (at most
// once per step, marked by the saved-in-step flag) before it changes a field,
// and marks the change area so that the views redraw exactly what changed.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"
#include "model/edit_step.h"
#include "model/extent.h"
#include "platform/core/archive.h"

class CDocumentPage;
class CExportCollector;
class CPicObj;
class CRenderContext;
struct CExportNode;
struct PointList;

// The owner of weak references (a view): told when an object leaves and
// when an object it watches has changed.
class CPicObjRefOwner {
 public:
  virtual ~CPicObjRefOwner() = default;
  virtual void OnObjectRemoved(CPicObj* obj) = 0;
  virtual void OnFramesChanged(const CExtent& change) = 0;
};

// A weak reference that a view holds on an object.
class CPicObjRef {
 public:
  CPicObjRef() = default;
  ~CPicObjRef() { Release(); }
  CPicObjRef(const CPicObjRef&) = delete;
  CPicObjRef& operator=(const CPicObjRef&) = delete;

  // Sets the owner and flag; no target.
  void Init(CPicObjRefOwner* owner, int32_t wantsChanges);
  // Releases the old target and registers on the new one (null: none).
  void Set(CPicObj* target);
  // Unlinks from the target's list; clears target and next.
  void Release();
  CPicObj* GetTarget() const { return m_target; }

  CPicObjRefOwner* m_owner = nullptr;
  CPicObjRef* m_next = nullptr;  // next reference on the same object
  CPicObj* m_target = nullptr;
  int32_t m_wantsChanges = 0;
};

class CPicObj : public CObject {
 public:
  // Flag byte.
  static constexpr uint8_t kSelected = 0x1;
  static constexpr uint8_t kLocked = 0x2;
  static constexpr uint8_t kBackground = 0x4;
  static constexpr uint8_t kPlainDrawing = 0x8;
  static constexpr uint8_t kOldBounds = 0x10;      // old bounds recorded in change
  static constexpr uint8_t kChildChanged = 0x20;   // a descendant has pending changes
  static constexpr uint8_t kMark = 0x40;           // scratch mark of the reordering commands
  static constexpr uint8_t kSavedInStep = 0x80;    // saved in the open edit step
  static constexpr uint8_t kRestoredFlags = 0x0F;  // the bits a saved state keeps

  static constexpr int32_t kCenterUnset = INT32_MIN;
  // BreakApart's argument that only asks whether breaking apart is possible.
  static constexpr int32_t kBreakApartQuery = -32000;

  // Kinds of saved state.
  enum SaveKind { kChanged = 0, kInserted = 1, kTakenOut = 2 };
  // AddChild modes.
  enum AddMode { kAddLast = 0, kAddFirst = 1, kAddAfter = 2, kAddBefore = 3 };

  // A new object: no links, nothing pending, centre unset; recorded as newly
  // inserted when an edit step is open.
  CPicObj();
  // Releases the references held on the object, unlinks it from its siblings
  // (without undo), deletes its children and takes it off the load chain.
  ~CPicObj() override;
  CPicObj(const CPicObj&) = delete;
  CPicObj& operator=(const CPicObj&) = delete;

  // The base record: version, packed flags, children, centre. Reading puts
  // the object on the load chain first.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  // Called once before an object owned by a discarded undo step is deleted.
  virtual void OnDiscard();
  // Adds the object's bounds within the query's frame window.
  virtual void CollectExtent(CExtentQuery& q);
  virtual void Draw(CRenderContext& rc);
  // Hands the object's drawing to an export collector.
  virtual void EnumShapes(CExportCollector& collector);
  virtual void Transform(const Matrix2x3& m);
  // kBreakApartQuery asks (1 possible, 0 not); other values perform it (1 done).
  virtual int32_t BreakApart(int32_t arg);
  // The centre; when unset, the centre of the exact bounds (the origin for
  // empty bounds).
  virtual void GetCenter(Point32& out);
  // Maps a page frame number into the object's own time.
  virtual int32_t MapFrame(int32_t frame);
  // The smallest frame after f at which the drawing may differ; 16000 = never.
  virtual int32_t NextChange(int32_t f);
  // Takes the object out of the tree under undo (deleted at once when no
  // edit step is open, so the caller must not touch it afterwards).
  virtual void DeleteFromParent();
  // 1: about to change; 2: a descendant changed; 3: just placed.
  virtual void Invalidate(int32_t kind);
  // Nonzero when the probe hits.
  virtual int32_t HitTest(const CHitTest& probe);
  // Folds pending changes into the change area.
  virtual void UpdateExtent();
  // Lasso classification: 0 no answer, 1 outside, 2 inside, 3 partly inside.
  virtual int32_t ClassifyInRect(const PointList& lasso, int32_t frame);
  // Writes the object's matrix (identity for the base) and returns 1 when it has one.
  virtual int32_t GetMatrix(Matrix2x3& out);
  virtual void OnChildAdded(CPicObj* child);
  virtual void OnChildRemoved(CPicObj* child);

  // ---- tree ----
  CPicObj* GetParent() const { return m_parent; }
  CPicObj* GetNext() const { return m_next; }
  CPicObj* GetPrev() const { return m_prev; }
  CPicObj* GetFirstChild() const { return m_firstChild; }
  CPicObj* GetLastChild() const { return m_lastChild; }
  // Links child in (mode 0 last, 1 first, 2 after sibling, 3 before sibling),
  // saving the state of everything whose links change. A child that still has
  // a parent is taken out of it first.
  void AddChild(CPicObj* child, int mode = kAddLast, CPicObj* sibling = nullptr);
  // Unlinks the object from its parent under undo; nothing without a parent.
  void RemoveFromParent();
  // The document page owning the tree (root a CPicPage), else null.
  CDocumentPage* GetDocumentPage() const;
  // The document page of the nearest page root among the object and its
  // ancestors, else null.
  CDocumentPage* FindDocumentPage() const;

  // ---- flags and centre ----
  uint8_t GetFlags() const { return m_flags; }
  bool IsSelected() const { return (m_flags & kSelected) != 0; }
  bool IsLocked() const { return (m_flags & kLocked) != 0; }
  bool IsPlainDrawing() const { return (m_flags & kPlainDrawing) != 0; }
  // The scratch mark of the reordering commands (never saved or stored).
  void SetMark(bool on) { m_flags = static_cast<uint8_t>(on ? m_flags | kMark : m_flags & ~kMark); }
  void SetSelected(bool selected);
  void SetAttributeFlags(bool locked, bool background);
  // Sets the plain-drawing bit.
  void SetPlainDrawing(bool plain);
  // Stores a centre point, or with null marks it unset.
  void SetCenter(const Point32* center);
  bool HasCenter() const { return m_center.x != kCenterUnset || m_center.y != kCenterUnset; }
  const Point32& GetStoredCenter() const { return m_center; }

  // ---- bounds and time ----
  void GetBounds(Rect32& out);       // visual bounds: line widths and centre points
  void GetExactBounds(Rect32& out);  // the geometry alone
  bool IsStaticBetween(int32_t a, int32_t b);

  // ---- change bookkeeping ----
  const CExtent& GetChange() const { return m_change; }
  void AddChangeBits(int16_t bits);
  // UpdateExtent, tells the watching references, adds the change area to
  // into (when given), then resets it and clears the saved-in-step bit.
  void RecalcAndNotify(CExtent* into);
  // Saves the object's base state into the open edit step (kind 0 at most
  // once per step).
  void SaveState(int kind = kChanged);
  // Tells the owner of every reference that the object leaves.
  void NotifyRemoved();

  // ---- load chain: every object read from an archive since last forgotten ----
  // discard true deletes every object still on the chain; false forgets them.
  static void ReleaseLoadChain(bool discard);
  bool IsOnLoadChain() const { return m_loadNext != nullptr; }
  static bool IsLoadChainEmpty();
  // Sets the chain aside for a nested read (a page swapped in during a
  // transaction): the read starts with an empty chain, and afterwards what it
  // left is forgotten and the outer chain is back.
  class LoadChainScope {
   public:
    LoadChainScope();
    ~LoadChainScope();
    LoadChainScope(const LoadChainScope&) = delete;
    LoadChainScope& operator=(const LoadChainScope&) = delete;

   private:
    CPicObj* saved_;  // end marker of the set-aside chain
  };

  // ---- export collector services ----
  // Multiplies m into the collector's current matrix (m applied first).
  static void ApplyMatrix(CExportCollector& collector, const Matrix2x3& m);
  // Appends a node for obj to the collector; null when its pool is exhausted.
  static CExportNode* NewExportNode(CExportCollector& collector, CPicObj* obj);
  // Keeps obj alive until the export ends (a child of the top collector's
  // holding object); with a source, obj is remembered as what source was
  // converted to.
  static void AddToRootList(CExportCollector& collector, CPicObj* obj,
                            const CPicObj* source = nullptr);
  // What source was converted to earlier in this export; null when nothing.
  static CPicObj* FindExportConversion(CExportCollector& collector, const CPicObj* source);

  VM_DECLARE_SERIAL(CPicObj)

 protected:
  // Deletes the children from the last to the first under undo.
  void DeleteChildrenFromParent();

  CPicObj* m_parent = nullptr;
  CPicObj* m_next = nullptr;
  CPicObj* m_prev = nullptr;
  CPicObj* m_lastChild = nullptr;
  CPicObj* m_firstChild = nullptr;
  CExtent m_change;
  uint8_t m_flags = 0;
  Point32 m_center{kCenterUnset, kCenterUnset};
  CPicObjRef* m_refs = nullptr;

 private:
  friend class CPicObjRef;
  friend class CPicObjEditItem;
  struct LoadChainEnd {};
  explicit CPicObj(LoadChainEnd);
  static CPicObj& LoadChainHead();
  void PushOnLoadChain();
  void TakeOffLoadChain();
  void Unlink();  // from parent and siblings, without undo

  // Links of the load chain, a circular list through a sentinel object;
  // null when not on the chain.
  CPicObj* m_loadNext = nullptr;
  CPicObj* m_loadPrev = nullptr;
  bool m_reading = false;  // its record is being read (refused as a child of itself)
  // During a revert: the object's newest record seen so far.
  CPicObjEditItem* m_revertItem = nullptr;
  friend void RevertObjectRecords(CEditItem* items);
};

// The base saved state of a drawing object: links, flag bits 0x1-0x8, kind
// and centre. Kind 2 (taken out of the tree) owns the object.
class CPicObjEditItem : public CEditItem {
 public:
  CPicObjEditItem(CPicObj* obj, int kind);
  ~CPicObjEditItem() override;
  // Restores this record alone.
  void Restore() override;
  CPicObjEditItem* AsObjectRecord() override { return this; }

  // The passes of a revert: Prepare records the current state for the step
  // being built and marks the change while the tree is as it was; WriteBack
  // puts the saved fields back and walks nothing; Finish places the object
  // in its restored parent once every link is back.
  void Prepare();
  void WriteBack();
  void Finish();

  CPicObj* m_obj;
  CPicObj* m_parent;
  CPicObj* m_nextLink;
  CPicObj* m_prev;
  CPicObj* m_lastChild;
  CPicObj* m_firstChild;
  uint8_t m_flagBits;
  uint8_t m_kind;
  Point32 m_center;
  // The kind before an undo or redo reverted the step, so that a failed undo
  // or redo can give its step back whole.
  uint8_t m_kindBeforeRevert = 0;
  // During a revert: the object's parent before it, and whether this is the
  // object's oldest record in the step (the one whose state it ends in).
  CPicObj* m_parentBefore = nullptr;
  bool m_oldest = true;
};
