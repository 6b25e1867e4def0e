// Symbol instances: which symbol frame an instance shows at a frame of its
// parent's time, and when that may next change, in every play mode,
// negative frames included.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_symbol.h"
#include "model_fixtures.h"

namespace {

class SymbolTest : public ModelTest {
 protected:
  // A symbol of `total` frames whose layers hold key frames of these lengths,
  // and an instance attached to it.
  void MakeSymbol(const std::vector<std::vector<int32_t>>& layers) {
    symbol_ = NewPage(doc_, true);
    CPicPage* root = symbol_->GetRoot();
    while (CPicObj* child = root->GetFirstChild()) {
      child->RemoveFromParent();
      delete child;
    }
    for (const auto& lengths : layers) root->AddChild(MakeLayer(lengths));
    root->RecalcAndNotify(nullptr);
    instance_ = std::make_unique<CPicSymbol>();
    instance_->AttachToSymbol(symbol_);
  }
  // The key frame of each layer that the instance shows at frame f.
  std::vector<CPicFrame*> Shown(int32_t f) {
    std::vector<CPicFrame*> out;
    const int32_t local = instance_->LocalFrame(f);
    for (CPicObj* c = symbol_->GetRoot()->GetFirstChild(); c != nullptr; c = c->GetNext())
      out.push_back(static_cast<CPicLayer*>(c)->FrameAt(local));
    return out;
  }

  CTestDoc doc_;
  CDocumentPage* symbol_ = nullptr;
  std::unique_ptr<CPicSymbol> instance_;
};

TEST_F(SymbolTest, LocalFramePerPlayMode) {
  MakeSymbol({{3, 4, 3}});
  ASSERT_EQ(instance_->SymbolFrameCount(), 10);
  struct Case {
    int32_t mode, first, f, local;
  } cases[] = {
      {CPicSymbol::kLoop, 7, 4, 1},  // the Part's case
      {CPicSymbol::kLoop, 7, 0, 7},          {CPicSymbol::kLoop, 7, -8, 9},
      {CPicSymbol::kLoop, 0, -1, 9},         {CPicSymbol::kLoop, 7, -16000, 7},
      {CPicSymbol::kLoop, 0, 16000, 0},      {CPicSymbol::kPlayOnce, 7, 1, 8},
      {CPicSymbol::kPlayOnce, 7, 100, 9},    {CPicSymbol::kPlayOnce, 0, -3, -3},
      {CPicSymbol::kSingleFrame, 4, 100, 4}, {CPicSymbol::kSingleFrame, 4, -5, 4},
  };
  for (const Case& c : cases) {
    instance_->m_playMode = c.mode;
    instance_->m_firstFrame = c.first;
    EXPECT_EQ(instance_->LocalFrame(c.f), c.local)
        << "mode " << c.mode << " first " << c.first << " frame " << c.f;
  }
  // A missing symbol has no frames.
  CPicSymbol missing;
  EXPECT_EQ(missing.LocalFrame(5), 0);
  EXPECT_EQ(missing.NextChange(5), kFrameNever);
}

TEST_F(SymbolTest, NothingChangesBeforeNextChange) {
  // Brute force over modes, first frames and frames from -40 to 40: every
  // frame strictly between f and NextChange(f) shows what f shows.
  for (const auto& layers : std::vector<std::vector<std::vector<int32_t>>>{
           {{3, 4, 3}}, {{1, 1, 1}, {2, 1}}, {{5}, {1, 4}}, {{7}}}) {
    MakeSymbol(layers);
    const int32_t n = instance_->SymbolFrameCount();
    for (int32_t mode : {CPicSymbol::kLoop, CPicSymbol::kPlayOnce, CPicSymbol::kSingleFrame}) {
      for (int32_t first = 0; first < n; ++first) {
        instance_->m_playMode = mode;
        instance_->m_firstFrame = first;
        for (int32_t f = -40; f <= 40; ++f) {
          const int32_t next = instance_->NextChange(f);
          ASSERT_GT(next, f) << "mode " << mode << " first " << first << " f " << f;
          const auto shown = Shown(f);
          for (int32_t k = f + 1; k < next && k <= f + 60; ++k)
            ASSERT_EQ(Shown(k), shown)
                << "mode " << mode << " first " << first << " f " << f << " k " << k;
        }
      }
    }
    instance_.reset();
  }
}

TEST_F(SymbolTest, PlayOncePastTheEndNeverChanges) {
  MakeSymbol({{3, 4, 3}});
  instance_->m_playMode = CPicSymbol::kPlayOnce;
  instance_->m_firstFrame = 7;
  EXPECT_EQ(instance_->NextChange(0), 3);  // the symbol's last key frame ends at its frame 10
  EXPECT_EQ(instance_->NextChange(3), kFrameNever);
  EXPECT_EQ(instance_->NextChange(15990), kFrameNever);
  EXPECT_EQ(instance_->LocalFrame(15990), 9);
}

}  // namespace
