// Small documents for the export tests, built through the model's own
// operations, and the movies written from them read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "movie_decoder.h"

// Records the message boxes the export shows.
class CRecordingServices : public CAppServices {
 public:
  int MessageBox(uint32_t id, uint32_t) override {
    messages.push_back(id);
    return 1;
  }
  std::vector<uint32_t> messages;
};

// A document that records the failures reported to it.
class CExportTestDoc : public CMarlDoc {
 public:
  void ReportMessage(uint32_t id, const std::exception* cause) override {
    reported.push_back(id);
    causes.push_back(cause != nullptr ? cause->what() : "");
  }
  std::vector<uint32_t> reported;
  std::vector<std::string> causes;
};

// A square shape of one solid fill (colour word, red in the low byte) with
// its corner at (x, y), optionally with a plain line.
CPicShape* MakeSquare(int32_t x, int32_t y, int32_t size, uint32_t fill, uint32_t line = 0,
                      int16_t lineWidth = 0);

// Adds a dashed line (red, kind 1, the width and on/off lengths given) from a
// to b to the shape's geometry, then tidies it.
void AddDashedLine(CPicShape* shape, Point32 a, Point32 b, int16_t width, int16_t on, int16_t off);

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A new page of the document, with one layer of one key frame of `frames`
  // frames (the layer's key frame is empty).
  CDocumentPage* AddPage(const std::string& name, int32_t frames);
  // A new symbol of the document with one layer of `frames` frames.
  CDocumentPage* AddSymbol(const std::string& name, int32_t frames);
  // The first (bottom) layer of a page.
  static CPicLayer* Layer(CDocumentPage* page);
  // Runs body in a user edit of the page.
  void Edit(CDocumentPage* page, const std::function<void()>& body);
  // A path in the test's output folder of the build tree (kept there).
  static std::string OutputPath(const std::string& name);
  static std::vector<uint8_t> ReadFile(const std::string& path);

  CExportTestDoc doc_;
  // The document AddPage and AddSymbol add to (the one above unless a test
  // builds several).
  CExportTestDoc* target_ = &doc_;
  CRecordingServices services_;
  CAppServices* previous_ = nullptr;
};

// The records of a movie as short texts, frame by frame:
// "shape 1", "text 3", "glyphs 2", "face 2", "place 1@1", "remove 1@1",
// "script", "break", "end", "color", ...
std::vector<std::string> RecordSummary(const moviedec::Movie& movie);

// The stage after each frame of a movie as the player engine reads it: per
// frame the placed characters as "id@depth" in the display list's order.
std::vector<std::vector<std::string>> StageByFrame(const std::vector<uint8_t>& movie);
