// The font double of tests: faces without outlines, every character half
// the em wide.
#include <algorithm>
#include <cstring>

#include "platform/core/code_page.h"
#include "platform/core/font.h"

void SetFaceName(char (&field)[32], const char* name) {
  size_t n = name != nullptr ? std::min<size_t>(std::strlen(name), 31) : 0;
  std::memcpy(field, name, n);
  std::memset(field + n, 0, 32 - n);
}

namespace {

class FixedFace : public CFontFace {
 public:
  explicit FixedFace(const LogFont& lf) : lf_(lf) {
    em_ = lf.height < 0 ? -lf.height : lf.height > 0 ? lf.height : 16;
  }
  const LogFont& GetLogFont() const override { return lf_; }
  void GetTextMetrics(TextMetrics& m) const override {
    m.ascent = em_ * 4 / 5;
    m.descent = em_ - m.ascent;
    m.height = em_;
    m.avg_char_width = em_ / 2;
    m.weight = lf_.weight;
    m.italic = lf_.italic;
    m.pitch_and_family = 1;
    m.char_set = lf_.char_set;
  }
  bool HasOutlineMetrics() const override { return false; }
  void GetCharWidths(int32_t widths[256]) const override {
    std::fill(widths, widths + 256, em_ / 2);
  }
  bool GetTextExtent(const uint8_t* bytes, int n, int32_t& cx) const override {
    int chars = 0;
    int page = CodePageForCharSet(lf_.char_set);
    for (int i = 0; i < n; ++i, ++chars) {
      if (IsLeadByteInCodePage(page, bytes[i]) && i + 1 < n) ++i;
    }
    cx = chars * (em_ / 2);
    return n > 0;
  }
  std::vector<KerningPair> GetKerningPairs() const override { return {}; }
  bool GetGlyphOutline(uint16_t, GlyphOutline& out) const override {
    out.contours.clear();
    return false;
  }
  bool GetFontData(uint32_t, std::vector<uint8_t>&) const override { return false; }
  std::string GetFaceFile() const override { return {}; }
  int32_t GetFaceIndex() const override { return 0; }

 private:
  LogFont lf_;
  int32_t em_;
};

}  // namespace

std::shared_ptr<CFontFace> CFixedFontService::CreateFont(const LogFont& lf) {
  return std::make_shared<FixedFace>(lf);
}
