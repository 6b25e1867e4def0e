// Character sets and code pages: the code page a font's character set uses,
// its lead bytes, and conversion of its bytes to and from Unicode (iconv).
//
// Linux has no system code page: text is always read in the code page of
// the character set of the style it is written in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The code page of a character set: 0, 1 and unknown sets give 1252; the
// symbol set (2) gives kCodePageSymbol.
constexpr int kCodePageSymbol = 2;
int CodePageForCharSet(uint8_t charSet);

// True when the byte starts a two-byte character in the code page (932,
// 936, 949 and 950 have lead bytes; every other page has none).
bool IsLeadByteInCodePage(int codePage, uint8_t byte);
inline bool IsDBCSLeadByteEx(uint8_t charSet, uint8_t byte) {
  return IsLeadByteInCodePage(CodePageForCharSet(charSet), byte);
}

// The Unicode scalar of one character code of the code page (a single byte,
// or lead * 256 + trail); 0 when the page does not map it. The symbol page
// maps byte b to 0xF000 + b.
uint32_t CodeToUnicode(int codePage, uint16_t code);

// Bytes of the code page to UTF-32, one scalar per character; an unmapped
// character gives U+FFFD; a lead byte at the end stands alone.
std::u32string BytesToUnicode(int codePage, const uint8_t* bytes, size_t n);
// UTF-32 to bytes of the code page; a character the page lacks becomes '?'.
std::vector<uint8_t> UnicodeToBytes(int codePage, const std::u32string& text);
