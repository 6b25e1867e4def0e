// Test doubles and small drawing objects for the model tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_step.h"
#include "model/edit_transaction.h"
#include "model/export_collector.h"
#include "model/pic_obj.h"
#include "model/pic_page.h"
#include "render/context/render_context.h"

// Records every call the model makes to the application shell.
class CTestServices : public CAppServices {
 public:
  void BeginWaitCursor() override { ++waitDepth, ++waitBegins; }
  void EndWaitCursor() override { --waitDepth; }
  int GetUndoLevels() override { return undoLevels; }
  int MessageBox(uint32_t id, uint32_t style) override {
    messages.push_back(id);
    styles.push_back(style);
    return 1;
  }
  void PurgeDocuments() override;
  uint32_t SetTimer(uint32_t id, uint32_t ms) override {
    timerSets.push_back({id, ms});
    return timerWorks ? id : 0;
  }
  void KillTimer(uint32_t id) override { timerKills.push_back(id); }
  bool IsUserAbort() override { return userAbort; }
  std::vector<CMarlDoc*> GetDocuments() override { return documents; }

  int waitDepth = 0;
  int waitBegins = 0;
  int undoLevels = 20;
  std::vector<uint32_t> messages;
  std::vector<uint32_t> styles;
  int purges = 0;
  void (*onPurge)() = nullptr;
  struct TimerSet {
    uint32_t id, ms;
  };
  std::vector<TimerSet> timerSets;
  std::vector<uint32_t> timerKills;
  bool timerWorks = true;
  bool userAbort = false;
  std::vector<CMarlDoc*> documents;
};

// A document that counts what its pages ask of the views and items.
class CTestDoc : public CMarlDoc {
 public:
  void UpdatePageViews(CDocumentPage* page) override { viewUpdates.push_back(page); }
  void RebuildTabs(bool symbols) override { (symbols ? symbolRefreshes : pageRefreshes)++; }
  void UpdateAllItems() override { ++itemUpdates; }
  void ReportMessage(uint32_t id, const std::exception*) override { reported.push_back(id); }
  std::vector<uint32_t> reported;
  std::vector<CDocumentPage*> viewUpdates;
  int pageRefreshes = 0;
  int symbolRefreshes = 0;
  int itemUpdates = 0;
};

// Records the drawing calls; test objects add notes of their own.
class CRecordingContext : public CRenderContext {
 public:
  void FrameRect(const Rect32& r) override;
  void DrawHandle(const Point32& p, int flags) override;
  void DrawEdgeGraph(const EdgeGraph& graph) override;
  void SetMatrix(const Matrix2x3& m) override;
  void MarkGroup(int begin) override;
  void BeginLayer(std::string_view name) override;
  void EndLayer() override;
  std::vector<std::string> calls;
  bool recordFrames = false;  // boxes note the frame they are drawn at
};

// A drawing object with a box (its geometry), a frame span in which it is
// present, and an id that survives storing. Its box is a content record
// taken once per step by serial, as the real drawing classes do.
class CTestBox : public CPicObj {
 public:
  CTestBox();
  explicit CTestBox(int id, Rect32 box = {}, int32_t first = kFrameWindowFirst,
                    int32_t last = kFrameWindowLast);
  ~CTestBox() override;

  void Serialize(CArchive& ar) override;
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& c) override;
  int32_t NextChange(int32_t f) override;
  int32_t HitTest(const CHitTest& probe) override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  // Throws a memory exception once while s_failUpdate is set.
  void UpdateExtent() override;

  // Changes the box under undo (nothing when unchanged).
  void SetBox(const Rect32& box);
  void SaveBox();

  int m_id = 0;
  Rect32 m_box;
  int32_t m_first = kFrameWindowFirst;
  int32_t m_last = kFrameWindowLast;
  int32_t m_nextChange = kFrameNever;  // answer of NextChange
  int32_t m_classify = 0;              // answer of ClassifyInRect
  int32_t m_savedSerial = 0;           // serial of the step holding the last box record

  static std::set<CTestBox*>& Live();
  // The next box restore throws (to make an undo fail).
  static bool s_failRestore;
  // Reading a box throws a memory exception while set.
  static bool s_failRead;
  // The next tidy-up of a box (UpdateExtent) throws, as a shape's geometry
  // update does when memory runs out.
  static bool s_failUpdate;

  VM_DECLARE_SERIAL(CTestBox)
};

class CPicLayer;
// A layer of key frames with these lengths (not in a page).
CPicLayer* MakeLayer(const std::vector<int32_t>& lengths);
// The lengths of a layer's key frames in order.
std::vector<int32_t> Lengths(CPicLayer* layer);

// Records what a view would be told.
class CTestRefOwner : public CPicObjRefOwner {
 public:
  void OnObjectRemoved(CPicObj* obj) override { removed.push_back(obj); }
  void OnFramesChanged(const CExtent& change) override { changes.push_back(change); }
  std::vector<CPicObj*> removed;
  std::vector<CExtent> changes;
};

// Collects one node per box.
class CTestCollector : public CExportCollector {
 public:
  CExportNode* NewNode(CPicObj* obj) override;
  struct Node {
    int id;
    Matrix2x3 matrix;
    int32_t frame;
  };
  std::vector<Node> nodes;
};

// The tree as text: "#id(flags,center)[box]{children}"; the flags are the
// stored bits 0x1-0x8.
std::string DumpTree(const CPicObj* obj);
// The page's tree as text and the bytes of its stream, in hexadecimal.
std::string DumpPage(CDocumentPage& page);
std::string RectText(const Rect32& r);

// Installs fresh services and clears the process-wide edit state around
// each test; checks that every transaction ended.
class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A document with one page (locked once by its creation).
  CDocumentPage* NewPage(CTestDoc& doc, bool symbol = false);
  // Runs body inside a user edit of kind on page, as commands do.
  template <class F>
  bool Edit(CDocumentPage* page, F body, uint32_t kind = CDocumentPage::kEditUser) {
    return CEditTransaction::Run(*page, kind, body);
  }

  CTestServices services_;
  CAppServices* previous_ = nullptr;
};

// Runs a shell command and returns its standard output; a failing command
// fails the test.
std::string RunCommand(const std::string& command);
