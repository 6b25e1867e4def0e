// The strings of the exporters' messages and captions (they are also in the
// program's string table, for the windows that show them).
#pragma once

#include <cstdint>

constexpr uint32_t kIdsWorking = 223;            // the progress dialog's default caption
constexpr uint32_t kIdsConfirmCancel = 486;      // asked when Cancel was pressed
constexpr uint32_t kIdsExportingSequence = 494;  // caption of a numbered-file export
constexpr uint32_t kIdsExportingMovie = 499;     // caption of the movie export
constexpr uint32_t kIdsMissingOutlines = 543;    // some glyphs had no outline

// The text of one of the strings above; "" for other ids.
const char* ExportString(uint32_t id);
