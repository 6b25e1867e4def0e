#include "movie/export/export_strings.h"

const char* ExportString(uint32_t id) {
  switch (id) {
    case kIdsWorking:
      return "Working...";
    case kIdsConfirmCancel:
      return "Are you sure you want to Cancel?";
    case kIdsExportingSequence:
      return "Exporting Image Sequence";
    case kIdsExportingMovie:
      return "Exporting Vimbrel Player Movie";
    case kIdsMissingOutlines:
      return "Some characters could not be broken converted to outlines because an appropriate "
             "outline font is not available. These characters will disappear in the Vimbrel "
             "Player file.\n\nThe characters that failed will look jagged if you choose \"Smooth "
             "Text\" in the View menu.";
    default:
      return "";
  }
}
