// CPicSymbol: an instance of a symbol placed in a drawing. It shows the
// symbol page's frames through its own matrix and play mode, and is
// registered with the symbol page, which tells it when the symbol changes.
// CPicButton: an instance whose symbol frames 0-3 are the Up, Over, Down
// and Hit states, carrying an action.
//
// Every descent through instances (drawing, extents, hit tests, lasso,
// export, next change) goes through CSymbolDescent: a damaged file can make
// a symbol contain itself, so a symbol already being descended into, or one
// reached past kMaxSymbolDepth nested instances, counts as missing.
#pragma once

#include <cstdint>

#include "model/frame_action.h"
#include "model/pic_obj.h"

class CDocumentPage;
class CPicPage;
class CPropertiesHost;

class CPicSymbol : public CPicObj {
 public:
  // Play modes, in the order of the Symbol Properties list.
  enum PlayMode { kLoop = 0, kPlayOnce = 1, kSingleFrame = 2 };
  // Nesting of instances that a descent follows.
  static constexpr int kMaxSymbolDepth = 16;
  // The instance record's version.
  static constexpr uint8_t kRecordVersion = 2;

  CPicSymbol() = default;
  // Unregisters the instance from its symbol page.
  ~CPicSymbol() override;

  // Base record, u8 version 2, matrix, u16 first frame, u16 play mode, then
  // the symbol: carried by value under a load context, else its u32 id.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& collector) override;
  void Transform(const Matrix2x3& m) override;
  // Copies the symbol's drawing at the instance's frame into a new shape
  // in its place.
  int32_t BreakApart(int32_t arg) override;
  // The centre when set, else the symbol's origin.
  void GetCenter(Point32& out) override;
  // The next frame after f at which the instance may show something else.
  int32_t NextChange(int32_t f) override;
  int32_t HitTest(const CHitTest& probe) override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  int32_t GetMatrix(Matrix2x3& out) override;

  // ---- the symbol ----
  // Takes the page's symbol id, registers with the page, Invalidate kind 1.
  void AttachToSymbol(CDocumentPage* symbol);
  // The symbol page was edited: stores its new extent and adds its change
  // area, mapped into the parent's coordinates, to the instance's.
  void OnSymbolChanged(const CExtent& change, const Rect32& newExtent);
  CDocumentPage* GetSymbol() const { return m_symbol; }
  // The symbol's frame count (its root page's length); 0 when missing.
  int32_t SymbolFrameCount() const;
  // The symbol frame shown at frame f of the parent's time: 0 when the
  // symbol is missing; Loop (f + firstFrame) mod n (floor modulo, so frames
  // below 0 wrap too); Play Once min(f + firstFrame, n - 1); Single Frame
  // firstFrame.
  int32_t LocalFrame(int32_t f) const;

  // ---- properties (under undo; unchanged values do nothing) ----
  void SetFirstFrame(int32_t first);
  void SetPlayMode(int32_t mode);
  int32_t GetFirstFrame() const { return m_firstFrame; }
  int32_t GetPlayMode() const { return m_playMode; }
  const Matrix2x3& GetSymbolMatrix() const { return m_matrix; }
  // Saves matrix, first frame and play mode into the open step, once per step.
  void SaveInstanceRecord();

  // Runs the Symbol Properties dialog of view and applies its answer:
  // OK sets first frame and play mode; Edit opens the symbol; Edit Copy
  // puts an instance of a copy of the symbol in this one's place and opens
  // the copy. Nothing when the symbol is missing.
  virtual void EditProperties(CPropertiesHost& view);

  int32_t m_symbolId = 0;
  Matrix2x3 m_matrix;
  CExtent m_symbolExtent;    // the symbol's last reported extent, symbol coordinates
  int32_t m_firstFrame = 0;  // symbol frame shown at local frame 0
  int32_t m_playMode = kLoop;

  VM_DECLARE_SERIAL(CPicSymbol)

 protected:
  // The instance's part of the record (after the base record) and the
  // symbol's; a button's record follows.
  void SerializeInstance(CArchive& ar);
  // Edit Copy: a copy of the symbol takes this instance's place, shown by
  // a new instance (the same matrix) that fill gives its own fields; then
  // the copy is opened. Edit opens the symbol.
  void RunEditResult(int result, CPropertiesHost& view, CPicSymbol* (*make)(const CPicSymbol&));
  // Draws as an instance showing symbol frame state's frame (state >= 0,
  // a button) or the frame the parent's frame maps to (state < 0).
  void DrawInstance(CRenderContext& rc, int32_t state);
  // The symbol root's hit test, at the symbol frame chosen as for drawing.
  int32_t HitInstance(const CHitTest& probe, int32_t state);
  // Adds the symbol root's extent over symbol frames a..b (the origin when
  // the symbol is missing), mapped through the matrix, over the given span.
  void AddSymbolExtent(CExtentQuery& q, int32_t a, int32_t b, int32_t spanFirst, int32_t spanLast);
  // The symbol frame of a button state: 0 when the symbol is missing, else
  // min(state, frame count - 1).
  int32_t StateFrame(int32_t state) const;
  // Classifies the lasso against the symbol root at a symbol frame.
  int32_t ClassifyAt(const PointList& lasso, int32_t localFrame);

 private:
  friend class CDocumentPage;
  friend class CPicSymbolEditItem;
  CDocumentPage* m_symbol = nullptr;     // set by the page while registered
  CPicSymbol* m_nextInstance = nullptr;  // the page's list of its instances
  CContentRecordMark m_saved;
};

// The saved matrix, first frame and play mode of an instance.
class CPicSymbolEditItem : public CEditItem {
 public:
  explicit CPicSymbolEditItem(CPicSymbol* inst);
  void Restore() override;

  CPicSymbol* m_inst;
  Matrix2x3 m_matrix;
  int32_t m_firstFrame;
  int32_t m_playMode;
};

class CPicButton : public CPicSymbol {
 public:
  // Button states; kHit is used for hit testing only.
  enum State { kUp = 0, kOver = 1, kDown = 2, kHit = 3 };
  static constexpr uint8_t kButtonRecordVersion = 2;

  CPicButton() = default;

  // The instance record, u8 version 2, the action record.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  void CollectExtent(CExtentQuery& q) override;
  // As an instance showing the state's frame.
  void Draw(CRenderContext& rc) override;
  // The button itself is one export node.
  void EnumShapes(CExportCollector& collector) override;
  int32_t NextChange(int32_t f) override;
  int32_t HitTest(const CHitTest& probe) override;
  // As an instance at the Up frame.
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;

  // Not recorded for undo.
  void SetState(int32_t state);
  int32_t GetState() const { return m_state; }
  // The symbol frame of a state: 0 when the symbol is missing, else
  // min(state, frame count - 1).
  int32_t ClampFrame(int32_t state) const;
  // The hit test of the Hit frame.
  int32_t HitTestHitArea(const CHitTest& probe);

  const CFrameAction& GetAction() const { return m_action; }
  // Sets the action under undo (nothing when unchanged).
  void SetAction(const CFrameAction& action);
  // Saves the action into the open step, once per step.
  void SaveButtonRecord();

  // Runs the Button Properties dialog of view: OK stores the action; Edit
  // and Edit Copy act as for an instance.
  void EditProperties(CPropertiesHost& view) override;

  VM_DECLARE_SERIAL(CPicButton)

 private:
  friend class CPicButtonEditItem;
  int32_t m_state = kUp;
  CFrameAction m_action;
  CContentRecordMark m_buttonSaved;
};

// The saved action of a button.
class CPicButtonEditItem : public CEditItem {
 public:
  explicit CPicButtonEditItem(CPicButton* button) : m_button(button), m_action(button->m_action) {}
  void Restore() override;

  CPicButton* m_button;
  CFrameAction m_action;
};

// One level of a descent into an instance's symbol. Root() is the symbol's
// root, or null when the symbol is missing, not in memory, already being
// descended into, or past kMaxSymbolDepth levels.
class CSymbolDescent {
 public:
  explicit CSymbolDescent(const CPicSymbol* inst);
  ~CSymbolDescent();
  CSymbolDescent(const CSymbolDescent&) = delete;
  CSymbolDescent& operator=(const CSymbolDescent&) = delete;

  CPicPage* Root() const { return m_root; }
  // The current depth of descents (for tests).
  static int Depth();

 private:
  CPicPage* m_root = nullptr;
  bool m_entered = false;
};
