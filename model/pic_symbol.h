// CPicSymbol: an instance of a symbol placed in a drawing. This holds the
// instance's registration with its symbol page and the change notification
// the page sends when the symbol is edited.
#pragma once

#include <cstdint>

#include "model/pic_obj.h"

class CDocumentPage;

class CPicSymbol : public CPicObj {
 public:
  CPicSymbol() = default;
  // Unregisters the instance from its symbol page.
  ~CPicSymbol() override;

  // Takes the page's symbol id, registers with the page, Invalidate kind 1.
  void AttachToSymbol(CDocumentPage* symbol);
  // The symbol page was edited: stores its new extent and adds its change
  // area, mapped into the parent's coordinates, to the instance's.
  void OnSymbolChanged(const CExtent& change, const Rect32& newExtent);

  CDocumentPage* GetSymbol() const { return m_symbol; }

  // Play modes, in the order of the Symbol Properties list.
  enum PlayMode { kLoop = 0, kPlayOnce = 1, kSingleFrame = 2 };
  // The symbol's frame count (its root page's length); 0 when missing.
  int32_t SymbolFrameCount() const;
  // The symbol frame shown at frame f of the parent's time: 0 when the
  // symbol is missing; Loop (f + firstFrame) mod n (floor modulo, so frames
  // below 0 wrap too); Play Once min(f + firstFrame, n - 1); Single Frame
  // firstFrame.
  int32_t LocalFrame(int32_t f) const;
  // The next frame after f at which the instance may show something else.
  int32_t NextChange(int32_t f) override;

  int32_t m_symbolId = 0;
  Matrix2x3 m_matrix;
  CExtent m_symbolExtent;    // the symbol's last reported extent, symbol coordinates
  int32_t m_firstFrame = 0;  // symbol frame shown at local frame 0
  int32_t m_playMode = kLoop;

 private:
  friend class CDocumentPage;
  CDocumentPage* m_symbol = nullptr;     // set by the page while registered
  CPicSymbol* m_nextInstance = nullptr;  // the page's list of its instances

  VM_DECLARE_DYNAMIC(CPicSymbol)
};
