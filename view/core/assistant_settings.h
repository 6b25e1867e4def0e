// The drawing assistant's settings: six levels chosen by the user, the
// enabled flag, and the tolerances derived from the levels that the tools,
// snapping and shape recognition read. Kept in the profile section
// "Assistant".
#pragma once

#include <cstdint>

#include "geometry/curve_fit.h"

// Indices of CAssistantSettings::levels.
enum AssistantLevel : int {
  kAssistantConnect = 0,  // "Connect": connect lines (snapping radius)
  kAssistantGrid = 1,     // "Grid": snap to grid; 4 = always snap
  kAssistantCurve = 2,    // "Curve": smooth curves
  kAssistantLine = 3,     // "Line": recognise lines
  kAssistantShape = 4,    // "Shape": recognise shapes
};

struct CAssistantSettings {
  uint8_t levels[5] = {2, 2, 2, 2, 2};  // by AssistantLevel
  uint8_t tap = 2;                      // "Tap": click accuracy
  uint8_t enabled = 1;                  // "Enabled": snapping on

  // Derived by UpdateAssistantTolerances.
  int32_t connect_tolerance_a = 0;  // snap scale of pencil strokes
  int32_t connect_tolerance_b = 0;  // snapping radius of drags (times U)
  int32_t angle_snap_arc = 0;       // arc of angle snapping (times U)
  int32_t second_constant = 0;
  int32_t grid_tolerance = 0;  // times U; 0 = no grid snapping
  PackedTolerance curve_tolerance = 0;
  PackedTolerance line_tolerance = 0;
  PackedTolerance shape_tolerance = 0;
  int32_t tap_tolerances[3] = {};  // two hit-test tolerances and the handle tolerance (times U)

  CAssistantSettings();

  // Reads every level and the flag from section "Assistant" (missing keys
  // read as 2), each clamped to the levels its table has, then derives the
  // tolerances.
  void Load();
  // Writes the six levels and the flag back.
  void Save() const;
};

// Derives the tolerances from the levels; a level beyond its table counts as
// the table's last entry.
void UpdateAssistantTolerances(CAssistantSettings& settings);

// The application's settings; ResetAssistantSettings (the test hook) brings
// back the defaults.
CAssistantSettings& AssistantSettings();
void ResetAssistantSettings();
