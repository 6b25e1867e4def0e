#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "platform/core/storage.h"

namespace {

Rect32 R(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  return Rect32{x0, x1, y0, y1};
}

class PageSwapTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    file_ = CCompoundFile::CreateTemporary();
    doc_.m_rootStorage = file_->GetRootStorage();
    page_ = NewPage(doc_);
    CPicObj* root = page_->GetFirstFrame();  // the boxes lie in the first key frame
    for (int i = 1; i <= 3; ++i) {
      auto* group = new CTestBox(i, R(i, 10 * i, -i, i), 0, i);
      for (int j = 0; j < i; ++j) group->AddChild(new CTestBox(10 * i + j, R(j, j, j, j)));
      root->AddChild(group);
    }
    Edit(page_, [&] {
      auto* first = static_cast<CTestBox*>(root->GetFirstChild());
      first->SetSelected(true);
      first->GetFirstChild()->SetPlainDrawing(true);
      root->GetLastChild()->SetAttributeFlags(true, true);
      Point32 c{-7, 70000};
      first->SetCenter(&c);
    });
  }
  // Lets the page go the way an idle purge does.
  void SwapOut() {
    doc_.m_holdPages = false;
    page_->UnlockUpdate();
    doc_.m_holdPages = true;
  }

  std::unique_ptr<CCompoundFile> file_;
  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
};

TEST_F(PageSwapTest, SwappingOutAndInGivesTheSameTree) {
  std::string before = DumpTree(page_->GetRoot());
  size_t live = CTestBox::Live().size();
  SwapOut();
  EXPECT_EQ(page_->GetRoot(), nullptr);
  EXPECT_EQ(page_->GetLockCount(), 0);
  EXPECT_EQ(page_->m_dirty, 0);
  EXPECT_EQ(page_->GetUndoList(), nullptr);  // the history goes with the contents
  EXPECT_TRUE(doc_.m_rootStorage.HasElement("Page 1"));
  EXPECT_EQ(CTestBox::Live().size(), live - 9);

  page_->LockUpdate();
  ASSERT_NE(page_->GetRoot(), nullptr);
  EXPECT_EQ(DumpTree(page_->GetRoot()), before);
  EXPECT_EQ(page_->GetRoot()->m_documentPage, page_);
  EXPECT_EQ(page_->GetFirstFrame()->GetFirstChild()->GetDocumentPage(), page_);
  EXPECT_EQ(page_->GetLockCount(), 1);
  EXPECT_TRUE(services_.messages.empty());

  // A clean page is freed without being written again.
  doc_.m_rootStorage.DestroyElement("Page 1");
  SwapOut();
  EXPECT_FALSE(doc_.m_rootStorage.HasElement("Page 1"));
}

TEST_F(PageSwapTest, AHeldOrLockedPageStays) {
  page_->LockUpdate();
  page_->UnlockUpdate();  // the document holds its pages
  EXPECT_NE(page_->GetRoot(), nullptr);
  page_->LockUpdate();
  doc_.m_holdPages = false;
  page_->UnlockUpdate();  // still locked once
  EXPECT_NE(page_->GetRoot(), nullptr);
  page_->BeginEdit(CDocumentPage::kEditUser);
  page_->UnlockUpdate();  // inside a transaction the contents stay
  EXPECT_NE(page_->GetRoot(), nullptr);
  page_->EndEdit();
  page_->Release();
  EXPECT_EQ(page_->GetRoot(), nullptr);
}

TEST_F(PageSwapTest, ADamagedStreamLeavesThePageEmptyAndReportsOnce) {
  SwapOut();
  {
    auto stream = doc_.m_rootStorage.CreateStream("Page 1");
    uint8_t junk[] = {1, 0xFF, 0xFF, 1, 0};  // a class record cut short
    stream->Write(junk, sizeof junk);
    stream->Close();
  }
  page_->LockUpdate();
  EXPECT_EQ(page_->GetRoot(), nullptr);
  EXPECT_EQ(page_->GetLockCount(), 1);  // balanced by the caller's unlock
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{568});
  EXPECT_EQ(services_.purges, 0);
  EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
  page_->UnlockUpdate();

  doc_.m_rootStorage.DestroyElement("Page 1");  // a missing stream is damage too
  services_.messages.clear();
  page_->LockUpdate();
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{568});
}

TEST_F(PageSwapTest, AMemoryShortageRetriesOnceAfterAPurge) {
  std::string before = DumpTree(page_->GetRoot());
  size_t live = CTestBox::Live().size();
  SwapOut();

  CTestBox::s_failRead = true;
  services_.onPurge = [] { CTestBox::s_failRead = false; };
  page_->LockUpdate();
  EXPECT_EQ(services_.purges, 1);
  EXPECT_TRUE(services_.messages.empty());
  ASSERT_NE(page_->GetRoot(), nullptr);
  EXPECT_EQ(DumpTree(page_->GetRoot()), before);
  EXPECT_EQ(CTestBox::Live().size(), live);  // the failed attempt's objects were freed

  SwapOut();
  CTestBox::s_failRead = true;
  services_.onPurge = nullptr;
  page_->LockUpdate();
  EXPECT_EQ(services_.purges, 2);
  EXPECT_EQ(page_->GetRoot(), nullptr);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{569});
  EXPECT_EQ(CTestBox::Live().size(), live - 9);
}

TEST_F(PageSwapTest, SwappingInDuringATransactionDisturbsNothing) {
  CDocumentPage* other = NewPage(doc_);
  SwapOut();
  size_t live = CTestBox::Live().size();
  std::string before = DumpTree(other->GetRoot());
  // A transaction on the other page reads objects (a paste), swaps this page
  // in, and then fails: only the pasted objects go.
  std::vector<uint8_t> clip;
  {
    CMemFile f;
    CArchive ar(&f, CArchive::store);
    CTestBox box(77);
    ar << &box;
    ar.Close();
    auto d = f.GetData();
    clip.assign(d.begin(), d.end());
  }
  Edit(other, [&] {
    CMemFile f(clip);
    CArchive ar(&f, CArchive::load);
    CPicObj* pasted;
    ar >> pasted;
    other->GetRoot()->AddChild(pasted);
    CEditStep* step = EditGlobals().openStep;
    page_->LockUpdate();
    EXPECT_EQ(EditGlobals().openStep, step);  // put back after the load
    EXPECT_EQ(EditGlobals().editPage, other);
    EXPECT_EQ(page_->GetUndoList(), nullptr);  // the load recorded nothing
    throw CFileException();
  });
  EXPECT_EQ(DumpTree(other->GetRoot()), before);
  ASSERT_NE(page_->GetRoot(), nullptr);
  EXPECT_EQ(CTestBox::Live().size(), live + 9);  // the swapped-in page is whole
  EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
}

TEST_F(PageSwapTest, PageRecordRoundTrip) {
  page_->SetName("Intro");
  page_->m_attribute = 5;
  EXPECT_EQ(page_->m_cachedIndex, -1);
  EXPECT_EQ(doc_.pageRefreshes, 1);
  CMemFile f;
  {
    CArchive ar(&f, CArchive::store);
    ar << page_;
    ar.Close();
  }
  auto bytes = f.GetData();
  const uint8_t expected[] = {0xFF, 0xFF, 1,   0,   13,  0,   'C', 'D', 'o', 'c', 'u', 'm', 'e',
                              'n',  't',  'P', 'a', 'g', 'e', 3,   6,   'P', 'a', 'g', 'e', ' ',
                              '1',  5,    'I', 'n', 't', 'r', 'o', 0,   0,   0,   0,   5};
  ASSERT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()),
            std::vector<uint8_t>(std::begin(expected), std::end(expected)));
  f.SeekToBegin();
  CArchive ar(&f, CArchive::load);
  ar.m_pDocument = &doc_;
  CDocumentPage* back;
  ar >> back;
  std::unique_ptr<CDocumentPage> owned(back);
  EXPECT_EQ(back->m_streamName, "Page 1");
  EXPECT_EQ(back->m_name, "Intro");
  EXPECT_EQ(back->m_attribute, 5);
  EXPECT_EQ(back->m_document, &doc_);
  EXPECT_EQ(back->GetRoot(), nullptr);  // contents stay out until locked
  EXPECT_EQ(back->GetLockCount(), 0);
}

TEST_F(PageSwapTest, DeletingAPageDropsItsStream) {
  SwapOut();
  page_->LockUpdate();
  doc_.m_currentPage = page_;
  page_->DeletePage();
  EXPECT_EQ(doc_.m_pages, nullptr);
  EXPECT_EQ(doc_.m_currentPage, nullptr);
  EXPECT_FALSE(doc_.m_rootStorage.HasElement("Page 1"));
  EXPECT_TRUE(doc_.IsModified());
}

}  // namespace
