#include "movie/export/movie_exporter.h"

#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <memory>
#include <vector>

#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_page.h"
#include "movie/export/export_driver.h"
#include "movie/export/export_strings.h"
#include "movie/export/progress_dialog.h"
#include "movie/movie_writer.h"
#include "platform/core/file.h"

namespace {

CMovieExporter::OptionsDialog g_optionsDialog = nullptr;

// The movie's temporary file: removed unless it was renamed over the target.
class CTemporaryMovie {
 public:
  explicit CTemporaryMovie(const std::string& target)
      : m_target(target),
        m_path(target + ".~" + std::to_string(static_cast<long>(getpid())) + ".tmp") {
    m_file.Open(m_path, CDiskFile::modeCreate | CDiskFile::modeReadWrite);
  }
  ~CTemporaryMovie() {
    if (!m_committed) {
      m_file.Abort();
      std::remove(m_path.c_str());
    }
  }
  CTemporaryMovie(const CTemporaryMovie&) = delete;
  CTemporaryMovie& operator=(const CTemporaryMovie&) = delete;

  CDiskFile& File() { return m_file; }
  // Closes the file and puts it in the target's place.
  void Commit() {
    m_file.Close();
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
      throw CFileException(CFileException::OsErrorToCause(errno), errno, m_target);
    m_committed = true;
  }

 private:
  std::string m_target;
  std::string m_path;
  CDiskFile m_file;
  bool m_committed = false;
};

// Holds the updates of a list of pages; every page is unlocked on every path.
class CPageLocks {
 public:
  ~CPageLocks() {
    for (CDocumentPage* p : m_locked) p->UnlockUpdate();
  }
  void Lock(CDocumentPage* page) {
    page->LockUpdate();
    m_locked.push_back(page);
  }

 private:
  std::vector<CDocumentPage*> m_locked;
};

}  // namespace

std::string ReportPathFor(const std::string& moviePath) {
  std::string base, extension;
  SplitPathExtension(moviePath, base, extension);
  return base + ".txt";
}

CMovieExporter::OptionsDialog CMovieExporter::SetOptionsDialog(OptionsDialog dialog) {
  OptionsDialog old = g_optionsDialog;
  g_optionsDialog = dialog;
  return old;
}

int32_t CMovieExporter::DoOptionsDialog() {
  if (g_optionsDialog == nullptr) return 1;
  CMovieExportSettings edited = m_settings;
  if (g_optionsDialog(edited) == 0) return 0;
  edited.Clamp();
  m_settings = edited;
  return 1;
}

int32_t CMovieExporter::ExportSequence() {
  return Export(nullptr, 0);
}

int32_t CMovieExporter::ExportFrame(CDocumentPage* page, int32_t frame) {
  if (page == nullptr) return 0;
  return Export(page, frame);
}

int32_t CMovieExporter::Export(CDocumentPage* page, int32_t frame) {
  if (m_document == nullptr) return 0;
  const bool whole = page == nullptr;
  CTemporaryMovie movie(m_path);
  CMovieWriter writer(&movie.File());
  writer.SetJpegQuality(m_settings.quality);
  writer.WriteHeader(m_bounds, m_document->m_frameRate);
  writer.WriteStageColor(m_document->m_backgroundColor);

  std::unique_ptr<CDiskFile> report;
  if (m_settings.report)
    report = std::make_unique<CDiskFile>(ReportPathFor(m_path),
                                         CDiskFile::modeCreate | CDiskFile::modeWrite);
  bool missingOutline = false;
  {
    CMovieExportDriver driver(m_document, writer, m_settings.topDown, report.get());
    CPageLocks locks;
    std::unique_ptr<CProgressDlg> progress;
    if (whole) {
      progress = std::make_unique<CProgressDlg>(kIdsExportingMovie);
      progress->SetRange(0, 4);
      progress->Create();
      for (CDocumentPage* p = m_document->m_pages; p != nullptr; p = p->m_next) locks.Lock(p);
      // Symbols too: an instance shows nothing of a symbol that is not in memory.
      for (CDocumentPage* p = m_document->m_symbols; p != nullptr; p = p->m_next) locks.Lock(p);
      progress->SetPos(1);
      for (CDocumentPage* p = m_document->m_pages; p != nullptr; p = p->m_next) {
        CPicPage* root = p->GetRoot();
        const int32_t frames = root != nullptr ? root->m_frameCount : 0;
        for (int32_t f = 0; f < frames; ++f) driver.CollectFrame(p, f);
      }
      progress->SetPos(2);
    } else {
      // The page is held while it is read (a page whose contents were
      // swapped out is read back first).
      locks.Lock(page);
      driver.CollectFrame(page, frame);
    }
    missingOutline = driver.WriteFrames();
    if (progress != nullptr) progress->SetPos(3);
    writer.Finish();
    movie.Commit();
    if (progress != nullptr) progress->SetPos(4);
  }
  if (report != nullptr) report->Close();
  if (missingOutline) AppServices().MessageBox(kIdsMissingOutlines, kMbOk | kMbIconExclamation);
  return 1;
}
