#include "movie/export/movie_export_settings.h"

#include <algorithm>

#include "platform/core/profile.h"

void CMovieExportSettings::Load() {
  report = GetProfileInt(kSection, "Report", 0) != 0;
  topDown = GetProfileInt(kSection, "TopDown", 0) != 0;
  quality = GetProfileInt(kSection, "Quality", kDefaultQuality);
  Clamp();
}

void CMovieExportSettings::Save() const {
  WriteProfileInt(kSection, "Report", report ? 1 : 0);
  WriteProfileInt(kSection, "TopDown", topDown ? 1 : 0);
  WriteProfileInt(kSection, "Quality", std::clamp(quality, kQualityMin, kQualityMax));
}

void CMovieExportSettings::Clamp() {
  quality = std::clamp(quality, kQualityMin, kQualityMax);
}
