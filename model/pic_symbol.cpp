#include "model/pic_symbol.h"

#include <algorithm>

#include "geometry/fixed.h"
#include "model/document_page.h"
#include "model/pic_page.h"

VM_IMPLEMENT_DYNAMIC(CPicSymbol, CPicObj)

CPicSymbol::~CPicSymbol() {
  if (m_symbol == nullptr) return;
  try {
    m_symbol->RemoveInstance(this);
  } catch (...) {
    // Storing the symbol page failed while it was released; the instance is
    // unlinked already and the page keeps its contents.
  }
}

void CPicSymbol::AttachToSymbol(CDocumentPage* symbol) {
  m_symbolId = static_cast<int32_t>(symbol->m_symbolId);
  symbol->AddInstance(this);
  Invalidate(1);
}

void CPicSymbol::OnSymbolChanged(const CExtent& change, const Rect32& newExtent) {
  m_symbolExtent.Reset();
  m_symbolExtent.SetRect(newExtent);
  Invalidate(2);
  CExtent mapped = change;
  if (!change.rect.IsEmpty()) MatrixTransformRect(m_matrix, change.rect, mapped.rect);
  m_change.Add(mapped);
}

namespace {

// Floor division and modulo (n > 0): frames run down to -16000.
int64_t FloorDiv(int64_t a, int64_t n) {
  return a >= 0 ? a / n : -((-a + n - 1) / n);
}
int64_t FloorMod(int64_t a, int64_t n) {
  return a - FloorDiv(a, n) * n;
}

}  // namespace

int32_t CPicSymbol::SymbolFrameCount() const {
  if (m_symbol == nullptr || m_symbol->GetRoot() == nullptr) return 0;
  return std::max(1, m_symbol->GetRoot()->m_frameCount);
}

int32_t CPicSymbol::LocalFrame(int32_t f) const {
  const int32_t n = SymbolFrameCount();
  if (n == 0) return 0;
  const int64_t g = int64_t{f} + m_firstFrame;
  switch (m_playMode) {
    case kLoop:
      return static_cast<int32_t>(FloorMod(g, n));
    case kPlayOnce:
      return Clamp32(std::min<int64_t>(g, n - 1));
    default:
      return m_firstFrame;
  }
}

int32_t CPicSymbol::NextChange(int32_t f) {
  const int32_t n = SymbolFrameCount();
  if (n <= 1) return kFrameNever;
  CPicPage* root = m_symbol->GetRoot();
  const int64_t g = int64_t{f} + m_firstFrame;
  switch (m_playMode) {
    case kLoop: {
      const int64_t inner = root->NextChange(static_cast<int32_t>(FloorMod(g, n)));
      return Clamp32(std::min<int64_t>(n, inner) + n * FloorDiv(g, n) - m_firstFrame);
    }
    case kPlayOnce: {
      // The symbol's "never" stays never once shifted by the first frame.
      const int64_t r = int64_t{root->NextChange(Clamp32(g))} - m_firstFrame;
      return r >= int64_t{kFrameNever} - m_firstFrame ? kFrameNever : Clamp32(r);
    }
    default:
      return kFrameNever;
  }
}
