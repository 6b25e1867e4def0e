// Reads random bytes as "Vimbrel Text" (style runs) into a text object, lays
// it out, moves the caret and writes the text back. Uses the fixed-width font
// double so that every run measures without the system's fonts.
#include <cstddef>
#include <cstdint>

#include "model/pic_text.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/core/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CFixedFontService fonts;
  SetFontService(&fonts);
  CPicText text;
  text.SetWidth(2000);
  CMemFile file(std::span<const uint8_t>(data, size));
  try {
    CArchive ar(&file, CArchive::load);
    text.ReadAndInsert(ar);
  } catch (const CException&) {
    // Bad input: what was read before the fault stays.
  }
  text.UpdateLayout();
  for (int kind = 0; kind < 8; ++kind) text.MoveCaret(kind, kind & 1);
  text.SelectRangeByWord(0, text.GetCharCount());
  CMemFile out;
  CArchive ar(&out, CArchive::store);
  text.WriteSelection(ar);
  ar.Close();
  // What was written reads back to the same text.
  CPicText copy;
  CMemFile in(out.GetData());
  CArchive back(&in, CArchive::load);
  copy.ReadAndInsert(back);
  if (copy.GetText(0) != text.GetText(1)) __builtin_trap();
  return 0;
}
