#include "movie/export/exporter.h"

#include <cstdio>
#include <exception>

#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_page.h"
#include "movie/export/export_strings.h"
#include "movie/export/progress_dialog.h"

void SplitPathExtension(const std::string& path, std::string& base, std::string& extension) {
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= nameStart) {
    base = path;
    extension.clear();
    return;
  }
  base = path.substr(0, dot);
  extension = path.substr(dot);
}

std::string SequenceFileName(const std::string& base, int32_t number,
                             const std::string& extension) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%.4i", static_cast<int>(number));
  return base + digits + extension;
}

void CExporter::SetTarget(const std::string& path, CMarlDoc* document, int32_t option) {
  m_path = path;
  m_document = document;
  m_option = option;
  if (document != nullptr) {
    document->GetMovieRect(m_documentRect);
    m_bounds = m_documentRect;
  }
}

namespace {

// Holds a page's updates for the scope.
class CPageLock {
 public:
  explicit CPageLock(CDocumentPage* page) : m_page(page) { m_page->LockUpdate(); }
  ~CPageLock() { m_page->UnlockUpdate(); }
  CPageLock(const CPageLock&) = delete;
  CPageLock& operator=(const CPageLock&) = delete;

 private:
  CDocumentPage* m_page;
};

}  // namespace

int32_t CExporter::ExportSequence() {
  if (m_document == nullptr) return 0;
  std::string base, extension;
  SplitPathExtension(m_path, base, extension);
  int32_t pageCount = 0;
  for (CDocumentPage* p = m_document->m_pages; p != nullptr; p = p->m_next) ++pageCount;

  CProgressDlg progress(kIdsExportingSequence);
  progress.SetRange(0, 64 * pageCount);
  if (!progress.Create()) return 0;

  int32_t number = 1;
  int32_t pageIndex = 0;
  for (CDocumentPage* page = m_document->m_pages; page != nullptr;
       page = page->m_next, ++pageIndex) {
    CPageLock lock(page);
    CPicPage* root = page->GetRoot();
    const int32_t frames = root != nullptr ? root->m_frameCount : 0;
    for (int32_t f = 0; f < frames; ++f) {
      progress.SetPos(pageIndex * 64 + static_cast<int32_t>(int64_t{f} * 64 / frames));
      if (progress.CheckCancel()) return 0;
      m_path = SequenceFileName(base, number++, extension);
      try {
        if (ExportFrame(page, f) == 0) return 0;
      } catch (const std::exception& e) {
        m_document->ReportMessage(kIdsUnknownError, &e);
        return 0;
      }
    }
  }
  return 1;
}
