// The settings of the movie export (profile section "Vector") and the model
// of its options dialog 548 ("Export Vimbrel Player"): the check boxes
// "Load top down" (316) and "Generate size report" (376) and the slider
// "Bitmap &Quality" (302, 1 to 100, a tick every 25).
#pragma once

#include <cstdint>

struct CMovieExportSettings {
  static constexpr const char* kSection = "Vector";
  static constexpr int kDialogId = 548;
  static constexpr int kTopDownCheck = 316;
  static constexpr int kReportCheck = 376;
  static constexpr int kQualitySlider = 302;
  static constexpr int32_t kQualityMin = 1;
  static constexpr int32_t kQualityMax = 100;
  static constexpr int32_t kQualityTick = 25;
  static constexpr int32_t kDefaultQuality = 50;

  bool report = false;                // "Report": write the size report beside the movie
  bool topDown = false;               // "TopDown": place a frame's elements from the top down
  int32_t quality = kDefaultQuality;  // "Quality": JPEG quality of the bitmaps

  // Reads the three values; out-of-range values are clamped (a quality
  // outside 1..100 would make a JPEG the library refuses or wastes).
  void Load();
  void Save() const;
  // Brings every value into its range.
  void Clamp();
};
