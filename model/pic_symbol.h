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

  int32_t m_symbolId = 0;
  Matrix2x3 m_matrix;
  CExtent m_symbolExtent;  // the symbol's last reported extent, symbol coordinates

 private:
  friend class CDocumentPage;
  CDocumentPage* m_symbol = nullptr;     // set by the page while registered
  CPicSymbol* m_nextInstance = nullptr;  // the page's list of its instances

  VM_DECLARE_DYNAMIC(CPicSymbol)
};
