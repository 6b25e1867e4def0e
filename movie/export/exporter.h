// CExporter: the base of every export format. The export commands make the
// exporter of the chosen format, give it the output path and the document
// (SetTarget), let it load its settings and run its options dialog, save the
// settings after OK, and then export one frame or a sequence. The base
// exports a sequence as numbered files through the one-frame export.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/fixed.h"

class CDocumentPage;
class CMarlDoc;

class CExporter {
 public:
  // The option word: the exporter serves Export Movie (the bounds are fixed
  // and the options dialogs disable their Bounds control), or Export Drawing.
  static constexpr int32_t kOptionDrawing = 0;
  static constexpr int32_t kOptionMovie = 1;

  CExporter() = default;
  virtual ~CExporter() = default;
  CExporter(const CExporter&) = delete;
  CExporter& operator=(const CExporter&) = delete;

  // Stores the path, document and option word; both rectangles become the
  // document's movie rectangle.
  void SetTarget(const std::string& path, CMarlDoc* document, int32_t option);

  virtual void LoadSettings() {}
  virtual void SaveSettings() {}
  // 1 when accepted; the base accepts without a dialog.
  virtual int32_t DoOptionsDialog() { return 1; }
  // Every frame of every page as numbered files "<base>0001<ext>", ...: 1 when
  // every frame was exported, 0 when cancelled or stopped by a failure.
  virtual int32_t ExportSequence();
  // One frame of a page to the output path; 1 on success. The base exports
  // nothing.
  virtual int32_t ExportFrame(CDocumentPage* /*page*/, int32_t /*frame*/) { return 0; }

  CMarlDoc* m_document = nullptr;
  std::string m_path;
  int32_t m_option = kOptionDrawing;
  Rect32 m_documentRect;  // twips
  Rect32 m_bounds;        // twips
};

// Splits a path at the last "." of its file name (never at a dot of a
// folder, nor at a dot that starts the file name): the base before it and
// the extension from the "." on; without one, the whole path and "".
void SplitPathExtension(const std::string& path, std::string& base, std::string& extension);
// The file of a numbered sequence: base, the number in four digits, extension.
std::string SequenceFileName(const std::string& base, int32_t number, const std::string& extension);
