// Undo steps and the saved states in them, and the process-wide edit state.
//
// An edit step holds the saved states (items) that the objects took before
// they changed during one transaction, newest first. Reverting a step
// restores every item from the newest to the oldest; restoring saves the
// object's current state into the step being built, so reverting under an
// undo transaction builds the redo step and vice versa.
#pragma once

#include <cstdint>

class CDocumentPage;
class CLoadContext;

class CPicObjEditItem;

class CEditItem {
 public:
  CEditItem() = default;
  // Discarding an item may free what it owns (an object taken out of the tree).
  virtual ~CEditItem() = default;
  CEditItem(const CEditItem&) = delete;
  CEditItem& operator=(const CEditItem&) = delete;

  // Puts the saved state back, first recording the current one into the
  // open step. When a step is reverted, the content records (every item but
  // the base records of the objects) are restored after the base records
  // have put the whole tree's links back, so they may walk the tree.
  virtual void Restore() = 0;
  // The base record of a drawing object, else null.
  virtual CPicObjEditItem* AsObjectRecord() { return nullptr; }

  CEditItem* m_next = nullptr;  // the next older item of the step
};

// Restores the base records of a step's items (newest first) in passes
// that never walk a half-restored tree; defined with the drawing objects.
void RevertObjectRecords(CEditItem* items);

class CEditStep {
 public:
  CEditStep() = default;
  ~CEditStep() { DeleteItems(); }
  CEditStep(const CEditStep&) = delete;
  CEditStep& operator=(const CEditStep&) = delete;

  // Pushes an item at the head (the step takes it over).
  void AddItem(CEditItem* item) {
    item->m_next = m_items;
    m_items = item;
  }
  // Restores every item: the base records, then the content records, each
  // newest first. A heavy step makes the open step heavy.
  void Revert();
  // Deletes every item (an item that owns an object deletes it).
  void DeleteItems();

  CEditStep* m_link = nullptr;   // the next older step of the same list
  CEditItem* m_items = nullptr;  // newest first
  uint32_t m_kind = 0;           // the kind BeginEdit was given
  uint32_t m_heavy = 0;          // created or discarded an embedded object or a bitmap
  int32_t m_serial = 0;          // the page's step serial when the step was made
};

// The state of the one outermost edit transaction of the process.
struct CEditGlobals {
  CEditStep* openStep = nullptr;        // receives saved states; null = not recorded
  CDocumentPage* editPage = nullptr;    // page of the open outermost transaction
  int32_t stepSerial = 0;               // serial of the open step
  CLoadContext* loadContext = nullptr;  // the current serialisation context
  int32_t loadNesting = 0;              // page loads in progress
  uint32_t pendingLoadMessage = 0;      // string id of a load failure to report, 0 = none
  uint32_t refreshTimer = 0;            // id of the running refresh timer, 0 = none
  // Set while an aborted user step is reverted: objects it created leave the
  // tree with no step to own them, so their items keep and free them.
  bool adoptOrphans = false;
};

CEditGlobals& EditGlobals();

// Where an object took its last content record (its geometry, its frame or
// layer record): taken at most once per step. A coalesced run keeps its
// step and serial, so a record taken earlier in the run is not taken again.
struct CContentRecordMark {
  const CEditStep* step = nullptr;
  int32_t serial = 0;

  // True when a step is open and no record was taken in it yet; marks it.
  bool TakeForOpenStep() {
    const CEditGlobals& g = EditGlobals();
    if (g.openStep == nullptr || (step == g.openStep && serial == g.stepSerial)) return false;
    step = g.openStep;
    serial = g.stepSerial;
    return true;
  }
};
// Test hook: forgets the open step and every other global of the edit state.
void ResetEditGlobals();
