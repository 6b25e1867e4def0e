// CMovieExporter: the exporter of the movie format (settings section
// "Vector"). It writes the whole document (every page, every frame) or one
// frame of one page as a movie, and on request a plain-text size report
// beside it.
//
// The movie is written to a temporary file beside the target and renamed
// over it once finished, so a failed export leaves the user's earlier file
// as it was. Failures (file, memory, the format's limits) are thrown to the
// export command after the pages are unlocked and the files closed.
#pragma once

#include <cstdint>
#include <string>

#include "movie/export/exporter.h"
#include "movie/export/movie_export_settings.h"

class CMovieExporter : public CExporter {
 public:
  // The options dialog 548: the editor installs the window; without one the
  // settings are accepted as they are. The hook returns 1 for OK.
  using OptionsDialog = int32_t (*)(CMovieExportSettings& settings);
  static OptionsDialog SetOptionsDialog(OptionsDialog dialog);

  void LoadSettings() override { m_settings.Load(); }
  void SaveSettings() override { m_settings.Save(); }
  int32_t DoOptionsDialog() override;
  // The whole document, with the progress dialog (caption 499).
  int32_t ExportSequence() override;
  // One frame of one page.
  int32_t ExportFrame(CDocumentPage* page, int32_t frame) override;

  CMovieExportSettings m_settings;

 private:
  // Writes the movie of the listed frames (page null: every frame of every
  // page) with or without the progress dialog.
  int32_t Export(CDocumentPage* page, int32_t frame);
};

// The report beside a movie: the path with everything from the last "." of
// its file name replaced by ".txt", or ".txt" appended.
std::string ReportPathFor(const std::string& moviePath);
