// The document template (menus, new documents, files of the earlier
// product), importing other files into a new document, and the plan of
// dragging a selection out of a view.
#include "model/doc_template.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "tests/common/temp_dir.h"

namespace {

class CTestShell : public CDocShell {
 public:
  void* GetSharedMenu() override { return shared; }
  void SetSharedMenu(void* m) override { shared = m; }
  void* GetAltMenu() override { return &alt; }
  CMarlDoc* NewDocument() override { return new CTestDoc; }
  int main = 0, alt = 0;
  void* shared = &main;
};

// A dispatcher that takes ".dxf" files: it adds one box, then fails when
// the file name says so.
int TestImport(const std::string& path, int mode, CDocumentPage*, CPicFrame* frame) {
  if (path.size() < 4 || path.substr(path.size() - 4) != ".dxf") return 0;
  if (mode == 0) return 1;
  frame->AddChild(new CTestBox(7, {0, 10, 0, 10}));
  if (path.find("broken") != std::string::npos) throw CFileException(CFileException::endOfFile);
  return 1;
}

class DocTemplateTest : public ModelTest {
 protected:
  void TearDown() override {
    SetImportDispatcher(nullptr);
    ModelTest::TearDown();
  }
  TempDir dir_{"template"};
};

}  // namespace

TEST_F(DocTemplateTest, MenusAndNewDocuments) {
  CTestShell shell;
  CMarlDocTemplate tmpl(shell);
  EXPECT_EQ(tmpl.CreateNewDocument()->m_altMenuDoc, 0u);
  tmpl.SwapInAltMenu();
  EXPECT_EQ(shell.shared, &shell.alt);
  tmpl.EnterAltMenu();  // already in: the saved menu stays the main one
  EXPECT_EQ(tmpl.CreateNewDocument()->m_altMenuDoc, 1u);
  tmpl.RestoreMenu();
  EXPECT_EQ(shell.shared, &shell.main);
  tmpl.RestoreMenu();
  EXPECT_EQ(shell.shared, &shell.main);
}

TEST_F(DocTemplateTest, FilesOfTheEarlierProductBecomeUntitled) {
  CTestShell shell;
  CMarlDocTemplate tmpl(shell);
  CTestDoc doc;
  ASSERT_TRUE(doc.OnNewDocument());
  const std::string path = dir_.Path("OLD.PLD");
  ASSERT_TRUE(doc.OnSaveDocument(path));
  std::unique_ptr<CMarlDoc> opened = tmpl.OpenDocumentFile(path);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->GetPathName(), "");
  EXPECT_EQ(opened->GetTitle(), "Untitled1");
  EXPECT_EQ(tmpl.GetUntitledCount(), 1);
  // A native file keeps its name.
  const std::string native = dir_.Path("new.vmd");
  ASSERT_TRUE(doc.OnSaveDocument(native));
  opened = tmpl.OpenDocumentFile(native);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->GetPathName(), native);
  EXPECT_EQ(opened->GetTitle(), "new.vmd");
  EXPECT_EQ(tmpl.OpenDocumentFile(dir_.Path("missing.vmd")), nullptr);
}

TEST_F(DocTemplateTest, ImportedFilesOpenAsNewDocuments) {
  SetImportDispatcher(&TestImport);
  for (const char* name : {"drawing.dxf", "broken.dxf"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_.Path(name);
    std::ofstream(path) << "data";
    CTestDoc doc;
    const bool broken = std::string(name) == "broken.dxf";
    EXPECT_TRUE(doc.OnOpenDocument(path));
    // The document stays open, modified, with what was imported.
    EXPECT_TRUE(doc.IsModified());
    ASSERT_NE(doc.m_pages, nullptr);
    EXPECT_NE(doc.m_pages->GetFirstFrame()->GetFirstChild(), nullptr);
    EXPECT_EQ(doc.reported,
              broken ? std::vector<uint32_t>{kIdsUnknownError} : std::vector<uint32_t>{});
  }
}

TEST_F(DocTemplateTest, DragPlans) {
  // Twips to hundredths of a millimetre; the grab point from the top-left.
  EXPECT_EQ(TwipsToHimetric(1440), 2540);
  CTestBox a(1), b(2);
  a.SetSelected(true);
  const CDragOutPlan plan = PlanDragOut({&a, &b}, {1440 + 720, 2880}, {1440, 2880, 0, 1440});
  EXPECT_EQ(plan.rect, (Rect32{0, 2540, 0, 2540}));
  EXPECT_EQ(plan.offset, (Point32{1270, 5080}));
  EXPECT_EQ(plan.oleObject, nullptr);  // not an embedded object: a server item drags

  struct Host : CDragOutHost {
    std::vector<CPicObj*> objects;
    bool move = false, exists = true;
    int server_drags = 0, deletions = 0;
    std::vector<CPicObj*> ViewObjects() override { return objects; }
    bool DragClientItem(CPicObj*, const CDragOutPlan&) override { return move; }
    bool DragServerItem(const CDragOutPlan&) override {
      ++server_drags;
      return move;
    }
    bool ViewExists() override { return exists; }
    void DeleteSelection() override { ++deletions; }
  } host;
  host.objects = {&a, &b};
  DragSelectionOut(host, {0, 0}, {0, 10, 0, 10});
  host.move = true;
  DragSelectionOut(host, {0, 0}, {0, 10, 0, 10});
  host.exists = false;
  DragSelectionOut(host, {0, 0}, {0, 10, 0, 10});
  EXPECT_EQ(host.server_drags, 3);
  EXPECT_EQ(host.deletions, 1);  // a move, while the view exists
}
