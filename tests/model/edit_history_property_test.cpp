// Random edits, aborted edits, undos, redos and page swaps on one page,
// checked after every step against the trees the history says it must show.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "platform/core/storage.h"

namespace {

class EditHistoryPropertyTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    services_.undoLevels = 100000;
    file_ = CCompoundFile::CreateTemporary();
    doc_.m_rootStorage = file_->GetRootStorage();
    page_ = NewPage(doc_);
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  void Collect(CPicObj* obj, std::vector<CPicObj*>& out) {
    out.push_back(obj);
    for (CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) Collect(c, out);
  }

  static bool IsWithin(CPicObj* obj, CPicObj* ancestor) {
    for (; obj != nullptr; obj = obj->GetParent()) {
      if (obj == ancestor) return true;
    }
    return false;
  }

  Rect32 RandomRect() {
    int32_t x = Pick(1000) - 500, y = Pick(1000) - 500;
    return Rect32{x, x + Pick(50), y, y + Pick(50)};
  }

  // One random change of the tree (inside an open transaction).
  void RandomChange() {
    std::vector<CPicObj*> all;
    Collect(page_->GetRoot(), all);
    CPicObj* target = all[static_cast<size_t>(Pick(static_cast<int>(all.size())))];
    bool isRoot = target == page_->GetRoot();
    switch (Pick(9)) {
      case 0: {
        auto* box = new CTestBox(next_id_++, RandomRect());
        CPicObj* sibling = target->GetFirstChild();
        target->AddChild(box, Pick(4), Pick(2) != 0 ? sibling : target->GetLastChild());
        break;
      }
      case 1:
        if (!isRoot) target->DeleteFromParent();
        break;
      case 2: {
        CPicObj* into = all[static_cast<size_t>(Pick(static_cast<int>(all.size())))];
        if (!isRoot && !IsWithin(into, target)) into->AddChild(target, Pick(2));
        break;
      }
      case 3:
        target->SetSelected(!target->IsSelected());
        break;
      case 4:
        target->SetAttributeFlags(Pick(2) != 0, Pick(2) != 0);
        break;
      case 5:
        target->SetPlainDrawing(!target->IsPlainDrawing());
        break;
      case 6: {
        Point32 c{Pick(200), Pick(200)};
        target->SetCenter(Pick(3) != 0 ? &c : nullptr);
        break;
      }
      case 7:
        if (auto* box = dynamic_cast<CTestBox*>(target)) box->SetBox(RandomRect());
        break;
      case 8: {
        Matrix2x3 m;
        MatrixSetTranslation(m, Pick(21) - 10, Pick(21) - 10);
        target->Transform(m);
        break;
      }
    }
  }

  std::string Dump() { return DumpPage(*page_); }

  // Every change was collected: nothing pending, nothing marked saved.
  bool Settled(const CPicObj* obj) {
    constexpr uint8_t pending =
        CPicObj::kOldBounds | CPicObj::kChildChanged | CPicObj::kSavedInStep;
    if ((obj->GetFlags() & pending) != 0 || !obj->GetChange().IsEmpty()) return false;
    for (const CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      if (!Settled(c)) return false;
    }
    return true;
  }

  std::mt19937 rng_;
  std::unique_ptr<CCompoundFile> file_;
  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
  int next_id_ = 1;
};

TEST_F(EditHistoryPropertyTest, UndoingEverythingGivesBackTheOriginalTree) {
  constexpr uint32_t kNudge = CDocumentPage::kEditNudge;
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    rng_.seed(seed);
    page_->TrimUndo(0);
    // The trees before each undo step and before each redo step, with the
    // kind of each undo step (a coalescing run continues only its own kind).
    std::vector<std::string> undoTrees, redoTrees;
    std::vector<uint32_t> undoKinds;
    std::string original = Dump();
    std::string current = original;
    for (int op = 0; op < 250; ++op) {
      int what = Pick(20);
      if (what < 9) {  // an edit, sometimes a nudge that may join the last step
        uint32_t kind = Pick(4) == 0 ? kNudge : CDocumentPage::kEditUser;
        bool joins =
            kind == kNudge && redoTrees.empty() && !undoKinds.empty() && undoKinds.back() == kNudge;
        int changes = 1 + Pick(4);
        Edit(
            page_,
            [&] {
              for (int i = 0; i < changes; ++i) RandomChange();
            },
            kind);
        if (!joins) {
          undoTrees.push_back(current);
          undoKinds.push_back(kind);
        }
        redoTrees.clear();
        current = Dump();      // whatever the edit made is the new state
      } else if (what < 11) {  // an edit that fails half way
        int before = Pick(5);
        Edit(page_, [&] {
          for (int i = 0; i < before; ++i) RandomChange();
          throw CFileException();
        });
        redoTrees.clear();  // a user edit empties the redo list, failed or not
        services_.messages.clear();
      } else if (what < 16) {
        if (undoTrees.empty()) continue;
        page_->Undo();
        redoTrees.push_back(current);
        current = undoTrees.back();
        undoTrees.pop_back();
        undoKinds.pop_back();
      } else if (what < 19) {
        if (redoTrees.empty()) continue;
        page_->Redo();
        undoTrees.push_back(current);
        undoKinds.push_back(CDocumentPage::kEditRedo);
        current = redoTrees.back();
        redoTrees.pop_back();
      } else {  // swapped out and in: the tree stays, the history goes
        doc_.m_holdPages = false;
        page_->UnlockUpdate();
        doc_.m_holdPages = true;
        ASSERT_EQ(page_->GetRoot(), nullptr);
        page_->LockUpdate();
        ASSERT_NE(page_->GetRoot(), nullptr);
        undoTrees.clear();
        undoKinds.clear();
        redoTrees.clear();
        original = current;
      }
      ASSERT_EQ(Dump(), current) << "op " << op << " (" << what << ")";
      ASSERT_TRUE(Settled(page_->GetRoot())) << "op " << op << " (" << what << ")";
      ASSERT_TRUE(services_.messages.empty());
    }
    std::string last = Dump();
    size_t steps = undoTrees.size();
    for (size_t i = 0; i < steps; ++i) page_->Undo();
    ASSERT_EQ(Dump(), original);
    for (size_t i = 0; i < steps; ++i) page_->Redo();
    ASSERT_EQ(Dump(), last);
  }
}

}  // namespace
