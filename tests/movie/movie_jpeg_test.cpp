// JPEG records of the movie writer, decoded by an outside program: the shared
// tables record and an image record are spliced into one datastream and given
// to libjpeg-turbo's djpeg, whose pixels must match the source within JPEG
// error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "movie/movie_writer.h"
#include "movie_decoder.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "render/raster/dib.h"
#include "tests/common/failing_file.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Decoded {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Runs djpeg on a datastream and parses its binary PPM.
Decoded Djpeg(const Bytes& jpeg) {
  TempDir dir("moviejpeg");
  const fs::path in = dir.Path("in.jpg"), out = dir.Path("out.ppm");
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
  const std::string cmd = "djpeg -ppm -outfile '" + out.string() + "' '" + in.string() + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  Bytes ppm = ReadFile(out);
  Decoded d;
  int maxval = 0, consumed = 0;
  if (std::sscanf(reinterpret_cast<const char*>(ppm.data()), "P6 %d %d %d%n", &d.width, &d.height,
                  &maxval, &consumed) != 3 ||
      maxval != 255) {
    ADD_FAILURE() << "djpeg gave no PPM";
    return {};
  }
  const size_t start = static_cast<size_t>(consumed) + 1;
  d.rgb.assign(ppm.begin() + static_cast<long>(start), ppm.end());
  EXPECT_EQ(d.rgb.size(), static_cast<size_t>(d.width) * d.height * 3);
  return d;
}

// The markers of a datastream up to the start of scan (and the last one).
std::vector<int> Markers(std::span<const uint8_t> s) {
  std::vector<int> m;
  size_t i = 0;
  while (i + 1 < s.size()) {
    if (s[i] != 0xFF) break;
    const int code = s[i + 1];
    m.push_back(code);
    if (code == 0xD8 || code == 0xD9) {
      i += 2;
      continue;
    }
    if (i + 3 >= s.size()) break;
    const size_t len = static_cast<size_t>(s[i + 2] << 8 | s[i + 3]);
    if (code == 0xDA) break;  // entropy-coded data follows
    i += 2 + len;
  }
  if (s.size() >= 2) m.push_back(s[s.size() - 1] == 0xD9 && s[s.size() - 2] == 0xFF ? 0xD9 : -1);
  return m;
}

bool Has(const std::vector<int>& v, int x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

CDib MakeBitmap(int32_t width, int32_t height, Rgb (*colour)(int32_t x, int32_t y)) {
  CDib dib;
  EXPECT_TRUE(dib.Create(kDib32Bit, width, height, nullptr));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      const uint32_t v = static_cast<uint32_t>(c.red) << 16 | c.green << 8 | c.blue;
      uint8_t* p = dib.Bits() + static_cast<size_t>(y) * dib.Stride() + 4 * static_cast<size_t>(x);
      p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8),
      p[2] = static_cast<uint8_t>(v >> 16), p[3] = 0;
    }
  return dib;
}

Rgb Smooth(int32_t x, int32_t y) {
  return {static_cast<uint8_t>(40 + x * 4), static_cast<uint8_t>(200 - y * 5),
          static_cast<uint8_t>(100 + (x + y))};
}

// Writes a movie with the given images and returns it parsed, with the file.
struct Written {
  Bytes file;
  moviedec::Movie movie;
};

Written WriteImages(const std::vector<const CDib*>& images, int quality) {
  CMemFile f;
  CMovieWriter w(&f);
  w.SetJpegQuality(quality);
  w.WriteHeader({0, 2000, 0, 2000}, 12 << 16);
  uint16_t id = 1;
  for (const CDib* image : images) w.WriteJpegImage(id++, *image);
  w.Finish();
  Written out;
  auto d = f.GetData();
  out.file.assign(d.begin(), d.end());
  out.movie = moviedec::ReadMovie(out.file);
  return out;
}

// Tables datastream without its end marker, then the image without its start.
Bytes Splice(std::span<const uint8_t> tables, std::span<const uint8_t> image) {
  Bytes s(tables.begin(), tables.end() - 2);
  s.insert(s.end(), image.begin() + 2, image.end());
  return s;
}

TEST(MovieWriterJpeg, TablesOnceThenAbbreviatedImagesThatDjpegDecodes) {
  CDib a = MakeBitmap(37, 20, Smooth);
  CDib b = MakeBitmap(16, 16, [](int32_t x, int32_t y) {
    return Rgb{static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), 128};
  });
  Written w = WriteImages({&a, &b}, 90);
  const auto& r = w.movie.records;
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].code, MT_JPEG_SHARED_TABLES);
  EXPECT_EQ(r[1].code, MT_JPEG_IMAGE);
  EXPECT_EQ(r[2].code, MT_JPEG_IMAGE);
  EXPECT_EQ(r[3].code, MT_END_OF_MOVIE);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(r[i].long_form);

  // The tables: start, quantisation and Huffman tables, end; no frame.
  const std::vector<int> tables = Markers(r[0].body);
  EXPECT_EQ(tables.front(), 0xD8);
  EXPECT_TRUE(Has(tables, 0xDB));
  EXPECT_TRUE(Has(tables, 0xC4));
  EXPECT_FALSE(Has(tables, 0xC0));
  EXPECT_EQ(tables.back(), 0xD9);

  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    moviedec::Reader in(r[1 + k].body);
    EXPECT_EQ(in.U16(), k + 1);  // the id
    std::span<const uint8_t> image = r[1 + k].body.subspan(2);
    // Abbreviated: a baseline frame and a scan, no tables.
    const std::vector<int> markers = Markers(image);
    EXPECT_EQ(markers.front(), 0xD8);
    EXPECT_TRUE(Has(markers, 0xC0));
    EXPECT_TRUE(Has(markers, 0xDA));
    EXPECT_FALSE(Has(markers, 0xDB));
    EXPECT_FALSE(Has(markers, 0xC4));
    EXPECT_EQ(markers.back(), 0xD9);

    const CDib& src = k == 0 ? a : b;
    Decoded d = Djpeg(Splice(r[0].body, image));
    ASSERT_EQ(d.width, (src.Width() + 1) & ~1);
    ASSERT_EQ(d.height, src.Height());
    double total = 0;
    int worst = 0;
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        const Rgb s = src.GetPixel(x, y);
        const uint8_t* p = d.At(x, y);
        const int e =
            std::max({std::abs(p[0] - s.red), std::abs(p[1] - s.green), std::abs(p[2] - s.blue)});
        worst = std::max(worst, e);
        total += e;
      }
    EXPECT_LE(worst, 16);
    EXPECT_LE(total / (d.width * d.height), 4.0);
  }
}

TEST(MovieWriterJpeg, OddWidthIsPaddedWithTheLastColumn) {
  // 3 x 2 pixels are written 4 x 2; the fourth column repeats the third.
  CDib dib = MakeBitmap(3, 2, [](int32_t x, int32_t) {
    return x == 2 ? Rgb{220, 30, 30} : Rgb{30, 30, 220};
  });
  Written w = WriteImages({&dib}, 100);
  ASSERT_GE(w.movie.records.size(), 2u);
  Decoded d = Djpeg(Splice(w.movie.records[0].body, w.movie.records[1].body.subspan(2)));
  ASSERT_EQ(d.width, 4);
  ASSERT_EQ(d.height, 2);
  for (int y = 0; y < 2; ++y) {
    EXPECT_GT(d.At(3, y)[0], 150) << "red expected in the padding column";
    EXPECT_LT(d.At(3, y)[2], 100);
    EXPECT_LT(d.At(0, y)[0], 100);
  }
}

TEST(MovieWriterJpeg, LibraryErrorsRaiseTheMemoryException) {
  // An image without pixels makes libjpeg fail; the error arrives as the
  // memory exception, and the writer stays usable for the next image.
  CMemFile f;
  CMovieWriter w(&f);
  CDib empty;
  EXPECT_THROW(w.WriteJpegImage(1, empty), CMemoryException);
  CDib ok = MakeBitmap(8, 8, Smooth);
  w.AlignBits();
  EXPECT_NO_THROW(w.WriteJpegImage(2, ok));
}

CDib NoisyBitmap() {
  return MakeBitmap(200, 150, [](int32_t x, int32_t y) {
    return Rgb{static_cast<uint8_t>(x * 37 + y), static_cast<uint8_t>(y * 91 ^ x),
               static_cast<uint8_t>(x * y)};
  });
}

TEST(MovieWriterJpeg, FileErrorsInsideTheCompressorArriveAsFileErrors) {
  for (size_t budget : {size_t{0}, size_t{100}, size_t{600}, size_t{2000}}) {
    SCOPED_TRACE(budget);
    FailingFile f;
    f.budget = budget;
    CMovieWriter w(&f);
    CDib big = NoisyBitmap();
    try {
      w.WriteJpegImage(1, big);
      w.Flush();
      ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
      EXPECT_EQ(e.m_cause, CFileException::diskFull);
    }
  }
}

// Whether the tables record or the image record fails, the movie goes on as
// if the failed image had never been written: no partial record is left in
// the file, and the next image comes with tables that decode it.
TEST(MovieWriterJpeg, AFailedImageLeavesNoRecordAndTheNextHasItsTables) {
  for (size_t budget : {size_t{0}, size_t{100}, size_t{600}, size_t{2000}, size_t{8000}}) {
    SCOPED_TRACE(budget);
    FailingFile f;
    f.budget = SIZE_MAX;
    CMovieWriter w(&f);
    w.WriteHeader({0, 2000, 0, 2000}, 12 << 16);
    w.Flush();
    f.budget = budget;
    CDib big = NoisyBitmap();
    EXPECT_THROW(w.WriteJpegImage(1, big), CFileException);
    f.budget = SIZE_MAX;
    CDib small = MakeBitmap(16, 10, Smooth);
    w.WriteJpegImage(2, small);
    w.Finish();
    auto data = f.GetData();
    const Bytes file(data.begin(), data.end());
    const moviedec::Movie movie = moviedec::ReadMovie(file);
    const auto& r = movie.records;
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].code, MT_JPEG_SHARED_TABLES);
    ASSERT_EQ(r[1].code, MT_JPEG_IMAGE);
    EXPECT_EQ(r[2].code, MT_END_OF_MOVIE);
    moviedec::Reader in(r[1].body);
    EXPECT_EQ(in.U16(), 2);
    const Decoded d = Djpeg(Splice(r[0].body, r[1].body.subspan(2)));
    EXPECT_EQ(d.width, 16);
    EXPECT_EQ(d.height, 10);
  }
}

}  // namespace
