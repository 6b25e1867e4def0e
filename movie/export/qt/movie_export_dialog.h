// The movie export's options dialog (template 548, "Export Vimbrel Player"):
// the check boxes "Load top down" and "Generate size report" and the bitmap
// quality slider (1 to 100, a tick every 25), exchanged with the exporter's
// settings.
#pragma once

#include <cstdint>

#include "movie/export/movie_export_settings.h"
#include "platform/qt/dialog.h"

class CMovieExportDialog : public CDialog {
 public:
  // Edits settings in place when OK is pressed.
  explicit CMovieExportDialog(CMovieExportSettings& settings, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 private:
  CMovieExportSettings& m_settings;
};

// Runs the dialog over the main window: 1 for OK (settings changed), else 0.
int32_t RunMovieExportDialog(CMovieExportSettings& settings);

// Gives the export side its windows: the progress window and this dialog.
// The editor calls it once at start-up.
void InstallExportWindows();
