// The onion range and the area a frame change redraws, on model pages: key
// frames that change between the two frames count, layers static between
// them add nothing, and with the onion skin every key frame of both ranges
// counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model_fixtures.h"
#include "view/core/frame_change.h"

namespace {

TEST(OnionRange, FirstAndLastFrames) {
  CPicPage root;
  root.m_frameCount = 10;
  struct Case {
    uint32_t flags;
    int32_t relative, before, after, current;
    int32_t first, last;
  } cases[] = {
      {0, 1, -2, 2, 5, 5, 5},                              // off: the current frame alone
      {kOnionOutlines, 1, -2, 2, 5, 5, 5},                 // outlines alone do not turn it on
      {kOnionShow, 1, -2, 2, 5, 3, 7},                     // relative
      {kOnionEditSeveral, 1, -2, 2, 1, 0, 3},              // never below 0
      {kOnionShow, 1, -2, 2, 9, 7, 9},                     // never past the last frame
      {kOnionShow, 1, 1, 3, 5, 6, 8},                      // a range after the current frame
      {kOnionShow, 0, 3, 8, 5, 3, 8},                      // absolute, current inside
      {kOnionShow, 0, 3, 8, 2, 2, 2},                      // absolute, current before it
      {kOnionShow, 0, 3, 8, 9, 9, 9},                      // absolute, current after it
      {kOnionShow, 0, -4, 20, 5, 0, 9},                    // cut to the page
      {kOnionShow | kOnionEditSeveral, 0, 3, 3, 3, 3, 3},  // one frame
  };
  for (const Case& c : cases) {
    const OnionSettings onion{c.flags, c.relative, c.before, c.after};
    const std::string what = std::to_string(c.flags) + " " + std::to_string(c.relative) + " " +
                             std::to_string(c.before) + ".." + std::to_string(c.after) + " @" +
                             std::to_string(c.current);
    EXPECT_EQ(GetOnionFirstFrame(onion, c.current), c.first) << what;
    EXPECT_EQ(GetOnionLastFrame(onion, c.current, &root), c.last) << what;
  }
  // Without a root the last frame is the current one.
  EXPECT_EQ(GetOnionLastFrame(OnionSettings{kOnionShow, 1, -2, 2}, 5, nullptr), 5);
  // Extreme settings do not wrap.
  EXPECT_EQ(GetOnionFirstFrame(OnionSettings{kOnionShow, 1, INT32_MIN, 0}, 5), 0);
  EXPECT_EQ(GetOnionLastFrame(OnionSettings{kOnionShow, 1, 0, INT32_MAX}, 5, &root), 9);
}

// A box whose drawing changes once, at an offset of its key frame.
class CChangingBox : public CTestBox {
 public:
  CChangingBox(int id, Rect32 box, int32_t at) : CTestBox(id, box), m_at(at) {}
  int32_t NextChange(int32_t f) override { return f < m_at ? m_at : kFrameNever; }
  int32_t m_at;
};

class FrameChangeTest : public ModelTest {
 protected:
  // A key frame's box, drawn while the key frame lasts.
  static Rect32 Box(int i) { return Rect32{i * 1000, i * 1000 + 500, 0, 500}; }
  static Rect32 Grown(const Rect32& r) {
    CExtentQuery q;
    CTestBox(0, r).CollectExtent(q);
    return q.rect;
  }

  void SetUp() override {
    ModelTest::SetUp();
    page = NewPage(doc);
    CPicPage* root = page->GetRoot();
    ASSERT_TRUE(Edit(page, [&] {
      while (root->GetFirstChild() != nullptr) root->GetFirstChild()->DeleteFromParent();
      // Layer 0: one static key frame over the page.
      // Layer 1: key frames 0..2, 3..5, 6..7, then a gap to the page's end.
      // Layer 2: key frames 0..4 and 5..9 whose box changes at frame 2.
      const std::vector<std::vector<int32_t>> lengths = {{10}, {3, 3, 2}, {5, 5}};
      int box = 0;
      for (const auto& l : lengths) {
        CPicLayer* layer = MakeLayer(l);
        root->AddChild(layer);
        for (CPicObj* f = layer->GetFirstChild(); f != nullptr; f = f->GetNext()) {
          frames.push_back(static_cast<CPicFrame*>(f));
          frames.back()->SetFrameStyle(0);
          frames.back()->AddChild(box == 4 ? new CChangingBox(box, Box(box), 2)
                                           : new CTestBox(box, Box(box)));
          ++box;
        }
      }
      root->m_frameCount = 10;
    }));
  }

  Rect32 Extent(int32_t a, int32_t b, const OnionSettings& onion = {}) {
    return GatherFrameChangeExtent(page->GetRoot(), a, b, onion);
  }
  Rect32 Union(std::initializer_list<int> boxes) {
    Rect32 r;
    for (int i : boxes) RectUnion(r, Grown(Box(i)), r);
    return r;
  }

  CTestDoc doc;
  CDocumentPage* page = nullptr;
  std::vector<CPicFrame*> frames;  // boxes 0..5 in layer order
};

TEST_F(FrameChangeTest, KeyFramesThatChangeBetweenTheFrames) {
  struct Case {
    int32_t a, b;
    std::vector<int> boxes;
  } cases[] = {
      {0, 2, {4}},           // inside one key frame of each layer; box 4 changes at 2
      {0, 1, {}},            // nothing changes before frame 2
      {3, 4, {}},            // static everywhere
      {1, 4, {1, 2, 4}},     // layer 1 changes key frame
      {4, 1, {1, 2, 4}},     // either direction
      {2, 6, {1, 3, 4, 5}},  // only the key frames shown at 2 and at 6
      {7, 8, {3}},           // into layer 1's gap
      {8, 9, {}},            // inside the gap
      {0, 9, {1, 4, 5}},
  };
  for (const Case& c : cases) {
    const Rect32 want = [&] {
      Rect32 r;
      for (int i : c.boxes) RectUnion(r, Grown(Box(i)), r);
      return r;
    }();
    EXPECT_EQ(RectText(Extent(c.a, c.b)), RectText(want)) << c.a << " -> " << c.b;
  }
}

TEST_F(FrameChangeTest, OnionSkinTakesEveryKeyFrameOfBothRanges) {
  // Frames 4 -> 5 with two frames either side: frames 2..7.
  EXPECT_EQ(RectText(Extent(4, 5, {kOnionShow, 1, -2, 2})), RectText(Union({0, 1, 2, 3, 4, 5})));
  // One frame after only: frames 8..9, layer 1's gap (the static layer still
  // counts).
  EXPECT_EQ(RectText(Extent(8, 7, {kOnionEditSeveral, 1, 1, 1})), RectText(Union({0, 5})));
  // Absolute range 0..1 around the old frame, the new one alone at 9: the
  // span between them.
  EXPECT_EQ(RectText(Extent(1, 9, {kOnionShow, 0, 0, 1})), RectText(Union({0, 1, 2, 3, 4, 5})));
  // Outlines alone are no onion skin.
  EXPECT_EQ(RectText(Extent(3, 4, {kOnionOutlines, 1, -2, 2})), RectText(Rect32{}));
}

}  // namespace
