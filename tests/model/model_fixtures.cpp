#include "model_fixtures.h"

#include <stdio.h>

#include <cstdio>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "platform/core/archive.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/core/profile.h"

VM_IMPLEMENT_SERIAL(CTestBox, CPicObj, 1)

bool CTestBox::s_failRestore = false;
bool CTestBox::s_failRead = false;
bool CTestBox::s_failUpdate = false;

namespace {

constexpr int32_t kLineGrow = 10;  // the box's "line width" in its full bounds

class CTestBoxItem : public CEditItem {
 public:
  CTestBoxItem(CTestBox* box) : m_box(box), m_saved(box->m_box) {}
  void Restore() override {
    if (CTestBox::s_failRestore) {
      CTestBox::s_failRestore = false;
      throw CFileException(CFileException::hardIO);
    }
    m_box->SaveBox();
    m_box->Invalidate(1);
    m_box->m_box = m_saved;
  }

 private:
  CTestBox* m_box;
  Rect32 m_saved;
};

}  // namespace

void CTestServices::PurgeDocuments() {
  ++purges;
  if (onPurge != nullptr) onPurge();
}

std::string RectText(const Rect32& r) {
  if (r.IsEmpty()) return "empty";
  char buf[80];
  std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", r.xmin, r.xmax, r.ymin, r.ymax);
  return buf;
}

void CRecordingContext::FrameRect(const Rect32& r) {
  calls.push_back("frame " + RectText(r));
}

void CRecordingContext::DrawHandle(const Point32& p, int flags) {
  calls.push_back("handle " + std::to_string(p.x) + "," + std::to_string(p.y) + " " +
                  std::to_string(flags));
}

void CRecordingContext::DrawEdgeGraph(const EdgeGraph&) {
  calls.push_back("graph");
}

void CRecordingContext::SetMatrix(const Matrix2x3& m) {
  calls.push_back("matrix " + std::to_string(m.tx) + "," + std::to_string(m.ty));
  CRenderContext::SetMatrix(m);
}

void CRecordingContext::MarkGroup(int begin) {
  calls.push_back(begin ? "group" : "end group");
}

void CRecordingContext::BeginLayer(std::string_view name) {
  calls.push_back("layer " + std::string(name));
}

void CRecordingContext::EndLayer() {
  calls.push_back("end layer");
}

CPicLayer* MakeLayer(const std::vector<int32_t>& lengths) {
  auto* layer = new CPicLayer;
  for (int32_t n : lengths) layer->AddKeyFrame()->SetLength(n);
  return layer;
}

std::vector<int32_t> Lengths(CPicLayer* layer) {
  std::vector<int32_t> out;
  for (CPicObj* c = layer->GetFirstChild(); c != nullptr; c = c->GetNext()) {
    if (auto* f = dynamic_cast<CPicFrame*>(c)) out.push_back(f->GetLength());
  }
  return out;
}

CExportNode* CTestCollector::NewNode(CPicObj* obj) {
  auto* box = dynamic_cast<CTestBox*>(obj);
  nodes.push_back({box != nullptr ? box->m_id : -1, m_matrix, m_frame});
  return reinterpret_cast<CExportNode*>(&nodes.back());
}

std::set<CTestBox*>& CTestBox::Live() {
  static std::set<CTestBox*> live;
  return live;
}

CTestBox::CTestBox() {
  Live().insert(this);
}

CTestBox::CTestBox(int id, Rect32 box, int32_t first, int32_t last)
    : m_id(id), m_box(box), m_first(first), m_last(last) {
  Live().insert(this);
}

CTestBox::~CTestBox() {
  Live().erase(this);
}

void CTestBox::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << uint8_t{1} << m_id << m_box << m_first << m_last;
  } else {
    if (s_failRead) throw CMemoryException();
    uint8_t version;
    ar >> version >> m_id >> m_box >> m_first >> m_last;
  }
}

void CTestBox::CollectExtent(CExtentQuery& q) {
  if (!m_box.IsEmpty()) {
    Rect32 r = m_box;
    if (q.full != 0) RectInset(r, -kLineGrow);
    q.AddRectSpan(r, m_first, m_last);
  }
  CPicObj::CollectExtent(q);
}

void CTestBox::Draw(CRenderContext& rc) {
  if (auto* rec = dynamic_cast<CRecordingContext*>(&rc)) {
    std::string note = "draw #" + std::to_string(m_id);
    if (rec->recordFrames) note += " @" + std::to_string(rc.m_currentFrame);
    rec->calls.push_back(note);
  }
  CPicObj::Draw(rc);
}

void CTestBox::EnumShapes(CExportCollector& c) {
  NewExportNode(c, this);
  CPicObj::EnumShapes(c);
}

int32_t CTestBox::NextChange(int32_t f) {
  int32_t children = CPicObj::NextChange(f);
  return std::min(children, m_nextChange);
}

int32_t CTestBox::HitTest(const CHitTest& probe) {
  if (int32_t hit = CPicObj::HitTest(probe)) return hit;
  return !m_box.IsEmpty() && RectContainsPoint(m_box, probe.point) ? m_id : 0;
}

int32_t CTestBox::ClassifyInRect(const PointList& lasso, int32_t frame) {
  return m_classify != 0 ? m_classify : CPicObj::ClassifyInRect(lasso, frame);
}

void CTestBox::UpdateExtent() {
  if (s_failUpdate) {
    s_failUpdate = false;
    throw CMemoryException();
  }
  CPicObj::UpdateExtent();
}

void CTestBox::SetBox(const Rect32& box) {
  if (box == m_box) return;
  Invalidate(1);
  SaveBox();
  m_box = box;
}

void CTestBox::SaveBox() {
  CEditGlobals& g = EditGlobals();
  if (g.openStep == nullptr || m_savedSerial == g.stepSerial) return;
  g.openStep->AddItem(new CTestBoxItem(this));
  m_savedSerial = g.stepSerial;
}

std::string DumpTree(const CPicObj* obj) {
  std::string s;
  if (const auto* box = dynamic_cast<const CTestBox*>(obj)) {
    s = "#" + std::to_string(box->m_id);
  } else {
    s = obj->GetRuntimeClass()->m_lpszClassName;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "(%x", obj->GetFlags() & CPicObj::kRestoredFlags);
  s += buf;
  if (obj->HasCenter()) {
    std::snprintf(buf, sizeof buf, ",%d:%d", obj->GetStoredCenter().x, obj->GetStoredCenter().y);
    s += buf;
  }
  s += ")";
  if (const auto* box = dynamic_cast<const CTestBox*>(obj)) s += "[" + RectText(box->m_box) + "]";
  if (obj->GetFirstChild() != nullptr) {
    s += "{";
    for (const CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      // The back links must agree with the forward ones.
      if (c->GetParent() != obj) s += "!parent";
      if (c->GetNext() == nullptr && obj->GetLastChild() != c) s += "!last";
      if (c->GetNext() != nullptr && c->GetNext()->GetPrev() != c) s += "!prev";
      s += DumpTree(c);
      if (c->GetNext() != nullptr) s += " ";
    }
    s += "}";
  }
  return s;
}

std::string DumpPage(CDocumentPage& page) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  page.SerializeContents(ar);
  ar.Close();
  std::string text = DumpTree(page.GetRoot()) + "\n";
  static const char* digits = "0123456789abcdef";
  for (uint8_t b : file.GetData()) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

void ModelTest::SetUp() {
  ResetEditGlobals();
  ResetProfileSettings();
  CPicObj::ReleaseLoadChain(false);
  previous_ = SetAppServices(&services_);
}

void ModelTest::TearDown() {
  EXPECT_EQ(EditGlobals().openStep, nullptr);
  EXPECT_EQ(EditGlobals().editPage, nullptr);
  EXPECT_EQ(services_.waitDepth, 0);
  CPicObj::ReleaseLoadChain(false);
  CTestBox::s_failRestore = false;
  CTestBox::s_failRead = false;
  CTestBox::s_failUpdate = false;
  SetAppServices(previous_);
  ResetEditGlobals();
}

CDocumentPage* ModelTest::NewPage(CTestDoc& doc, bool symbol) {
  auto* page = new CDocumentPage;
  page->InitForDocument(&doc, symbol);
  doc.AppendPage(page, symbol);
  return page;
}

std::string RunCommand(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  EXPECT_EQ(pipe != nullptr ? ::pclose(pipe) : -1, 0) << command << "\n" << out;
  return out;
}
