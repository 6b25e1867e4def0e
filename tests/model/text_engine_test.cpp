// The text engine with the fixed-width font double (each character half the
// em wide: 120 twips at 240; ascent 192, descent 48) unless a test needs
// real kerning.
#include <gtest/gtest.h>

#include <random>

#include "model/pic_frame.h"
#include "model/pic_text.h"
#include "model_fixtures.h"
#include "platform/core/file.h"
#include "platform/core/font.h"
#include "tests/common/test_fonts.h"

namespace {

class TextEngineTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    SetFontService(&fixed_);
  }
  void TearDown() override {
    SetFontService(nullptr);
    ModelTest::TearDown();
  }
  // The lines as strings.
  static std::vector<std::string> LineTexts(CPicText& t) {
    t.UpdateLayout();
    std::vector<std::string> out;
    for (const auto& l : t.Lines()) {
      std::string s;
      for (int32_t i = l.first; i < l.first + l.count; ++i) {
        uint16_t c = t.Chars()[static_cast<size_t>(i)].code;
        s.push_back(c == 13 ? '|' : static_cast<char>(c));
      }
      out.push_back(s);
    }
    return out;
  }
  CFixedFontService fixed_;
};

TEST_F(TextEngineTest, NewTextIsOneCrAndTheCaretStaysAtZero) {
  CPicText t;
  EXPECT_EQ(t.GetCharCount(), 1);
  EXPECT_EQ(t.Chars()[0].code, 13);
  t.SetSelection(5, 9);
  int32_t a, b;
  t.GetSelection(a, b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(t.Styles().size(), 1u);
  EXPECT_EQ(t.Styles()[0].size, 240);
  EXPECT_STREQ(t.Styles()[0].faceName, "Times New Roman");
}

TEST_F(TextEngineTest, StylesOfInsertionDeletionAndTheFinalCr) {
  CPicText t;
  CTextStyle big;
  big.size = 480;
  int32_t bigIndex = t.AddStyle(big);
  EXPECT_EQ(t.AddStyle(big), bigIndex);  // equal under all fields: the same entry
  const uint8_t abc[] = {'a', 'b', 'c'};
  ASSERT_EQ(t.InsertChars(abc, 3, bigIndex), 0);
  // Inserting at the very end gives the final CR the inserted style.
  EXPECT_EQ(t.Chars().back().styleIndex, bigIndex);
  // Deleting and typing continues in the style of the first deleted character.
  t.SetSelection(1, 2);
  t.DeleteSelection();
  EXPECT_EQ(t.GetPendingStyle(), bigIndex);
  t.InsertString("x");
  EXPECT_EQ(t.GetText(0), "axc");
  EXPECT_EQ(t.Chars()[1].styleIndex, bigIndex);
  // Style at the caret: the character before it, but the one at it at the
  // start of a paragraph.
  CTextStyle at;
  t.SetSelection(0, 0);
  EXPECT_EQ(t.GetStyleAt(at, 1), CTextStyle::kMaskAll);
  EXPECT_EQ(at.size, 480);
  // A mixed selection clears the differing fields from the mask.
  CTextStyle small;
  small.size = 120;
  t.SetSelection(0, 1);
  t.ApplyStyle(small, CTextStyle::kMaskSize, 1);
  t.SetSelection(0, 3);
  EXPECT_EQ(t.GetStyleAt(at, 1) & CTextStyle::kMaskSize, 0u);
  // Relative apply adds size and letter spacing.
  CTextStyle delta;
  delta.size = 20;
  delta.letterSpacing = 5;
  at.SetDefault();
  at.Apply(delta,
           CTextStyle::kMaskSize | CTextStyle::kMaskLetterSpacing | CTextStyle::kMaskRelative);
  EXPECT_EQ(at.size, 260);
  EXPECT_EQ(at.letterSpacing, 5);
}

TEST_F(TextEngineTest, LineBreaking) {
  struct Case {
    const char* text;
    int32_t width;
    std::vector<std::string> lines;
  } cases[] = {
      {"aaaa bbbb", 2880, {"aaaa bbbb|"}},
      {"aaaa bbbb", 1000, {"aaaa ", "bbbb|"}},                  // 8 characters fit
      {"aa bbbbbbbbbbbb", 1000, {"aa ", "bbbbbbbb", "bbbb|"}},  // a long word is cut at the width
      {"aaa-bbbbbb", 1000, {"aaa-", "bbbbbb|"}},                // after a hyphen
      {"aaa(bbbbbb", 1000, {"aaa(bbbb", "bb|"}},                // "(" is no break point
      {"aa+bbbbbbb", 1000, {"aa+", "bbbbbbb|"}},
      {"aa=bbbbbbb", 1000, {"aa=", "bbbbbbb|"}},
      {"a\rb", 2880, {"a|", "b|"}},
      {"aaaaaaaa     b", 1000, {"aaaaaaaa     ", "b|"}},  // spaces never force a break
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CPicText t;
    t.SetWidth(c.width);
    t.SetText(c.text);
    EXPECT_EQ(LineTexts(t), c.lines);
  }
  // A single character wider than the line stays on it.
  CPicText t;
  t.SetWidth(120);
  CTextStyle huge;
  huge.size = 2000;
  t.ApplyStyle(huge, CTextStyle::kMaskSize, 0);
  t.SetText("WW");
  EXPECT_EQ(LineTexts(t), (std::vector<std::string>{"W", "W", "|"}));
}

TEST_F(TextEngineTest, AlignmentJustificationAndSpacing) {
  CPicText t;
  t.SetText("ab cd ef gh\rxyz");
  CTextStyle s;
  s.alignment = CTextStyle::kAlignJustify;
  t.ApplyStyle(s, CTextStyle::kMaskAlignment, 0);
  t.UpdateLayout();
  // "ab cd ef gh" is one paragraph line ending with CR: left aligned.
  EXPECT_EQ(t.Lines()[0].alignment, CTextStyle::kAlignLeft);
  // A justified line without CR and without spaces spreads its spare width.
  t.SetText("abcdefghijkl");
  t.SetWidth(1000);
  t.ApplyStyle(s, CTextStyle::kMaskAlignment, 0);
  t.UpdateLayout();
  ASSERT_GE(t.GetLineCount(), 2);
  const TextLine& first = t.Lines()[0];
  EXPECT_EQ(first.alignment, CTextStyle::kAlignJustify);
  EXPECT_EQ(first.count, 8);  // 960 of 1000 twips: 40 to share over 7 gaps
  EXPECT_EQ(t.Chars()[0].layoutAdvance, 120 + 40 / 7);
  EXPECT_EQ(t.Chars()[7].layoutAdvance, 120);  // the last visible character gets nothing
  // Right and centre.
  struct Align {
    uint8_t alignment;
    int32_t x;
  } aligns[] = {{CTextStyle::kAlignRight, 1000 - 240}, {CTextStyle::kAlignCenter, 380}};
  for (auto a : aligns) {
    CPicText u;
    u.SetWidth(1000);
    u.SetText("ab");
    s.alignment = a.alignment;
    u.ApplyStyle(s, CTextStyle::kMaskAlignment, 0);
    u.UpdateLayout();
    EXPECT_EQ(u.Lines()[0].x, a.x);
  }
  // Negative line spacing shrinks a line to no less than half its ascent.
  CPicText n;
  n.SetText("a\rb");
  s.lineSpacing = -1000;
  n.ApplyStyle(s, CTextStyle::kMaskLineSpacing, 0);
  n.UpdateLayout();
  const TextLine& l = n.Lines()[0];
  EXPECT_EQ(l.ascent + l.descent + l.leading, l.ascent / 2);
  EXPECT_EQ(n.Lines()[1].baseline - n.Lines()[0].baseline, l.ascent / 2);
}

TEST_F(TextEngineTest, SuperscriptMeasuresAtTwoThirdsAndRises) {
  CPicText t;
  t.SetText("a");
  CTextStyle s;
  s.position = CTextStyle::kSuperscript;
  t.ApplyStyle(s, CTextStyle::kMaskPosition, 0);
  t.UpdateLayout();
  int32_t size = 0, shift = 0;
  EXPECT_EQ(t.Styles()[static_cast<size_t>(t.Chars()[0].styleIndex)].GetEffectiveSize(size, shift),
            1);
  EXPECT_EQ(size, FixedMul(42598, 240));
  EXPECT_EQ(shift, FixedMul(42598, 192) - 192);
  EXPECT_EQ(t.Chars()[0].advance, size / 2);
  EXPECT_EQ(t.Chars()[0].inkTop, shift - size * 4 / 5);
}

TEST_F(TextEngineTest, CaretMovesAndWordSelection) {
  CPicText t;
  t.SetWidth(1000);
  t.SetText("abc def(gh) ij\rklmnop");
  // Lines: "abc def(", "gh) ij|", "klmnop|".
  ASSERT_EQ(LineTexts(t), (std::vector<std::string>{"abc ", "def(gh) ", "ij|", "klmnop|"}));
  struct Move {
    int32_t from;
    int32_t kind;
    int32_t to;
  } moves[] = {{0, 2, 1},  {0, 1, 0}, {5, 0, 1},  {1, 3, 5},   {5, 4, 4},
               {5, 5, 11}, {9, 6, 0}, {0, 7, 21}, {15, 0, 12}, {12, 3, 15}};
  for (auto m : moves) {
    t.SetSelection(m.from, m.from);
    t.MoveCaret(m.kind, 0);
    int32_t a, b;
    t.GetSelection(a, b);
    EXPECT_EQ(a, m.to) << m.from << " kind " << m.kind;
    EXPECT_EQ(b, m.to);
  }
  // Extending keeps the anchor.
  t.SetSelection(2, 2);
  t.MoveCaret(2, 1);
  t.MoveCaret(2, 1);
  int32_t a, b;
  t.GetSelection(a, b);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 4);
  // Words end at delimiters; "(" and ")" delimit.
  t.SelectRangeByWord(5, 5);
  t.GetSelection(a, b);
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 7);
  t.SelectRangeByWord(9, 9);
  t.GetSelection(a, b);
  EXPECT_EQ(a, 8);
  EXPECT_EQ(b, 10);
  // Kind 7 goes to the last position however long the text is.
  CPicText longText;
  longText.SetText(std::string(17000, 'x'));
  longText.MoveCaret(7, 0);
  longText.GetSelection(a, b);
  EXPECT_EQ(a, 17000);
}

TEST_F(TextEngineTest, RunsOfSixHundredBytesAndStyleRecordVersions) {
  CPicText t;
  t.SetText(std::string(600, 'q'));
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    t.WriteRuns(ar, 0, t.GetCharCount() - 1);
    ar.Close();
  }
  auto data = file.GetData();
  // u16 512, the style record, 512 bytes; u16 88, ...; u16 0.
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ(data[0] | data[1] << 8, 512);
  size_t styleBytes = 1 + 2 + 1 + 15 + 4 + 3 + 4 + 1 + 10;  // version 3, "Times New Roman"
  size_t second = 2 + styleBytes + 512;
  ASSERT_GT(data.size(), second + 2);
  EXPECT_EQ(data[second] | data[second + 1] << 8, 88);
  EXPECT_EQ(data.size(), second + 2 + styleBytes + 88 + 2);
  // Read back into a new text.
  CMemFile in(data);
  CArchive ar(&in, CArchive::load);
  CPicText u;
  u.ReadRuns(ar);
  EXPECT_EQ(u.GetText(0), std::string(600, 'q'));

  // Style records of versions 0 to 3.
  struct Case {
    std::vector<uint8_t> bytes;
    uint8_t italic, font_flag, kerning, position;
    uint16_t size;
  } cases[] = {
      {{0}, 0, 0, 1, 0, 240},
      {{1}, 0, 0, 1, 0, 240},
      {{2, 100, 0, 1, 'A', 0, 0, 0, 0xFF, 0, 0, 1, 0x1F, 2, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       1,
       1,
       0,
       3,
       100},
      {{3, 200, 0, 1, 'B', 0, 0, 0, 0xFF, 0, 0, 0, 1, 0, 1, 2, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       1,
       0,
       1,
       2,
       200},
  };
  for (const auto& c : cases) {
    CMemFile f(c.bytes);
    CArchive r(&f, CArchive::load);
    CTextStyle s;
    s.Serialize(r);
    EXPECT_EQ(s.size, c.size);
    EXPECT_EQ(s.italic, c.italic);
    EXPECT_EQ(s.fontFlag, c.font_flag);
    EXPECT_EQ(s.kerning, c.kerning);
    EXPECT_EQ(s.position, c.position);
    EXPECT_EQ(r.GetRemaining(), 0u);
  }
}

TEST_F(TextEngineTest, KerningWithRealFonts) {
  test_fonts::InstallTestFonts();
  SetFontService(nullptr);
  CPicText t;
  t.SetText("AV");
  t.UpdateLayout();
  EXPECT_EQ(t.Chars()[0].advance, 173 - 31);
  CTextStyle off;
  off.kerning = 0;
  t.ApplyStyle(off, CTextStyle::kMaskKerning, 0);
  t.UpdateLayout();
  EXPECT_EQ(t.Chars()[0].advance, 173);
}

// Random edits laid out incrementally give the lines of a fresh layout, and
// the changed area covers every line that moved.
TEST_F(TextEngineTest, IncrementalLayoutMatchesAFreshLayout) {
  std::mt19937 rng(7);
  CPicText t;
  t.SetWidth(1500);
  t.UpdateLayout();
  const char alphabet[] = "ab c-d\r(+";
  CTextStyle styles[3];
  styles[1].size = 300;
  styles[2].alignment = CTextStyle::kAlignJustify;
  for (int step = 0; step < 300; ++step) {
    std::vector<TextLine> before = t.Lines();
    std::vector<std::string> beforeText = LineTexts(t);
    t.RecalcAndNotify(nullptr);
    int32_t count = t.GetCharCount();
    int32_t a = static_cast<int32_t>(rng() % count), b = static_cast<int32_t>(rng() % count);
    int op = static_cast<int>(rng() % 4);
    SCOPED_TRACE("op " + std::to_string(op) + " at " + std::to_string(a) + ".." +
                 std::to_string(b));
    switch (op) {
      case 0:
      case 1: {
        t.SetSelection(a, a);
        std::string s;
        for (int k = static_cast<int>(rng() % 6); k >= 0; --k) s.push_back(alphabet[rng() % 9]);
        t.InsertString(s);
        break;
      }
      case 2:
        t.SetSelection(a, b);
        t.DeleteSelection();
        break;
      default:
        t.SetSelection(a, b);
        t.ApplyStyle(styles[rng() % 3], CTextStyle::kMaskSize | CTextStyle::kMaskAlignment, 1);
        break;
    }
    std::vector<std::string> afterText = LineTexts(t);
    Rect32 changed = t.GetChange().rect;
    CPicText fresh;
    fresh.SetWidth(1500);
    CMemFile file;
    {
      CArchive ar(&file, CArchive::store);
      t.WriteRuns(ar, 0, t.GetCharCount() - 1);
      ar.Close();
    }
    CMemFile in(file.GetData());
    CArchive ar(&in, CArchive::load);
    fresh.ReadRuns(ar);
    // The stored form leaves out the final CR, whose style may differ.
    CTextStyle crStyle;
    t.GetCharStyle(crStyle, t.GetCharCount() - 1);
    fresh.ApplyStyleToRange(crStyle, CTextStyle::kMaskAll, fresh.GetCharCount() - 1,
                            fresh.GetCharCount());
    fresh.UpdateLayout();
    ASSERT_EQ(t.GetLineCount(), fresh.GetLineCount()) << step;
    for (int32_t i = 0; i < t.GetLineCount(); ++i) {
      const TextLine& x = t.Lines()[static_cast<size_t>(i)];
      const TextLine& y = fresh.Lines()[static_cast<size_t>(i)];
      ASSERT_EQ(x.first, y.first) << step << " line " << i;
      ASSERT_EQ(x.count, y.count) << step << " line " << i;
      ASSERT_EQ(x.x, y.x) << step << " line " << i;
      ASSERT_EQ(x.baseline, y.baseline) << step << " line " << i;
      ASSERT_EQ(x.inkBounds, y.inkBounds) << step << " line " << i;
      // A line that moved is inside the changed area; in a line that only
      // changed, every character from the first changed one on.
      Rect32 need;
      bool existed = i < static_cast<int32_t>(before.size());
      const TextLine* old = existed ? &before[static_cast<size_t>(i)] : nullptr;
      if (!existed || old->x != x.x || old->baseline != x.baseline) {
        need = x.inkBounds;
      } else {
        const std::string& was = beforeText[static_cast<size_t>(i)];
        const std::string& is = afterText[static_cast<size_t>(i)];
        size_t p = 0;
        while (p < was.size() && p < is.size() && was[p] == is[p]) ++p;
        if (p < is.size())
          t.GetRangeRect(x.first + static_cast<int32_t>(p), x.first + x.count, need);
      }
      if (!need.IsEmpty()) {
        Rect32 u;
        RectUnion(changed, need, u);
        ASSERT_EQ(u, changed) << step << " line " << i << " ink " << RectText(need) << " changed "
                              << RectText(changed);
      }
    }
    for (int32_t i = 0; i < t.GetCharCount(); ++i) {
      ASSERT_EQ(t.Chars()[static_cast<size_t>(i)].layoutAdvance,
                fresh.Chars()[static_cast<size_t>(i)].layoutAdvance)
          << step << " char " << i;
    }
  }
}

TEST_F(TextEngineTest, UndoOfTypingStylingAndDeleting) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  auto* t = new CPicText;
  Edit(page, [&] {
    page->GetFirstFrame()->AddChild(t);
    t->SetText("hello world");
  });
  Edit(
      page,
      [&] {
        t->SetSelection(5, 5);
        t->InsertString(",");
      },
      CDocumentPage::kEditTyping);
  EXPECT_EQ(t->GetText(0), "hello, world");
  CTextStyle bold;
  bold.bold = 1;
  Edit(page, [&] {
    t->SetSelection(0, 5);
    t->ApplyStyle(bold, CTextStyle::kMaskBold, 1);
  });
  EXPECT_EQ(t->Styles()[static_cast<size_t>(t->Chars()[0].styleIndex)].bold, 1);
  Edit(page, [&] {
    t->SetSelection(0, 7);
    t->DeleteSelection();
  });
  EXPECT_EQ(t->GetText(0), "world");
  page->Undo();
  EXPECT_EQ(t->GetText(0), "hello, world");
  EXPECT_EQ(t->Styles()[static_cast<size_t>(t->Chars()[0].styleIndex)].bold, 1);
  page->Undo();
  EXPECT_EQ(t->Styles()[static_cast<size_t>(t->Chars()[0].styleIndex)].bold, 0);
  page->Undo();
  EXPECT_EQ(t->GetText(0), "hello world");
  page->Redo();
  page->Redo();
  page->Redo();
  EXPECT_EQ(t->GetText(0), "world");
  int32_t a, b;
  t->GetSelection(a, b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
}

}  // namespace
