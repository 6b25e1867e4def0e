#include "view/core/frame_change.h"

#include <algorithm>
#include <climits>

#include "model/extent.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"

namespace {

int32_t ClampFrame(int64_t f) {
  return static_cast<int32_t>(std::clamp<int64_t>(f, INT32_MIN, INT32_MAX));
}

// Adds the bounds of key within frames first..last.
void AddKeyFrame(CPicFrame* key, int32_t first, int32_t last, Rect32& out) {
  CExtentQuery q;
  q.windowFirst = first;
  q.windowLast = last;
  key->CollectExtent(q);
  RectUnion(out, q.rect, out);
}

}  // namespace

int32_t GetOnionFirstFrame(const OnionSettings& onion, int32_t current) {
  if (!onion.On()) return current;
  if (onion.relative != 0) return ClampFrame(std::max<int64_t>(0, int64_t{current} + onion.before));
  if (onion.before <= current && current <= onion.after) return std::max(0, onion.before);
  return current;
}

int32_t GetOnionLastFrame(const OnionSettings& onion, int32_t current, const CPicPage* root) {
  if (!onion.On() || root == nullptr) return current;
  int64_t last = current;
  if (onion.relative != 0) {
    last += onion.after;
  } else if (onion.before <= current && current <= onion.after) {
    last = onion.after;
  }
  return ClampFrame(std::min<int64_t>(last, int64_t{root->m_frameCount} - 1));
}

Rect32 GatherFrameChangeExtent(CPicPage* root, int32_t a, int32_t b, const OnionSettings& onion) {
  Rect32 out;
  if (root == nullptr) return out;
  int32_t first = std::min(a, b), last = std::max(a, b);
  if (onion.On()) {
    first = std::max(0, std::min(GetOnionFirstFrame(onion, a), GetOnionFirstFrame(onion, b)));
    last = std::min(std::max(GetOnionLastFrame(onion, a, root), GetOnionLastFrame(onion, b, root)),
                    root->m_frameCount - 1);
    if (first > last) return out;
  }
  for (CPicObj* child = root->GetFirstChild(); child != nullptr; child = child->GetNext()) {
    auto* layer = dynamic_cast<CPicLayer*>(child);
    if (layer == nullptr || layer->TotalLength() <= 0) continue;
    if (onion.On()) {
      // Every key frame shown around either frame.
      for (CPicFrame* key = layer->FrameAt(first); key != nullptr; key = key->GetNextKeyFrame()) {
        if (key->GetStartFrame() > last) break;
        AddKeyFrame(key, first, last, out);
      }
      continue;
    }
    CPicFrame* atA = layer->FrameAt(a);
    CPicFrame* atB = layer->FrameAt(b);
    if (atA != nullptr && !atA->IsStaticBetween(a, b)) AddKeyFrame(atA, first, last, out);
    if (atB != nullptr && atB != atA && !atB->IsStaticBetween(a, b))
      AddKeyFrame(atB, first, last, out);
  }
  return out;
}
