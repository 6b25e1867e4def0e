// Symbol instances and buttons as drawing objects: drawing, hit testing,
// extents and export through the recording doubles, with the symbol present,
// missing and (as a damaged file can make it) containing itself; undo of
// their records; their stored records; breaking apart; and the property
// dialogs run by a scripted host.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/load_context.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/edge_styles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Matrix2x3 Translation(int32_t x, int32_t y) {
  Matrix2x3 m;
  m.tx = x;
  m.ty = y;
  return m;
}

// The boxes drawn by a recording context, with the frame each was drawn at.
std::vector<std::string> Drawn(const CRecordingContext& rc) {
  std::vector<std::string> out;
  for (const std::string& c : rc.calls) {
    if (c.rfind("draw", 0) == 0 || c.rfind("handle", 0) == 0 || c.rfind("frame", 0) == 0)
      out.push_back(c);
  }
  return out;
}

class SymbolObjectTest : public ModelTest {
 protected:
  // A symbol of n one-frame key frames; key frame k holds box 100 + k at
  // x = 10k..10k+5, y = 0..5.
  CDocumentPage* MakeSymbol(int n, const char* name = "Star") {
    CDocumentPage* symbol = NewPage(doc_, true);
    symbol->m_name = name;
    CPicPage* root = symbol->GetRoot();
    while (CPicObj* child = root->GetFirstChild()) {
      child->RemoveFromParent();
      delete child;
    }
    CPicLayer* layer = MakeLayer(std::vector<int32_t>(static_cast<size_t>(n), 1));
    int k = 0;
    for (CPicObj* f = layer->GetFirstChild(); f != nullptr; f = f->GetNext(), ++k) {
      f->AddChild(new CTestBox(100 + k, Rect32{10 * k, 10 * k + 5, 0, 5}));
    }
    root->AddChild(layer);
    root->RecalcAndNotify(nullptr);
    return symbol;
  }
  // A page whose first key frame holds the object.
  CPicFrame* PageFrame() {
    if (page_ == nullptr) page_ = NewPage(doc_);
    return page_->GetFirstFrame();
  }
  template <class T = CPicSymbol>
  T* Place(CDocumentPage* symbol, Matrix2x3 m = Translation(1000, 2000)) {
    auto* inst = new T;
    inst->m_matrix = m;
    PageFrame()->AddChild(inst);
    if (symbol != nullptr) inst->AttachToSymbol(symbol);
    page_->GetRoot()->RecalcAndNotify(nullptr);
    return inst;
  }
  // The bytes of an object written on its own (ids, no load context).
  static Bytes Write(CObject* obj) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(obj);
    ar.Close();
    auto d = file.GetData();
    return Bytes(d.begin(), d.end());
  }

  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
};

TEST_F(SymbolObjectTest, DrawPresentAndMissing) {
  CDocumentPage* symbol = MakeSymbol(3);
  CPicSymbol* inst = Place(symbol);
  inst->m_firstFrame = 1;

  CRecordingContext rc;
  rc.recordFrames = true;
  rc.m_currentFrame = 4;  // loop: (4 + 1) mod 3 = 2 (boxes note offsets in their key frame)
  inst->Draw(rc);
  EXPECT_EQ(Drawn(rc), (std::vector<std::string>{"draw #102 @0"}));
  EXPECT_EQ(rc.m_currentFrame, 4);
  EXPECT_TRUE(MatrixIsIdentity(rc.m_matrix));

  // Selected in the key frame being drawn: the symbol's exact bounds at the
  // shown frame, then the centre (the origin while none is set).
  inst->SetSelected(true);
  page_->GetRoot()->RecalcAndNotify(nullptr);
  rc.calls.clear();
  rc.m_currentKeyFrame = inst->GetParent();
  inst->Draw(rc);
  EXPECT_EQ(Drawn(rc),
            (std::vector<std::string>{"draw #102 @0", "frame " + RectText({20, 25, 0, 5}),
                                      "handle 1000,2000 3"}));

  // Skipped: the object to skip, and unchanged objects in a changed-only pass.
  rc.calls.clear();
  rc.m_skipObject = inst;
  inst->Draw(rc);
  rc.m_skipObject = nullptr;
  rc.m_flags |= CRenderContext::kFlagChangedOnly;
  inst->Draw(rc);
  EXPECT_TRUE(rc.calls.empty());
  rc.m_flags &= ~CRenderContext::kFlagChangedOnly;

  // Missing: a handle at the origin, white unless selected in the key frame.
  CPicSymbol* lost = Place(nullptr, Translation(50, 60));
  rc.calls.clear();
  lost->Draw(rc);
  lost->SetSelected(true);
  lost->Draw(rc);
  EXPECT_EQ(Drawn(rc), (std::vector<std::string>{"handle 0,0 17", "handle 0,0 1"}));
}

TEST_F(SymbolObjectTest, HitExtentLassoAndExport) {
  CDocumentPage* symbol = MakeSymbol(3);
  CPicSymbol* inst = Place(symbol);
  inst->m_firstFrame = 1;

  struct HitCase {
    int32_t x, y, frame, expected;
  } hits[] = {
      {1012, 2002, 0, 101},  // frame 0 shows symbol frame 1: box 101 at x 10..15
      {1012, 2002, 1, 0},    // frame 1 shows box 102 at x 20..25
      {1022, 2002, 1, 102},
      {1002, 2002, 2, 100},  // wraps to symbol frame 0
  };
  for (const HitCase& c : hits) {
    CHitTest probe;
    probe.point = {c.x, c.y};
    probe.frame = c.frame;
    EXPECT_EQ(inst->HitTest(probe), c.expected) << c.x << " @" << c.frame;
  }

  // Exact bounds over one frame, and over a window that wraps (all frames).
  CExtentQuery q;
  q.Init();
  q.full = 0;
  q.windowFirst = q.windowLast = 1;
  inst->CollectExtent(q);
  EXPECT_EQ(q.rect, (Rect32{1020, 1025, 2000, 2005}));
  q.Init();
  q.full = 0;
  q.windowFirst = 1;
  q.windowLast = 3;
  inst->CollectExtent(q);
  EXPECT_EQ(q.rect, (Rect32{1000, 1025, 2000, 2005}));
  EXPECT_EQ(q.foundFirst, 1);
  EXPECT_EQ(q.foundLast, 3);

  // The lasso is mapped into the symbol: box 101 answers at frame 0.
  static_cast<CTestBox*>(symbol->GetRoot()->GetFirstLayer()->FrameAt(1)->GetFirstChild())
      ->m_classify = 2;
  PointList lasso;
  ASSERT_EQ(PathFromRect(lasso, {0, 5000, 0, 5000}), 0);
  EXPECT_EQ(inst->ClassifyInRect(lasso, 0), 2);

  // Export: the symbol's nodes under the instance's matrix and frame.
  CTestCollector collector;
  collector.m_frame = 1;
  inst->EnumShapes(collector);
  ASSERT_EQ(collector.nodes.size(), 1u);
  EXPECT_EQ(collector.nodes[0].id, 102);
  EXPECT_EQ(collector.nodes[0].matrix.tx, 1000);
  EXPECT_EQ(collector.nodes[0].frame, 0);  // the offset in its key frame
  EXPECT_EQ(collector.m_frame, 1);
  EXPECT_TRUE(MatrixIsIdentity(collector.m_matrix));

  // Missing: a point at the origin for hits, extents and the lasso.
  CPicSymbol* lost = Place(nullptr, Translation(50, 60));
  CHitTest probe;
  probe.point = {53, 60};
  probe.distance2 = 4;
  EXPECT_NE(lost->HitTest(probe), 0);
  probe.distance2 = 3;
  EXPECT_EQ(lost->HitTest(probe), 0);
  q.Init();
  q.full = 0;
  lost->CollectExtent(q);
  EXPECT_EQ(q.rect, (Rect32{50, 50, 60, 60}));
  EXPECT_EQ(lost->ClassifyInRect(lasso, 0), 2);
  PointList far;
  ASSERT_EQ(PathFromRect(far, {100, 200, 100, 200}), 0);
  EXPECT_EQ(lost->ClassifyInRect(far, 0), 1);
  CTestCollector none;
  lost->EnumShapes(none);
  EXPECT_TRUE(none.nodes.empty());
  Point32 centre;
  lost->GetCenter(centre);
  EXPECT_EQ(centre, (Point32{50, 60}));
}

TEST_F(SymbolObjectTest, ButtonsShowTheirStateFrame) {
  CDocumentPage* symbol = MakeSymbol(2);  // Up and Over only
  auto* button = Place<CPicButton>(symbol);
  struct Case {
    int32_t state, frame;
  } cases[] = {
      {CPicButton::kUp, 0}, {CPicButton::kOver, 1}, {CPicButton::kDown, 1}, {CPicButton::kHit, 1}};
  for (const Case& c : cases) EXPECT_EQ(button->ClampFrame(c.state), c.frame) << c.state;

  CRecordingContext rc;
  rc.recordFrames = true;
  rc.m_currentFrame = 7;
  button->Draw(rc);
  button->SetState(CPicButton::kDown);
  button->Draw(rc);
  EXPECT_EQ(Drawn(rc), (std::vector<std::string>{"draw #100 @0", "draw #101 @0"}));
  EXPECT_EQ(button->NextChange(0), kFrameNever);

  CHitTest probe;
  probe.point = {1012, 2002};
  EXPECT_EQ(button->HitTest(probe), 101);  // Down shows frame 1
  EXPECT_EQ(button->HitTestHitArea(probe), 101);
  button->SetState(CPicButton::kUp);
  EXPECT_EQ(button->HitTest(probe), 0);

  // Visual bounds cover Up, Over and Down; exact ones the Up frame; both
  // over the whole time.
  CExtentQuery q;
  q.Init();
  button->CollectExtent(q);
  EXPECT_EQ(q.rect, (Rect32{990, 1025, 1990, 2015}));  // boxes grow by 10 for lines
  q.Init();
  q.full = 0;
  q.windowFirst = q.windowLast = 5;
  button->CollectExtent(q);
  EXPECT_EQ(q.rect, (Rect32{1000, 1005, 2000, 2005}));

  // The button itself is the export node.
  CTestCollector collector;
  button->EnumShapes(collector);
  ASSERT_EQ(collector.nodes.size(), 1u);
  EXPECT_EQ(collector.nodes[0].id, -1);
  EXPECT_EQ(collector.nodes[0].matrix.ty, 2000);
  EXPECT_TRUE(MatrixIsIdentity(collector.m_matrix));

  // Missing: frame 0 for every state.
  auto* lost = Place<CPicButton>(nullptr);
  EXPECT_EQ(lost->ClampFrame(CPicButton::kHit), 0);
}

TEST_F(SymbolObjectTest, ASymbolContainingItselfCountsAsMissingInside) {
  CDocumentPage* symbol = MakeSymbol(2);
  // Two instances of the symbol inside its own first key frame (as a
  // damaged file can make it): without a limit every descent is endless.
  CPicFrame* inner = symbol->GetRoot()->GetFirstLayer()->GetFirstFrame();
  for (int i = 0; i < 2; ++i) {
    auto* self = new CPicSymbol;
    self->m_matrix = Translation(100 * (i + 1), 0);
    inner->AddChild(self);
    self->AttachToSymbol(symbol);
  }
  CPicSymbol* inst = Place(symbol);
  CRecordingContext rc;
  inst->Draw(rc);
  // The box of frame 0, then each inner instance as a missing one.
  EXPECT_EQ(Drawn(rc), (std::vector<std::string>{"draw #100", "handle 0,0 17", "handle 0,0 17"}));
  EXPECT_EQ(CSymbolDescent::Depth(), 0);

  Rect32 bounds;
  inst->GetExactBounds(bounds);
  EXPECT_EQ(bounds, (Rect32{1000, 1200, 2000, 2005}));
  CHitTest probe;
  probe.point = {1200, 2000};
  probe.distance2 = 2;
  EXPECT_NE(inst->HitTest(probe), 0);
  EXPECT_EQ(inst->NextChange(0), 1);
  CTestCollector collector;
  inst->EnumShapes(collector);
  EXPECT_EQ(collector.nodes.size(), 1u);

  // An edit of the symbol reaches the instances (its own among them) and
  // ends.
  EXPECT_TRUE(Edit(symbol, [&] { inner->AddChild(new CTestBox(7, {0, 1, 0, 1})); }));
  EXPECT_EQ(CSymbolDescent::Depth(), 0);

  // A chain deeper than the limit: the innermost instances count as missing.
  std::vector<CDocumentPage*> chain{MakeSymbol(1, "S0")};
  for (int i = 1; i <= CPicSymbol::kMaxSymbolDepth + 2; ++i) {
    CDocumentPage* s = MakeSymbol(1, ("S" + std::to_string(i)).c_str());
    auto* in = new CPicSymbol;
    s->GetRoot()->GetFirstLayer()->GetFirstFrame()->AddChild(in);
    in->AttachToSymbol(chain.back());
    chain.push_back(s);
  }
  CPicSymbol* top = Place(chain.back());
  rc.calls.clear();
  top->Draw(rc);
  int boxes = 0, missing = 0;
  for (const std::string& c : Drawn(rc)) (c.rfind("draw", 0) == 0 ? boxes : missing)++;
  EXPECT_EQ(boxes, CPicSymbol::kMaxSymbolDepth);
  EXPECT_EQ(missing, 1);
}

TEST_F(SymbolObjectTest, InstanceAndButtonRecordsAreUndone) {
  CDocumentPage* symbol = MakeSymbol(3);
  CPicSymbol* inst = Place(symbol);
  auto* button = Place<CPicButton>(symbol);
  CFrameAction action;
  action.type = CFrameAction::kGetUrl;
  action.url = "http://example/";

  ASSERT_TRUE(Edit(page_, [&] {
    inst->Transform(Translation(5, 0));
    inst->Transform(Translation(5, 0));
    inst->SetFirstFrame(2);
    inst->SetPlayMode(CPicSymbol::kSingleFrame);
    button->SetAction(action);
    button->SetAction(CFrameAction{});
  }));
  // One instance record and one button record in the step.
  int instanceItems = 0, buttonItems = 0;
  for (CEditItem* i = page_->GetUndoList()->m_items; i != nullptr; i = i->m_next) {
    instanceItems += dynamic_cast<CPicSymbolEditItem*>(i) != nullptr;
    buttonItems += dynamic_cast<CPicButtonEditItem*>(i) != nullptr;
  }
  EXPECT_EQ(instanceItems, 1);
  EXPECT_EQ(buttonItems, 1);
  EXPECT_EQ(inst->m_matrix.tx, 1010);

  page_->Undo();
  EXPECT_EQ(inst->m_matrix.tx, 1000);
  EXPECT_EQ(inst->GetFirstFrame(), 0);
  EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kLoop);
  EXPECT_EQ(button->GetAction(), CFrameAction{});
  page_->Redo();
  EXPECT_EQ(inst->m_matrix.tx, 1010);
  EXPECT_EQ(inst->GetFirstFrame(), 2);
  EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kSingleFrame);

  // Unchanged values record nothing; the state is never recorded.
  ASSERT_TRUE(Edit(page_, [&] {
    inst->SetFirstFrame(2);
    button->SetState(CPicButton::kOver);
  }));
  EXPECT_EQ(page_->GetUndoList()->m_items, nullptr);
}

TEST_F(SymbolObjectTest, RecordBytesAndOlderButtonVersions) {
  CDocumentPage* symbol = MakeSymbol(3);
  symbol->m_symbolId = 0x0A0B0C0D;
  CPicSymbol* inst = Place(symbol, Translation(0x11, 0x22));
  inst->m_firstFrame = 0x0102;
  inst->m_playMode = CPicSymbol::kPlayOnce;
  // The class, the base record (no children, no centre), then version 2,
  // the matrix, first frame, play mode and the symbol's id.
  Bytes expected{0xFF, 0xFF, 1, 0, 10, 0, 'C', 'P', 'i', 'c',  'S', 'y', 'm', 'b',
                 'o',  'l',  1, 0, 0,  0, 0,   0,   0,   0x80, 0,   0,   0,   0x80};
  const Bytes tail{2,    0, 0, 1, 0,    0, 0, 0, 0, 0, 0, 0, 0,    0,    0,    1,   0,
                   0x11, 0, 0, 0, 0x22, 0, 0, 0, 2, 1, 1, 0, 0x0D, 0x0C, 0x0B, 0x0A};
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Write(inst), expected);

  // Reading finds the symbol by id in the archive's document.
  auto read = [&](const Bytes& bytes) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc_;
    std::unique_ptr<CObject> obj(ar.ReadObject(nullptr));
    CPicObj::ReleaseLoadChain(false);
    return obj;
  };
  auto back = read(expected);
  auto* copy = DynamicDowncast<CPicSymbol>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetSymbol(), symbol);
  EXPECT_EQ(copy->GetFirstFrame(), 0x0102);
  EXPECT_EQ(copy->GetPlayMode(), CPicSymbol::kPlayOnce);
  EXPECT_EQ(Write(copy), expected);

  // Buttons: version 2 carries the action record; 0 and 1 the old fields.
  auto buttonBytes = [&](uint8_t version, const Bytes& action) {
    Bytes b{0xFF, 0xFF, 1, 0, 10, 0, 'C', 'P', 'i', 'c',  'B', 'u', 't', 't',
            'o',  'n',  1, 0, 0,  0, 0,   0,   0,   0x80, 0,   0,   0,   0x80};
    b.insert(b.end(), tail.begin(), tail.end());
    b.push_back(version);
    b.insert(b.end(), action.begin(), action.end());
    return b;
  };
  struct Case {
    uint8_t version;
    Bytes action;
    CFrameAction expected;
  } cases[] = {
      {2, {0, 9, 1, 'u', 1, 't', 1, 'p', 7, 0}, {9, "u", "t", "p", 7}},
      {1, {10, 1, 'u', 1, 't', 1, 'p', 7, 0, 0xEE, 0xEE}, {10, "u", "t", "p", 7}},
      {0, {8, 1, 'u', 3, 0, 0xEE, 0xEE}, {8, "u", "", "", 3}},
  };
  for (const Case& c : cases) {
    auto obj = read(buttonBytes(c.version, c.action));
    auto* b = DynamicDowncast<CPicButton>(obj.get());
    ASSERT_NE(b, nullptr) << int{c.version};
    EXPECT_EQ(b->GetAction(), c.expected) << int{c.version};
    EXPECT_EQ(b->GetSymbol(), symbol);
    if (c.version == 2) {
      EXPECT_EQ(Write(b), buttonBytes(2, c.action));
    }
  }
  // A newer version is refused.
  EXPECT_THROW(read(buttonBytes(3, cases[0].action)), CArchiveException);
  CPicObj::ReleaseLoadChain(true);
}

TEST_F(SymbolObjectTest, InstancesWithoutTheirSymbolAreDroppedWhenRead) {
  CDocumentPage* symbol = MakeSymbol(1);
  CPicFrame* frame = PageFrame();
  auto* kept = Place(symbol);
  auto* lost = new CPicSymbol;
  lost->m_symbolId = 99;  // no such symbol
  frame->AddChild(lost);
  // A box that is a child of the lost instance.
  lost->AddChild(new CTestBox(5));
  kept->SetCenter(nullptr);

  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(frame);
    ar.Close();
  }
  auto bytes = file.GetData();
  Bytes data(bytes.begin(), bytes.end());
  {
    CMemFile in(data);
    CArchive ar(&in, CArchive::load);
    ar.m_pDocument = &doc_;
    std::unique_ptr<CObject> obj(ar.ReadObject(nullptr));
    CPicObj::ReleaseLoadChain(false);
    auto* copy = DynamicDowncast<CPicFrame>(obj.get());
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->GetFirstChild(), nullptr);
    EXPECT_EQ(copy->GetFirstChild(), copy->GetLastChild());  // only the kept one
    EXPECT_EQ(static_cast<CPicSymbol*>(copy->GetFirstChild())->GetSymbol(), symbol);
  }
  // A later reference to an object the dropped instance's record made is
  // refused, not followed: a plain object holding the lost instance (with a
  // child, object 5) and then a back reference to that child.
  auto base = [](Bytes& b, const Bytes& children) {
    b.insert(b.end(), {1, 0});
    b.insert(b.end(), children.begin(), children.end());
    b.insert(b.end(), {0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80});
  };
  Bytes child{0x01, 0x80};  // a new object of class 1 (CPicObj)
  base(child, {});
  Bytes instance{0xFF, 0xFF, 1, 0, 10, 0, 'C', 'P', 'i', 'c', 'S', 'y', 'm', 'b', 'o', 'l'};
  base(instance, child);
  instance.insert(instance.end(), {2, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,
                                   1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 99, 0, 0, 0});
  Bytes children = instance;
  children.insert(children.end(), {5, 0});  // back reference to object 5
  Bytes outer{0xFF, 0xFF, 1, 0, 7, 0, 'C', 'P', 'i', 'c', 'O', 'b', 'j'};
  base(outer, children);
  CMemFile in(outer);
  CArchive ar(&in, CArchive::load);
  ar.m_pDocument = &doc_;
  EXPECT_THROW(ar.ReadObject(nullptr), CArchiveException);
  CPicObj::ReleaseLoadChain(true);
}

TEST_F(SymbolObjectTest, CarriedByValueIntoAnotherDocument) {
  CDocumentPage* symbol = MakeSymbol(2);
  CPicSymbol* inst = Place(symbol);
  inst->m_playMode = CPicSymbol::kSingleFrame;

  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.m_pDocument = &doc_;
    CLoadContext context(&ar, page_);
    ar.WriteObject(inst);
    ar.WriteObject(inst);  // back reference
    ar.Close();
  }
  CTestDoc target;
  ASSERT_TRUE(target.OnNewDocument());
  file.SeekToBegin();
  CArchive ar(&file, CArchive::load);
  ar.m_pDocument = &target;
  CLoadContext context(&ar, target.m_pages);
  std::unique_ptr<CObject> obj(ar.ReadObject(nullptr));
  CPicObj::ReleaseLoadChain(false);
  auto* copy = DynamicDowncast<CPicSymbol>(obj.get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->GetSymbol(), nullptr);
  EXPECT_EQ(copy->GetSymbol(), target.m_symbols);
  EXPECT_EQ(copy->GetSymbol()->m_name, "Star");
  EXPECT_EQ(copy->SymbolFrameCount(), 2);
  EXPECT_EQ(copy->GetPlayMode(), CPicSymbol::kSingleFrame);
  EXPECT_EQ(copy->GetSymbol()->GetLockCount(), 1);  // one lock per instance
  obj.reset();
  EXPECT_EQ(target.m_symbols->GetLockCount(), 0);
}

TEST_F(SymbolObjectTest, BreakApartCopiesTheShownFrame) {
  CDocumentPage* symbol = MakeSymbol(2);
  // Key frame 1 draws a square of its own.
  CPicFrame* second = symbol->GetRoot()->GetFirstLayer()->FrameAt(1);
  PointList square;
  ASSERT_EQ(PathFromRect(square, {0, 100, 0, 100}), 0);
  FillStyle fill = SolidFill(0xFF0000FF);
  EdgeGraph& g = second->GetGeometry();
  // The inside of the rectangle's path is the edges' second side.
  ASSERT_EQ(
      EdgeGraphAddPath(g, square, 0, 0, static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, fill))),
      0);
  CPicSymbol* inst = Place(symbol);
  inst->m_firstFrame = 1;
  auto* other = new CTestBox(9);
  PageFrame()->AddChild(other);

  EXPECT_EQ(inst->BreakApart(CPicObj::kBreakApartQuery), 1);
  ASSERT_TRUE(Edit(page_, [&] { EXPECT_EQ(inst->BreakApart(0), 1); }));
  // The instance's place holds the drawing of symbol frame 1, moved by its
  // matrix, and the box of that key frame.
  bool drawn = false, box = false;
  for (CPicObj* o = PageFrame()->GetFirstChild(); o != other; o = o->GetNext()) {
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o, inst);
    if (auto* s = DynamicDowncast<CPicShape>(o); s != nullptr && s->GetGeometry().edge_count > 0) {
      Rect32 bounds;
      s->GetExactBounds(bounds);
      EXPECT_EQ(bounds, (Rect32{1000, 1100, 2000, 2100}));
      drawn = true;
    }
    if (auto* b = dynamic_cast<CTestBox*>(o)) box = b->m_id == 101;
  }
  EXPECT_TRUE(drawn);
  EXPECT_TRUE(box);
  page_->Undo();
  EXPECT_EQ(PageFrame()->GetFirstChild(), inst);
  EXPECT_EQ(inst->GetNext(), other);

  // A missing symbol answers 1 and stays.
  CPicSymbol* lost = Place(nullptr);
  EXPECT_EQ(lost->BreakApart(0), 1);
  EXPECT_EQ(lost->GetParent(), PageFrame());
}

TEST_F(SymbolObjectTest, FindPageByName) {
  CDocumentPage* a = NewPage(doc_);
  a->m_name = "Intro";
  CDocumentPage* b = NewPage(doc_);
  b->m_name = "intro";
  CDocumentPage* c = NewPage(doc_);
  c->m_name = "Intro";
  EXPECT_EQ(FindPageByName(doc_, "Intro"), a);
  EXPECT_EQ(FindPageByName(doc_, "intro"), b);
  EXPECT_EQ(FindPageByName(doc_, "INTRO"), nullptr);
  MakeSymbol(1, "Outro");
  EXPECT_EQ(FindPageByName(doc_, "Outro"), nullptr);  // symbols are not pages
}

}  // namespace
