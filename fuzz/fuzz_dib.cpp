// Packed device-independent bitmaps come from the clipboard and imported
// files: load arbitrary bytes as one, whole and in part, and read pixels back;
// a loaded image goes through the stored image record and must come back the
// same. The bytes are also read as a stored image record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "render/raster/dib.h"
#include "render/raster/dib_record.h"

namespace {

struct EndOfRecord {};

class VectorWriter final : public CDibRecordWriter {
 public:
  void Write(const void* bytes, size_t count) override {
    const auto* p = static_cast<const uint8_t*>(bytes);
    out.insert(out.end(), p, p + count);
  }
  std::vector<uint8_t> out;
};

class SpanReader final : public CDibRecordReader {
 public:
  explicit SpanReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  void Read(void* out, size_t count) override {
    if (count > bytes_.size()) throw EndOfRecord{};
    std::memcpy(out, bytes_.data(), count);
    bytes_ = bytes_.subspan(count);
  }
  uint64_t Remaining() const override { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

void RoundTrip(const CImageRef& image) {
  VectorWriter writer;
  if (!WriteDibRecord(image, writer)) return;
  SpanReader reader(writer.out);
  CImageRef back;
  if (!ReadDibRecord(reader, back) || back.SizeBytes() != image.SizeBytes() ||
      std::memcmp(back.Bits(), image.Bits(), image.SizeBytes()) != 0 ||
      !(back.bounds == image.bounds))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  CImageRef dib;
  if (dib.LoadPackedDib(block)) {
    const int32_t w = dib.Width(), h = dib.Height();
    for (int32_t y : {-1, 0, h / 2, h - 1, h}) {
      for (int32_t x : {-1, 0, w / 2, w - 1, w}) {
        (void)dib.GetPixel(x, y);
        // 16.16 positions reach only 32767 pixels.
        if (w < 0x7FFF && h < 0x7FFF)
          (void)dib.SampleBilinear(x * 0x10000 + 0x9000, y * 0x10000 - 0x3000);
      }
    }
    RoundTrip(dib);
  }
  // A part that may reach past any side of the image.
  const auto s = static_cast<int32_t>(size % 13);
  const WinRect part{s - 6, 3 - s, s + 2, 9 - s / 2};
  CDib piece;
  if (piece.LoadPackedDib(block, {}, &part)) (void)piece.GetPixel(1, 1);

  SpanReader reader(block);
  CImageRef stored;
  try {
    if (ReadDibRecord(reader, stored)) (void)stored.GetPixel(0, 0);
  } catch (const EndOfRecord&) {
  }
  return 0;
}
