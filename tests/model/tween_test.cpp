// Motion tweens of key frames: the easing curve, the shorter turn, scaling,
// key frames that cannot tween, drawing, export and hit testing of the
// tweened child, and the key frame record.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/file.h"

namespace {

constexpr int32_t kMotion = CPicFrame::kTweenMotion;

double Degrees(Fixed a) {
  return a / 65536.0;
}

// The difference of two angles folded into -180..180.
double AngleDiff(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

// A group (a shape without geometry) placed by m, its centre at c.
CPicShape* Group(const Matrix2x3& m, Point32 c) {
  auto* s = new CPicShape;
  s->SetShapeMatrix(m);
  s->SetCenter(&c);
  return s;
}

Matrix2x3 RotationBy(double degrees) {
  Matrix2x3 m;
  MatrixSetRotation(m, static_cast<Fixed>(std::lround(degrees * 65536)));
  return m;
}

class TweenTest : public ModelTest {
 protected:
  // Two key frames: the first of `length` frames tweening to the second.
  void Build(int32_t length, int32_t tween, CPicObj* from, CPicObj* to) {
    layer_.reset(MakeLayer({length, 1}));
    first_ = layer_->GetFirstFrame();
    second_ = first_->GetNextKeyFrame();
    first_->SetFrameStyle(tween);
    if (from != nullptr) first_->AddChild(from);
    if (to != nullptr) second_->AddChild(to);
    layer_->RecalcAndNotify(nullptr);  // computes the tween
  }
  std::unique_ptr<CPicLayer> layer_;
  CPicFrame* first_ = nullptr;
  CPicFrame* second_ = nullptr;
};

TEST_F(TweenTest, EasingCurveMovesTheChildAlongTheLine) {
  for (int32_t easing : {0, 100, -100, 50, -30}) {
    Build(10, kMotion, new CTestBox(1, {0, 10, 0, 10}), new CTestBox(2, {1000, 1010, 0, 10}));
    first_->SetFrameMode(easing);
    first_->ComputeTween();
    ASSERT_EQ(first_->GetTweenCount(), 10);
    double b = easing / 100.0;
    for (int i = 0; i < 10; ++i) {
      double t = i / 10.0;
      double h = b * t * t + (1 - b) * t;  // positive easing starts slowly
      const TweenEntry* e = first_->GetTweenEntry(i);
      ASSERT_NE(e, nullptr);
      EXPECT_NEAR(e->matrix.tx, 1000 * h, 2.0) << "easing " << easing << " frame " << i;
      EXPECT_EQ(e->matrix.ty, 0);
      EXPECT_EQ(e->matrix.a, kFixedOne);
      // The cached bounds are the child's full bounds moved along.
      EXPECT_EQ(e->bounds.xmin, -10 + e->matrix.tx);
      EXPECT_EQ(e->bounds.xmax, 20 + e->matrix.tx);
    }
  }
}

TEST_F(TweenTest, EasingFromOutsideIsClamped) {
  Build(4, kMotion, nullptr, nullptr);
  first_->SetFrameMode(250);
  EXPECT_EQ(first_->GetEasing(), 100);
  first_->SetFrameMode(-1000);
  EXPECT_EQ(first_->GetEasing(), -100);

  // A stored record with an easing of 300.
  first_->SetFrameMode(7);
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(first_);
    ar.Close();
  }
  std::vector<uint8_t> bytes(file.GetData().begin(), file.GetData().end());
  // The record ends with the easing and the action (version, type, three
  // empty strings, the frame).
  size_t at = bytes.size() - 7 - 2;
  ASSERT_EQ(bytes[at], 7);
  bytes[at] = 0x2C;
  bytes[at + 1] = 0x01;
  CMemFile in(bytes);
  CArchive ar(&in, CArchive::load);
  std::unique_ptr<CObject> read(ar.ReadObject(RUNTIME_CLASS(CPicFrame)));
  auto* frame = static_cast<CPicFrame*>(read.get());
  EXPECT_EQ(frame->GetEasing(), 100);
  EXPECT_EQ(frame->GetLength(), 4);
  EXPECT_EQ(frame->GetTween(), kMotion);
  CPicObj::ReleaseLoadChain(false);
}

TEST_F(TweenTest, RotationTakesTheShorterWay) {
  struct Case {
    double from, to;
  } cases[] = {{170, -170}, {-170, 170}, {10, 50}, {90, -90}};
  for (const Case& c : cases) {
    Build(4, kMotion | CPicFrame::kTweenRotate, Group(RotationBy(c.from), {0, 0}),
          Group(RotationBy(c.to), {0, 0}));
    double turn = AngleDiff(c.to, c.from);  // a half turn goes the negative way
    for (int i = 0; i < 4; ++i) {
      Matrix2x3 whole;  // the child's own matrix, then the tween's
      MatrixConcat(RotationBy(c.from), first_->GetTweenEntry(i)->matrix, whole);
      double angle = Degrees(FixedAtan2(whole.b, whole.a));
      EXPECT_NEAR(AngleDiff(angle, c.from + turn * i / 4), 0, 0.1)
          << c.from << " to " << c.to << " frame " << i;
      EXPECT_NEAR(whole.tx, 0, 1);
      EXPECT_NEAR(whole.ty, 0, 1);
    }
  }
  // 170 to -170 turns through 20 degrees: 5 per frame.
  Build(4, kMotion | CPicFrame::kTweenRotate, Group(RotationBy(170), {0, 0}),
        Group(RotationBy(-170), {0, 0}));
  Matrix2x3 whole;
  MatrixConcat(RotationBy(170), first_->GetTweenEntry(2)->matrix, whole);
  EXPECT_NEAR(std::fabs(Degrees(FixedAtan2(whole.b, whole.a))), 180, 0.1);
}

TEST_F(TweenTest, ScaleAndPositionInterpolate) {
  Matrix2x3 small, large;
  MatrixSetScale(small, kFixedOne, kFixedOne);
  MatrixSetScale(large, 3 * kFixedOne, kFixedOne);
  large.tx = 400;
  Build(2, kMotion | CPicFrame::kTweenScale, Group(small, {0, 0}), Group(large, {400, 0}));
  Matrix2x3 whole;
  MatrixConcat(small, first_->GetTweenEntry(1)->matrix, whole);
  EXPECT_NEAR(whole.a / 65536.0, 2.0, 0.01);
  EXPECT_NEAR(whole.d / 65536.0, 1.0, 0.01);
  EXPECT_NEAR(whole.tx, 200, 1);  // the centre half way

  // Without the scale flag the start scale stays.
  Build(2, kMotion | CPicFrame::kTweenRotate, Group(small, {0, 0}), Group(large, {400, 0}));
  MatrixConcat(small, first_->GetTweenEntry(1)->matrix, whole);
  EXPECT_NEAR(whole.a / 65536.0, 1.0, 0.01);
}

TEST_F(TweenTest, KeyFramesThatCannotTweenDrawTheirContent) {
  // A key frame of length 1 caches one entry and draws its plain content.
  Build(1, kMotion, new CTestBox(1, {0, 10, 0, 10}), new CTestBox(2, {100, 110, 0, 10}));
  first_->AddChild(new CTestBox(3, {0, 10, 0, 10}));
  first_->ComputeTween();
  EXPECT_EQ(first_->GetTweenCount(), 1);
  EXPECT_FALSE(first_->IsTweenBroken());
  CRecordingContext rc;
  rc.m_currentFrame = 0;
  layer_->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #1", "draw #3"}));

  // The last key frame has nothing to tween to.
  second_->SetFrameStyle(kMotion);
  second_->SetLength(3);
  second_->AddChild(new CTestBox(4, {0, 10, 0, 10}));
  layer_->RecalcAndNotify(nullptr);
  EXPECT_TRUE(second_->IsTweenBroken());
  rc.calls.clear();
  rc.m_currentFrame = 2;
  layer_->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #2", "draw #4"}));
  EXPECT_EQ(layer_->NextChange(1), 2);  // a tweened key frame changes every frame
}

TEST_F(TweenTest, TweenedFramesDrawExportAndHitOnlyTheMovedChild) {
  Build(4, kMotion, new CTestBox(1, {0, 10, 0, 10}), new CTestBox(2, {400, 410, 0, 10}));
  first_->AddChild(new CTestBox(3, {0, 10, 0, 10}));  // not tweened: only the first child is
  layer_->RecalcAndNotify(nullptr);
  CRecordingContext rc;
  rc.recordFrames = true;
  rc.m_currentFrame = 2;
  layer_->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"matrix 200,0", "draw #1 @2"}));
  EXPECT_EQ(rc.m_matrix, Matrix2x3{});  // the state was restored
  rc.calls.clear();
  rc.m_currentFrame = 0;
  layer_->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #1 @0", "draw #3 @0"}));

  CTestCollector collector;
  collector.m_frame = 3;
  layer_->EnumShapes(collector);
  ASSERT_EQ(collector.nodes.size(), 1u);
  EXPECT_EQ(collector.nodes[0].id, 1);
  EXPECT_EQ(collector.nodes[0].matrix.tx, 300);
  EXPECT_EQ(collector.nodes[0].frame, 3);
  EXPECT_EQ(collector.m_frame, 3);
  EXPECT_EQ(collector.m_matrix, Matrix2x3{});

  CHitTest probe;
  probe.frame = 2;
  probe.point = {205, 5};
  EXPECT_EQ(layer_->HitTest(probe), 1);
  probe.point = {5, 5};
  EXPECT_EQ(layer_->HitTest(probe), 0);  // the child has moved away
  probe.frame = 0;
  EXPECT_EQ(layer_->HitTest(probe), 3);  // frame 0 shows the key frame as drawn

  // Frame by frame extent follows the moving child (the cache holds its
  // visual bounds).
  CExtentQuery q;
  q.windowFirst = 3;
  q.windowLast = 3;
  layer_->CollectExtent(q);
  EXPECT_EQ(RectText(q.rect), "290,320,-10,20");
  EXPECT_EQ(q.foundFirst, 3);
  EXPECT_EQ(q.foundLast, 3);
}

TEST_F(TweenTest, ChangesFreeTheCacheAndRepaintTheOldPositions) {
  Build(4, kMotion, new CTestBox(1, {0, 10, 0, 10}), new CTestBox(2, {400, 410, 0, 10}));
  ASSERT_EQ(first_->GetTweenCount(), 4);
  static_cast<CTestBox*>(second_->GetFirstChild())->SetBox({800, 810, 0, 10});
  EXPECT_EQ(first_->GetTweenCount(), -1);  // the next key frame's change
  CExtent change;
  layer_->RecalcAndNotify(&change);
  ASSERT_EQ(first_->GetTweenCount(), 4);
  EXPECT_EQ(first_->GetTweenEntry(2)->matrix.tx, 400);
  // Old and new positions of frames 1..3 are repainted, and the changed
  // child at frame 4; frame 0 is as it was.
  EXPECT_EQ(change.rect.xmin, 90);
  EXPECT_EQ(change.rect.xmax, 820);
  EXPECT_EQ(change.firstFrame, 1);
  EXPECT_EQ(change.lastFrame, 4);

  first_->SetFrameStyle(0);
  EXPECT_EQ(first_->GetTweenCount(), -1);
  layer_->RecalcAndNotify(nullptr);
  EXPECT_EQ(first_->GetTweenCount(), -1);  // no tween, no cache
}

TEST_F(TweenTest, CopyContentTakesTheFrameAsDrawn) {
  // A static key frame: its whole content, broken apart into the target.
  Build(4, 0, new CTestBox(1, {0, 10, 0, 10}), new CTestBox(2, {400, 410, 0, 10}));
  first_->AddChild(new CTestBox(3, {0, 10, 0, 10}));
  auto target = std::make_unique<CPicFrame>();
  first_->CopyContentTo(2, target.get());
  EXPECT_EQ(DumpTree(target.get()), "CPicFrame(0){CPicShape(9) #1(1)[0,10,0,10] #3(1)[0,10,0,10]}");

  // A motion tween: the first child alone, placed as at that frame.
  Matrix2x3 identity;
  Build(4, kMotion, Group(identity, {0, 0}), Group(identity, {400, 0}));
  first_->GetFirstChild()->AddChild(new CTestBox(5, {0, 10, 0, 10}));
  first_->AddChild(new CTestBox(6, {0, 10, 0, 10}));
  layer_->RecalcAndNotify(nullptr);
  auto moved = std::make_unique<CPicFrame>();
  first_->CopyContentTo(3, moved.get());
  ASSERT_NE(moved->GetFirstChild(), nullptr);
  EXPECT_EQ(moved->GetFirstChild()->GetNext(), nullptr);
  Matrix2x3 m;
  moved->GetFirstChild()->GetMatrix(m);
  EXPECT_EQ(m.tx, 300);
  EXPECT_EQ(moved->GetFirstChild()->GetStoredCenter(), (Point32{300, 0}));
  CPicObj::ReleaseLoadChain(false);
}

TEST_F(TweenTest, FrameRecordUndo) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  CPicFrame* frame = page->GetFirstFrame();
  CFrameAction action;
  action.type = CFrameAction::kGoto;
  action.page = "Page 2";
  action.frame = 5;
  Edit(page, [&] {
    frame->SetLength(6);
    frame->SetFrameStyle(kMotion | CPicFrame::kTweenOrient);
    frame->SetFrameMode(-40);
    frame->SetAction(action);
  });
  EXPECT_EQ(page->GetRoot()->m_frameCount, 6);
  page->Undo();
  EXPECT_EQ(frame->GetLength(), 1);
  EXPECT_EQ(frame->GetTween(), CPicFrame::kNewTween);
  EXPECT_EQ(frame->GetEasing(), 0);
  EXPECT_EQ(frame->GetAction(), CFrameAction{});
  EXPECT_EQ(page->GetRoot()->m_frameCount, 1);
  page->Redo();
  EXPECT_EQ(frame->GetLength(), 6);
  EXPECT_EQ(frame->GetEasing(), -40);
  EXPECT_EQ(frame->GetAction(), action);
  // An action alone is recorded too.
  CFrameAction stop;
  stop.type = CFrameAction::kStop;
  Edit(page, [&] { frame->SetAction(stop); });
  page->Undo();
  EXPECT_EQ(frame->GetAction(), action);
}

}  // namespace
