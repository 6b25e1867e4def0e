// CMovieExportDriver: turns frames of a document into movie records.
//
// For every frame to write it collects the elements the frame shows (the
// drawing objects report themselves through the export collector), links the
// elements that stay unchanged from one frame to the next, gives every
// element a depth, defines each character once, and then writes per frame the
// frame scripts, the definitions and placements of the elements that appear,
// the frame break and the removals of the elements that end. The records are
// packed by CMovieWriter.
//
// Character ids, depths, the frame count, jump targets and the other 16-bit
// fields of the format cannot wrap: a document that needs more stops the
// export with CMovieLimitException.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "geometry/fixed.h"
#include "model/export_collector.h"
#include "model/frame_action.h"
#include "model/text_style.h"
#include "platform/core/exceptions.h"

class CDocumentPage;
class CFile;
class CMarlDoc;
class CMovieWriter;
class CPicBitmap;
class CPicButton;
class CPicObj;
class CPicShape;
class CPicText;
struct CExportCharacter;
struct EdgeGraph;

// A value past what a 16-bit field of the format holds; the export stops.
class CMovieLimitException : public CException {
 public:
  explicit CMovieLimitException(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }
  std::string m_message;
};

// One object shown in one frame.
struct CExportNode {
  CExportCharacter* entry = nullptr;
  Matrix2x3 matrix;
  int32_t depth = 0;
  CExportNode* link = nullptr;   // the same element in the next frame, null when it ends
  CExportNode* first = nullptr;  // its first occurrence
  CExportNode* next = nullptr;   // the next element of the frame in stacking order
  int32_t ratio = 0;             // cleared; the format has no morphs
};

// The elements of one frame to write.
struct CExportFrame {
  CDocumentPage* page = nullptr;
  int32_t frame = 0;  // within the page
  CExportNode* first = nullptr;
  CExportNode* last = nullptr;
};

// One distinct drawing object.
struct CExportCharacter {
  enum Kind : uint8_t { kShape, kText, kBitmap, kButton, kOther };
  CPicObj* object = nullptr;
  Kind kind = kOther;
  int32_t id = 0;  // 0 until defined, -1 when it cannot be exported
  int64_t bytes = 0;
  int32_t depthSpan = 1;
  CDocumentPage* page = nullptr;  // the page or symbol holding the object (report)
  // A button: the elements of its symbol's first four frames (fewer when
  // the symbol has fewer), linked and given depths when the entry is made.
  std::vector<CExportFrame> buttonFrames;
};

// The glyphs of one font (a text style's face, bold and italic).
struct CExportFont {
  CTextStyle key;  // the style at height 1024
  std::string name;
  std::vector<uint16_t> codes;                  // at most 256; ascending once written
  std::unordered_map<uint16_t, int32_t> index;  // code to position in codes
  // Glyph offsets are 16 bits: a font whose glyphs do not fit one glyph set
  // goes on in further sets, each with its own id and face record.
  struct Set {
    int32_t id = 0;
    int32_t first_glyph = 0;
    int32_t count = 0;
  };
  std::vector<Set> sets;
  bool written = false;
  bool noGlyphs = false;  // no codes: the font has id -1
  int64_t bytes = 0;
};

class CMovieExportDriver : public CExportCollector {
 public:
  // The writer must have its header written; report may be null.
  CMovieExportDriver(CMarlDoc* document, CMovieWriter& writer, bool topDown, CFile* report);
  ~CMovieExportDriver() override;

  // Appends a frame node for the page's frame and collects what it shows.
  void CollectFrame(CDocumentPage* page, int32_t frame);
  // Links and depths the collected frames, then writes every frame and, with
  // a report, its tables. Returns whether some glyph had no outline.
  bool WriteFrames();

  // ---- what the tests and the report look at ----
  const std::vector<CExportFrame>& Frames() const { return m_frames; }
  const std::deque<CExportFont>& Fonts() const { return m_fonts; }
  bool MissingOutline() const { return m_missingOutline; }

  // The action list bytes of an action, the current page being `page`.
  std::vector<uint8_t> ActionBytes(const CFrameAction& action, CDocumentPage* page) const;

  // Links consecutive frames of the list and gives every element its depth.
  static void LinkFrames(std::vector<CExportFrame>& frames);
  static void AssignDepths(std::vector<CExportFrame>& frames);
  // How many glyphs each glyph set of a font takes, from the sizes of the
  // glyphs' steps in code order: every glyph must start within 65535 bytes
  // of its set's offset table (which is 2 bytes per glyph).
  static std::vector<int32_t> CutGlyphSets(const std::vector<size_t>& glyphSizes);

 protected:
  CExportNode* NewNode(CPicObj* obj) override;

 private:
  struct ByteCounts {
    int64_t shape = 0, text = 0, bitmap = 0;
  };

  CExportCharacter* FindOrCreateEntry(CPicObj* obj);
  void RegisterTextCodes(CPicText* text);
  CExportFont* FontFor(const CTextStyle& style);
  // The glyph set id and index of a code in its style's font.
  void GlyphOf(CExportFont& font, uint16_t code, int32_t& setId, int32_t& glyph) const;
  int32_t TakeId();
  void Define(CExportCharacter& entry);
  void DefineShape(CExportCharacter& entry, CPicShape* shape);
  // Takes an id and writes the graph as a shape character; nothing for a
  // graph without edges (the character is then never placed).
  void WriteShapeCharacter(CExportCharacter& entry, const EdgeGraph& graph);
  void DefineBitmap(CExportCharacter& entry, CPicBitmap* bitmap);
  // Collects a button's state frames into its entry (and its depth span).
  void CollectButton(CExportCharacter& entry, CPicButton* button);
  void DefineButton(CExportCharacter& entry, CPicButton* button);
  void DefineText(CExportCharacter& entry, CPicText* text);
  void WriteGlyphSets(CExportFont& font);
  // Writes the frame scripts of the layers whose key frame starts at the frame.
  void WriteFrameScripts(const CExportFrame& frame);
  int32_t FirstFrameOf(const CDocumentPage* page) const;
  void WriteReportLine(const char* text);
  void WriteReportTables();

  CMarlDoc* m_document;
  CMovieWriter& m_writer;
  bool m_topDown;
  CFile* m_report;
  int32_t m_nextId = 1;
  bool m_writeFaces = true;
  bool m_missingOutline = false;
  CDocumentPage* m_currentPage = nullptr;

  std::vector<CExportFrame> m_frames;
  CExportFrame* m_collecting = nullptr;
  std::deque<CExportNode> m_nodes;
  std::deque<CExportCharacter> m_entries;
  std::unordered_map<const CPicObj*, CExportCharacter*> m_entryOf;
  std::deque<CExportFont> m_fonts;
  std::unordered_map<std::string, CExportFont*> m_fontOf;
  std::unordered_map<const CDocumentPage*, ByteCounts> m_pageBytes;
};
