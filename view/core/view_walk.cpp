// The object walk over the editable key frames, the frame being edited and
// the focused object.
#include <algorithm>

#include "model/edit_transaction.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_shape.h"
#include "view/core/view_state.h"

CViewObjIter::CViewObjIter(const ViewState& view, uint32_t flags) : m_view(view), m_flags(flags) {
  CPicObj* root = view.GetContextRoot();
  if (root == nullptr || (view.playing != 0 && (flags & kWalkLocked) == 0)) return;
  if (CPicObj* focus = view.GetFocusObject()) {
    m_focus = dynamic_cast<CPicShape*>(focus);
    m_state = m_focus != nullptr ? kFocus : kDone;
    return;
  }
  // The root's last layer is drawn last: it is the front one.
  m_layer = (flags & kWalkFrontToBack) != 0 ? root->GetLastChild() : root->GetFirstChild();
  m_state = m_layer != nullptr ? kNextLayer : kDone;
  if ((view.onion_flags & kOnionEditSeveral) != 0) {
    m_first = view.GetOnionFirstFrame();
    m_last = view.GetOnionLastFrame();
  } else {
    m_first = m_last = view.GetCurrentFrame();
  }
}

CPicShape* CViewObjIter::Next() {
  const bool backwards = (m_flags & kWalkFrontToBack) != 0;  // from the range's last frame
  const bool several = (m_view.onion_flags & kOnionEditSeveral) != 0;
  for (;;) {
    switch (m_state) {
      case kDone:
        return nullptr;
      case kFocus:
        m_state = kDone;
        m_frame = m_view.GetCurrentFrame();
        return m_focus;
      case kNextLayer: {
        auto* layer = dynamic_cast<CPicLayer*>(m_layer);
        const int32_t least =
            (m_flags & kWalkLocked) != 0 ? CPicLayer::kLocked : CPicLayer::kEditable;
        if (layer != nullptr && layer->GetType() >= least) {
          m_state = kNextFrame;
          m_nextFrame = backwards ? m_last : m_first;
        } else {
          m_state = kAdvanceLayer;
        }
        break;
      }
      case kAdvanceLayer:
        m_layer = backwards ? m_layer->GetPrev() : m_layer->GetNext();
        m_state = m_layer != nullptr ? kNextLayer : kDone;
        break;
      case kNextFrame: {
        const int32_t n = m_nextFrame;
        if (n < m_first || n > m_last) {
          m_state = kAdvanceLayer;
          break;
        }
        auto* layer = static_cast<CPicLayer*>(m_layer);
        int32_t offset = 0;
        CPicFrame* key = layer->FrameAt(n, &offset);
        if (key == nullptr) {
          // Past the layer's end: backwards the scan goes on from its last
          // frame, forwards nothing is left.
          int32_t end = layer->TotalLength();
          m_nextFrame = backwards ? std::min(n - 1, end - 1) : m_last + 1;
          break;
        }
        const int64_t start = int64_t{n} - offset;
        if (key->GetTweenKind() != CPicFrame::kTweenNone && offset != 0) {
          // A tweened key frame counts only at its first frame.
          m_nextFrame = backwards ? static_cast<int32_t>(start)
                                  : Clamp32(start + std::max(key->GetLength(), 1));
          break;
        }
        m_frame = several ? static_cast<int32_t>(std::max<int64_t>(start, m_first)) : n;
        m_nextFrame =
            backwards ? Clamp32(start - 1) : Clamp32(start + std::max(key->GetLength(), 1));
        return key;
      }
    }
  }
}

CPicLayer* ViewState::FindEditLayer() const {
  CPicObj* root = GetContextRoot();
  if (root == nullptr) return nullptr;
  for (CPicObj* c = root->GetFirstChild(); c != nullptr; c = c->GetNext()) {
    auto* layer = dynamic_cast<CPicLayer*>(c);
    if (layer != nullptr && layer->GetType() == CPicLayer::kCurrent) return layer;
  }
  return nullptr;
}

CPicShape* ViewState::GetEditFrame() const {
  if (playing != 0) return nullptr;
  if (CPicObj* focus = GetFocusObject()) return dynamic_cast<CPicShape*>(focus);
  CPicLayer* layer = FindEditLayer();
  if (layer == nullptr) return nullptr;
  int32_t offset = 0;
  CPicFrame* key = layer->FrameAt(current_frame_, &offset);
  if (key == nullptr) return nullptr;
  const int64_t start = int64_t{current_frame_} - offset;
  if ((onion_flags & kOnionEditSeveral) != 0 && start >= GetOnionFirstFrame()) return key;
  if (key->GetTweenKind() != CPicFrame::kTweenNone && offset != 0) return nullptr;
  return key;
}

EdgeGraph* ViewState::GetEditDrawing() const {
  CPicShape* frame = GetEditFrame();
  return frame != nullptr ? &frame->GetGeometry() : nullptr;
}

void ViewState::SetFocusObject(CPicShape* o) {
  host_.EndTextEdit();
  text_edit_.Set(nullptr);
  SelectAll(false);
  InvalidateDocRect(nullptr);
  focus_.Set(o);
  if (o != nullptr) Edit([&] { o->ApplyMatrix(); });
}

void ViewState::ClearFocusObject() {
  host_.EndTextEdit();
  text_edit_.Set(nullptr);
  if (focus_.GetTarget() == nullptr) return;
  InvalidateDocRect(nullptr);
  focus_.Set(nullptr);
}
