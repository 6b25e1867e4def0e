// Layers and the page root: frame lookup, frame operations, kinds and guide
// links, the page's layers, and the draw order through a recording context.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/document_page.h"
#include "model/global_memory.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model_fixtures.h"

namespace {

using Lens = std::vector<int32_t>;

std::string Text(const Lens& v) {
  std::string s = "[";
  for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + std::to_string(v[i]);
  return s + "]";
}

// The lookup as a plain walk from the first key frame.
CPicFrame* ReferenceFrameAt(CPicLayer* layer, int32_t f, int32_t* offset) {
  int64_t start = 0;
  for (CPicObj* c = layer->GetFirstChild(); c != nullptr; c = c->GetNext()) {
    auto* frame = dynamic_cast<CPicFrame*>(c);
    if (frame == nullptr) continue;
    if (start + frame->GetLength() > f) {
      *offset = static_cast<int32_t>(f - start);
      return frame;
    }
    start += frame->GetLength();
  }
  return nullptr;
}

CPicFrame* FrameNo(CPicLayer* layer, int i) {
  CPicObj* c = layer->GetFirstChild();
  while (i-- > 0) c = c->GetNext();
  return static_cast<CPicFrame*>(c);
}

class LayerTest : public ModelTest {};

TEST_F(LayerTest, FrameAtFindsTheCoveringKeyFrame) {
  std::unique_ptr<CPicLayer> layer(MakeLayer({3, 0, 2}));
  struct Case {
    int32_t f;
    int index;  // -1: none
    int32_t offset;
  } cases[] = {
      {-5, 0, -5},                         // before the layer: the first key frame, negative offset
      {0, 0, 0},   {2, 0, 2},  {3, 2, 0},  // a key frame of no frames covers nothing
      {4, 2, 1},   {5, -1, 0}, {16000, -1, 0},
  };
  for (const Case& c : cases) {
    int32_t offset = 99;
    CPicFrame* got = layer->FrameAt(c.f, &offset);
    if (c.index < 0) {
      EXPECT_EQ(got, nullptr) << "f=" << c.f;
      continue;
    }
    EXPECT_EQ(got, FrameNo(layer.get(), c.index)) << "f=" << c.f;
    EXPECT_EQ(offset, c.offset) << "f=" << c.f;
  }
  EXPECT_EQ(layer->TotalLength(), 5);
  EXPECT_EQ(FrameNo(layer.get(), 2)->GetStartFrame(), 3);
}

// The indexed lookup against a plain walk while key frames are added,
// lengthened, split, deleted and moved.
TEST_F(LayerTest, FrameAtAgreesWithAWalkUnderEdits) {
  std::mt19937 rng(1234);
  std::unique_ptr<CPicLayer> layer(MakeLayer({2, 5, 1}));
  for (int step = 0; step < 400; ++step) {
    int32_t total = layer->TotalLength();
    int32_t f = static_cast<int32_t>(rng() % (total + 3));
    switch (rng() % 6) {
      case 0:
        layer->InsertFrames(f, 1 + static_cast<int32_t>(rng() % 3));
        break;
      case 1:
        layer->SplitFrameAt(f, rng() % 2 == 0);
        break;
      case 2:
        if (total > 4) layer->DeleteFrames(f, 1 + static_cast<int32_t>(rng() % 3));
        break;
      case 3: {
        CPicFrame* k = layer->FrameAt(f);
        if (k != nullptr) k->SetLength(1 + static_cast<int32_t>(rng() % 4));
        break;
      }
      case 4: {  // a key frame moved to the front
        CPicFrame* k = layer->GetLastFrame();
        if (k != nullptr) layer->AddChild(k, CPicObj::kAddFirst);
        break;
      }
      default:
        layer->AddKeyFrame();
        break;
    }
    for (int32_t g = -2; g <= layer->TotalLength() + 1; ++g) {
      int32_t want = 0, got = 0;
      CPicFrame* expected = ReferenceFrameAt(layer.get(), g, &want);
      ASSERT_EQ(layer->FrameAt(g, &got), expected)
          << "step " << step << " f=" << g << " " << Text(Lengths(layer.get()));
      if (expected != nullptr) {
        ASSERT_EQ(got, want);
      }
    }
  }
}

TEST_F(LayerTest, SplitFrameAt) {
  struct Case {
    Lens before;
    int32_t f;
    bool add;
    int32_t answer;
    Lens after;
  } cases[] = {
      {{3, 2}, 3, false, 0, {3, 2}},  // already a key frame's start
      {{3, 2}, 0, true, 0, {3, 2}},
      {{3}, -2, true, 0, {3}},  // before the layer: no place to split
      {{3, 2}, 1, false, 1, {1, 2, 2}},
      {{3, 2}, 4, false, 1, {3, 1, 1}},
      {{3, 2}, 7, false, 1, {3, 4}},  // past the end: the last key frame ends at 6
      {{3, 2}, 7, true, 1, {3, 4, 1}},
      {{3, 2}, 5, true, 1, {3, 2, 1}},
      {{}, 4, false, 1, {4}},  // an empty layer gets its first key frame
      {{}, 4, true, 1, {4, 1}},
      {{}, 0, true, 1, {1}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPicLayer> layer(MakeLayer(c.before));
    if (CPicFrame* last = layer->GetLastFrame()) last->SetFrameStyle(0x301);
    EXPECT_EQ(layer->SplitFrameAt(c.f, c.add), c.answer) << Text(c.before) << " at " << c.f;
    EXPECT_EQ(Lengths(layer.get()), c.after) << Text(c.before) << " at " << c.f;
  }
}

TEST_F(LayerTest, SplitCopiesTheTweenWordAndLeavesTheContentInFront) {
  std::unique_ptr<CPicLayer> layer(MakeLayer({6}));
  CPicFrame* frame = layer->GetFirstFrame();
  frame->SetFrameStyle(0x101);
  frame->AddChild(new CTestBox(1, {0, 10, 0, 10}));
  ASSERT_EQ(layer->SplitFrameAt(2, false), 1);
  auto* rest = frame->GetNextKeyFrame();
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->GetTween(), 0x101);
  EXPECT_EQ(rest->GetFirstChild(), nullptr);
  EXPECT_NE(frame->GetFirstChild(), nullptr);

  // A split past the end: the new key frame takes the last one's tween word.
  layer->SplitFrameAt(9, true);
  EXPECT_EQ(layer->GetLastFrame()->GetTween(), 0x101);
  std::unique_ptr<CPicLayer> empty(MakeLayer({}));
  empty->SplitFrameAt(2, true);
  EXPECT_EQ(empty->GetLastFrame()->GetTween(), 0);  // there was no last key frame
}

TEST_F(LayerTest, DeleteFrames) {
  struct Case {
    Lens before;
    int32_t f, n;
    Lens after;
  } cases[] = {
      {{3, 2, 4}, 3, 2, {3, 4}},     // a whole key frame
      {{3, 2, 4}, 1, 1, {2, 2, 4}},  // inside one
      {{3, 2, 4}, 3, 1, {3, 1, 4}},  // from a start, shorter than the key frame
      {{3, 2, 4}, 1, 4, {1, 4}},     // across a boundary
      {{3, 2, 4}, 2, 100, {2}},      // past the end: everything from f on
      {{3, 2, 4}, 0, 100, {}},      {{3, 2, 4}, 9, 3, {3, 2, 4}},  // beyond the end: nothing
      {{3, 2, 4}, 1, 0, {3, 2, 4}}, {{3}, -1, 2, {3}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPicLayer> layer(MakeLayer(c.before));
    layer->DeleteFrames(c.f, c.n);
    EXPECT_EQ(Lengths(layer.get()), c.after) << Text(c.before) << " f=" << c.f << " n=" << c.n;
  }
}

TEST_F(LayerTest, InsertFrames) {
  struct Case {
    Lens before;
    int32_t f, n;
    Lens after;
  } cases[] = {
      {{3, 2}, 1, 2, {5, 2}},  // inside a key frame: it grows
      {{3, 2}, 3, 1, {3, 3}},
      {{3, 2}, 5, 2, {3, 4}},  // at the end: the last key frame ends at f + n - 1
      {{3, 2}, 8, 1, {3, 6}},
      {{3, 2}, 1, 0, {3, 2}},
      {{}, 0, 3, {3}},  // an empty layer: one key frame of f + n frames
      {{}, 4, 1, {5}},
      {{}, 0, 0, {}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPicLayer> layer(MakeLayer(c.before));
    layer->InsertFrames(c.f, c.n);
    EXPECT_EQ(Lengths(layer.get()), c.after) << Text(c.before) << " f=" << c.f << " n=" << c.n;
  }
}

TEST_F(LayerTest, InsertKeyFrameObjectStartsItAtTheFrame) {
  struct Case {
    Lens before;
    int32_t f;
    Lens after;  // the inserted key frame has length 9
  } cases[] = {
      {{3, 2}, 0, {9, 3, 2}}, {{3, 2}, 1, {1, 9, 2, 2}}, {{3, 2}, 3, {3, 9, 2}},
      {{3, 2}, 7, {3, 4, 9}}, {{}, 2, {2, 9}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPicLayer> layer(MakeLayer(c.before));
    auto* frame = new CPicFrame;
    frame->SetLength(9);
    layer->InsertKeyFrameObject(frame, c.f);
    EXPECT_EQ(Lengths(layer.get()), c.after) << Text(c.before) << " f=" << c.f;
    EXPECT_EQ(frame->GetStartFrame(), c.f < 0 ? 0 : c.f);
  }
}

TEST_F(LayerTest, NextChangeAndExtentWalkTheKeyFrames) {
  std::unique_ptr<CPicLayer> layer(MakeLayer({3, 4}));
  CPicFrame* a = layer->GetFirstFrame();
  CPicFrame* b = a->GetNextKeyFrame();
  a->AddChild(new CTestBox(1, {0, 10, 0, 10}));
  auto* box = new CTestBox(2, {100, 110, 0, 10});
  box->m_nextChange = 2;  // changes at its own frame 2
  b->AddChild(box);
  EXPECT_EQ(layer->NextChange(0), 3);  // a static key frame: the next one's start
  EXPECT_EQ(layer->NextChange(3), 5);  // the content's change, in page frames
  box->m_nextChange = 16000;
  EXPECT_EQ(layer->NextChange(4), 7);  // nothing more: the end of the key frame
  EXPECT_EQ(layer->NextChange(7), 16000);

  CExtentQuery q;
  q.full = 0;
  q.windowFirst = 4;
  q.windowLast = 100;
  layer->CollectExtent(q);
  EXPECT_EQ(RectText(q.rect), "100,110,0,10");
  EXPECT_EQ(q.foundFirst, 4);
  EXPECT_EQ(q.foundLast, 6);
  q.Init();
  q.full = 0;
  layer->CollectExtent(q);
  EXPECT_EQ(RectText(q.rect), "0,110,0,10");
  EXPECT_EQ(q.foundFirst, 0);
  EXPECT_EQ(q.foundLast, 6);
}

class PageLayerTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    page_ = NewPage(doc_);
    root_ = page_->GetRoot();
  }
  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
  CPicPage* root_ = nullptr;
};

TEST_F(PageLayerTest, ANewPageHasOneCurrentLayerOfOneFrame) {
  CPicLayer* first = root_->GetFirstLayer();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetName(), "Layer 1");
  EXPECT_EQ(first->GetType(), CPicLayer::kCurrent);
  EXPECT_EQ(Lengths(first), Lens{1});
  EXPECT_EQ(page_->GetFirstFrame(), first->GetFirstFrame());
  EXPECT_EQ(page_->GetFirstFrame()->FindDocumentPage(), page_);
  EXPECT_EQ(root_->m_nextLayerNumber, 2);

  Edit(page_, [&] { first->InsertFrames(1, 9); });
  EXPECT_EQ(root_->m_frameCount, 10);
  CPicLayer* second = nullptr;
  Edit(page_, [&] { second = root_->AddLayer(); });
  EXPECT_EQ(root_->GetFirstChild(), second);  // at the front
  EXPECT_EQ(second->GetName(), "Layer 2");
  EXPECT_EQ(Lengths(second), Lens{10});  // as long as the page
  EXPECT_EQ(second->GetType(), CPicLayer::kCurrent);
  EXPECT_EQ(first->GetType(), CPicLayer::kEditable);  // one current layer per page

  page_->Undo();
  EXPECT_EQ(root_->GetFirstLayer(), first);
  EXPECT_EQ(first->GetType(), CPicLayer::kCurrent);
  page_->Undo();
  EXPECT_EQ(root_->m_frameCount, 1);
}

TEST_F(PageLayerTest, UndoRestoresTheLayerRecordWithItsKind) {
  CPicLayer* layer = root_->GetFirstLayer();
  Edit(page_, [&] {
    layer->SetType(CPicLayer::kHidden);
    layer->SetName("Sky");
    layer->SetColorIndex(4);
  });
  EXPECT_EQ(layer->GetOutlineColor(), 0xFF00FFFFu);
  page_->Undo();
  EXPECT_EQ(layer->GetType(), CPicLayer::kCurrent);
  EXPECT_EQ(layer->GetName(), "Layer 1");
  EXPECT_EQ(layer->GetColorIndex(), 0);
  page_->Redo();
  EXPECT_EQ(layer->GetType(), CPicLayer::kHidden);
  EXPECT_EQ(layer->GetName(), "Sky");
  Edit(page_, [&] { layer->SetType(CPicLayer::kLocked); });
  page_->Undo();
  EXPECT_EQ(layer->GetType(), CPicLayer::kHidden);
}

TEST_F(PageLayerTest, GuideLinksShareTheNameAndUndo) {
  CPicLayer* guided = root_->GetFirstLayer();
  CPicLayer* guide = nullptr;
  Edit(page_, [&] { guide = root_->AddLayer(); });
  Edit(page_, [&] { guided->LinkTo(guide); });
  EXPECT_EQ(guide->GetLinkState(), CPicLayer::kLinkGuide);
  EXPECT_EQ(guide->GetLinked(), guided);
  EXPECT_EQ(guided->GetLinkState(), CPicLayer::kLinkGuided);
  EXPECT_EQ(guided->GetLinked(), guide);

  Edit(page_, [&] { guided->SetName("Path"); });
  EXPECT_EQ(guide->GetName(), "Path");
  Edit(page_, [&] { guide->SetName("Only the guide"); });  // a guide ends the chain
  EXPECT_EQ(guided->GetName(), "Path");

  page_->Undo();
  page_->Undo();
  page_->Undo();
  EXPECT_EQ(guided->GetLinked(), nullptr);
  EXPECT_EQ(guide->GetLinked(), nullptr);
  EXPECT_EQ(guide->GetLinkState(), CPicLayer::kLinkNone);
  EXPECT_EQ(guide->GetName(), "Layer 2");
  page_->Redo();
  EXPECT_EQ(guided->GetLinked(), guide);
  EXPECT_EQ(guide->GetLinkState(), CPicLayer::kLinkGuide);

  // Deleting the guided layer unlinks its guide.
  Edit(page_, [&] { guided->DeleteFromParent(); });
  EXPECT_EQ(guide->GetLinked(), nullptr);
  EXPECT_EQ(guide->GetLinkState(), CPicLayer::kLinkNone);
  page_->Undo();
  EXPECT_EQ(guide->GetLinked(), guided);

  Edit(page_, [&] { guide->SetLinkState(true); });  // unlinks, stays a guide
  EXPECT_EQ(guide->GetLinkState(), CPicLayer::kLinkGuide);
  EXPECT_EQ(guide->GetLinked(), nullptr);
  EXPECT_EQ(guided->GetLinkState(), CPicLayer::kLinkNone);
}

TEST_F(PageLayerTest, OutlineColoursByIndex) {
  const uint32_t want[] = {0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF00FFFF, 0xFFFF00FF};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(CPicLayer::OutlineColor(i), want[i]) << i;
  EXPECT_EQ(CPicLayer::OutlineColor(200), 0xFF000000u);  // an index from a damaged file
}

TEST_F(PageLayerTest, LengthChangesReachThePageAndTheViews) {
  CPicLayer* layer = root_->GetFirstLayer();
  CTestRefOwner view;
  CPicObjRef ref;
  ref.Init(&view, 1);
  ref.Set(layer);
  Edit(page_, [&] { layer->InsertFrames(0, 4); });
  ASSERT_FALSE(view.changes.empty());
  const CExtent& c = view.changes.back();
  EXPECT_TRUE(c.changeBits & 2);
  EXPECT_EQ(c.firstFrame, 0);
  EXPECT_EQ(c.lastFrame, 16000);
  EXPECT_EQ(root_->m_frameCount, 5);
  Edit(page_, [&] { layer->DeleteFrames(2, 10); });
  EXPECT_EQ(root_->m_frameCount, 2);
  page_->Undo();
  EXPECT_EQ(Lengths(layer), Lens{5});
  EXPECT_EQ(root_->m_frameCount, 5);
}

TEST_F(PageLayerTest, DrawOrderAndExport) {
  CPicLayer* bottom = root_->GetFirstLayer();
  CPicLayer* top = nullptr;
  CPicLayer* guide = nullptr;
  Edit(page_, [&] {
    bottom->SetName("Ground");
    bottom->GetFirstFrame()->AddChild(new CTestBox(1, {0, 10, 0, 10}));
    bottom->GetFirstFrame()->AddChild(new CTestBox(2, {0, 10, 0, 10}));
    bottom->InsertFrames(0, 2);  // one key frame of frames 0..2
    top = root_->AddLayer();     // in front of the first in the child list
    top->GetFirstFrame()->AddChild(new CTestBox(3, {0, 10, 0, 10}));
    auto* second = new CPicFrame;
    second->SetLength(2);
    top->InsertKeyFrameObject(second, 1);
    top->GetLastFrame()->AddChild(new CTestBox(4, {0, 10, 0, 10}));
    guide = root_->AddLayer();
    guide->GetFirstFrame()->AddChild(new CTestBox(9, {0, 10, 0, 10}));
    guide->SetLinkState(true);
  });
  CRecordingContext rc;
  rc.m_flags |= CRenderContext::kFlagExportMarks;
  rc.recordFrames = true;
  rc.m_currentFrame = 2;
  root_->Draw(rc);
  std::vector<std::string> want = {
      "layer Layer 2", "draw #4 @1", "end layer",  // the key frame starting at 1
      "layer Ground",  "draw #1 @2", "draw #2 @2", "end layer",
  };
  EXPECT_EQ(rc.calls, want);
  EXPECT_EQ(rc.m_currentFrame, 2);

  CTestCollector collector;
  collector.m_frame = 0;
  root_->EnumShapes(collector);
  ASSERT_EQ(collector.nodes.size(), 3u);  // the guide's box is not exported
  EXPECT_EQ(collector.nodes[0].id, 3);
  EXPECT_EQ(collector.nodes[1].id, 1);
  EXPECT_EQ(collector.nodes[2].id, 2);
  EXPECT_EQ(collector.m_frame, 0);
}

TEST(GlobalMemoryTest, CopiesWholeBlocks) {
  for (size_t size : {size_t{0}, size_t{10}, size_t{65535}, size_t{65536}, size_t{70000}}) {
    GlobalHandle h = GlobalAllocBlock(size);
    ASSERT_NE(h, nullptr);
    for (size_t i = 0; i < size; ++i) h->bytes[i] = static_cast<uint8_t>(i * 7);
    GlobalHandle copy = CopyGlobalHandle(h);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->bytes, h->bytes) << size;
    FreeGlobalHandle(h);
    EXPECT_EQ(h, nullptr);
    FreeGlobalHandle(copy);
  }
  EXPECT_EQ(CopyGlobalHandle(nullptr), nullptr);
  GlobalHandle none = nullptr;
  FreeGlobalHandle(none);
}

}  // namespace
