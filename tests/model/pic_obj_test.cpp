#include "model/pic_obj.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/stored_object.h"

namespace {

Rect32 R(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  return Rect32{x0, x1, y0, y1};
}

// The flags that must be clear once the changes were collected.
void ExpectSettled(const CPicObj* obj) {
  constexpr uint8_t pending = CPicObj::kOldBounds | CPicObj::kChildChanged | CPicObj::kSavedInStep;
  EXPECT_EQ(obj->GetFlags() & pending, 0) << DumpTree(obj);
  for (const CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) ExpectSettled(c);
}

// root { G #1 { A #2 [0..10 x 0..10], B #3 [100..110 x 0..10] } }; full
// bounds grow each box by 10.
struct Tree {
  std::unique_ptr<CPicObj> root = std::make_unique<CPicObj>();
  CTestBox* g = new CTestBox(1);
  CTestBox* a = new CTestBox(2, R(0, 10, 0, 10));
  CTestBox* b = new CTestBox(3, R(100, 110, 0, 10));
  Tree() {
    root->AddChild(g);
    g->AddChild(a);
    g->AddChild(b);
    root->RecalcAndNotify(nullptr);
  }
};

struct InvalidateCase {
  const char* name;
  std::function<void(Tree&)> ops;
  Rect32 rect;  // collected change area
  int32_t first, last;
  int16_t bits;
};

TEST(PicObjTest, InvalidateSequencesCollectTheRightArea) {
  const InvalidateCase cases[] = {
      {"nothing changed", [](Tree&) {}, Rect32{}, 0, 0, 0},
      {"a move records old and new bounds",
       [](Tree& t) {
         t.a->Invalidate(1);
         t.a->m_box = R(50, 60, 500, 510);
       },
       R(-10, 70, -10, 520), 0, 16000, 0},
      {"two invalidates before an update keep the first bounds",
       [](Tree& t) {
         t.a->Invalidate(1);
         t.a->m_box = R(50, 60, 500, 510);
         t.a->Invalidate(1);
         t.a->m_box = R(200, 210, 0, 10);
       },
       R(-10, 220, -10, 20), 0, 16000, 0},
      {"a placed object records only its new bounds",
       [](Tree& t) { t.g->AddChild(new CTestBox(4, R(300, 310, 300, 310))); },
       R(290, 320, 290, 320), 0, 16000, 0},
      {"a removed object records its old bounds",
       [](Tree& t) {
         t.b->RemoveFromParent();
         delete t.b;
       },
       R(90, 120, -10, 20), 0, 16000, 0},
      {"a selected group's frame marker moves with a changed child",
       [](Tree& t) {
         t.g->SetSelected(true);
         t.root->RecalcAndNotify(nullptr);
         t.a->Invalidate(1);
         t.a->m_box = R(0, 10, 40, 50);
       },
       R(-10, 120, -10, 60), 0, 16000, 0},
      {"an unselected group passes the change on",
       [](Tree& t) {
         t.a->Invalidate(1);
         t.a->m_box = R(0, 10, 40, 50);
       },
       R(-10, 20, -10, 60), 0, 16000, 0},
      {"a selected group just placed still collects a child's change",
       [](Tree& t) {
         t.g->SetSelected(true);
         t.g->RemoveFromParent();
         t.root->RecalcAndNotify(nullptr);
         t.root->AddChild(t.g);
         t.a->Invalidate(1);
         t.a->m_box = R(0, 10, 40, 50);
       },
       R(-10, 120, -10, 60), 0, 16000, 0},
      {"change bits alone", [](Tree& t) { t.b->AddChangeBits(4); }, Rect32{}, 0, 0, 4},
      {"a centre point widens the full bounds",
       [](Tree& t) {
         Point32 c{300, 5};
         t.a->SetCenter(&c);
       },
       R(-10, 300, -10, 20), 0, 16000, 0},
      {"an invalidate of an unknown kind does nothing", [](Tree& t) { t.a->Invalidate(7); },
       Rect32{}, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tree t;
    c.ops(t);
    CExtent out;
    t.root->RecalcAndNotify(&out);
    EXPECT_EQ(RectText(out.rect), RectText(c.rect));
    EXPECT_EQ(out.firstFrame, c.first);
    EXPECT_EQ(out.lastFrame, c.last);
    EXPECT_EQ(out.changeBits, c.bits);
    ExpectSettled(t.root.get());
    EXPECT_TRUE(t.root->GetChange().IsEmpty());
  }
}

TEST(PicObjTest, ExtentsHonourFrameWindowsAndFullFlag) {
  CPicObj root;
  auto* early = new CTestBox(1, R(0, 10, 0, 10), 0, 4);
  auto* late = new CTestBox(2, R(100, 110, 0, 10), 5, 9);
  root.AddChild(early);
  root.AddChild(late);
  Point32 c{50, 50};
  root.SetCenter(&c);

  CExtentQuery q;
  q.windowFirst = 6;
  q.windowLast = 20;
  root.CollectExtent(q);
  // The late box and the centre (present over the whole window).
  EXPECT_EQ(RectText(q.rect), RectText(R(50, 120, -10, 50)));
  EXPECT_EQ(q.foundFirst, 6);
  EXPECT_EQ(q.foundLast, 20);

  Rect32 exact, full;
  root.GetExactBounds(exact);
  root.GetBounds(full);
  EXPECT_EQ(RectText(exact), RectText(R(0, 110, 0, 10)));  // no line widths, no centre
  EXPECT_EQ(RectText(full), RectText(R(-10, 120, -10, 50)));
}

TEST(PicObjTest, CentreIsDefinedForEveryObject) {
  CPicObj empty;
  Point32 p{1, 1};
  empty.GetCenter(p);
  EXPECT_EQ(p, (Point32{0, 0}));  // empty bounds: the origin, not the sentinel's midpoint

  CTestBox box(1, R(0, 11, -20, -9));
  box.GetCenter(p);
  EXPECT_EQ(p, (Point32{5, -15}));  // exact bounds, halves rounded down

  CTestBox far(2, R(INT32_MAX - 10, INT32_MAX, INT32_MIN + 1, INT32_MIN + 11));
  far.GetCenter(p);
  EXPECT_EQ(p, (Point32{INT32_MAX - 5, INT32_MIN + 6}));  // no overflow

  Point32 set{7, 8};
  box.SetCenter(&set);
  box.GetCenter(p);
  EXPECT_EQ(p, set);
  box.SetCenter(nullptr);
  EXPECT_FALSE(box.HasCenter());
}

TEST(PicObjTest, SelectionAndAttributeFlags) {
  CPicObj obj;
  obj.SetAttributeFlags(true, false);
  obj.SetSelected(true);
  EXPECT_FALSE(obj.IsSelected());  // a locked object is never selected

  obj.SetAttributeFlags(false, true);
  obj.SetSelected(true);
  EXPECT_TRUE(obj.IsSelected());
  EXPECT_EQ(obj.GetFlags() & 0x0F, CPicObj::kSelected | CPicObj::kBackground);

  obj.SetAttributeFlags(true, true);  // locking deselects
  EXPECT_EQ(obj.GetFlags() & 0x0F, CPicObj::kLocked | CPicObj::kBackground);

  obj.SetPlainDrawing(true);
  EXPECT_TRUE(obj.IsPlainDrawing());
  obj.SetMark(true);
  EXPECT_EQ(obj.GetFlags() & CPicObj::kMark, CPicObj::kMark);
}

TEST(PicObjTest, TimeAndClassificationCombineChildren) {
  CPicObj lone;
  EXPECT_EQ(lone.NextChange(3), 16000);
  alignas(16) unsigned char lassoStorage[64] = {};
  const auto& lasso = *reinterpret_cast<const PointList*>(lassoStorage);  // never read by these
  EXPECT_EQ(lone.ClassifyInRect(lasso, 0), 0);
  EXPECT_EQ(lone.MapFrame(12), 12);
  EXPECT_EQ(lone.BreakApart(CPicObj::kBreakApartQuery), 0);
  Matrix2x3 m{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(lone.GetMatrix(m), 0);
  EXPECT_TRUE(MatrixIsIdentity(m));

  struct Case {
    std::vector<int32_t> answers;
    int32_t classify;
  };
  const Case classifyCases[] = {
      {{0, 0}, 0}, {{2, 0, 2}, 2}, {{1, 1}, 1}, {{1, 2}, 3}, {{0, 3}, 3}, {{2, 3, 1}, 3},
  };
  for (const auto& c : classifyCases) {
    CPicObj parent;
    for (int32_t a : c.answers) {
      auto* child = new CTestBox(1);
      child->m_classify = a;
      parent.AddChild(child);
    }
    EXPECT_EQ(parent.ClassifyInRect(lasso, 0), c.classify);
  }

  CPicObj parent;
  int32_t answers[] = {40, 12, 3, 9};
  for (int32_t a : answers) {
    auto* child = new CTestBox(1);
    child->m_nextChange = a;
    parent.AddChild(child);
  }
  EXPECT_EQ(parent.NextChange(10), 3);  // 3 <= f + 1 answers at once
  EXPECT_TRUE(parent.IsStaticBetween(2, 1));
  EXPECT_FALSE(parent.IsStaticBetween(1, 3));
}

TEST(PicObjTest, HitTestingAsksTheTopmostChildFirst) {
  CPicObj parent;
  parent.AddChild(new CTestBox(1, R(0, 100, 0, 100)));
  parent.AddChild(new CTestBox(2, R(50, 150, 0, 100)));
  CHitTest probe;
  probe.point = {75, 5};
  EXPECT_EQ(parent.HitTest(probe), 2);
  probe.point = {25, 5};
  EXPECT_EQ(parent.HitTest(probe), 1);
  probe.point = {500, 5};
  EXPECT_EQ(parent.HitTest(probe), 0);
}

TEST(PicObjTest, AddChildPlacesByMode) {
  CPicObj parent;
  auto* a = new CTestBox(1);
  auto* b = new CTestBox(2);
  auto* c = new CTestBox(3);
  auto* d = new CTestBox(4);
  auto* e = new CTestBox(5);
  parent.AddChild(a);                               // a
  parent.AddChild(b, CPicObj::kAddFirst);           // b a
  parent.AddChild(c, CPicObj::kAddAfter, b);        // b c a
  parent.AddChild(d, CPicObj::kAddBefore, b);       // d b c a
  parent.AddChild(e, CPicObj::kAddAfter, nullptr);  // no sibling: at the end
  EXPECT_EQ(DumpTree(&parent),
            "CPicObj(0){#4(0)[empty] #2(0)[empty] #3(0)[empty] #1(0)[empty] #5(0)[empty]}");
  CPicObj other;
  other.AddChild(c);  // taken out of its old parent first
  EXPECT_EQ(DumpTree(&parent), "CPicObj(0){#4(0)[empty] #2(0)[empty] #1(0)[empty] #5(0)[empty]}");
  EXPECT_EQ(c->GetParent(), &other);
}

struct DrawCase {
  const char* name;
  bool selected, plain, centre, parent_is_key_frame;
  std::vector<std::string> calls;
};

class PicObjDrawTest : public ModelTest {};

TEST_F(PicObjDrawTest, SelectionMarkerOnlyInTheCurrentKeyFrame) {
  const DrawCase cases[] = {
      {"unselected", false, false, false, true, {"draw #1"}},
      {"selected", true, false, false, true, {"draw #1", "frame 0,10,20,30"}},
      {"selected with centre",
       true,
       false,
       true,
       true,
       {"draw #1", "frame 0,10,20,30", "handle 4,5 3"}},
      {"plain drawing", true, true, true, true, {"draw #1"}},
      {"other key frame", true, false, true, false, {"draw #1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CPicObj frame;
    auto* box = new CTestBox(1, R(0, 10, 20, 30));
    frame.AddChild(box);
    box->SetSelected(c.selected);
    box->SetPlainDrawing(c.plain);
    if (c.centre) {
      Point32 p{4, 5};
      box->SetCenter(&p);
    }
    CRecordingContext rc;
    rc.m_currentKeyFrame = c.parent_is_key_frame ? &frame : nullptr;
    frame.Draw(rc);
    EXPECT_EQ(rc.calls, c.calls);
  }
}

TEST_F(PicObjDrawTest, CancelledPrintingStopsAfterTheCurrentChild) {
  CPicObj frame;
  frame.AddChild(new CTestBox(1));
  frame.AddChild(new CTestBox(2));
  CRecordingContext rc;
  services_.userAbort = true;
  frame.Draw(rc);  // the abort test is off
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #1", "draw #2"}));
  rc.calls.clear();
  rc.m_flags |= CRenderContext::kFlagAbortTest;
  frame.Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #1"}));
}

TEST(PicObjTest, ReferencesHearOfChangesAndRemoval) {
  CTestRefOwner watcher, follower;
  CPicObjRef watch, follow;
  watch.Init(&watcher, 1);
  follow.Init(&follower, 0);
  CPicObj root;
  auto* box = new CTestBox(1, R(0, 10, 0, 10));
  root.AddChild(box);
  root.RecalcAndNotify(nullptr);
  watch.Set(box);
  follow.Set(box);

  box->Invalidate(1);
  box->m_box = R(0, 20, 0, 10);
  root.RecalcAndNotify(nullptr);
  ASSERT_EQ(watcher.changes.size(), 1u);
  EXPECT_EQ(RectText(watcher.changes[0].rect), RectText(R(-10, 30, -10, 20)));
  EXPECT_TRUE(follower.changes.empty());  // does not want changes

  box->DeleteFromParent();  // no edit step: deleted at once
  EXPECT_EQ(watcher.removed, std::vector<CPicObj*>{box});
  EXPECT_EQ(follower.removed, std::vector<CPicObj*>{box});
  EXPECT_EQ(watch.GetTarget(), nullptr);  // the destructor released them
  EXPECT_EQ(follow.GetTarget(), nullptr);
  EXPECT_EQ(root.GetFirstChild(), nullptr);
}

TEST(PicObjTest, DeletingChildrenCopesWithChildrenThatFreeThemselves) {
  CPicObj root;
  auto* group = new CTestBox(1);
  root.AddChild(group);
  for (int i = 0; i < 5; ++i) group->AddChild(new CTestBox(10 + i));
  size_t before = CTestBox::Live().size();
  group->DeleteFromParent();  // each child is freed by its own call
  EXPECT_EQ(CTestBox::Live().size(), before - 6);
  EXPECT_EQ(root.GetFirstChild(), nullptr);
}

// ---- stored form ------------------------------------------------------------------

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  return {v.begin(), v.end()};
}

TEST(PicObjStoreTest, BaseRecordBytes) {
  CPicObj parent;
  parent.AddChild(new CPicObj);
  parent.SetPlainDrawing(true);
  parent.SetSelected(true);
  Point32 c{5, -1};
  parent.SetCenter(&c);
  auto expected =
      Bytes({0xFF, 0xFF, 1,    0,    7,    0,    'C',  'P',  'i', 'c', 'O', 'b', 'j',  // new class
             1,    0x03,                                      // version, plain|selected
             0x01, 0x80,                                      // child of class 1
             1,    0x00, 0x00, 0x00,                          // no grandchildren
             0,    0,    0,    0x80, 0,    0,    0,    0x80,  // child centre unset
             0x00, 0x00,                                      // end of children
             5,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(StoreObjectBytes(&parent), expected);

  CPicObj::ReleaseLoadChain(false);
  std::unique_ptr<CObject> back(LoadObjectBytes(expected));
  auto* obj = dynamic_cast<CPicObj*>(back.get());
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(DumpTree(obj), DumpTree(&parent));
  EXPECT_TRUE(obj->IsOnLoadChain());
  EXPECT_TRUE(obj->GetFirstChild()->IsOnLoadChain());
  CPicObj::ReleaseLoadChain(false);
  EXPECT_FALSE(obj->IsOnLoadChain());
  EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
}

TEST(PicObjStoreTest, FailedReadsAreFreedThroughTheLoadChain) {
  CPicObj parent;
  for (int i = 0; i < 3; ++i) {
    auto* box = new CTestBox(i, R(i, i, i, i));
    box->AddChild(new CTestBox(10 + i));
    parent.AddChild(box);
  }
  auto bytes = StoreObjectBytes(&parent);
  size_t live = CTestBox::Live().size();
  for (size_t cut = 1; cut < bytes.size(); cut += 7) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    CPicObj::ReleaseLoadChain(false);
    EXPECT_THROW(LoadObjectBytes(part), CArchiveException) << cut;
    CPicObj::ReleaseLoadChain(true);
    EXPECT_EQ(CTestBox::Live().size(), live) << cut;
    EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
  }
}

TEST(PicObjStoreTest, BackReferencesThatWouldMakeAGraphAreRefused) {
  const std::vector<uint8_t> header = {0xFF, 0xFF, 1, 0, 7, 0, 'C', 'P', 'i', 'c', 'O', 'b', 'j'};
  struct Case {
    const char* name;
    std::vector<uint8_t> record;
  };
  const Case cases[] = {
      // The object (index 2) lists itself as its child.
      {"itself", {1, 0, 0x02, 0x00}},
      // Its child (index 3) lists the object as a child.
      {"its parent", {1, 0, 0x01, 0x80, 1, 0, 0x02, 0x00}},
      // A child listed twice.
      {"a child twice", {1, 0, 0x01, 0x80, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = header;
    bytes.insert(bytes.end(), c.record.begin(), c.record.end());
    CPicObj::ReleaseLoadChain(false);
    try {
      LoadObjectBytes(bytes);
      ADD_FAILURE() << "accepted";
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.m_cause, CArchiveException::badIndex);
    }
    CPicObj::ReleaseLoadChain(true);
  }
}

// ---- export collector ---------------------------------------------------------------

TEST(PicObjExportTest, CollectorMatrixAndNodes) {
  CTestCollector top;
  MatrixSetTranslation(top.m_matrix, 100, 0);
  CSavedTransform saved;
  saved.Save(top);
  Matrix2x3 scale;
  MatrixSetScale(scale, 2 * kFixedOne, 2 * kFixedOne);
  CPicObj::ApplyMatrix(top, scale);  // the given matrix applies first
  Point32 p;
  MatrixTransformPoint(top.m_matrix, {1, 0}, p);
  EXPECT_EQ(p, (Point32{102, 0}));
  top.m_frame = 9;
  saved.Restore(top);
  EXPECT_EQ(top.m_matrix.tx, 100);
  EXPECT_EQ(top.m_frame, 0);

  CPicObj root;
  auto* a = new CTestBox(1);
  a->AddChild(new CTestBox(2));
  root.AddChild(a);
  root.AddChild(new CTestBox(3));
  root.EnumShapes(top);
  ASSERT_EQ(top.nodes.size(), 3u);
  EXPECT_EQ(top.nodes[0].id, 1);
  EXPECT_EQ(top.nodes[1].id, 2);
  EXPECT_EQ(top.nodes[2].id, 3);
}

TEST(PicObjExportTest, RootListKeepsExportObjectsUntilTheExportEnds) {
  size_t live = CTestBox::Live().size();
  {
    CTestCollector top;
    CTestCollector inner;
    inner.m_parent = &top;
    auto* made = new CTestBox(7);
    CPicObj::AddToRootList(inner, made);
    CPicObj::AddToRootList(top, new CTestBox(8));
    EXPECT_NE(made->GetParent(), nullptr);
    EXPECT_EQ(made->GetParent()->GetLastChild()->GetPrev(), made);
    EXPECT_EQ(CTestBox::Live().size(), live + 2);
  }
  EXPECT_EQ(CTestBox::Live().size(), live);
}

}  // namespace
