#include "model/doc_template.h"

#include "model/document.h"
#include "model/pic_obj.h"

namespace {
constexpr Fixed kTwipsToHimetric = 115598;  // 2540 / 1440 in 16.16

bool EndsWithPld(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return tail == ".pld";
}

bool IsEmbeddedOle(const CPicObj* obj) {
  const CRuntimeClass* ole = CRuntimeClass::FromName("CPicOle");
  return ole != nullptr && obj->IsKindOf(ole);
}
}  // namespace

void CMarlDocTemplate::SwapInAltMenu() {
  if (m_savedMenu != nullptr) return;
  m_savedMenu = m_shell.GetSharedMenu();
  m_shell.SetSharedMenu(m_shell.GetAltMenu());
}

void CMarlDocTemplate::RestoreMenu() {
  if (m_savedMenu == nullptr) return;
  m_shell.SetSharedMenu(m_savedMenu);
  m_savedMenu = nullptr;
}

std::unique_ptr<CMarlDoc> CMarlDocTemplate::CreateNewDocument() {
  std::unique_ptr<CMarlDoc> doc(m_shell.NewDocument());
  if (doc && IsAltMenuIn()) doc->m_altMenuDoc = 1;
  return doc;
}

std::unique_ptr<CMarlDoc> CMarlDocTemplate::OpenDocumentFile(const std::string& path,
                                                             bool /*makeVisible*/) {
  std::unique_ptr<CMarlDoc> doc = CreateNewDocument();
  if (!doc || !doc->OnOpenDocument(path)) return nullptr;
  if (EndsWithPld(path)) {
    doc->SetPathName("");
    SetDefaultTitle(*doc);
  } else if (doc->GetPathName().empty()) {
    SetDefaultTitle(*doc);  // an imported file: a new, untitled document
  }
  return doc;
}

int32_t TwipsToHimetric(int32_t twips) {
  return FixedMul(twips, kTwipsToHimetric);
}

CDragOutPlan PlanDragOut(const std::vector<CPicObj*>& viewObjects, const Point32& grabPoint,
                         const Rect32& selectionBounds) {
  CDragOutPlan plan;
  plan.rect = {0, TwipsToHimetric(WrapSub(selectionBounds.xmax, selectionBounds.xmin)), 0,
               TwipsToHimetric(WrapSub(selectionBounds.ymax, selectionBounds.ymin))};
  plan.offset = {TwipsToHimetric(WrapSub(grabPoint.x, selectionBounds.xmin)),
                 TwipsToHimetric(WrapSub(grabPoint.y, selectionBounds.ymin))};
  int selected = 0;
  CPicObj* lastOle = nullptr;
  for (CPicObj* obj : viewObjects) {
    if (!obj->IsSelected()) continue;
    ++selected;
    if (IsEmbeddedOle(obj)) lastOle = obj;
  }
  if (selected == 1) plan.oleObject = lastOle;
  return plan;
}

void DragSelectionOut(CDragOutHost& host, const Point32& grabPoint, const Rect32& selectionBounds) {
  const CDragOutPlan plan = PlanDragOut(host.ViewObjects(), grabPoint, selectionBounds);
  const bool moved = plan.oleObject != nullptr ? host.DragClientItem(plan.oleObject, plan)
                                               : host.DragServerItem(plan);
  if (moved && host.ViewExists()) host.DeleteSelection();
}
