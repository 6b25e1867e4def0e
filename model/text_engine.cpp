// The text body of CPicText: styles, selection, editing, measuring and
// layout, style runs and the text's undo record.
#include <algorithm>
#include <cstring>

#include "model/pic_text.h"
#include "platform/core/archive.h"
#include "platform/core/code_page.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/core/font.h"

namespace {

constexpr int32_t kCodeBufferSize = 511;
constexpr int32_t kRunCloseBytes = 511;
constexpr int32_t kFramePad = 40;
constexpr int32_t kMinWidth = 120;

bool IsSpace(uint16_t c) {
  return c == ' ';
}

// The measured font of one font identity: metrics at the full size, the
// effective font's widths, kerning pairs, ascent and descent. Shared by
// every text of the process; fonts are asked again only for new identities.
struct FontMeasure {
  int16_t ascent = 0;
  int16_t descent = 0;
  int32_t avg_char_width = 0;
  bool outline = false;
  int32_t shift = 0;
  int16_t eff_ascent = 0;
  int16_t eff_descent = 0;
  int32_t widths[256] = {};
  std::shared_ptr<CFontFace> font;  // at the effective size
  std::vector<KerningPair> pairs;   // sorted by first, then second
};

std::string FontKey(const CTextStyle& s) {
  std::string key(reinterpret_cast<const char*>(&s.size), sizeof s.size);
  key.append(s.faceName, strnlen(s.faceName, sizeof s.faceName));
  key.push_back('\0');
  const uint8_t bytes[] = {s.bold,     s.italic,  s.kerning,       s.position,
                           s.fontFlag, s.charSet, s.pitchAndFamily};
  key.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
  const CFontService* service = &FontService();
  key.append(reinterpret_cast<const char*>(&service), sizeof service);
  return key;
}

const FontMeasure& MeasureFont(const CTextStyle& style) {
  static std::map<std::string, std::unique_ptr<FontMeasure>> cache;
  std::string key = FontKey(style);
  auto it = cache.find(key);
  if (it != cache.end()) return *it->second;
  if (cache.size() > 512) cache.clear();
  auto m = std::make_unique<FontMeasure>();
  std::shared_ptr<CFontFace> font = style.CreateFont(style.size, 0);
  TextMetrics tm;
  font->GetTextMetrics(tm);
  m->ascent = static_cast<int16_t>(tm.ascent);
  m->descent = static_cast<int16_t>(tm.descent);
  m->avg_char_width = tm.avg_char_width;
  m->outline = font->HasOutlineMetrics();
  CTextStyle measured = style;
  measured.ascent = m->ascent;
  measured.descent = m->descent;
  int32_t effSize = 0, shift = 0;
  measured.GetEffectiveSize(effSize, shift);
  m->shift = shift;
  if (effSize != style.size) {
    font = style.CreateFont(effSize, 0);
    font->GetTextMetrics(tm);
  }
  m->eff_ascent = static_cast<int16_t>(tm.ascent);
  m->eff_descent = static_cast<int16_t>(tm.descent);
  font->GetCharWidths(m->widths);
  if (style.kerning != 0 && style.fontFlag == 0) {
    m->pairs = font->GetKerningPairs();
    std::sort(m->pairs.begin(), m->pairs.end(), [](const KerningPair& a, const KerningPair& b) {
      return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
  }
  m->font = std::move(font);
  return *cache.emplace(std::move(key), std::move(m)).first->second;
}

int32_t KerningAmount(const std::vector<KerningPair>& pairs, uint16_t a, uint16_t b) {
  auto it = std::lower_bound(pairs.begin(), pairs.end(), std::make_pair(a, b),
                             [](const KerningPair& p, const std::pair<uint16_t, uint16_t>& k) {
                               return p.first != k.first ? p.first < k.first : p.second < k.second;
                             });
  return it != pairs.end() && it->first == a && it->second == b ? it->amount : 0;
}

int16_t Clamp16(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// The compared fields of a style (mask 0x3FFF) as a lookup key.
std::string StyleKey(const CTextStyle& s) {
  std::string key(s.faceName, strnlen(s.faceName, sizeof s.faceName));
  key.push_back('\0');
  auto put = [&](const auto& v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(s.size), put(s.color), put(s.bold), put(s.italic), put(s.letterSpacing), put(s.kerning);
  put(s.position), put(s.fontFlag), put(s.alignment), put(s.indent), put(s.leftMargin);
  put(s.rightMargin), put(s.lineSpacing);
  return key;
}

void ShiftRangeForInsert(int32_t& start, int32_t& end, int32_t at, int32_t n) {
  if (start > at) {
    start += n;
    end += n;
  } else if (end > at) {
    end += n;
  }
}

void ShiftRangeForDelete(int32_t& start, int32_t& end, int32_t a, int32_t b) {
  int32_t n = b - a;
  auto map = [&](int32_t v) { return v >= b ? v - n : v > a ? a : v; };
  start = map(start);
  end = map(end);
}

}  // namespace

bool IsWordDelimiter(uint16_t c) {
  switch (c) {
    case 13:
    case ' ':
    case '!':
    case '(':
    case ')':
    case ',':
    case '.':
    case '?':
    case '[':
    case ']':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

bool IsBreakAfterChar(uint16_t c) {
  switch (c) {
    case 13:
    case ' ':
    case '!':
    case ')':
    case '+':
    case ',':
    case '-':
    case '.':
    case '=':
    case '?':
    case ']':
    case '}':
      return true;
    default:
      return false;
  }
}

// ---- styles ----------------------------------------------------------------------

int32_t CPicText::AddStyle(const CTextStyle& style) {
  // The index holds every entry by its compared fields, so an equal entry is
  // found without a search; a free one is taken again as it is.
  std::string key = StyleKey(style);
  auto it = m_styleLookup.find(key);
  if (it != m_styleLookup.end()) {
    m_styles[static_cast<size_t>(it->second)].flags |= CTextStyle::kFlagInUse;
    return it->second;
  }
  CTextStyle copy = style;
  copy.flags |= CTextStyle::kFlagInUse;
  // The lowest free entry (the list is kept in descending order).
  while (!m_freeStyles.empty()) {
    int32_t i = m_freeStyles.back();
    m_freeStyles.pop_back();
    CTextStyle& slot = m_styles[static_cast<size_t>(i)];
    if (slot.flags & CTextStyle::kFlagInUse) continue;  // taken again meanwhile
    auto old = m_styleLookup.find(StyleKey(slot));
    if (old != m_styleLookup.end() && old->second == i) m_styleLookup.erase(old);
    slot = copy;
    m_styleLookup[key] = i;
    return i;
  }
  if (static_cast<int32_t>(m_styles.size()) >= kMaxStyles) return 0;
  m_styles.push_back(copy);
  m_styleLookup[key] = static_cast<int32_t>(m_styles.size() - 1);
  return static_cast<int32_t>(m_styles.size() - 1);
}

void CPicText::MarkUsedStyles() {
  for (auto& s : m_styles) s.flags &= ~CTextStyle::kFlagInUse;
  for (const auto& c : m_chars) {
    m_styles[static_cast<size_t>(c.styleIndex)].flags |= CTextStyle::kFlagInUse;
  }
  if (m_pendingStyle >= 0 && m_pendingStyle < static_cast<int32_t>(m_styles.size())) {
    m_styles[static_cast<size_t>(m_pendingStyle)].flags |= CTextStyle::kFlagInUse;
  }
  m_freeStyles.clear();
  for (int32_t i = static_cast<int32_t>(m_styles.size()) - 1; i >= 0; --i) {
    if (!(m_styles[static_cast<size_t>(i)].flags & CTextStyle::kFlagInUse))
      m_freeStyles.push_back(i);
  }
}

void CPicText::GetCharStyle(CTextStyle& out, int32_t position) const {
  position = std::clamp(position, 0, GetCharCount() - 1);
  out = StyleOf(position);
}

uint32_t CPicText::GetStyleAt(CTextStyle& out, int32_t selectionOnly) const {
  if (selectionOnly && m_selStart == m_selEnd) {
    if (m_pendingStyle >= 0) {
      out = m_styles[static_cast<size_t>(m_pendingStyle)];
    } else if (m_selStart == 0 || m_chars[static_cast<size_t>(m_selStart - 1)].code == kCR) {
      out = StyleOf(m_selStart);
    } else {
      out = StyleOf(m_selStart - 1);
    }
    return CTextStyle::kMaskAll;
  }
  int32_t a = selectionOnly ? m_selStart : 0;
  int32_t b = selectionOnly ? m_selEnd : GetCharCount();
  out = StyleOf(a);
  uint32_t mask = CTextStyle::kMaskAll;
  for (int32_t i = a + 1; i < b; ++i) {
    if (m_chars[static_cast<size_t>(i)].styleIndex !=
        m_chars[static_cast<size_t>(i - 1)].styleIndex) {
      mask &= out.Compare(StyleOf(i));
    }
  }
  return mask;
}

bool CPicText::IsBlank() const {
  for (const auto& c : m_chars) {
    if (c.code != ' ' && c.code != kCR) return false;
  }
  return true;
}

void CPicText::ApplyStyle(const CTextStyle& style, uint32_t mask, int32_t selectionOnly) {
  if (!selectionOnly) {
    ApplyStyleToRange(style, mask, 0, GetCharCount());
    return;
  }
  if (mask & CTextStyle::kMaskParagraph) {
    int32_t a = m_selStart, b = m_selEnd;
    while (a > 0 && m_chars[static_cast<size_t>(a - 1)].code != kCR) --a;
    while (b < GetCharCount() && m_chars[static_cast<size_t>(b)].code != kCR) ++b;
    b = std::min(b + 1, GetCharCount());
    ApplyStyleToRange(style, mask & CTextStyle::kMaskParagraph, a, b);
  }
  if (m_selStart != m_selEnd) {
    ApplyStyleToRange(style, mask, m_selStart, m_selEnd);
  } else if (!IsBlank()) {
    CTextStyle pending;
    GetStyleAt(pending, 1);
    pending.Apply(style, mask);
    SaveTextState(0);
    m_pendingStyle = AddStyle(pending);
  } else {
    ApplyStyleToRange(style, mask, 0, GetCharCount());
  }
}

void CPicText::ApplyStyleToRange(const CTextStyle& style, uint32_t mask, int32_t a, int32_t b) {
  a = std::clamp(a, 0, GetCharCount());
  b = std::clamp(b, a, GetCharCount());
  if ((mask & CTextStyle::kMaskAll) == 0 || a == b) return;
  SaveTextState(1);
  Invalidate(2);
  // The final CR follows the characters before it.
  if (b == GetCharCount() - 1) b = GetCharCount();
  InvalidateRange(a, b);
  MarkDirtyRange(a, b);
  MarkUsedStyles();
  int32_t previous = -1, result = 0;
  for (int32_t i = a; i < b; ++i) {
    TextChar& c = m_chars[static_cast<size_t>(i)];
    if (c.styleIndex != previous) {
      previous = c.styleIndex;
      CTextStyle s = m_styles[static_cast<size_t>(c.styleIndex)];
      s.Apply(style, mask);
      result = AddStyle(s);
    }
    c.styleIndex = static_cast<int16_t>(result);
  }
}

// ---- selection and caret --------------------------------------------------------------

void CPicText::SetSelection(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  int32_t last = GetCharCount() - 1;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  SaveTextState(0);
  m_selStart = m_anchor = a;
  m_selEnd = b;
  m_preferredX = kNoPreferredX;
  m_pendingStyle = -1;
}

void CPicText::MoveSelectionTo(int32_t position, int32_t byWord) {
  int32_t anchor = m_anchor;
  if (byWord) {
    SelectRangeByWord(anchor, position);
  } else {
    SetSelection(anchor, position);
  }
  m_anchor = anchor;
}

void CPicText::SelectRangeByWord(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  int32_t last = GetCharCount() - 1;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  auto cls = [&](int32_t i) { return m_chars[static_cast<size_t>(i)].code > 0xFF; };
  auto delim = [&](int32_t i) { return IsWordDelimiter(m_chars[static_cast<size_t>(i)].code); };
  bool ca = cls(a);
  while (a > 0 && cls(a - 1) == ca && !delim(a - 1)) --a;
  bool cb = cls(b);
  while (b < last && cls(b) == cb && !delim(b)) ++b;
  SetSelection(a, b);
}

void CPicText::MoveCaret(int32_t kind, int32_t extend) {
  UpdateLayout();
  int32_t active = m_selStart == m_anchor ? m_selEnd : m_selStart;
  int32_t target = active;
  int32_t preferred = kNoPreferredX;
  int32_t last = GetCharCount() - 1;
  switch (kind) {
    case 0:
    case 3: {
      preferred = m_preferredX != kNoPreferredX ? m_preferredX : GetCharX(active);
      int32_t line = GetLineOfChar(active);
      int32_t to = kind == 0 ? line - 1 : line + 1;
      if (to >= 0 && to < GetLineCount()) target = GetCharAtX(to, preferred);
      break;
    }
    case 1:
      target = std::max(0, active - 1);
      break;
    case 2:
      target = std::min(last, active + 1);
      break;
    case 4:
      target = m_lines[static_cast<size_t>(GetLineOfChar(active))].first;
      break;
    case 5: {
      const TextLine& l = m_lines[static_cast<size_t>(GetLineOfChar(active))];
      target = l.first + l.count - 1;
      break;
    }
    case 6:
      target = 0;
      break;
    case 7:
      // The last position (texts longer than 16001 characters included).
      target = last;
      break;
    default:
      return;
  }
  int32_t anchor = m_anchor;
  if (extend) {
    SetSelection(anchor, target);
    m_anchor = anchor;
  } else {
    SetSelection(target, target);
  }
  m_preferredX = preferred;
}

// ---- queries -------------------------------------------------------------------------------

int32_t CPicText::GetLineOfChar(int32_t position, int32_t* top) {
  UpdateLayout();
  int32_t y = m_box.ymin;
  int32_t n = GetLineCount();
  // Binary search on the first indices; the tops are summed on the way.
  auto it = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                             [](int32_t p, const TextLine& l) { return p < l.first; });
  int32_t line = std::max(0, static_cast<int32_t>(it - m_lines.begin()) - 1);
  if (line >= n) line = n - 1;
  if (top != nullptr) {
    if (line >= 0) {
      const TextLine& l = m_lines[static_cast<size_t>(line)];
      y = l.baseline - l.ascent;
    }
    *top = y;
  }
  return line;
}

int32_t CPicText::GetLineAtY(int32_t y) {
  UpdateLayout();
  int32_t total = 0;
  for (int32_t i = 0; i < GetLineCount(); ++i) {
    const TextLine& l = m_lines[static_cast<size_t>(i)];
    total += l.ascent + l.descent + l.leading;
    if (total > y) return i;
  }
  return GetLineCount() - 1;
}

int32_t CPicText::GetCharAtX(int32_t line, int32_t x) {
  UpdateLayout();
  if (line < 0 || line >= GetLineCount()) return 0;
  const TextLine& l = m_lines[static_cast<size_t>(line)];
  int32_t cx = l.x;
  int32_t lastPos = l.first + l.count - 1;
  for (int32_t i = l.first; i < lastPos; ++i) {
    int32_t adv = m_chars[static_cast<size_t>(i)].layoutAdvance;
    if (cx + adv / 2 > x) return i;
    cx += adv;
  }
  return lastPos;
}

int32_t CPicText::GetCharX(int32_t position) {
  int32_t line = GetLineOfChar(position);
  if (line < 0) return m_box.xmin;
  const TextLine& l = m_lines[static_cast<size_t>(line)];
  int32_t x = l.x;
  for (int32_t i = l.first; i < position && i < l.first + l.count; ++i) {
    x += m_chars[static_cast<size_t>(i)].layoutAdvance;
  }
  return x;
}

int32_t CPicText::CharIndexAt(const Point32& point) {
  UpdateLayout();
  if (m_lines.empty()) return 0;
  Matrix2x3 inverse;
  MatrixInvert(m_matrix, inverse);
  Point32 p;
  MatrixTransformPoint(inverse, point, p);
  return GetCharAtX(GetLineAtY(p.y - m_box.ymin), p.x);
}

void CPicText::GetRangeRect(int32_t a, int32_t b, Rect32& out) {
  RectSetEmpty(out);
  for (const TextLine& l : m_lines) {
    int32_t end = l.first + l.count;
    if (end <= a || l.first >= b) continue;
    int32_t x = l.x;
    for (int32_t i = l.first; i < end; ++i) {
      const TextChar& c = m_chars[static_cast<size_t>(i)];
      if (i >= a && i < b && c.code != kCR) {
        Rect32 r;
        RectSet(r, x + c.inkLeft, l.baseline + c.inkTop,
                std::max(x + c.inkRight, x + c.layoutAdvance), l.baseline + c.inkBottom);
        RectUnion(out, r, out);
      }
      x += c.layoutAdvance;
    }
  }
}

std::vector<Point32> CPicText::DrawSelectionRegion(const Matrix2x3& viewMatrix) {
  UpdateLayout();
  Matrix2x3 m;
  MatrixConcat(m_matrix, viewMatrix, m);
  Matrix2x3 inverse;
  MatrixInvert(m, inverse);
  // One device pixel in twips.
  int32_t w = std::max(1, MatrixScaleLength(inverse, 1));
  std::vector<Point32> left, right;
  if (m_selStart == m_selEnd) {
    int32_t top = 0;
    int32_t line = GetLineOfChar(m_selStart, &top);
    const TextLine& l = m_lines[static_cast<size_t>(line)];
    int32_t x = GetCharX(m_selStart);
    int32_t bottom = top + l.ascent + l.descent;
    left = {{x - w, top}, {x - w, bottom}};
    right = {{x + w, top}, {x + w, bottom}};
  } else {
    for (const TextLine& l : m_lines) {
      int32_t end = l.first + l.count;
      if (end <= m_selStart || l.first >= m_selEnd) continue;
      int32_t x0 = GetCharX(std::max(m_selStart, l.first));
      int32_t x1 = m_selEnd < end ? GetCharX(m_selEnd) : GetCharX(end - 1);
      if (m_selEnd >= end) {
        x1 += m_chars[static_cast<size_t>(end - 1)].layoutAdvance;
      }
      if (x1 - x0 < 2 * w) x1 = x0 + 2 * w;
      int32_t top = l.baseline - l.ascent;
      int32_t bottom = l.baseline + l.descent + (m_selEnd >= end ? l.leading : 0);
      left.push_back({x0, top});
      left.push_back({x0, bottom});
      right.push_back({x1, top});
      right.push_back({x1, bottom});
    }
  }
  std::vector<Point32> polygon = left;
  for (auto it = right.rbegin(); it != right.rend(); ++it) polygon.push_back(*it);
  for (Point32& p : polygon) MatrixTransformPoint(m, p, p);
  return polygon;
}

// ---- editing --------------------------------------------------------------------------------

int32_t CPicText::InsertCodes(const uint16_t* codes, int32_t n, int32_t styleIndex) {
  if (n <= 0) return 0;
  SaveTextState(1);
  Invalidate(2);
  if (GetCharCount() + n >= kMaxChars) return -1;
  if (styleIndex < 0 || styleIndex >= static_cast<int32_t>(m_styles.size())) styleIndex = 0;
  int32_t at = m_selStart;
  InvalidateRange(at, at);
  TextChar blank;
  blank.styleIndex = static_cast<int16_t>(styleIndex);
  m_chars.insert(m_chars.begin() + at, static_cast<size_t>(n), blank);
  for (int32_t i = 0; i < n; ++i) m_chars[static_cast<size_t>(at + i)].code = codes[i];
  for (TextLine& l : m_lines) {
    int32_t s = l.first, e = l.first + l.count;
    ShiftRangeForInsert(s, e, at, n);
    l.first = s;
    l.count = e - s;
  }
  if (m_dirtyStart >= 0) ShiftRangeForInsert(m_dirtyStart, m_dirtyEnd, at, n);
  MarkDirtyRange(at, at + n);
  m_selStart = m_selEnd = m_anchor = at + n;
  if (m_selStart == GetCharCount() - 1)
    m_chars.back().styleIndex = static_cast<int16_t>(styleIndex);
  return 0;
}

int32_t CPicText::InsertChars(const uint8_t* bytes, int32_t length, int32_t styleIndex) {
  int codePage =
      CodePageForCharSet(m_styles[static_cast<size_t>(std::clamp<int32_t>(
                                      styleIndex, 0, static_cast<int32_t>(m_styles.size()) - 1))]
                             .charSet);
  uint16_t buffer[kCodeBufferSize];
  int32_t n = 0;
  for (int32_t i = 0; i < length; ++i) {
    uint16_t code = bytes[i];
    if (IsLeadByteInCodePage(codePage, bytes[i]) && i + 1 < length) {
      code = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
      ++i;
    }
    buffer[n++] = code;
    if (n == kCodeBufferSize) {
      if (int32_t r = InsertCodes(buffer, n, styleIndex); r < 0) return r;
      n = 0;
    }
  }
  return n > 0 ? InsertCodes(buffer, n, styleIndex) : 0;
}

int32_t CPicText::InsertString(std::string_view s) {
  CTextStyle style;
  GetStyleAt(style, 1);
  int32_t index = AddStyle(style);
  return InsertChars(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()),
                     index);
}

void CPicText::SetText(std::string_view s) {
  Invalidate(1);
  SetSelection(0, kMaxChars);
  DeleteSelection();
  InsertString(s);
}

void CPicText::DeleteSelection() {
  int32_t a = m_selStart, b = m_selEnd;
  if (a == b) return;
  SaveTextState(1);
  Invalidate(2);
  InvalidateRange(a, b);
  MarkDirtyRange(a, b);
  int32_t pending = m_chars[static_cast<size_t>(a)].styleIndex;
  m_chars.erase(m_chars.begin() + a, m_chars.begin() + b);
  for (TextLine& l : m_lines) {
    int32_t s = l.first, e = l.first + l.count;
    ShiftRangeForDelete(s, e, a, b);
    l.first = s;
    l.count = e - s;
  }
  if (m_dirtyStart >= 0) ShiftRangeForDelete(m_dirtyStart, m_dirtyEnd, a, b);
  m_selStart = m_selEnd = m_anchor = a;
  m_pendingStyle = pending;
}

std::string CPicText::GetText(int32_t selectionOnly) const {
  int32_t a = selectionOnly ? m_selStart : 0;
  int32_t b = selectionOnly ? m_selEnd : GetCharCount() - 1;
  std::string out;
  for (int32_t i = a; i < b; ++i) {
    uint16_t c = m_chars[static_cast<size_t>(i)].code;
    if (c > 0xFF) out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

void CPicText::WriteSelection(CArchive& ar) {
  WriteRuns(ar, m_selStart, m_selEnd);
}

void CPicText::ReadAndInsert(CArchive& ar) {
  ReadRuns(ar);
}

int32_t CPicText::MoveAnchorTo(const Point32& point, int32_t anchor) {
  SaveTextState(0);
  Invalidate(1);
  UpdateLayout();
  Point32 p{m_box.xmin, m_box.ymin};
  if (anchor & 0x2) {
    p.x =
        (anchor & 0x4) ? static_cast<int32_t>((int64_t{m_box.xmin} + m_box.xmax) / 2) : m_box.xmax;
  }
  if (!m_lines.empty() && (anchor & 0x8)) {
    const TextLine& l = m_lines.front();
    p.y += (anchor & 0x10) ? l.ascent : l.ascent + l.descent;
  }
  Point32 placed;
  MatrixTransformPoint(m_matrix, p, placed);
  int32_t dx = point.x - placed.x, dy = point.y - placed.y;
  m_matrix.tx = WrapAdd(m_matrix.tx, dx);
  m_matrix.ty = WrapAdd(m_matrix.ty, dy);
  return dy;
}

void CPicText::SetTextFlags(uint32_t value) {
  SaveTextState(0);
  Invalidate(1);
  MarkDirtyRange(0, GetCharCount());
  m_textFlags = value;
}

void CPicText::SetWidth(int32_t width) {
  SaveTextState(0);
  Invalidate(1);
  MarkDirtyRange(0, GetCharCount());
  m_box.xmax = m_box.xmin + std::max(width, kMinWidth);
}

Point32 CPicText::GetAnchorPoint() {
  UpdateLayout();
  Point32 p;
  RectGetHandlePoint(m_frameBounds, 2, p);
  MatrixTransformPoint(m_matrix, p, p);
  return p;
}

// ---- style runs ---------------------------------------------------------------------------

void CPicText::WriteRuns(CArchive& ar, int32_t a, int32_t b) {
  a = std::clamp(a, 0, GetCharCount() - 1);
  b = std::clamp(b, a, GetCharCount() - 1);
  std::vector<uint8_t> bytes;
  int32_t style = -1;
  auto flush = [&] {
    if (bytes.empty()) return;
    ar << static_cast<uint16_t>(bytes.size());
    CTextStyle s = m_styles[static_cast<size_t>(style)];
    s.Serialize(ar);
    ar.Write(bytes.data(), bytes.size());
    bytes.clear();
  };
  for (int32_t i = a; i < b; ++i) {
    const TextChar& c = m_chars[static_cast<size_t>(i)];
    if (c.styleIndex != style || static_cast<int32_t>(bytes.size()) > kRunCloseBytes) {
      flush();
      style = c.styleIndex;
    }
    if (c.code > 0xFF) bytes.push_back(static_cast<uint8_t>(c.code >> 8));
    bytes.push_back(static_cast<uint8_t>(c.code));
  }
  flush();
  ar << static_cast<uint16_t>(0);
}

void CPicText::ReadRuns(CArchive& ar) {
  std::vector<uint8_t> bytes;
  for (;;) {
    uint16_t count;
    ar >> count;
    if (count == 0) break;
    CTextStyle style;
    style.Serialize(ar);
    style.flags = 0;
    bytes.resize(count);
    ar.ReadExact(bytes.data(), count);
    int32_t index = AddStyle(style);
    if (InsertChars(bytes.data(), count, index) < 0) {
      throw CArchiveException(CArchiveException::genericException);
    }
  }
}

// ---- layout ---------------------------------------------------------------------------------

void CPicText::MarkDirtyRange(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  if (m_dirtyStart < 0) {
    m_dirtyStart = a;
    m_dirtyEnd = b;
  } else {
    m_dirtyStart = std::min(m_dirtyStart, a);
    m_dirtyEnd = std::max(m_dirtyEnd, b);
  }
  m_layoutDirty = true;
}

void CPicText::AddChangedRect(const Rect32& r) {
  if (r.IsEmpty()) return;
  Rect32 mapped;
  MatrixTransformRect(m_matrix, r, mapped);
  m_change.SetRect(mapped);
}

void CPicText::InvalidateRange(int32_t a, int32_t b) {
  if (m_dirtyStart >= 0 && a >= m_dirtyStart && b <= m_dirtyEnd && a < b) return;
  // To the end of the line that holds b: its characters may move.
  for (const TextLine& l : m_lines) {
    if (b >= l.first && b < l.first + l.count) {
      b = l.first + l.count;
      break;
    }
  }
  // Only the part not yet dirty: the dirty part is added when laid out.
  int32_t from = a;
  if (m_dirtyStart >= 0 && a >= m_dirtyStart && a <= m_dirtyEnd) from = m_dirtyEnd;
  if (from < b) {
    Rect32 r;
    GetRangeRect(from, b, r);
    AddChangedRect(r);
  }
  MarkDirtyRange(a, b);
}

void CPicText::MeasureChars() {
  int32_t count = GetCharCount();
  int32_t start = m_dirtyStart < 2 ? 0 : m_dirtyStart - 1;
  int32_t end = std::min(m_dirtyEnd, count);
  int32_t style = -1;
  const FontMeasure* fm = nullptr;
  for (int32_t i = start; i < end; ++i) {
    TextChar& c = m_chars[static_cast<size_t>(i)];
    if (c.styleIndex != style) {
      style = c.styleIndex;
      CTextStyle& s = m_styles[static_cast<size_t>(style)];
      fm = &MeasureFont(s);
      s.ascent = fm->ascent;
      s.descent = fm->descent;
      s.avgCharWidth = fm->avg_char_width;
      s.flags &= ~(CTextStyle::kFlagOutline | CTextStyle::kFlagSmall);
      if (fm->outline) s.flags |= CTextStyle::kFlagOutline;
    }
    const CTextStyle& s = m_styles[static_cast<size_t>(style)];
    if (c.code == kCR) {
      c.advance = c.inkLeft = c.inkRight = c.inkTop = c.inkBottom = 0;
      continue;
    }
    int32_t width;
    if (c.code <= 0xFF) {
      width = fm->widths[c.code];
    } else {
      uint8_t two[2] = {static_cast<uint8_t>(c.code >> 8), static_cast<uint8_t>(c.code)};
      if (!fm->font->GetTextExtent(two, 2, width)) width = fm->widths[two[0]] + fm->widths[two[1]];
    }
    int64_t advance = int64_t{width} + s.letterSpacing;
    if (!fm->pairs.empty() && i + 1 < count) {
      const TextChar& next = m_chars[static_cast<size_t>(i + 1)];
      if (next.styleIndex == c.styleIndex ||
          (s.Compare(m_styles[static_cast<size_t>(next.styleIndex)]) &
           CTextStyle::kMaskKerningPair) == CTextStyle::kMaskKerningPair) {
        advance += KerningAmount(fm->pairs, c.code, next.code);
      }
    }
    c.advance = Clamp16(advance);
    if (IsSpace(c.code)) {
      c.inkLeft = c.inkRight = 0;
      c.inkTop = c.inkBottom = Clamp16(fm->shift);
    } else {
      c.inkLeft = 0;
      c.inkRight = c.advance;
      c.inkTop = Clamp16(int64_t{fm->shift} - fm->eff_ascent);
      c.inkBottom = Clamp16(int64_t{fm->shift} + fm->eff_descent);
    }
  }
}

void CPicText::FitWidthToText() {
  if (m_textFlags == 0) return;
  int64_t widest = 0;
  int32_t count = GetCharCount();
  for (int32_t p = 0; p < count;) {
    const CTextStyle& para = StyleOf(p);
    int64_t width = 0, visible = 0;
    int32_t i = p;
    for (; i < count && m_chars[static_cast<size_t>(i)].code != kCR; ++i) {
      width += m_chars[static_cast<size_t>(i)].advance;
      if (!IsSpace(m_chars[static_cast<size_t>(i)].code)) visible = width;
    }
    widest =
        std::max(widest, visible + std::max(para.indent + para.leftMargin, 0) + para.rightMargin);
    p = i + 1;
  }
  int32_t w = static_cast<int32_t>(
      std::min<int64_t>(std::max<int64_t>(widest, kMinWidth) + 4, INT32_MAX / 4));
  Rect32 old = m_box;
  switch (StyleOf(0).alignment) {
    case CTextStyle::kAlignRight:
      m_box.xmin = m_box.xmax - w;
      break;
    case CTextStyle::kAlignCenter: {
      int32_t c = static_cast<int32_t>((int64_t{m_box.xmin} + m_box.xmax) / 2);
      m_box.xmin = c - w / 2;
      m_box.xmax = c + w / 2;
      break;
    }
    default:
      m_box.xmax = m_box.xmin + w;
      break;
  }
  if (!(old == m_box)) {
    Rect32 u;
    RectUnion(old, m_box, u);
    RectInset(u, -kFramePad);
    AddChangedRect(u);
  }
}

int32_t CPicText::BreakLine(int32_t first, const CTextStyle& para, int32_t& left, int32_t& right) {
  bool paraStart = first == 0 || m_chars[static_cast<size_t>(first - 1)].code == kCR;
  left = m_box.xmin + std::max(0, para.leftMargin + (paraStart ? para.indent : 0));
  right = m_box.xmax - para.rightMargin;
  left = std::min(left, m_box.xmax - 20);
  right = std::max(right, left + 20);
  int64_t room = int64_t{right} - left;
  int32_t count = GetCharCount();
  int32_t lastBreak = -1;
  for (int32_t i = first; i < count; ++i) {
    const TextChar& c = m_chars[static_cast<size_t>(i)];
    if (c.code == kCR) return i + 1;
    room -= c.advance;
    if (!IsSpace(c.code) && room < 0) {
      if (lastBreak > first) return lastBreak;
      return i > first ? i : i + 1;
    }
    if (IsBreakAfterChar(c.code)) lastBreak = i + 1;
  }
  return count;
}

void CPicText::LayoutLine(int32_t first, int32_t end, int32_t left, int32_t right, int32_t top,
                          const CTextStyle& para, TextLine& line, bool existed, bool) {
  uint8_t alignment = para.alignment;
  bool endsWithCR = m_chars[static_cast<size_t>(end - 1)].code == kCR;
  if (alignment == CTextStyle::kAlignJustify && endsWithCR) alignment = CTextStyle::kAlignLeft;
  int32_t newCount = end - first;
  if (existed) {
    int32_t oldStart = line.first, oldEnd = line.first + line.count;
    bool changed = false;
    if (oldStart != first) {
      InvalidateRange(std::min(oldStart, first), std::max(oldEnd, end));
      changed = true;
    } else if (oldEnd != end) {
      InvalidateRange(std::min(oldEnd, end), std::max(oldEnd, end));
      changed = true;
    }
    if (line.alignment != alignment) {
      InvalidateRange(oldStart, oldEnd);
      changed = true;
    }
    // Measuring starts one character before the dirty range.
    bool overlaps = m_dirtyStart >= 0 && oldStart <= m_dirtyEnd && m_dirtyStart - 1 < oldEnd;
    if (changed || overlaps) {
      if (line.alignment == CTextStyle::kAlignJustify || alignment == CTextStyle::kAlignJustify) {
        InvalidateRange(oldStart, std::max(oldEnd, end));
      } else {
        InvalidateRange(std::max(0, m_dirtyStart), end);
      }
    } else if (line.x == left && line.baseline == top + line.ascent) {
      return;
    }
  }
  int32_t visibleEnd = end;
  while (visibleEnd > first && (IsSpace(m_chars[static_cast<size_t>(visibleEnd - 1)].code) ||
                                m_chars[static_cast<size_t>(visibleEnd - 1)].code == kCR)) {
    --visibleEnd;
  }
  int32_t ascent = 0, descent = 0, leading = -16000;
  for (int32_t i = first; i < end; ++i) {
    const CTextStyle& s = StyleOf(i);
    ascent = std::max<int32_t>(ascent, s.ascent);
    descent = std::max<int32_t>(descent, s.descent);
    leading = std::max<int32_t>(leading, s.lineSpacing);
  }
  int64_t width = 0;
  int32_t spaces = 0, others = 0;
  for (int32_t i = first; i < visibleEnd; ++i) {
    TextChar& c = m_chars[static_cast<size_t>(i)];
    c.layoutAdvance = c.advance;
    width += c.advance;
    if (c.advance > 0) {
      if (IsSpace(c.code)) {
        ++spaces;
      } else {
        ++others;
      }
    }
  }
  if (ascent + descent + leading < ascent / 2) leading = ascent / 2 - descent - ascent;
  int64_t x = left;
  int64_t spare = int64_t{right} - left - width;
  switch (alignment) {
    case CTextStyle::kAlignRight:
      x = int64_t{left} + (right - left) - width;
      break;
    case CTextStyle::kAlignCenter:
      x = left + spare / 2;
      break;
    case CTextStyle::kAlignJustify:
      if (spaces > 0) {
        int64_t per = spare / spaces;
        for (int32_t i = first; i < visibleEnd; ++i) {
          TextChar& c = m_chars[static_cast<size_t>(i)];
          if (IsSpace(c.code) && c.advance > 0) c.layoutAdvance = Clamp16(c.layoutAdvance + per);
        }
      } else if (others >= 2) {
        int64_t per = spare / (others - 1);
        for (int32_t i = first; i < visibleEnd - 1; ++i) {
          TextChar& c = m_chars[static_cast<size_t>(i)];
          if (c.advance > 0) c.layoutAdvance = Clamp16(c.layoutAdvance + per);
        }
      }
      break;
    default:
      break;
  }
  // Trailing spaces may hang at most 40 twips past the right limit.
  int64_t run = x;
  for (int32_t i = first; i < visibleEnd; ++i) run += m_chars[static_cast<size_t>(i)].layoutAdvance;
  for (int32_t i = visibleEnd; i < end; ++i) {
    TextChar& c = m_chars[static_cast<size_t>(i)];
    c.layoutAdvance =
        Clamp16(std::max<int64_t>(0, std::min<int64_t>(c.advance, right - run + kFramePad)));
    run += c.layoutAdvance;
  }
  int32_t newX = static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN / 2, INT32_MAX / 2));
  int32_t baseline = top + ascent;
  bool moved = !existed || line.ascent != ascent || line.descent != descent ||
               line.leading != leading || line.baseline != baseline || line.x != newX;
  line.ascent = static_cast<int16_t>(ascent);
  line.descent = static_cast<int16_t>(descent);
  line.leading = static_cast<int16_t>(leading);
  line.x = newX;
  line.baseline = baseline;
  line.first = first;
  line.count = newCount;
  line.alignment = alignment;
  RectSetEmpty(line.inkBounds);
  int64_t cx = newX;
  for (int32_t i = first; i < visibleEnd; ++i) {
    const TextChar& c = m_chars[static_cast<size_t>(i)];
    Rect32 r;
    int32_t x0 = static_cast<int32_t>(cx);
    RectSet(r, x0 + c.inkLeft, baseline + c.inkTop, std::max(x0 + c.inkRight, x0 + c.layoutAdvance),
            baseline + c.inkBottom);
    RectUnion(line.inkBounds, r, line.inkBounds);
    cx += c.layoutAdvance;
  }
  if (moved) {
    Rect32 r;
    GetRangeRect(first, end, r);
    AddChangedRect(r);
  }
}

void CPicText::LayoutLines() {
  int32_t count = GetCharCount();
  size_t oldCount = m_lines.size();
  int32_t y = m_box.ymin;
  RectSetEmpty(m_inkBounds);
  const CTextStyle* para = &StyleOf(0);
  size_t n = 0;
  for (int32_t first = 0; first < count;) {
    int32_t left, right;
    int32_t end = BreakLine(first, *para, left, right);
    if (n >= m_lines.size()) m_lines.emplace_back();
    LayoutLine(first, end, left, right, y, *para, m_lines[n], n < oldCount, false);
    const TextLine& l = m_lines[n];
    ++n;
    y += l.ascent + l.descent;
    RectUnion(m_inkBounds, l.inkBounds, m_inkBounds);
    if (end >= count) break;
    y += l.leading;
    if (m_chars[static_cast<size_t>(end - 1)].code == kCR) para = &StyleOf(end);
    first = end;
  }
  m_lines.resize(n);
  if (m_box.ymax != y) {
    Rect32 r;
    RectSet(r, m_box.xmin, std::min(m_box.ymax, y), m_box.xmax, std::max(m_box.ymax, y));
    RectInset(r, -kFramePad);
    AddChangedRect(r);
    m_box.ymax = y;
  }
  m_frameBounds = m_box;
  RectInset(m_frameBounds, -kFramePad);
  RectUnion(m_inkBounds, m_frameBounds, m_inkBounds);
}

void CPicText::UpdateLayout() {
  if (!m_layoutDirty) return;
  if (m_dirtyStart < 0) MarkDirtyRange(0, GetCharCount());
  MeasureChars();
  FitWidthToText();
  LayoutLines();
  Rect32 r;
  GetRangeRect(m_dirtyStart, m_dirtyEnd, r);
  AddChangedRect(r);
  m_dirtyStart = m_dirtyEnd = -1;
  m_layoutDirty = false;
}

// ---- undo ------------------------------------------------------------------------------------

void CPicText::SaveTextState(int32_t withText) {
  const CEditGlobals& g = EditGlobals();
  if (g.openStep == nullptr) return;
  bool stateSaved = m_stateStep == g.openStep && m_stateSerial == g.stepSerial;
  bool textSaved = m_textStep == g.openStep && m_textSerial == g.stepSerial;
  if (stateSaved && (withText == 0 || textSaved)) return;
  auto item = std::make_unique<CTextEditItem>(this, withText);
  if (withText) {
    CArchive ar(item->m_file.get(), CArchive::store, 4096);
    WriteRuns(ar, 0, GetCharCount() - 1);
    ar.Close();
    m_textStep = g.openStep;
    m_textSerial = g.stepSerial;
  }
  Invalidate(2);
  g.openStep->AddItem(item.release());
  m_stateStep = g.openStep;
  m_stateSerial = g.stepSerial;
}

CTextEditItem::CTextEditItem(CPicText* text, int32_t withText)
    : m_text(text),
      m_matrix(text->m_matrix),
      m_box(text->m_box),
      m_flags(text->m_textFlags),
      m_selStart(text->m_selStart),
      m_selEnd(text->m_selEnd),
      m_withText(withText),
      m_file(withText ? std::make_unique<CMemFile>(256) : nullptr) {}

CTextEditItem::~CTextEditItem() = default;

void CTextEditItem::Restore() {
  CPicText* t = m_text;
  t->Invalidate(1);
  t->SaveTextState(m_withText);
  t->m_matrix = m_matrix;
  t->m_box = m_box;
  t->m_textFlags = m_flags;
  t->InvalidateRange(0, t->GetCharCount());
  t->MarkDirtyRange(0, t->GetCharCount());
  if (m_withText) {
    t->SetSelection(0, CPicText::kMaxChars);
    t->DeleteSelection();
    m_file->Seek(0, CFile::begin);
    CArchive ar(m_file.get(), CArchive::load, 4096);
    t->ReadRuns(ar);
    t->MarkUsedStyles();
  }
  t->SetSelection(m_selStart, m_selEnd);
}
