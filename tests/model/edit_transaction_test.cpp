#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_symbol.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

namespace {

Rect32 R(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  return Rect32{x0, x1, y0, y1};
}

int Count(const CEditStep* step) {
  int n = 0;
  for (; step != nullptr; step = step->m_link) ++n;
  return n;
}

class EditTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    page_ = NewPage(doc_);
    root_ = page_->GetRoot();
    for (int i = 1; i <= 3; ++i) {
      boxes_.push_back(new CTestBox(i, R(i * 100, i * 100 + 10, 0, 10)));
      root_->AddChild(boxes_.back());
    }
    root_->RecalcAndNotify(nullptr);
    services_.documents = {&doc_};
  }
  std::string Dump() { return DumpTree(page_->GetRoot()); }

  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
  CPicObj* root_ = nullptr;
  std::vector<CTestBox*> boxes_;
};

TEST_F(EditTest, TransactionNeedsContentsAndEndWithoutBeginDoesNothing) {
  EXPECT_EQ(page_->EndEdit(), 0);
  EXPECT_EQ(page_->GetEditCount(), 0);
  page_->BeginEdit(CDocumentPage::kEditUser);
  page_->BeginEdit(CDocumentPage::kEditUser);
  EXPECT_EQ(page_->EndEdit(), 1);
  EXPECT_EQ(page_->EndEdit(), 0);
  EXPECT_EQ(page_->GetEditCount(), 1);
  EXPECT_EQ(services_.waitBegins, 1);  // one wait cursor per outermost transaction

  page_->FreeContents();
  EXPECT_THROW(page_->BeginEdit(CDocumentPage::kEditUser), CMemoryException);
  EXPECT_EQ(page_->GetEditDepth(), 0);
}

TEST_F(EditTest, UndoOfADeletePutsTheObjectBackBetweenItsOldSiblings) {
  CTestRefOwner view;
  CPicObjRef ref;
  ref.Init(&view, 0);
  ref.Set(boxes_[1]);
  std::string before = Dump();
  Edit(page_, [&] { boxes_[1]->DeleteFromParent(); });
  std::string after = Dump();
  EXPECT_EQ(after,
            "CPicPage(0){CPicLayer(0){CPicFrame(0)} #1(0)[100,110,0,10] #3(0)[300,310,0,10]}");
  EXPECT_EQ(view.removed, std::vector<CPicObj*>{boxes_[1]});
  EXPECT_TRUE(CTestBox::Live().count(boxes_[1]));  // kept by the undo step

  page_->Undo();
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(boxes_[0]->GetNext(), boxes_[1]);  // the same object, in its old place
  EXPECT_EQ(boxes_[2]->GetPrev(), boxes_[1]);
  page_->Redo();
  EXPECT_EQ(Dump(), after);
  page_->Undo();
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(Count(page_->GetUndoList()), 0);
  EXPECT_EQ(Count(page_->GetRedoList()), 1);
}

TEST_F(EditTest, TransactionWithoutUndoStepStillRefreshes) {
  Edit(page_, [&] { boxes_[0]->SetBox(R(0, 1, 0, 1)); });
  doc_.SetModifiedFlag(false);
  doc_.viewUpdates.clear();
  page_->m_dirty = 0;
  Edit(
      page_, [&] { boxes_[0]->SetSelected(true); }, CDocumentPage::kEditNoUndo);
  EXPECT_EQ(Count(page_->GetUndoList()), 1);
  EXPECT_EQ(Count(page_->GetRedoList()), 0);
  EXPECT_TRUE(doc_.IsModified());
  EXPECT_EQ(page_->m_dirty, 1);
  EXPECT_EQ(doc_.viewUpdates, std::vector<CDocumentPage*>{page_});
  EXPECT_TRUE(doc_.m_serverItemsNeedRefresh);
  page_->Undo();  // the selection was not recorded
  EXPECT_TRUE(boxes_[0]->IsSelected());
  EXPECT_EQ(RectText(boxes_[0]->m_box), RectText(R(100, 110, 0, 10)));
}

TEST_F(EditTest, CoalescingByKind) {
  constexpr uint32_t U = 0;  // an undo
  struct Case {
    std::vector<uint32_t> kinds;
    int undo_steps, redo_steps;
  };
  const Case cases[] = {
      {{257, 257, 257}, 1, 0},      {{256, 256}, 2, 0},      {{257, 258}, 2, 0},
      {{260, 260, 259, 259}, 2, 0}, {{257, 256, 257}, 3, 0}, {{257, 3, 257}, 1, 0},
      {{257, 258, U, 257}, 2, 0},  // redo list not empty: a new step
      {{257, U, 257}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.kinds));
    page_->TrimUndo(0);
    int x = 0;
    for (uint32_t kind : c.kinds) {
      if (kind == U) {
        page_->Undo();
        continue;
      }
      ++x;
      Edit(
          page_, [&] { boxes_[0]->SetBox(R(x, x + 5, 0, 5)); }, kind);
    }
    EXPECT_EQ(Count(page_->GetUndoList()), c.undo_steps);
    EXPECT_EQ(Count(page_->GetRedoList()), c.redo_steps);
  }
}

TEST_F(EditTest, OneUndoRevertsAWholeRun) {
  std::string before = Dump();
  for (int i = 1; i <= 4; ++i) {
    Edit(
        page_,
        [&] {
          boxes_[0]->SetBox(R(i, i + 5, 0, 5));
          boxes_[i % 3]->SetSelected(i % 2 == 0);
        },
        CDocumentPage::kEditNudge);
  }
  std::string after = Dump();
  ASSERT_EQ(Count(page_->GetUndoList()), 1);
  page_->Undo();
  EXPECT_EQ(Dump(), before);
  page_->Redo();
  EXPECT_EQ(Dump(), after);
}

TEST_F(EditTest, UserEditsKeepAtMostUndoLevelsSteps) {
  for (int i = 0; i < 25; ++i) Edit(page_, [&] { boxes_[0]->SetBox(R(i, i, 0, 0)); });
  EXPECT_EQ(Count(page_->GetUndoList()), 20);

  services_.undoLevels = 5;
  Edit(page_, [&] { boxes_[0]->SetBox(R(99, 99, 0, 0)); });
  EXPECT_EQ(Count(page_->GetUndoList()), 5);

  page_->Undo();
  page_->Undo();
  services_.undoLevels = 1;
  page_->Redo();  // undo and redo never trim
  page_->Redo();
  EXPECT_EQ(Count(page_->GetUndoList()), 5);
  EXPECT_EQ(Count(page_->GetRedoList()), 0);

  page_->Undo();
  Edit(page_, [&] { boxes_[0]->SetBox(R(7, 7, 0, 0)); });  // empties the redo list
  EXPECT_EQ(Count(page_->GetUndoList()), 1);
  EXPECT_EQ(Count(page_->GetRedoList()), 0);
}

TEST_F(EditTest, TrimmedStepsFreeTheObjectsTheyTookOut) {
  services_.undoLevels = 2;
  CTestBox* gone = boxes_[1];
  Edit(page_, [&] { gone->DeleteFromParent(); });
  EXPECT_TRUE(CTestBox::Live().count(gone));
  Edit(page_, [&] { boxes_[0]->SetSelected(true); });
  Edit(page_, [&] { boxes_[0]->SetSelected(false); });
  EXPECT_FALSE(CTestBox::Live().count(gone));
}

TEST(TrimStepListTest, HeavyStepsStopLongHistories) {
  struct Case {
    std::vector<int> heavy;  // newest first
    int32_t n;
    int kept;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, 0}, 3, 3},     {{0, 0, 0}, 0, 0},
      {{0, 0, 0}, -4, 0},          {{0, 1, 0}, 20, 3},  // heavy steps matter only above 16000
      {{0, 0, 1, 0, 0}, 16002, 5},                      // the heavy step lies outside the newest 2
      {{0, 0, 1, 0, 0}, 16003, 2},  // ... inside the newest 3: it and the older ones go
      {{1, 0, 0}, 32000, 0},       {{0, 0, 0}, 32000, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    CEditStep* list = nullptr;
    for (auto it = c.heavy.rbegin(); it != c.heavy.rend(); ++it) {
      auto* s = new CEditStep;
      s->m_heavy = static_cast<uint32_t>(*it);
      s->m_link = list;
      list = s;
    }
    CDocumentPage::TrimStepList(list, c.n);
    EXPECT_EQ(Count(list), c.kept);
    CDocumentPage::TrimStepList(list, 0);
    EXPECT_EQ(list, nullptr);
  }
}

// Nested transactions, each changing the tree; the level `failAt` throws.
// Each level is written by hand (BeginEdit, EndEdit, AbortEdit) or through
// the CEditTransaction scope: both must revert the same.
class NestedAbortTest : public EditTest {
 protected:
  void Level(int depth, int level, int failAt, bool memory, bool scoped) {
    auto work = [&] {
      boxes_[0]->SetBox(R(level, level, level, level));
      auto* made = new CTestBox(100 + level, R(0, 1, 0, 1));
      root_->AddChild(made, CPicObj::kAddFirst);
      made->AddChild(new CTestBox(200 + level));
      boxes_[level % 3]->SetSelected(!boxes_[level % 3]->IsSelected());
      if (level == 1) boxes_[2]->DeleteFromParent();
      if (level == failAt) {
        if (memory) throw CMemoryException();
        throw CFileException(CFileException::hardIO);
      }
      if (level < depth) Level(depth, level + 1, failAt, memory, scoped);
      Point32 c{level, -level};
      made->SetCenter(&c);
    };
    if (scoped) {
      CEditTransaction::Run(*page_, CDocumentPage::kEditUser, work);
      return;
    }
    page_->BeginEdit(CDocumentPage::kEditUser);
    try {
      work();
      page_->EndEdit();
    } catch (const CException& e) {
      page_->AbortEdit(&e);  // inner levels pass it on
    }
  }
};

TEST_F(NestedAbortTest, AnExceptionAtAnyDepthRevertsExactly) {
  Edit(page_, [&] { boxes_[1]->SetSelected(true); });
  std::string before = Dump();
  size_t live = CTestBox::Live().size();
  for (int depth = 1; depth <= 3; ++depth) {
    for (int failAt = 1; failAt <= depth; ++failAt) {
      for (auto [memory, scoped] :
           {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(testing::Message()
                     << "depth " << depth << " fails at " << failAt << (scoped ? " (scoped)" : ""));
        services_.messages.clear();
        services_.styles.clear();
        Level(depth, 1, failAt, memory, scoped);
        EXPECT_EQ(Dump(), before);
        EXPECT_EQ(page_->GetEditDepth(), 0);
        EXPECT_EQ(services_.waitDepth, 0);
        EXPECT_EQ(services_.messages, std::vector<uint32_t>{memory ? 570u : 565u});
        EXPECT_EQ(services_.styles, std::vector<uint32_t>{kMbIconExclamation});
        EXPECT_EQ(CTestBox::Live().size(), live);  // objects made in the transaction are freed
        EXPECT_EQ(Count(page_->GetUndoList()), 1);
      }
    }
  }
  // The history before the failures still works.
  page_->Undo();
  EXPECT_FALSE(boxes_[1]->IsSelected());
}

TEST_F(NestedAbortTest, AnAbortedCoalescedStepRevertsTheWholeRun) {
  std::string before = Dump();
  Edit(
      page_, [&] { boxes_[0]->SetBox(R(1, 1, 1, 1)); }, CDocumentPage::kEditTyping);
  Edit(
      page_,
      [&] {
        boxes_[0]->SetBox(R(2, 2, 2, 2));
        throw CFileException();
      },
      CDocumentPage::kEditTyping);
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(page_->GetUndoList(), nullptr);
}

TEST_F(EditTest, AScopeLeftWithoutCommitRevertsWithoutAMessage) {
  std::string before = Dump();
  {
    CEditTransaction edit(*page_, CDocumentPage::kEditUser);
    boxes_[0]->SetBox(R(5, 6, 7, 8));
    {
      CEditTransaction inner(*page_, CDocumentPage::kEditUser);
      boxes_[1]->DeleteFromParent();
      EXPECT_EQ(inner.Commit(), 1);
    }
  }  // not committed
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(page_->GetEditDepth(), 0);
  EXPECT_EQ(page_->GetUndoList(), nullptr);
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(services_.waitDepth, 0);
}

TEST_F(EditTest, AFailedEditWithoutUndoStillMarksThePageChanged) {
  // Nothing can be reverted without a step: what was changed stays, and the
  // page must be written with it.
  page_->m_dirty = 0;
  EXPECT_FALSE(Edit(
      page_,
      [&] {
        boxes_[0]->SetBox(R(5, 6, 7, 8));
        throw CFileException();
      },
      CDocumentPage::kEditNoUndo));
  EXPECT_EQ(page_->m_dirty, 1);
  EXPECT_EQ(page_->GetEditDepth(), 0);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{565});
}

TEST_F(EditTest, ATidyUpThatFailsWhenTheEditClosesRevertsTheEdit) {
  std::string before = Dump();
  EXPECT_FALSE(Edit(page_, [&] {
    boxes_[0]->SetBox(R(5, 6, 7, 8));
    boxes_[1]->DeleteFromParent();
    CTestBox::s_failUpdate = true;  // the tidy-up inside EndEdit fails
  }));
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(page_->GetEditDepth(), 0);
  EXPECT_EQ(page_->GetUndoList(), nullptr);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{570});
  EXPECT_EQ(services_.waitDepth, 0);
}

TEST_F(EditTest, AbortReportsOnlyWhatItIsGiven) {
  page_->BeginEdit(CDocumentPage::kEditUser);
  page_->AbortEdit(nullptr);
  EXPECT_TRUE(services_.messages.empty());
  page_->AbortEdit(nullptr);  // nothing open: nothing to do
  std::bad_alloc oom;
  page_->AbortEdit(&oom);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{570});
}

TEST_F(EditTest, ObjectsReadInAFailedTransactionAreFreed) {
  std::vector<uint8_t> clip;
  {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    CTestBox group(50, R(0, 1, 0, 1));
    group.AddChild(new CTestBox(51));
    CTestBox loose(52);
    ar << &group << &loose;
    ar.Close();
    auto d = file.GetData();
    clip.assign(d.begin(), d.end());
  }
  size_t live = CTestBox::Live().size();
  std::string before = Dump();
  for (uint32_t kind : {CDocumentPage::kEditUser, CDocumentPage::kEditNoUndo}) {
    Edit(
        page_,
        [&] {
          CMemFile file(clip);
          CArchive ar(&file, CArchive::load);
          CPicObj* pasted;
          CPicObj* loose;
          ar >> pasted >> loose;  // loose stays outside the tree
          root_->AddChild(pasted);
          pasted->SetSelected(true);
          throw CFileException();
        },
        kind);
    EXPECT_EQ(CTestBox::Live().size(), live) << kind;
    EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
    if (kind != CDocumentPage::kEditNoUndo) {
      EXPECT_EQ(Dump(), before);
    }
  }
}

TEST_F(EditTest, AFailedUndoOrRedoKeepsItsStep) {
  Edit(page_, [&] {
    boxes_[0]->SetBox(R(1, 2, 3, 4));
    boxes_[1]->DeleteFromParent();
  });
  std::string edited = Dump();

  CTestBox::s_failRestore = true;  // the box record (restored last) fails
  page_->Undo();
  EXPECT_EQ(Dump(), edited);
  EXPECT_EQ(Count(page_->GetUndoList()), 1);
  EXPECT_EQ(Count(page_->GetRedoList()), 0);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{565});
  EXPECT_TRUE(CTestBox::Live().count(boxes_[1]));

  page_->Undo();  // the kept step still works
  EXPECT_EQ(Dump(),
            "CPicPage(0){CPicLayer(0){CPicFrame(0)} #1(0)[100,110,0,10] #2(0)[200,210,0,10] "
            "#3(0)[300,310,0,10]}");
  EXPECT_EQ(boxes_[0]->GetNext(), boxes_[1]);

  CTestBox::s_failRestore = true;
  page_->Redo();
  EXPECT_EQ(Count(page_->GetRedoList()), 1);
  EXPECT_EQ(Count(page_->GetUndoList()), 0);
  page_->Redo();
  EXPECT_EQ(Dump(), edited);
  page_->FreeContents();  // whoever owns the deleted box frees it once
  EXPECT_FALSE(CTestBox::Live().count(boxes_[1]));
}

TEST_F(EditTest, ACoalescedStepKeepsTheSerialOfItsOwnPage) {
  CDocumentPage* other = NewPage(doc_);
  auto* elsewhere = new CTestBox(9);
  other->GetRoot()->AddChild(elsewhere);
  CTestBox* x = boxes_[0];
  CTestBox* y = boxes_[1];
  Edit(page_, [&] { y->SetBox(R(1, 1, 1, 1)); });  // step 2 of this page
  Edit(
      page_, [&] { x->SetBox(R(2, 2, 2, 2)); }, CDocumentPage::kEditTyping);  // step 3
  Edit(other, [&] { elsewhere->SetBox(R(3, 3, 3, 3)); });                     // step 2 of the other
  // The typing run goes on and now changes y too: y's content must be
  // recorded again, its last record (step 2) belongs to an older step.
  Edit(
      page_, [&] { y->SetBox(R(4, 4, 4, 4)); }, CDocumentPage::kEditTyping);
  page_->Undo();
  EXPECT_EQ(RectText(y->m_box), RectText(R(1, 1, 1, 1)));
  EXPECT_EQ(RectText(x->m_box), RectText(R(100, 110, 0, 10)));
}

class SymbolEditTest : public ModelTest {};

TEST_F(SymbolEditTest, EditingASymbolTellsEachInstanceOncePerPage) {
  CTestDoc doc;
  CDocumentPage* p1 = NewPage(doc);
  CDocumentPage* p2 = NewPage(doc);
  CDocumentPage* symbol = NewPage(doc, true);
  EXPECT_EQ(symbol->m_name, "Symbol 1");
  EXPECT_EQ(symbol->m_streamName, "Symbol 1");
  EXPECT_EQ(p2->m_name, "Page 2");
  auto* content = new CTestBox(1, R(0, 10, 0, 10));
  symbol->GetRoot()->AddChild(content);
  symbol->GetRoot()->RecalcAndNotify(nullptr);

  std::vector<CPicSymbol*> inst;
  CDocumentPage* holders[] = {p1, p2, p1};
  CTestRefOwner views[3];
  CPicObjRef refs[3];
  for (int i = 0; i < 3; ++i) {
    auto* s = new CPicSymbol;
    s->m_matrix.tx = 1000 * (i + 1);
    holders[i]->GetRoot()->AddChild(s);
    s->AttachToSymbol(symbol);
    holders[i]->GetRoot()->RecalcAndNotify(nullptr);
    refs[i].Init(&views[i], 1);
    refs[i].Set(s);
    inst.push_back(s);
  }
  EXPECT_EQ(symbol->GetLockCount(), 4);  // its creation and three instances
  // Instances of one page are listed together (the third after the first).
  EXPECT_EQ(symbol->GetFirstInstance(), inst[1]);

  int count1 = p1->GetEditCount(), count2 = p2->GetEditCount();
  for (auto& v : views) v.changes.clear();
  Edit(symbol, [&] { content->SetBox(R(0, 20, 0, 10)); });
  EXPECT_EQ(p1->GetEditCount(), count1 + 1);
  EXPECT_EQ(p2->GetEditCount(), count2 + 1);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(views[i].changes.size(), 1u);
    int32_t tx = 1000 * (i + 1);
    EXPECT_EQ(RectText(views[i].changes[0].rect), RectText(R(tx - 10, tx + 30, -10, 20)));
    EXPECT_EQ(RectText(inst[i]->m_symbolExtent.rect), RectText(R(-10, 30, -10, 20)));
  }

  // A transaction that changes nothing tells no instance.
  Edit(
      symbol, [] {}, CDocumentPage::kEditNoUndo);
  EXPECT_EQ(p1->GetEditCount(), count1 + 1);

  inst[1]->DeleteFromParent();  // no step open: freed, and unregistered
  EXPECT_EQ(symbol->GetLockCount(), 3);

  symbol->DeletePage();
  EXPECT_EQ(doc.m_symbols, nullptr);
  EXPECT_EQ(doc.symbolRefreshes, 1);
  for (int i : {0, 2}) {
    EXPECT_EQ(inst[i]->GetSymbol(), nullptr);
    EXPECT_EQ(RectText(inst[i]->m_symbolExtent.rect), RectText(R(0, 0, 0, 0)));
  }
}

TEST_F(SymbolEditTest, DeferredRefreshOfEmbeddedRepresentations) {
  CTestDoc doc;
  services_.documents = {&doc};
  CDocumentPage* page = NewPage(doc);
  auto* box = new CTestBox(1);
  page->GetRoot()->AddChild(box);

  services_.timerWorks = false;  // no timer: flushed at once
  Edit(page, [&] { box->SetSelected(true); });
  EXPECT_EQ(doc.itemUpdates, 1);
  EXPECT_FALSE(doc.m_serverItemsNeedRefresh);

  services_.timerWorks = true;
  services_.timerSets.clear();
  Edit(page, [&] { box->SetSelected(false); });
  Edit(page, [&] { box->SetSelected(true); });
  ASSERT_EQ(services_.timerSets.size(), 2u);
  EXPECT_EQ(services_.timerSets[0].id, 47u);
  EXPECT_EQ(services_.timerSets[0].ms, 3000u);
  EXPECT_EQ(services_.timerKills, std::vector<uint32_t>{47});  // restarted
  EXPECT_EQ(doc.itemUpdates, 1);

  page->BeginEdit(CDocumentPage::kEditUser);
  CheckEditState();  // a step is open: later
  EXPECT_EQ(doc.itemUpdates, 1);
  page->EndEdit();
  CheckEditState();
  EXPECT_EQ(doc.itemUpdates, 2);
  EXPECT_EQ(EditGlobals().refreshTimer, 0u);
  EXPECT_EQ(services_.waitDepth, 0);
}

}  // namespace
