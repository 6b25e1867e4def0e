// CPicText: a block of styled text placed by a matrix. The text body is an
// array of 16-bit character codes, each tagged with an index into a table of
// text styles, a selection, and laid-out lines. Every edit records undo state
// first and marks a dirty range; the layout is recomputed lazily from that
// range when anything asks for geometry.
//
// Coordinates are twips in the object's own space; the box's top is y = 0
// and lines run downward from it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/fixed.h"
#include "model/pic_obj.h"
#include "model/text_style.h"

class CMemFile;
class CPicShape;
struct EdgeGraph;

struct TextChar {
  uint16_t code = 0;  // a byte, or lead * 256 + trail
  int16_t styleIndex = 0;
  int16_t advance = 0;  // width + letter spacing + kerning with the next
  int16_t inkLeft = 0;
  int16_t inkRight = 0;
  int16_t inkTop = 0;  // relative to the baseline, negative is up
  int16_t inkBottom = 0;
  int16_t layoutAdvance = 0;  // after alignment and justification
};

struct TextLine {
  int32_t x = 0;
  int32_t baseline = 0;
  Rect32 inkBounds;
  int32_t first = 0;
  int32_t count = 0;  // the line's CR included
  int16_t ascent = 0;
  int16_t descent = 0;
  int16_t leading = 0;
  uint8_t alignment = 0;
};

// Word delimiters and break opportunities.
bool IsWordDelimiter(uint16_t code);
bool IsBreakAfterChar(uint16_t code);

class CPicText : public CPicObj {
 public:
  static constexpr int32_t kMaxChars = 65535;
  static constexpr int32_t kMaxStyles = 3999;
  static constexpr int32_t kNoPreferredX = -1600000;
  static constexpr uint16_t kCR = 13;

  // Two inches square, fixed width, one CR in the default style.
  CPicText();
  ~CPicText() override;

  // Base record, u8 version 0, matrix, box, u8 flags, the style runs.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  void EnumShapes(CExportCollector& collector) override;
  void Transform(const Matrix2x3& m) override;
  int32_t BreakApart(int32_t arg) override;
  int32_t HitTest(const CHitTest& probe) override;
  void UpdateExtent() override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  int32_t GetMatrix(Matrix2x3& out) override;

  // ---- styles ----
  int32_t AddStyle(const CTextStyle& style);
  void MarkUsedStyles();
  void GetCharStyle(CTextStyle& out, int32_t position) const;
  uint32_t GetStyleAt(CTextStyle& out, int32_t selectionOnly) const;
  void ApplyStyle(const CTextStyle& style, uint32_t mask, int32_t selectionOnly);
  void ApplyStyleToRange(const CTextStyle& style, uint32_t mask, int32_t a, int32_t b);
  bool IsBlank() const;

  // ---- selection and caret ----
  void SetSelection(int32_t a, int32_t b);
  void GetSelection(int32_t& start, int32_t& end) const {
    start = m_selStart;
    end = m_selEnd;
  }
  void MoveSelectionTo(int32_t position, int32_t byWord);
  void SelectRangeByWord(int32_t a, int32_t b);
  void MoveCaret(int32_t kind, int32_t extend);

  // ---- queries (each updates the layout first) ----
  int32_t GetLineOfChar(int32_t position, int32_t* top = nullptr);
  int32_t GetLineAtY(int32_t y);
  int32_t GetCharAtX(int32_t line, int32_t x);
  int32_t GetCharX(int32_t position);
  int32_t CharIndexAt(const Point32& point);
  void GetRangeRect(int32_t a, int32_t b, Rect32& out);
  // The caret or the selection as one closed polygon in device pixels,
  // under viewMatrix (twips to pixels) after the text's matrix.
  std::vector<Point32> DrawSelectionRegion(const Matrix2x3& viewMatrix);

  // ---- editing ----
  int32_t InsertCodes(const uint16_t* codes, int32_t n, int32_t styleIndex);
  int32_t InsertChars(const uint8_t* bytes, int32_t length, int32_t styleIndex);
  int32_t InsertString(std::string_view s);
  void SetText(std::string_view s);
  void DeleteSelection();
  std::string GetText(int32_t selectionOnly) const;
  // The selected range in the style-run form (the "Vimbrel Text" content),
  // and such content read and inserted at the selection.
  void WriteSelection(CArchive& ar);
  void ReadAndInsert(CArchive& ar);
  int32_t MoveAnchorTo(const Point32& point, int32_t anchor);
  void SetTextFlags(uint32_t value);
  void SetWidth(int32_t width);
  Point32 GetAnchorPoint();

  // ---- style runs ----
  // Characters [a, b) as runs of equal style: u16 byte count (at most 512),
  // the style record, the bytes; a u16 0 ends them.
  void WriteRuns(CArchive& ar, int32_t a, int32_t b);
  void ReadRuns(CArchive& ar);

  // ---- layout ----
  void MarkDirtyRange(int32_t a, int32_t b);
  void InvalidateRange(int32_t a, int32_t b);
  void UpdateLayout();

  // ---- undo ----
  void SaveTextState(int32_t withText);
  // Erases the characters whose glyphs lie inside the drawing's fills.
  void EraseCoveredChars(CPicShape& drawing);

  // ---- access ----
  const Matrix2x3& GetTextMatrix() const { return m_matrix; }
  void SetTextMatrix(const Matrix2x3& m) { m_matrix = m; }
  const Rect32& GetBox() const { return m_box; }
  const Rect32& GetInkBounds() const { return m_inkBounds; }
  const Rect32& GetFrameBounds() const { return m_frameBounds; }
  uint32_t GetTextFlags() const { return m_textFlags; }
  int32_t GetCharCount() const { return static_cast<int32_t>(m_chars.size()); }
  const std::vector<TextChar>& Chars() const { return m_chars; }
  const std::vector<TextLine>& Lines() const { return m_lines; }
  const std::vector<CTextStyle>& Styles() const { return m_styles; }
  int32_t GetPendingStyle() const { return m_pendingStyle; }
  bool IsLayoutDirty() const { return m_layoutDirty; }
  int32_t GetLineCount() const { return static_cast<int32_t>(m_lines.size()); }

  VM_DECLARE_SERIAL(CPicText)

 private:
  friend class CTextEditItem;
  struct Metrics;
  void MeasureChars();
  void FitWidthToText();
  int32_t BreakLine(int32_t first, const CTextStyle& para, int32_t& left, int32_t& right);
  void LayoutLine(int32_t first, int32_t end, int32_t left, int32_t right, int32_t top,
                  const CTextStyle& para, TextLine& line, bool existed, bool firstOfPara);
  void LayoutLines();
  void AddChangedRect(const Rect32& r);
  void EraseRanges(const std::vector<std::pair<int32_t, int32_t>>& ranges);
  // Draws the lines' runs through the context (step 5 of drawing); false
  // when some run was not drawn.
  bool DrawRuns(CRenderContext& rc, bool boxes);
  const CTextStyle& StyleOf(int32_t position) const {
    return m_styles[static_cast<size_t>(m_chars[static_cast<size_t>(position)].styleIndex)];
  }

  Matrix2x3 m_matrix;
  Rect32 m_box;
  Rect32 m_frameBounds;
  Rect32 m_inkBounds;
  uint32_t m_textFlags = 0;
  int32_t m_selStart = 0;
  int32_t m_selEnd = 0;
  int32_t m_anchor = 0;
  int32_t m_stateSerial = 0;
  int32_t m_textSerial = 0;
  const CEditStep* m_stateStep = nullptr;
  const CEditStep* m_textStep = nullptr;
  bool m_layoutDirty = false;
  int32_t m_dirtyStart = -1;
  int32_t m_dirtyEnd = -1;
  int32_t m_pendingStyle = -1;
  int32_t m_preferredX = kNoPreferredX;
  std::vector<CTextStyle> m_styles;
  std::vector<TextChar> m_chars;
  std::vector<TextLine> m_lines;
  // AddStyle's index: the styles' compared fields to an entry that had them.
  std::map<std::string, int32_t> m_styleLookup;
  std::vector<int32_t> m_freeStyles;  // free entries, highest first
};

// The saved state of a text object: matrix, box, flags, selection and,
// when asked, the whole text.
class CTextEditItem : public CEditItem {
 public:
  CTextEditItem(CPicText* text, int32_t withText);
  ~CTextEditItem() override;
  void Restore() override;

  CPicText* m_text;
  Matrix2x3 m_matrix;
  Rect32 m_box;
  uint32_t m_flags;
  int32_t m_selStart;
  int32_t m_selEnd;
  int32_t m_withText;
  std::unique_ptr<CMemFile> m_file;
};
