#include "movie/export/qt/movie_export_dialog.h"

#include <QSlider>

#include "movie/export/movie_exporter.h"
#include "movie/export/qt/progress_window.h"

using S = CMovieExportSettings;

CMovieExportDialog::CMovieExportDialog(CMovieExportSettings& settings, CWnd* parent)
    : CDialog(S::kDialogId, parent), m_settings(settings) {}

BOOL CMovieExportDialog::OnInitDialog() {
  if (auto* slider = qobject_cast<QSlider*>(GetDlgItem(S::kQualitySlider))) {
    slider->setRange(S::kQualityMin, S::kQualityMax);
    slider->setTickInterval(S::kQualityTick);
    slider->setTickPosition(QSlider::TicksBelow);
  }
  return CDialog::OnInitDialog();
}

void CMovieExportDialog::DoDataExchange(CDataExchange* dx) {
  int topDown = m_settings.topDown ? 1 : 0;
  int report = m_settings.report ? 1 : 0;
  int quality = m_settings.quality;
  DDX_Check(dx, S::kTopDownCheck, topDown);
  DDX_Check(dx, S::kReportCheck, report);
  // The slider keeps its value within 1..100, so a quality from elsewhere
  // shows (and comes back) clamped.
  DDX_Slider(dx, S::kQualitySlider, quality);
  if (!dx->m_bSaveAndValidate) return;
  m_settings.topDown = topDown != 0;
  m_settings.report = report != 0;
  m_settings.quality = quality;
  m_settings.Clamp();
}

int32_t RunMovieExportDialog(CMovieExportSettings& settings) {
  CWinApp* app = AfxGetApp();
  CMovieExportDialog dialog(settings, app != nullptr ? app->m_pMainWnd : nullptr);
  return dialog.DoModal() == kIdOk ? 1 : 0;
}

void InstallExportWindows() {
  SetProgressWindowFactory(&MakeProgressWindow);
  CMovieExporter::SetOptionsDialog(&RunMovieExportDialog);
}
