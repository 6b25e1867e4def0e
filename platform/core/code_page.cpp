#include "platform/core/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <memory>

namespace {

struct CharSetPage {
  uint8_t char_set;
  int code_page;
};
constexpr CharSetPage kCharSetPages[] = {
    {0, 1252},   {1, 1252},   {2, kCodePageSymbol}, {128, 932},  {129, 949},  {134, 936},
    {136, 950},  {161, 1253}, {162, 1254},          {177, 1255}, {178, 1256}, {186, 1257},
    {204, 1251}, {222, 874},  {238, 1250},          {255, 437},
};

bool IsDoubleBytePage(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

std::string IconvName(int codePage) {
  return "CP" + std::to_string(codePage);
}

// One open conversion per code page and direction, kept for the process.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (IsOpen()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts all of in; false when a byte sequence is invalid or incomplete.
  bool Run(const char* in, size_t n, char* out, size_t outSize, size_t& written) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    char* dst = out;
    size_t left = n, room = outSize;
    size_t r = iconv(cd_, &src, &left, &dst, &room);
    written = outSize - room;
    if (r == static_cast<size_t>(-1)) return false;
    // Flush any shift state.
    r = iconv(cd_, nullptr, nullptr, &dst, &room);
    written = outSize - room;
    return r != static_cast<size_t>(-1);
  }

 private:
  iconv_t cd_;
};

Converter* ToUnicode(int codePage) {
  static std::map<int, std::unique_ptr<Converter>> table;
  auto& slot = table[codePage];
  if (!slot) slot = std::make_unique<Converter>("UTF-32LE", IconvName(codePage));
  return slot->IsOpen() ? slot.get() : nullptr;
}

Converter* FromUnicode(int codePage) {
  static std::map<int, std::unique_ptr<Converter>> table;
  auto& slot = table[codePage];
  if (!slot) slot = std::make_unique<Converter>(IconvName(codePage), "UTF-32LE");
  return slot->IsOpen() ? slot.get() : nullptr;
}

uint32_t DecodeOne(int codePage, const uint8_t* bytes, size_t n) {
  Converter* cv = ToUnicode(codePage);
  if (cv == nullptr) return 0;
  char out[16];
  size_t written = 0;
  if (!cv->Run(reinterpret_cast<const char*>(bytes), n, out, sizeof out, written) || written != 4) {
    return 0;
  }
  return static_cast<uint32_t>(static_cast<uint8_t>(out[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(out[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(out[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(out[3])) << 24;
}

// Every code of a page decoded once: 256 entries for a single-byte page,
// 65536 for a double-byte page.
const std::vector<uint32_t>& CodeTable(int codePage) {
  static std::map<int, std::vector<uint32_t>> tables;
  auto it = tables.find(codePage);
  if (it != tables.end()) return it->second;
  std::vector<uint32_t> table(IsDoubleBytePage(codePage) ? 65536 : 256, 0);
  for (uint32_t b = 0; b < 256; ++b) {
    uint8_t byte = static_cast<uint8_t>(b);
    if (codePage == kCodePageSymbol) {
      table[b] = 0xF000 + b;
    } else if (IsLeadByteInCodePage(codePage, byte)) {
      for (uint32_t t = 0x40; t < 256; ++t) {
        uint8_t pair[2] = {byte, static_cast<uint8_t>(t)};
        table[b * 256 + t] = DecodeOne(codePage, pair, 2);
      }
    } else {
      table[b] = DecodeOne(codePage, &byte, 1);
    }
  }
  // NUL decodes to 0, which is also "unmapped": the same for our purposes.
  return tables.emplace(codePage, std::move(table)).first->second;
}

}  // namespace

int CodePageForCharSet(uint8_t charSet) {
  for (const auto& e : kCharSetPages) {
    if (e.char_set == charSet) return e.code_page;
  }
  return 1252;
}

bool IsLeadByteInCodePage(int codePage, uint8_t b) {
  switch (codePage) {
    case 932:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

uint32_t CodeToUnicode(int codePage, uint16_t code) {
  const std::vector<uint32_t>& table = CodeTable(codePage);
  return code < table.size() ? table[code] : 0;
}

std::u32string BytesToUnicode(int codePage, const uint8_t* bytes, size_t n) {
  std::u32string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    uint16_t code = bytes[i];
    if (IsLeadByteInCodePage(codePage, bytes[i]) && i + 1 < n) {
      code = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
      ++i;
    }
    uint32_t u = CodeToUnicode(codePage, code);
    out.push_back(u != 0 || code == 0 ? static_cast<char32_t>(u) : U'\uFFFD');
  }
  return out;
}

std::vector<uint8_t> UnicodeToBytes(int codePage, const std::u32string& text) {
  std::vector<uint8_t> out;
  out.reserve(text.size());
  Converter* cv = codePage == kCodePageSymbol ? nullptr : FromUnicode(codePage);
  for (char32_t c : text) {
    if (codePage == kCodePageSymbol) {
      out.push_back(c >= 0xF000 && c <= 0xF0FF ? static_cast<uint8_t>(c - 0xF000)
                    : c < 0x100                ? static_cast<uint8_t>(c)
                                               : static_cast<uint8_t>('?'));
      continue;
    }
    uint8_t in[4] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                     static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 24)};
    char buf[8];
    size_t written = 0;
    if (cv != nullptr && cv->Run(reinterpret_cast<const char*>(in), 4, buf, sizeof buf, written) &&
        written > 0) {
      out.insert(out.end(), buf, buf + written);
    } else {
      out.push_back('?');
    }
  }
  return out;
}
