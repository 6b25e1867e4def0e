// Byte-level behaviour of the movie writer: bit packing, record framing, the
// header, compound values and the small records, against golden bytes.
#include "movie/movie_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "movie_decoder.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/failing_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Expected bit streams spelled out field by field, then padded to bytes.
struct BitString {
  std::string bits;
  BitString& Lit(const char* s) {
    bits += s;
    return *this;
  }
  // v as an n-bit two's complement field.
  BitString& Field(int64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bits += ((static_cast<uint64_t>(v) >> i) & 1) ? '1' : '0';
    return *this;
  }
  Bytes ToBytes() const {
    Bytes out;
    for (size_t i = 0; i < bits.size(); i += 8) {
      uint8_t b = 0;
      for (size_t k = 0; k < 8; ++k)
        b = static_cast<uint8_t>(b << 1 | (i + k < bits.size() && bits[i + k] == '1'));
      out.push_back(b);
    }
    return out;
  }
};

Bytes Data(const CMemFile& f) {
  auto d = f.GetData();
  return Bytes(d.begin(), d.end());
}

// Runs fn on a writer over a memory file and returns the bytes, flushed.
template <class F>
Bytes Written(F&& fn) {
  CMemFile file;
  CMovieWriter w(&file);
  fn(w);
  w.Flush();
  return Data(file);
}

TEST(MovieWriterBits, PacksFieldsMostSignificantFirstAcrossBytes) {
  struct Case {
    std::vector<std::pair<uint32_t, int>> fields;
    Bytes expected;
  } cases[] = {
      {{{1, 1}}, {0x80}},
      {{{1, 1}, {0, 2}, {5, 3}}, {0x94}},
      {{{0x1FF, 9}}, {0xFF, 0x80}},
      {{{0xFFFFFFFF, 3}}, {0xE0}},  // only the low n bits
      {{{0xDEADBEEF, 32}}, {0xDE, 0xAD, 0xBE, 0xEF}},
      {{{1, 1}, {0xDEADBEEF, 32}}, {0xEF, 0x56, 0xDF, 0x77, 0x80}},
      {{{3, 2}, {0, 0}, {0x2A, 6}}, {0xEA}},  // a 0-bit field adds nothing
      {{{0xAB, 8}, {0xCD, 8}}, {0xAB, 0xCD}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "first field width " << (c.fields.empty() ? -1 : c.fields[0].second));
    Bytes got = Written([&](CMovieWriter& w) {
      w.AlignBits();
      for (auto [v, n] : c.fields) w.WriteBits(v, n);
      w.FlushBits();
    });
    EXPECT_EQ(got, c.expected);
  }
}

TEST(MovieWriterBits, AligningAfterAWholeByteKeepsIt) {
  // Eight bits complete a byte; starting the next block must not lose it.
  Bytes got = Written([](CMovieWriter& w) {
    w.WriteBits(0xA5, 8);
    w.AlignBits();
    w.WriteBits(1, 1);
    w.FlushBits();
    w.PutByte(0x77);
  });
  EXPECT_EQ(got, (Bytes{0xA5, 0x80, 0x77}));
}

TEST(MovieWriterValues, PackedRectGolden) {
  // The stage 0, 11000, 0, 8000: width 15, 5 + 4 * 15 = 65 bits in 9 bytes.
  Bytes got = Written([](CMovieWriter& w) { w.WritePackedRect({0, 11000, 0, 8000}); });
  EXPECT_EQ(got, (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));

  struct Case {
    Rect32 r;
    int width;
  } cases[] = {{{0, 0, 0, 0}, 1},
               {{-1, 1, -1, 1}, 2},
               {{-1440, 1440, 0, 720}, 12},
               {{0, 1, 0, 1}, 2},
               {{-8388608, 8388607, 0, 0}, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "xmin " << c.r.xmin << " xmax " << c.r.xmax);
    Bytes bytes = Written([&](CMovieWriter& w) { w.WritePackedRect(c.r); });
    Bytes expected = BitString()
                         .Field(c.width, 5)
                         .Field(c.r.xmin, c.width)
                         .Field(c.r.xmax, c.width)
                         .Field(c.r.ymin, c.width)
                         .Field(c.r.ymax, c.width)
                         .ToBytes();
    EXPECT_EQ(bytes, expected);
  }
}

TEST(MovieWriterValues, PackedMatrixGolden) {
  // The identity, given or absent, is the 7 bits 0, 0, 00000: one byte.
  Matrix2x3 identity;
  EXPECT_EQ(Written([&](CMovieWriter& w) { w.WritePackedMatrix(&identity); }), Bytes{0x00});
  EXPECT_EQ(Written([](CMovieWriter& w) { w.WritePackedMatrix(nullptr); }), Bytes{0x00});

  struct Case {
    const char* name;
    Matrix2x3 m;
    Bytes expected;
  } cases[] = {
      {"translation",
       {kFixedOne, 0, 0, kFixedOne, 3, -1},
       BitString().Lit("00").Field(3, 5).Field(3, 3).Field(-1, 3).ToBytes()},
      {"scale",
       {0x20000, 0, 0, 0x8000, 0, 0},
       BitString()
           .Lit("1")
           .Field(19, 5)
           .Field(0x20000, 19)
           .Field(0x8000, 19)
           .Lit("0")
           .Field(0, 5)
           .ToBytes()},
      {"one scale differs",
       {kFixedOne, 0, 0, -kFixedOne, 0, 0},
       BitString()
           .Lit("1")
           .Field(18, 5)
           .Field(kFixedOne, 18)
           .Field(-kFixedOne, 18)
           .Lit("0")
           .Field(0, 5)
           .ToBytes()},
      {"rotation",
       {0, kFixedOne, -kFixedOne, 0, 20, 0},
       BitString()
           .Lit("1")
           .Field(1, 5)
           .Field(0, 1)
           .Field(0, 1)  // scale 0: width 1
           .Lit("1")
           .Field(18, 5)
           .Field(kFixedOne, 18)
           .Field(-kFixedOne, 18)
           .Field(6, 5)
           .Field(20, 6)
           .Field(0, 6)
           .ToBytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Written([&](CMovieWriter& w) { w.WritePackedMatrix(&c.m); }), c.expected);
    Bytes bytes = Written([&](CMovieWriter& w) { w.WritePackedMatrix(&c.m); });
    moviedec::Reader in(bytes);
    moviedec::Matrix m = moviedec::ReadMatrix(in);
    EXPECT_EQ(m, (moviedec::Matrix{c.m.a, c.m.b, c.m.c, c.m.d, c.m.tx, c.m.ty}));
    EXPECT_EQ(in.Remaining(), 0u);
  }
}

TEST(MovieWriterValues, ValuesPastA31BitFieldAreSaturatedNotCorrupted) {
  // A width of 32 does not fit the 5-bit width field; the value is clamped to
  // what 31 bits hold instead of wrapping into a different width.
  Matrix2x3 m{0x7FFFFFFF, 0, 0, kFixedOne, INT32_MIN, 5};
  Bytes bytes = Written([&](CMovieWriter& w) { w.WritePackedMatrix(&m); });
  moviedec::Reader in(bytes);
  moviedec::Matrix got = moviedec::ReadMatrix(in);
  EXPECT_EQ(got.a, (1 << 30) - 1);
  EXPECT_EQ(got.d, kFixedOne);
  EXPECT_EQ(got.tx, -((1 << 30) - 1));
  EXPECT_EQ(got.ty, 5);
}

TEST(MovieWriterRecords, ShortAndLongForms) {
  // Short form: code << 6 | length, up to 62.
  Bytes body62(62, 0x11);
  Bytes got = Written([&](CMovieWriter& w) {
    w.OpenTag(MT_PUT_ON_STAGE, false);
    w.PutBlock(body62.data(), body62.size());
    w.CloseTag();
  });
  ASSERT_EQ(got.size(), 64u);
  EXPECT_EQ(got[0], (4 << 6 | 62) & 0xFF);
  EXPECT_EQ(got[1], (4 << 6 | 62) >> 8);

  // Long form: code << 6 | 63, then the u32 length, whatever the length.
  for (size_t length : {size_t{0}, size_t{10}, size_t{700}, size_t{1500}}) {
    SCOPED_TRACE(length);
    Bytes body(length);
    for (size_t i = 0; i < length; ++i) body[i] = static_cast<uint8_t>(i * 7);
    Bytes bytes = Written([&](CMovieWriter& w) {
      w.PutByte(0xEE);  // the header does not start at 0
      w.OpenTag(MT_SHAPE_CHARACTER, true);
      for (uint8_t b : body)
        w.PutByte(b);  // passes the buffer size: the header is patched in the file
      w.CloseTag();
      w.PutByte(0xFF);  // the position is back at the end
    });
    Bytes expected = {0xEE,
                      (2 << 6 | 63) & 0xFF,
                      (2 << 6 | 63) >> 8,
                      static_cast<uint8_t>(length),
                      static_cast<uint8_t>(length >> 8),
                      0,
                      0};
    expected.insert(expected.end(), body.begin(), body.end());
    expected.push_back(0xFF);
    EXPECT_EQ(bytes, expected);
  }
}

TEST(MovieWriterRecords, HeaderFramesAndFinish) {
  CMemFile file;
  CMovieWriter w(&file);
  w.WriteHeader({0, 11000, 0, 8000}, 12 << 16);
  w.WriteStageColor(0x00332211);
  w.ShowFrame();
  w.ShowFrame();
  w.Finish();
  EXPECT_EQ(w.GetFrameCount(), 2);

  Bytes expected = {'Q',  'V',  'X',  1,    32,   0,    0,    0,           // prefix, length 32
                    0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,  // stage
                    0x00, 0x0C,                                            // rate 12: 0x0C00
                    0x02, 0x00,                                            // two frames
                    0x43, 0x02, 0x11, 0x22, 0x33,                          // stage colour
                    0x40, 0x00, 0x40, 0x00,                                // frame breaks
                    0x00, 0x00};                                           // end
  EXPECT_EQ(Data(file), expected);
  // Finish leaves the position after the frame-count field.
  EXPECT_EQ(file.GetPosition(), 21u);

  moviedec::Movie m = moviedec::ReadMovie(Data(file));
  EXPECT_EQ(m.rate, 0x0C00);
  EXPECT_EQ(65536000 / (m.rate * 256), 83);  // the reader's frame period
  EXPECT_EQ(m.stage.width, 15);
}

TEST(MovieWriterRecords, PlacementAndRemoval) {
  Matrix2x3 m{kFixedOne, 0, 0, kFixedOne, 100, -100};
  Bytes got = Written([&](CMovieWriter& w) {
    w.PlaceCharacter(5, 3, nullptr);
    w.PlaceCharacter(0x1234, 0xFFFF, &m);
    w.RemoveCharacter(5, 3);
  });
  Bytes matrix = BitString().Lit("00").Field(8, 5).Field(100, 8).Field(-100, 8).ToBytes();
  Bytes expected = {(4 << 6 | 5) & 0xFF, (4 << 6 | 5) >> 8, 5, 0, 3, 0, 0x00};
  expected.push_back(static_cast<uint8_t>((4 << 6 | (4 + matrix.size())) & 0xFF));
  expected.push_back((4 << 6) >> 8);
  expected.insert(expected.end(), {0x34, 0x12, 0xFF, 0xFF});
  expected.insert(expected.end(), matrix.begin(), matrix.end());
  expected.insert(expected.end(), {(5 << 6 | 4) & 0xFF, (5 << 6 | 4) >> 8, 5, 0, 3, 0});
  EXPECT_EQ(got, expected);
}

TEST(MovieWriterBytes, OutputGoesThroughTheBufferAndLargeBlocksBypassIt) {
  FailingFile file;
  CMovieWriter w(&file);
  for (int i = 0; i < 1000; ++i) w.PutByte(static_cast<uint8_t>(i));
  EXPECT_EQ(file.writes, (std::vector<size_t>{512}));
  Bytes big(600, 0x5A);
  w.PutBlock(big.data(), big.size());  // flushes the 488 pending, then goes straight out
  EXPECT_EQ(file.writes, (std::vector<size_t>{512, 488, 600}));
  w.PutWord(0x0102);
  w.PutLong(0x03040506);
  EXPECT_EQ(w.GetPosition(), 1606u);
  w.Flush();
  EXPECT_EQ(file.writes.back(), 6u);
  auto d = file.GetData();
  ASSERT_EQ(d.size(), 1606u);
  EXPECT_EQ(d[999], static_cast<uint8_t>(999));
  EXPECT_EQ(d[1000], 0x5A);
  EXPECT_EQ((Bytes(d.end() - 6, d.end())), (Bytes{0x02, 0x01, 0x06, 0x05, 0x04, 0x03}));
}

TEST(MovieWriterBytes, FileErrorsReachTheCaller) {
  FailingFile file;
  file.fail_after = 0;
  CMovieWriter w(&file);
  Bytes big(512, 1);
  EXPECT_THROW(w.PutBlock(big.data(), big.size()), CFileException);
  w.PutByte(1);
  EXPECT_THROW(w.Flush(), CFileException);
}

TEST(MovieWriterText, FieldWidthsOfTextRecords) {
  // Advances are signed: the width holds the largest magnitude and a sign.
  struct Case {
    std::vector<int32_t> advances;
    int bits;
  } cases[] = {{{0}, 1},       {{1}, 2},   {{-1}, 2},    {{3, -200}, 9},
               {{-200, 3}, 9}, {{255}, 9}, {{-256}, 10}, {{}, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "first advance " << (c.advances.empty() ? 0 : c.advances[0]));
    const int bits = TextAdvanceBits(c.advances);
    EXPECT_EQ(bits, c.bits);
    // Every advance survives a round trip through a field of that width.
    for (int32_t a : c.advances) {
      Bytes b = Written([&](CMovieWriter& w) {
        w.WriteBits(static_cast<uint32_t>(a), bits);
        w.FlushBits();
      });
      moviedec::Reader in(b);
      EXPECT_EQ(in.SignedBits(bits), a);
    }
  }
  const std::vector<uint16_t> zeros = {0, 0, 0}, some = {0, 5, 2}, wide = {255, 256};
  EXPECT_EQ(TextGlyphBits(zeros), 0);
  EXPECT_EQ(TextGlyphBits(some), 3);
  EXPECT_EQ(TextGlyphBits(wide), 9);
}

}  // namespace
