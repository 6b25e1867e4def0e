// Writing compound files (version 3, 512-byte sectors) in one sequential
// pass: the layout is planned from the entry sizes first, so the header and
// every table are known before the first byte is written. Layout: the large
// streams, the mini stream container, the mini table, the directory, the
// allocation table and its index. Siblings form balanced trees, so readers
// that walk them recursively stay shallow whatever the number of streams.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/core/compound_format.h"

namespace storage_detail {

namespace {

constexpr uint32_t kSectorShift = 9;
constexpr uint32_t kSectorSize = 1u << kSectorShift;
constexpr uint32_t kPerSector = kSectorSize / 4;
constexpr size_t kHeaderDifatEntries = 109;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t CeilDiv(uint64_t a, uint64_t b) {
  return (a + b - 1) / b;
}

// The order compound files keep siblings in: shorter names first, then by
// upper-cased code unit.
char16_t Upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
    return static_cast<char16_t>(c - 0x20);
  return c;
}
bool NameLess(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y;
  }
  return false;
}

struct Placed {
  uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  uint8_t colour = 1;  // black
  uint32_t start = kEndOfChain;
};

// A balanced tree over sorted[lo, hi); returns its root. Nodes on the last,
// partly filled level are red, the rest black, which satisfies the colour rules.
uint32_t BuildTree(const std::vector<uint32_t>& sorted, size_t lo, size_t hi, int depth,
                   int redDepth, std::vector<Placed>& placed) {
  if (lo >= hi) return kNoStream;
  size_t mid = lo + (hi - lo) / 2;
  uint32_t id = sorted[mid];
  placed[id].colour = depth == redDepth ? 0 : 1;
  placed[id].left = BuildTree(sorted, lo, mid, depth + 1, redDepth, placed);
  placed[id].right = BuildTree(sorted, mid + 1, hi, depth + 1, redDepth, placed);
  return id;
}

// Buffers output into large writes.
class Output final : public ByteSink {
 public:
  explicit Output(CompoundWriter& out) : out_(out) { buffer_.reserve(kBuffer); }
  void Put(const uint8_t* bytes, size_t count) override {
    if (buffer_.size() + count > kBuffer) Flush();
    if (count >= kBuffer) {
      out_.Write(bytes, count);
      return;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + count);
  }
  void Zeros(size_t count) {
    static const uint8_t zeros[kSectorSize] = {};
    while (count > 0) {
      size_t n = std::min<size_t>(count, sizeof zeros);
      Put(zeros, n);
      count -= n;
    }
  }
  void Table(const std::vector<uint32_t>& table) {
    uint8_t bytes[4];
    for (uint32_t v : table) {
      Put32(bytes, v);
      Put(bytes, 4);
    }
  }
  void Flush() {
    if (!buffer_.empty()) out_.Write(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

 private:
  static constexpr size_t kBuffer = 256 * 1024;
  CompoundWriter& out_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

void WriteCompoundFile(const std::vector<OutEntry>& entries, CompoundWriter& out) {
  const auto count = static_cast<uint32_t>(entries.size());
  std::vector<Placed> placed(count);

  // Plan: sectors of the large streams, then mini sectors of the small ones.
  uint64_t sectors = 0, miniSectors = 0;
  for (uint32_t i = 1; i < count; ++i) {
    const OutEntry& e = entries[i];
    if (e.type != kTypeStream || e.size == 0) continue;
    if (e.size > UINT32_MAX) throw CFileException(CFileException::diskFull, EFBIG);
    if (e.size >= kMiniStreamCutoff) {
      placed[i].start = static_cast<uint32_t>(sectors);
      sectors += CeilDiv(e.size, kSectorSize);
    } else {
      placed[i].start = static_cast<uint32_t>(miniSectors);
      miniSectors += CeilDiv(e.size, 64);
    }
  }
  const uint64_t streamSectors = sectors;
  const uint64_t containerSize = miniSectors * 64;
  const uint64_t containerSectors = CeilDiv(containerSize, kSectorSize);
  const uint64_t miniFatSectors = CeilDiv(miniSectors, kPerSector);
  const uint64_t dirSectors = CeilDiv(count, kSectorSize / 128);
  const uint64_t base = streamSectors + containerSectors + miniFatSectors + dirSectors;
  uint64_t fatSectors = 1, difatSectors = 0;
  for (;;) {
    uint64_t f = CeilDiv(base + fatSectors + difatSectors, kPerSector);
    uint64_t d = f > kHeaderDifatEntries ? CeilDiv(f - kHeaderDifatEntries, kPerSector - 1) : 0;
    if (f == fatSectors && d == difatSectors) break;
    fatSectors = f;
    difatSectors = d;
  }
  const uint64_t total = base + fatSectors + difatSectors;
  if (total > kMaxRegularSector) throw CFileException(CFileException::diskFull, EFBIG);

  const auto containerStart = static_cast<uint32_t>(streamSectors);
  const auto miniFatStart = static_cast<uint32_t>(containerStart + containerSectors);
  const auto dirStart = static_cast<uint32_t>(miniFatStart + miniFatSectors);
  const auto fatStart = static_cast<uint32_t>(dirStart + dirSectors);
  const auto difatStart = static_cast<uint32_t>(fatStart + fatSectors);

  // The allocation table: every run is one chain of consecutive sectors.
  std::vector<uint32_t> fat(fatSectors * kPerSector, kFreeSector);
  auto chain = [&fat](uint64_t first, uint64_t n) {
    for (uint64_t s = first; s < first + n; ++s)
      fat[s] = s + 1 < first + n ? static_cast<uint32_t>(s + 1) : kEndOfChain;
  };
  std::vector<uint32_t> miniFat(miniFatSectors * kPerSector, kFreeSector);
  for (uint32_t i = 1; i < count; ++i) {
    const OutEntry& e = entries[i];
    if (e.type != kTypeStream || e.size == 0) continue;
    if (e.size >= kMiniStreamCutoff) {
      chain(placed[i].start, CeilDiv(e.size, kSectorSize));
    } else {
      uint64_t n = CeilDiv(e.size, 64);
      for (uint64_t s = placed[i].start; s < placed[i].start + n; ++s)
        miniFat[s] = s + 1 < placed[i].start + n ? static_cast<uint32_t>(s + 1) : kEndOfChain;
    }
  }
  chain(containerStart, containerSectors);
  chain(miniFatStart, miniFatSectors);
  chain(dirStart, dirSectors);
  for (uint64_t s = fatStart; s < difatStart; ++s) fat[s] = kFatSector;
  for (uint64_t s = difatStart; s < total; ++s) fat[s] = kDifatSector;
  placed[0].start = containerSectors > 0 ? containerStart : kEndOfChain;

  // Sibling trees.
  std::vector<uint32_t> sorted;
  for (uint32_t i = 0; i < count; ++i) {
    if (entries[i].children.empty()) continue;
    sorted = entries[i].children;
    std::sort(sorted.begin(), sorted.end(), [&entries](uint32_t a, uint32_t b) {
      return NameLess(entries[a].name, entries[b].name);
    });
    size_t n = sorted.size();
    bool perfect = ((n + 1) & n) == 0;
    int last = 0;
    while ((size_t{2} << last) <= n) ++last;  // depth of the last level
    placed[i].child = BuildTree(sorted, 0, n, 0, perfect ? -1 : last, placed);
  }

  Output output(out);
  // Header.
  uint8_t h[512];
  std::memset(h, 0, sizeof h);
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(h, signature, 8);
  Put16(h + 24, 0x003E);
  Put16(h + 26, 3);
  Put16(h + 28, 0xFFFE);
  Put16(h + 30, kSectorShift);
  Put16(h + 32, kMiniSectorShift);
  Put32(h + 44, static_cast<uint32_t>(fatSectors));
  Put32(h + 48, dirStart);
  Put32(h + 56, kMiniStreamCutoff);
  Put32(h + 60, miniFatSectors > 0 ? miniFatStart : kEndOfChain);
  Put32(h + 64, static_cast<uint32_t>(miniFatSectors));
  Put32(h + 68, difatSectors > 0 ? difatStart : kEndOfChain);
  Put32(h + 72, static_cast<uint32_t>(difatSectors));
  for (size_t i = 0; i < kHeaderDifatEntries; ++i)
    Put32(h + 76 + 4 * i, i < fatSectors ? static_cast<uint32_t>(fatStart + i) : kFreeSector);
  output.Put(h, sizeof h);

  // Large streams, then the container of the small ones.
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t i = 1; i < count; ++i) {
      const OutEntry& e = entries[i];
      if (e.type != kTypeStream || e.size == 0 || (e.size >= kMiniStreamCutoff) != (pass == 0))
        continue;
      out.WriteStreamContent(i, e.size, output);
      uint64_t unit = pass == 0 ? kSectorSize : 64;
      output.Zeros(static_cast<size_t>(CeilDiv(e.size, unit) * unit - e.size));
    }
  }
  output.Zeros(static_cast<size_t>(containerSectors * kSectorSize - containerSize));
  output.Table(miniFat);

  // Directory.
  for (uint32_t i = 0; i < dirSectors * (kSectorSize / 128); ++i) {
    uint8_t d[128];
    std::memset(d, 0, sizeof d);
    Put32(d + 68, kNoStream);
    Put32(d + 72, kNoStream);
    Put32(d + 76, kNoStream);
    if (i < count) {
      const OutEntry& e = entries[i];
      std::u16string name = i == 0 ? u"Root Entry" : e.name;
      for (size_t k = 0; k < name.size() && k < 31; ++k) Put16(d + 2 * k, name[k]);
      Put16(d + 64, static_cast<uint16_t>(2 * (std::min<size_t>(name.size(), 31) + 1)));
      d[66] = i == 0 ? kTypeRoot : e.type;
      d[67] = placed[i].colour;
      Put32(d + 68, placed[i].left);
      Put32(d + 72, placed[i].right);
      Put32(d + 76, placed[i].child);
      std::memcpy(d + 80, e.clsid.data(), 16);
      if (i == 0) {
        Put32(d + 116, placed[0].start);
        Put32(d + 120, static_cast<uint32_t>(containerSize));
      } else if (e.type == kTypeStream) {
        Put32(d + 116, placed[i].start);
        Put32(d + 120, static_cast<uint32_t>(e.size));
      }
    }
    output.Put(d, sizeof d);
  }

  // The allocation table and the index of its sectors beyond the header's 109.
  output.Table(fat);
  std::vector<uint32_t> difat(difatSectors * kPerSector, kFreeSector);
  for (uint64_t k = 0; k < difatSectors; ++k) {
    for (uint64_t j = 0; j < kPerSector - 1; ++j) {
      uint64_t f = kHeaderDifatEntries + k * (kPerSector - 1) + j;
      if (f < fatSectors) difat[k * kPerSector + j] = static_cast<uint32_t>(fatStart + f);
    }
    difat[k * kPerSector + kPerSector - 1] =
        k + 1 < difatSectors ? static_cast<uint32_t>(difatStart + k + 1) : kEndOfChain;
  }
  output.Table(difat);
  output.Flush();
}

}  // namespace storage_detail
