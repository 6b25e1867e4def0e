// CMarlDocTemplate: the document template of the editor (creating documents,
// opening files, the alternative menu) and the dragging of a selection out
// of a view. What belongs to the application (the menus, the views' objects,
// the drag itself, the server item) is reached through CDocShell, which the
// application implements.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/fixed.h"
#include "platform/core/document_base.h"

class CMarlDoc;
class CPicObj;

class CDocShell {
 public:
  virtual ~CDocShell() = default;
  // Menus: the shared menu and accelerator pair in use, and the application's
  // alternative pair (opaque handles).
  virtual void* GetSharedMenu() = 0;
  virtual void SetSharedMenu(void* menuAndAccel) = 0;
  virtual void* GetAltMenu() = 0;
  // A new document object of the application's class.
  virtual CMarlDoc* NewDocument() = 0;
};

class CMarlDocTemplate : public CDocTemplateBase {
 public:
  explicit CMarlDocTemplate(CDocShell& shell) : m_shell(shell) {}

  // Saves the shared menu and puts the alternative one in (nothing when in).
  void SwapInAltMenu();
  void EnterAltMenu() { SwapInAltMenu(); }
  // Puts the saved menu back (nothing when none is saved).
  void RestoreMenu();
  bool IsAltMenuIn() const { return m_savedMenu != nullptr; }

  // A new document; it remembers that the alternative menu was in.
  std::unique_ptr<CMarlDoc> CreateNewDocument();
  // Opens a document file; a file of the earlier drawing product (".pld", any
  // case) becomes untitled with a default title. Null when it cannot be opened.
  std::unique_ptr<CMarlDoc> OpenDocumentFile(const std::string& path, bool makeVisible = true);

 private:
  CDocShell& m_shell;
  void* m_savedMenu = nullptr;
};

// ---- dragging the selection out ----------------------------------------------------------------

// Twips to hundredths of a millimetre (the container's units).
int32_t TwipsToHimetric(int32_t twips);

// The drag of a selection: its rectangle (0, 0 to the bounds' size) and the
// grab point's offset from the bounds' top-left corner, in hundredths of a
// millimetre; the object whose own client item drags (the only selected
// object when it is an embedded OLE object), else null for a server item of
// the view's selection.
struct CDragOutPlan {
  Rect32 rect;
  Point32 offset;
  CPicObj* oleObject = nullptr;
};
CDragOutPlan PlanDragOut(const std::vector<CPicObj*>& viewObjects, const Point32& grabPoint,
                         const Rect32& selectionBounds);

// The application's part of the drag: the class library's drag and drop of
// an OLE object's client item or of a new server item of the view's
// selection (true when the drop reports a move), and the view's deletion.
class CDragOutHost {
 public:
  virtual ~CDragOutHost() = default;
  virtual std::vector<CPicObj*> ViewObjects() = 0;
  virtual bool DragClientItem(CPicObj* oleObject, const CDragOutPlan& plan) = 0;
  virtual bool DragServerItem(const CDragOutPlan& plan) = 0;
  virtual bool ViewExists() = 0;
  virtual void DeleteSelection() = 0;
};
void DragSelectionOut(CDragOutHost& host, const Point32& grabPoint, const Rect32& selectionBounds);
