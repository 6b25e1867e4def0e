// CEditTransaction: one level of a page's edit transaction as a scope.
//
// Construction opens the level (CDocumentPage::BeginEdit), Commit closes it
// (EndEdit); a level still open when the scope ends, because an exception
// passes or the code returned without committing, is aborted: the outermost
// level reverts what the transaction recorded. Commands and gestures run
// their work through Run, which also reports a failure to the user:
//
//   CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
//     ... change objects (each saves its state before it changes) ...
//   });
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

#include "model/document_page.h"

class CEditTransaction {
 public:
  // Opens a level of the page's transaction (throws what BeginEdit throws).
  CEditTransaction(CDocumentPage& page, uint32_t kind);
  // Aborts the level unless it was committed.
  ~CEditTransaction();
  CEditTransaction(const CEditTransaction&) = delete;
  CEditTransaction& operator=(const CEditTransaction&) = delete;

  // Closes the level; returns the depth that remains. The level counts as
  // closed also when the refresh that follows throws.
  int32_t Commit();

  // Runs body inside a level of kind and commits it. A failure is reverted
  // and, at the outermost level, reported to the user (a memory failure as
  // such) and answered with false; inside an enclosing level the exception
  // passes on, so that level reverts the whole edit.
  template <class F>
  static bool Run(CDocumentPage& page, uint32_t kind, F&& body) {
    try {
      CEditTransaction edit(page, kind);
      std::forward<F>(body)();
      edit.Commit();
      return true;
    } catch (const std::exception& e) {
      if (page.GetEditDepth() > 0) throw;
      page.ReportEditFailure(&e);
    } catch (...) {
      if (page.GetEditDepth() > 0) throw;
      page.ReportEditFailure(nullptr);
    }
    return false;
  }

 private:
  CDocumentPage& m_page;
  bool m_open = true;
};
