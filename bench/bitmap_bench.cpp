// Bitmaps: TransformBitmapSpan turning a 2048 x 2048 image by 30 degrees in
// 32, 8 and 1 bits, with and without a mask, against QImage::transformed
// (Qt::FastTransformation, nearest pixel, the peer); LoadPackedDib of a 24-bit
// 8000 x 6000 packed bitmap against a plain copy of its bytes, all on one
// core. The table at the end gives the best times and ratios of the same run.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "render/raster/bitmap_span.h"
#include "render/raster/dib.h"

namespace {

constexpr int kSide = 2048;
constexpr int kTwips = 15;  // per pixel
constexpr double kDegrees = 30;

uint32_t FormatOf(int bits) {
  return bits == 32 ? kDib32Bit : bits == 8 ? kDib8Bit : kDib1Bit;
}

void Fill(CImageRef& image, int bits, int width, int height) {
  ColorTable table;
  table.count = bits == 32 ? 0 : bits == 8 ? 256 : 2;
  for (uint32_t i = 0; i < table.count; ++i) table.entries[i] = PackRgb(i, 255 - i, i / 2);
  MustBeTrue(image.Create(FormatOf(bits), width, height, &table));
  std::mt19937 rng(7);
  for (size_t k = 0; k < image.SizeBytes(); ++k) image.Bits()[k] = static_cast<uint8_t>(rng());
  image.bounds = {0, width * kTwips, 0, height * kTwips};
}

// The rotation about the origin and the destination that holds the result.
struct Turn {
  CImageRef source, dest;
  CDib mask;
  Matrix2x3 matrix;
  explicit Turn(int bits) {
    Fill(source, bits, kSide, kSide);
    const double r = kDegrees * M_PI / 180;
    matrix.a = static_cast<Fixed>(std::lround(std::cos(r) * 65536));
    matrix.b = static_cast<Fixed>(std::lround(std::sin(r) * 65536));
    matrix.c = -matrix.b;
    matrix.d = matrix.a;
    Rect32 turned;
    MatrixTransformRect(matrix, source.bounds, turned);
    const int w = (turned.xmax - turned.xmin) / kTwips + 1;
    const int h = (turned.ymax - turned.ymin) / kTwips + 1;
    Fill(dest, bits, w, h);
    dest.bounds = {turned.xmin, turned.xmin + w * kTwips, turned.ymin, turned.ymin + h * kTwips};
    MustBeTrue(mask.Create(kDib8Bit, w, h, nullptr));
  }
};

void BM_Transform(benchmark::State& state) {
  Turn turn(static_cast<int>(state.range(0)));
  CDib* mask = state.range(1) != 0 ? &turn.mask : nullptr;
  for (auto _ : state) {
    MustBeTrue(TransformBitmapSpan(turn.source, turn.matrix, turn.dest, mask));
    benchmark::DoNotOptimize(turn.dest.Bits());
  }
}
BENCHMARK(BM_Transform)
    ->ArgNames({"bits", "mask"})
    ->Args({32, 0})
    ->Args({32, 1})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

void BM_QtTransformed(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const QImage::Format format = bits == 32  ? QImage::Format_RGB32
                                : bits == 8 ? QImage::Format_Indexed8
                                            : QImage::Format_Mono;
  QImage image(kSide, kSide, format);
  if (bits != 32) {
    QList<QRgb> table;
    for (int i = 0; i < (bits == 8 ? 256 : 2); ++i) table.push_back(qRgb(i, 255 - i, i / 2));
    image.setColorTable(table);
  }
  std::mt19937 rng(7);
  for (int y = 0; y < kSide; ++y) {
    uchar* row = image.scanLine(y);
    for (qsizetype k = 0; k < image.bytesPerLine(); ++k) row[k] = static_cast<uchar>(rng());
  }
  const QTransform turn = QTransform().rotate(kDegrees);
  for (auto _ : state) {
    QImage out = image.transformed(turn, Qt::FastTransformation);
    benchmark::DoNotOptimize(out.constBits());
  }
}
BENCHMARK(BM_QtTransformed)
    ->ArgName("bits")
    ->Arg(32)
    ->Arg(8)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// A packed 24-bit bitmap of 8000 x 6000 (bottom-up).
const std::vector<uint8_t>& BigDib() {
  static std::vector<uint8_t> block = [] {
    constexpr int32_t w = 8000, h = 6000;
    const size_t stride = (w * 3 + 3) & ~3u;
    std::vector<uint8_t> b(40 + stride * h);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, w);
    put32(8, h);
    b[12] = 1;
    b[14] = 24;
    put32(24, 2835);
    put32(28, 2835);
    std::mt19937 rng(3);
    for (size_t k = 40; k < b.size(); k += 4) put32(k < b.size() - 4 ? k : b.size() - 4, rng());
    return b;
  }();
  return block;
}

void BM_LoadPackedDib(benchmark::State& state) {
  const std::vector<uint8_t>& block = BigDib();
  for (auto _ : state) {
    CImageRef image;
    MustBeTrue(image.LoadPackedDib(block));
    benchmark::DoNotOptimize(image.Bits());
  }
}
BENCHMARK(BM_LoadPackedDib)->Unit(benchmark::kMillisecond);

void BM_CopyBytes(benchmark::State& state) {
  const std::vector<uint8_t>& block = BigDib();
  for (auto _ : state) {
    std::vector<uint8_t> copy(block.size());
    std::memcpy(copy.data(), block.data(), block.size());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  std::printf("\n%-24s %10s %10s %10s %8s\n", "2048x2048 turned 30 deg", "ours ms", "mask ms",
              "qt ms", "qt/ours");
  for (int bits : {32, 8, 1}) {
    const std::string b = std::to_string(bits);
    const double ours = reporter.Ms("BM_Transform/bits:" + b + "/mask:0");
    const double masked = reporter.Ms("BM_Transform/bits:" + b + "/mask:1");
    const double qt = reporter.Ms("BM_QtTransformed/bits:" + b);
    std::printf("%-24s %10.2f %10.2f %10.2f %8.2f\n", (b + " bits").c_str(), ours, masked, qt,
                ours > 0 ? qt / ours : 0.0);
  }
  const double load = reporter.Ms("BM_LoadPackedDib"), copy = reporter.Ms("BM_CopyBytes");
  std::printf("LoadPackedDib 8000x6000x24: %.2f ms, copy %.2f ms, ratio %.2f\n", load, copy,
              copy > 0 ? load / copy : 0.0);
  return 0;
}
