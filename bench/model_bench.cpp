// Playing a long layer: every frame looked up, measured, drawn and exported
// in turn, as playback and the movie export do. The indexed frame lookup
// against a plain walk from the first key frame (the peer), in the same run.
#include <benchmark/benchmark.h>

#include <memory>

#include "model/export_collector.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "render/context/render_context.h"

namespace {

constexpr int32_t kKeyFrameLength = 3;

std::unique_ptr<CPicLayer> LongLayer(int64_t keyFrames) {
  auto layer = std::make_unique<CPicLayer>();
  for (int64_t i = 0; i < keyFrames; ++i) layer->AddKeyFrame()->SetLength(kKeyFrameLength);
  layer->TotalLength();
  return layer;
}

// The lookup as a walk summing lengths from the first key frame.
CPicFrame* WalkFrameAt(CPicLayer& layer, int32_t f) {
  int64_t start = 0;
  for (CPicObj* c = layer.GetFirstChild(); c != nullptr; c = c->GetNext()) {
    auto* frame = static_cast<CPicFrame*>(c);
    start += frame->GetLength();
    if (start > f) return frame;
  }
  return nullptr;
}

void BM_PlayFrameAt(benchmark::State& state) {
  auto layer = LongLayer(state.range(0));
  int32_t total = layer->TotalLength();
  for (auto _ : state) {
    for (int32_t f = 0; f < total; ++f) benchmark::DoNotOptimize(layer->FrameAt(f));
  }
  state.SetItemsProcessed(state.iterations() * total);
}
BENCHMARK(BM_PlayFrameAt)->Arg(500)->Arg(5000);

void BM_PlayWalkPeer(benchmark::State& state) {
  auto layer = LongLayer(state.range(0));
  int32_t total = layer->TotalLength();
  for (auto _ : state) {
    for (int32_t f = 0; f < total; ++f) benchmark::DoNotOptimize(WalkFrameAt(*layer, f));
  }
  state.SetItemsProcessed(state.iterations() * total);
}
BENCHMARK(BM_PlayWalkPeer)->Arg(500)->Arg(5000);

class NullCollector : public CExportCollector {
 protected:
  CExportNode* NewNode(CPicObj*) override { return nullptr; }
};

// Per frame: the extent of the frame, drawing it, and handing it to an
// export collector.
void BM_PlayDrawAndExport(benchmark::State& state) {
  auto layer = LongLayer(state.range(0));
  int32_t total = layer->TotalLength();
  CRenderContext rc;
  NullCollector collector;
  for (auto _ : state) {
    for (int32_t f = 0; f < total; ++f) {
      CExtentQuery q;
      q.windowFirst = f;
      q.windowLast = f;
      layer->CollectExtent(q);
      rc.m_currentFrame = f;
      layer->Draw(rc);
      collector.m_frame = f;
      layer->EnumShapes(collector);
      benchmark::DoNotOptimize(q.rect);
    }
  }
  state.SetItemsProcessed(state.iterations() * total);
}
BENCHMARK(BM_PlayDrawAndExport)->Arg(500)->Arg(5000);

}  // namespace
