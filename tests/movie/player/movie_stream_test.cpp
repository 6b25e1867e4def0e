// The movie stream: intake in any chunking, the header rule, record framing,
// frame scripts, the dictionary, seeking and the JPEG records.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "movie/movie_format.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "movie_decoder.h"
#include "player_test_util.h"
#include "render/raster/dib.h"
#include "tests/common/movie_builder.h"
#include "tests/common/refuse_memory.h"

namespace {

using namespace moviebuild;

Matrix2x3 Translate(int32_t x, int32_t y) {
  Matrix2x3 m;
  m.tx = x;
  m.ty = y;
  return m;
}

// Eight frames: a stage colour, two shapes moving about, a frame script, a
// shape replaced under the same key, a character dropped.
Bytes SampleMovie() {
  MovieBuilder b;
  b.StageColor(Colour(10, 20, 30));
  ShapeDef square;
  square.Fill(Colour(200, 0, 0)).Rect(0, 0, 2000, 2000, 1);
  ShapeDef triangle;
  triangle.Fill(Colour(0, 0, 200)).Line(40, Colour(0, 120, 0));
  triangle.Polygon({{0, 0}, {3000, 500}, {1000, 2500}}, 1, 1);
  b.Shape(1, {0, 2000, 0, 2000}, square).Shape(2, {-20, 3020, -20, 2520}, triangle);
  for (int f = 0; f < 8; ++f) {
    const Matrix2x3 m1 = Translate(500 * f, 300 * f), m2 = Translate(6000 - 400 * f, 1000);
    if (f > 0) b.Remove(1, 1).Remove(2, 2);
    b.Place(1, 1, &m1).Place(2, 2, &m2);
    if (f == 3) b.Script(Actions({ACT_HALT}));
    if (f == 5) b.Drop(2);
    b.Frame();
  }
  return b.Finish();
}

// Feeds the bytes in the given chunk sizes and records the stage of every
// frame as it becomes available, with a hash of its rendering.
std::vector<std::string> PlayInChunks(const Bytes& movie, const std::vector<size_t>& chunks) {
  TestPlayer p;
  std::vector<std::string> frames;
  size_t at = 0;
  size_t k = 0;
  while (at < movie.size()) {
    const size_t n = std::min(chunks[k++ % chunks.size()], movie.size() - at);
    p.stream.PutData(movie.data() + at, n);
    at += n;
    while (p.stream.GotoFrame(p.stream.CurrentFrame() + 1) == kMovieDone) {
      p.FitView();
      p.Render();
      frames.push_back(StageSignature(p.stream, p.list) + std::to_string(p.PixelHash()));
    }
  }
  EXPECT_EQ(p.stream.GotoFrame(p.stream.CurrentFrame() + 1), kMovieEnd);
  return frames;
}

TEST(MovieIntake, ByteByByteRandomChunksAndWholeGiveTheSameFrames) {
  const Bytes movie = SampleMovie();
  const std::vector<std::string> whole = PlayInChunks(movie, {movie.size()});
  ASSERT_EQ(whole.size(), 8u);
  EXPECT_EQ(PlayInChunks(movie, {1}), whole);
  std::mt19937 rng(7);
  for (int trial = 0; trial < 5; ++trial) {
    std::vector<size_t> chunks;
    for (int i = 0; i < 64; ++i) chunks.push_back(1 + rng() % 40);
    EXPECT_EQ(PlayInChunks(movie, chunks), whole) << "trial " << trial;
  }
}

TEST(MovieIntake, BytesPastTheDeclaredLengthAreDropped) {
  Bytes movie = SampleMovie();
  const size_t length = movie.size();
  movie.insert(movie.end(), 100, 0xAB);
  // One write crosses the end; single bytes and small chunks arrive after it.
  for (const size_t chunk : {movie.size(), size_t{1}, size_t{7}}) {
    TestPlayer p;
    for (size_t at = 0; at < movie.size(); at += chunk)
      p.Feed(std::span(movie).subspan(at, std::min(chunk, movie.size() - at)));
    EXPECT_EQ(p.stream.BufferedBytes(), length - kMoviePrefixSize) << chunk;
    EXPECT_EQ(p.stream.GotoFrame(100), kMovieEnd) << chunk;
    EXPECT_EQ(p.stream.CurrentFrame(), 7) << chunk;
  }
}

Bytes Prefix(const char* magic, uint32_t length) {
  Bytes b(magic, magic + 3);
  b.push_back(1);
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(length >> (8 * i)));
  return b;
}

TEST(MovieIntake, ErrorResults) {
  struct Case {
    const char* name;
    Bytes data;
    int error;
  } cases[] = {
      {"bad magic", Prefix("QVY", 100), kMovieBadMagic},
      {"length below the prefix", Prefix("QVX", 7), kMovieNoHeader},
      {"length past the cap", Prefix("QVX", kMaxMovieLength + 1), kMovieNoMemory},
      {"length 0xFFFFFFFF", Prefix("QVX", 0xFFFFFFFF), kMovieNoMemory},
  };
  for (const Case& c : cases) {
    CMovieStream s;
    s.PutData(c.data.data(), c.data.size());
    EXPECT_EQ(s.Error(), c.error) << c.name;
    EXPECT_EQ(s.ReadTag(), c.error) << c.name;
    EXPECT_EQ(s.GotoFrame(0), c.error) << c.name;
    // Sticky until reset.
    const Bytes good = SampleMovie();
    s.PutData(good.data(), good.size());
    EXPECT_EQ(s.GotoFrame(0), c.error) << c.name;
    s.Reset();
    s.PutData(good.data(), good.size());
    EXPECT_EQ(s.GotoFrame(0), kMovieDone) << c.name;
  }
  CMovieStream empty;
  EXPECT_EQ(empty.ReadTag(), kMovieNoData);
  EXPECT_EQ(empty.GotoFrame(0), kMovieNeedData);
}

// A stage that cannot take an object stops the movie while it streams in:
// the bytes arriving after that, single or many, are dropped.
TEST(MovieIntake, BytesArrivingAfterTheStreamFailedAreDropped) {
  const Bytes movie = SampleMovie();
  for (const size_t chunk : {size_t{1}, size_t{5}}) {
    TestPlayer p;
    // The stream's dictionary takes memory first; the stage's items are refused.
    const BlockPool* first = nullptr;
    RefuseMemory refuse([&first](const BlockPool* pool) {
      if (pool && !first) first = pool;
      return pool && pool != first;
    });
    size_t at = 0;
    while (at < movie.size() && p.stream.Error() == 0) {
      const size_t n = std::min(chunk, movie.size() - at);
      p.Feed({movie.data() + at, n});
      at += n;
      (void)p.stream.GotoFrame(0);
    }
    ASSERT_EQ(p.stream.Error(), kMovieNoMemory) << chunk;
    ASSERT_LT(at, movie.size()) << chunk;
    const uint32_t buffered = p.stream.BufferedBytes();
    for (; at < movie.size(); ++at) p.Feed({movie.data() + at, 1});
    EXPECT_EQ(p.stream.BufferedBytes(), buffered) << chunk;
    EXPECT_EQ(p.stream.GotoFrame(0), kMovieNoMemory) << chunk;
  }
}

TEST(MovieHeader, WaitsForMoreThan20BytesUnlessTheFileIsComplete) {
  // A one-frame movie with a small stage: 12 bytes after the prefix.
  MovieBuilder b({0, 200, 0, 200}, 12 << 16);
  b.Frame();
  const Bytes small = b.Finish();
  ASSERT_LE(small.size() - kMoviePrefixSize, 20u);
  TestPlayer p;
  p.stream.PutData(small.data(), small.size() - 1);
  EXPECT_FALSE(p.stream.ReadHeader());
  EXPECT_EQ(p.stream.GotoFrame(0), kMovieNeedData);
  EXPECT_EQ(p.stream.FrameRect(), (Rect32{0, kDefaultStageTwips, 0, kDefaultStageTwips}));
  EXPECT_EQ(p.stream.CurrentFrame(), -1);
  p.stream.PutData(small.data() + small.size() - 1, 1);
  EXPECT_EQ(p.stream.GotoFrame(0), kMovieDone);
  EXPECT_EQ(p.stream.FrameRect(), (Rect32{0, 200, 0, 200}));
  EXPECT_EQ(p.stream.FramePeriod(), 83);
  EXPECT_EQ(p.stream.FrameCount(), 1);
  EXPECT_EQ(p.stream.GotoFrame(1), kMovieEnd);

  // A larger movie: the header is read as soon as 21 bytes are there.
  const Bytes movie = SampleMovie();
  CMovieStream s;
  s.PutData(movie.data(), kMoviePrefixSize + 20);
  EXPECT_FALSE(s.ReadHeader());
  s.PutData(movie.data() + kMoviePrefixSize + 20, 1);
  EXPECT_TRUE(s.ReadHeader());
  EXPECT_EQ(s.FrameRect(), (Rect32{0, 11000, 0, 8000}));
}

TEST(MovieHeader, ACompleteFileTooShortForAHeaderIsBad) {
  Bytes b = Prefix("QVX", 10);
  b.push_back(0xFF);
  b.push_back(0xFF);
  CMovieStream s;
  s.PutData(b.data(), b.size());
  EXPECT_EQ(s.GotoFrame(0), kMovieNoHeader);
}

TEST(MovieRecords, APartlyBufferedRecordWaitsAtItsHeader) {
  MovieBuilder b;
  ShapeDef square;
  square.Fill(Colour(1, 2, 3)).Rect(0, 0, 100, 100, 1);
  b.Shape(5, {0, 100, 0, 100}, square).Frame();
  const Bytes movie = b.Finish();
  // Prefix, the 9-byte rectangle and the two words: 21 bytes of header, then
  // the shape record.
  const size_t header = kMoviePrefixSize + 13;
  for (size_t cut : {header + 1, header + 5, header + 9}) {
    CMovieStream s;
    s.PutData(movie.data(), cut);
    EXPECT_EQ(s.ReadTag(), kMovieNeedData) << cut;
    EXPECT_EQ(s.ReadTag(), kMovieNeedData) << cut;
    EXPECT_EQ(s.FindCharacter(5), nullptr);
    s.PutData(movie.data() + cut, movie.size() - cut);
    EXPECT_EQ(s.ReadTag(), kMovieDone);
    ASSERT_NE(s.FindCharacter(5), nullptr);
    EXPECT_EQ(s.FindCharacter(5)->bounds, (Rect32{0, 100, 0, 100}));
  }
}

TEST(MovieRecords, LongFormWithLength10ReadsLikeTheShortForm) {
  ShapeDef square;
  square.Fill(Colour(1, 2, 3)).Rect(0, 0, 100, 100, 1);
  // A placement body of id, depth and a 6-byte matrix (a 20-bit translation).
  CMemFile f;
  CMovieWriter w(&f);
  w.PutWord(5);
  w.PutWord(3);
  Matrix2x3 m;
  m.tx = 300000;
  m.ty = -40;
  w.WritePackedMatrix(&m);
  w.Flush();
  const Bytes body(f.GetData().begin(), f.GetData().end());
  ASSERT_EQ(body.size(), 10u);
  std::string signatures[2];
  for (int form = 0; form < 2; ++form) {
    MovieBuilder b;
    b.Shape(5, {0, 100, 0, 100}, square).Raw(MT_PUT_ON_STAGE, body, form == 1).Frame();
    TestPlayer p;
    p.Feed(b.Finish());
    EXPECT_EQ(p.stream.GotoFrame(0), kMovieDone);
    signatures[form] = StageSignature(p.stream, p.list);
  }
  EXPECT_EQ(signatures[0], signatures[1]);
  EXPECT_NE(signatures[0].find("00050003"), std::string::npos) << signatures[0];
}

TEST(MovieRecords, TheSeventeenthScriptOfAFrameIsIgnored) {
  MovieBuilder b;
  for (int i = 0; i < 17; ++i) b.Script(Actions({static_cast<uint8_t>(ACT_STEP_FORWARD + i % 4)}));
  b.Frame();
  b.Script(Actions({ACT_HALT}));
  b.Frame();
  b.Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.stream.GotoFrame(0), kMovieDone);
  ASSERT_EQ(p.stream.ScriptCount(), kMaxFrameScripts);
  for (int i = 0; i < kMaxFrameScripts; ++i) {
    CTagReader in(p.stream.Buffer(), p.stream.Script(i).offset, p.stream.Script(i).end);
    ActionRecord a;
    ASSERT_TRUE(NextAction(in, a));
    EXPECT_EQ(a.code, ACT_STEP_FORWARD + i % 4);
    EXPECT_FALSE(NextAction(in, a));
  }
  ASSERT_EQ(p.stream.GotoFrame(1), kMovieDone);
  EXPECT_EQ(p.stream.ScriptCount(), 1);
  ASSERT_EQ(p.stream.GotoFrame(2), kMovieDone);
  EXPECT_EQ(p.stream.ScriptCount(), 0);
}

TEST(MovieRecords, GlyphSetFaceIsAttachedByTheEditorAndSkippedByThePlugin) {
  MovieBuilder b;
  ShapeDef glyph;
  glyph.Rect(0, -800, 600, 0, 1);
  b.GlyphSet(7, {glyph}).Face(7, "Arial", {'A'});
  MovieBuilder::Run run;
  run.flags = kRunMark | kRunHasFont | kRunHasColor | kRunHasX | kRunHasY;
  run.font = 7;
  run.colour = Colour(0, 0, 0);
  run.x = 100;
  run.y = 1500;
  run.height = 1024;
  run.glyphs = {{0, 700}, {0, 700}};
  b.Text(8, {0, 1500, 0, 1600}, Matrix2x3{}, {run}).Place(8, 1).Frame();
  const Bytes movie = b.Finish();
  uint64_t hashes[2];
  for (MovieReaderMode mode : {MovieReaderMode::kEditor, MovieReaderMode::kPlugin}) {
    TestPlayer p(110, 80, false, mode);
    p.Feed(movie);
    ASSERT_EQ(p.Goto(0), kMovieDone);
    const MovieCharacter* font = p.stream.FindCharacter(7);
    ASSERT_NE(font, nullptr);
    p.Render();
    const bool editor = mode == MovieReaderMode::kEditor;
    EXPECT_EQ(font->face_offset != 0, editor);
    // Both draw the glyph outlines: black where the first glyph stands.
    EXPECT_EQ(p.Pixel(4, 12), 0x000000u);
    EXPECT_EQ(p.Pixel(11, 12), 0x000000u);
    EXPECT_EQ(p.Pixel(4, 3), 0xFFFFFFu);
    EXPECT_EQ(p.Pixel(20, 12), 0xFFFFFFu);
    hashes[editor] = p.PixelHash();
  }
  EXPECT_EQ(hashes[0], hashes[1]);
}

TEST(MovieDictionary, TheNewestDefinitionWinsAndDropsRemoveEveryEntry) {
  ShapeDef a, c;
  a.Fill(Colour(1, 1, 1)).Rect(0, 0, 100, 100, 1);
  c.Fill(Colour(2, 2, 2)).Rect(0, 0, 300, 300, 1);
  MovieBuilder b;
  b.Shape(33, {0, 100, 0, 100}, a).Shape(1, {0, 300, 0, 300}, c).Shape(33, {0, 300, 0, 300}, c);
  b.Place(33, 1).Frame().Drop(33).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  ASSERT_NE(p.stream.FindCharacter(33), nullptr);
  EXPECT_EQ(p.stream.FindCharacter(33)->bounds.xmax, 300);
  ASSERT_EQ(p.Goto(1), kMovieDone);
  EXPECT_EQ(p.stream.FindCharacter(33), nullptr);
  EXPECT_NE(p.stream.FindCharacter(1), nullptr);
  // The placed item still shows the dropped character.
  ASSERT_NE(p.list.FindItem(StageKey(33, 1)), nullptr);
  p.list.UpdateBitmapBounds();
  p.Render();
  EXPECT_EQ(p.Pixel(1, 1), 0x020202u);
}

TEST(MovieSeek, BackwardSeekReplaysToTheSameStage) {
  const Bytes movie = SampleMovie();
  TestPlayer direct;
  direct.Feed(movie);
  ASSERT_EQ(direct.Goto(3), kMovieDone);
  direct.Render();
  TestPlayer seeking;
  seeking.Feed(movie);
  ASSERT_EQ(seeking.Goto(7), kMovieDone);
  seeking.Render();
  ASSERT_EQ(seeking.Goto(3), kMovieDone);
  seeking.Render();
  EXPECT_EQ(StageSignature(seeking.stream, seeking.list),
            StageSignature(direct.stream, direct.list));
  EXPECT_EQ(seeking.PixelHash(), direct.PixelHash());
  EXPECT_EQ(seeking.stream.ScriptCount(), 1);
  // Past the end, then back to the start.
  EXPECT_EQ(seeking.Goto(50), kMovieEnd);
  EXPECT_EQ(seeking.Goto(0), kMovieDone);
  EXPECT_EQ(seeking.stream.CurrentFrame(), 0);
}

TEST(MovieRecords, ATruncatedCompleteFileEnds) {
  Bytes movie = SampleMovie();
  movie.erase(movie.end() - 30, movie.end());
  const uint32_t length = static_cast<uint32_t>(movie.size());
  for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  TestPlayer p;
  p.Feed(movie);
  EXPECT_EQ(p.stream.GotoFrame(100), kMovieEnd);
  EXPECT_LT(p.stream.CurrentFrame(), 7);
}

// Frames of SampleMovie with a JPEG image shown through a bitmap fill in
// frames 2 and 3: every kind of record the writer makes.
Bytes SampleMovieWithImage() {
  MovieBuilder b;
  b.StageColor(Colour(10, 20, 30));
  ShapeDef square;
  square.Fill(Colour(200, 0, 0)).Rect(0, 0, 2000, 2000, 1);
  b.Shape(1, {0, 2000, 0, 2000}, square);
  CDib image;
  EXPECT_TRUE(image.Create(kDib32Bit, 8, 8, nullptr));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) image.Bits()[y * image.Stride() + 4 * x + 1] = uint8_t(x * 30);
  b.Writer().WriteJpegImage(7, image);
  b.BitmapShape(2, 7, 200 << 16, 1600, 1600);
  for (int f = 0; f < 5; ++f) {
    const Matrix2x3 m1 = Translate(700 * f, 400 * f), m2 = Translate(8000 - 500 * f, 3000);
    if (f > 0) b.Remove(1, 1);
    b.Place(1, 1, &m1);
    if (f == 2) b.Place(2, 2, &m2);
    if (f == 4) b.Remove(2, 2);
    b.Frame();
  }
  return b.Finish();
}

// Where each frame's break record ends, read from the file by the tests' own
// decoder.
std::vector<size_t> FrameEnds(const Bytes& movie) {
  const moviedec::Movie parsed = moviedec::ReadMovie(movie);
  std::vector<size_t> ends;
  for (const moviedec::Record& r : parsed.records)
    if (r.code == MT_FRAME_BREAK) ends.push_back(r.body.data() + r.body.size() - movie.data());
  return ends;
}

// The stage and pixels of each frame, reached in order.
std::vector<std::string> FrameStages(TestPlayer& p, int& last) {
  std::vector<std::string> stages;
  while ((last = p.stream.GotoFrame(p.stream.CurrentFrame() + 1)) == kMovieDone) {
    p.FitView();
    p.Render();
    stages.push_back(StageSignature(p.stream, p.list) + std::to_string(p.PixelHash()));
  }
  return stages;
}

// The frames of the whole movie written at once, up to its end.
std::vector<std::string> WholeMovieFrames(const Bytes& movie) {
  TestPlayer whole;
  whole.Feed(movie);
  int last = 0;
  std::vector<std::string> frames = FrameStages(whole, last);
  EXPECT_EQ(last, kMovieEnd);
  return frames;
}

// Every prefix of a writer-made movie, still arriving or cut short as a
// complete file: the frames wholly buffered play exactly as in the whole
// movie, and nothing after them.
TEST(MovieIntake, EveryPrefixGivesTheFramesWhollyBuffered) {
  for (const Bytes& movie : {SampleMovie(), SampleMovieWithImage()}) {
    const std::vector<size_t> ends = FrameEnds(movie);
    const std::vector<std::string> frames = WholeMovieFrames(movie);
    ASSERT_EQ(frames.size(), ends.size());
    int last = 0;
    for (size_t n = 0; n < movie.size(); ++n) {
      SCOPED_TRACE(n);
      const size_t buffered = std::upper_bound(ends.begin(), ends.end(), n) - ends.begin();
      // Still arriving: the frames wholly here, then a wait for data.
      TestPlayer arriving;
      arriving.Feed({movie.data(), n});
      std::vector<std::string> got = FrameStages(arriving, last);
      EXPECT_EQ(last, kMovieNeedData);
      ASSERT_EQ(got.size(), buffered);
      for (size_t f = 0; f < got.size(); ++f) ASSERT_EQ(got[f], frames[f]) << "frame " << f;

      // Cut short as a complete file: no frame beyond them, none different.
      Bytes cut(movie.begin(), movie.begin() + static_cast<long>(n));
      if (n >= 8)
        for (int i = 0; i < 4; ++i) cut[4 + i] = static_cast<uint8_t>(n >> (8 * i));
      TestPlayer complete;
      complete.Feed(cut);
      got = FrameStages(complete, last);
      EXPECT_NE(last, kMovieDone);
      ASSERT_EQ(got.size(), buffered);
      for (size_t f = 0; f < got.size(); ++f) ASSERT_EQ(got[f], frames[f]) << "frame " << f;
    }
  }
}

// A reader that reads on after every write, as a player does while a movie
// streams in: each frame is there as soon as its bytes are, going back to
// frame 0 on the way changes nothing, the current frame can always be asked
// for again, and a file cut short inside a record ends there once its last
// byte is in.
TEST(MovieIntake, ReadingOnAfterEveryWriteSeesEachFrameOnceItsBytesAreIn) {
  for (const Bytes& full : {SampleMovie(), SampleMovieWithImage()}) {
    const std::vector<size_t> ends = FrameEnds(full);
    const std::vector<std::string> frames = WholeMovieFrames(full);
    ASSERT_EQ(frames.size(), ends.size());
    int last = 0;
    // The whole file, and files declared and cut short one and three bytes
    // into the record after a frame break.
    std::vector<size_t> lengths{full.size()};
    for (const size_t end : {ends[1], ends[3]}) lengths.insert(lengths.end(), {end + 1, end + 3});
    for (const size_t length : lengths) {
      Bytes movie(full.begin(), full.begin() + static_cast<long>(length));
      for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<uint8_t>(length >> (8 * i));
      for (const size_t chunk : {size_t{1}, size_t{3}, size_t{10}}) {
        SCOPED_TRACE("length " + std::to_string(length) + " chunk " + std::to_string(chunk));
        TestPlayer p;
        size_t seen = 0, writes = 0;
        for (size_t at = 0; at < length;) {
          const size_t n = std::min(chunk, length - at);
          p.Feed({movie.data() + at, n});
          at += n;
          if (++writes % 29 == 0 && p.stream.CurrentFrame() > 0) {
            ASSERT_EQ(p.stream.GotoFrame(0), kMovieDone) << at;
            seen = 1;
          }
          if (p.stream.CurrentFrame() >= 0) {
            ASSERT_EQ(p.stream.GotoFrame(p.stream.CurrentFrame()), kMovieDone) << at;
          }
          for (const std::string& frame : FrameStages(p, last)) {
            ASSERT_LT(seen, frames.size()) << at;
            ASSERT_EQ(frame, frames[seen]) << "frame " << seen << " at " << at;
            ++seen;
          }
          ASSERT_EQ(seen, static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), at) -
                                              ends.begin()))
              << at;
          ASSERT_EQ(last, at < length ? kMovieNeedData : kMovieEnd) << at;
        }
      }
    }
  }
}

// ---- JPEG ----------------------------------------------------------------------

// Compresses an image with libjpeg into a tables-only datastream and an
// abbreviated image datastream (as the movie format stores them).
struct JpegPair {
  Bytes tables, image;
};

JpegPair CompressAbbreviated(int w, int h, int components, const std::vector<uint8_t>& pixels) {
  JpegPair out;
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  jpeg_write_tables(&c);
  out.tables.assign(buffer, buffer + size);
  free(buffer);
  buffer = nullptr;
  size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  jpeg_start_compress(&c, FALSE);
  for (int y = 0; y < h; ++y) {
    JSAMPROW row = const_cast<JSAMPLE*>(pixels.data() + static_cast<size_t>(y) * w * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  out.image.assign(buffer, buffer + size);
  free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

Bytes WithId(uint16_t id, const Bytes& data) {
  Bytes b{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(MovieJpeg, AnImageBeforeTheTablesDefinesNothing) {
  std::vector<uint8_t> px(16 * 8 * 3, 128);
  const JpegPair j = CompressAbbreviated(16, 8, 3, px);
  MovieBuilder b;
  b.Raw(MT_JPEG_IMAGE, WithId(4, j.image), true);
  b.Raw(MT_JPEG_SHARED_TABLES, j.tables, true);
  b.Raw(MT_JPEG_IMAGE, WithId(5, j.image), true).Frame();
  CMovieStream s;
  const Bytes movie = b.Finish();
  s.PutData(movie.data(), movie.size());
  ASSERT_EQ(s.GotoFrame(0), kMovieDone);
  EXPECT_EQ(s.FindCharacter(4), nullptr);
  const MovieCharacter* c = s.FindCharacter(5);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->type, kCharacterBitmap);
  ASSERT_NE(c->bitmap, nullptr);
  EXPECT_EQ(c->bitmap->Width(), 16);
  EXPECT_EQ(c->bitmap->Format(), uint32_t{kDib16Bit});
}

TEST(MovieJpeg, ImagesDecodeToFifteenBitsWhateverTheirColourSpace) {
  // A colour image from the movie writer, a greyscale image, a broken one and
  // one whose stated size is past the cap; each image after a failure still
  // decodes.
  CDib colour;
  ASSERT_TRUE(colour.Create(kDib32Bit, 24, 10, nullptr));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 24; ++x) {
      uint8_t* p = colour.Bits() + y * colour.Stride() + 4 * x;
      p[0] = 40, p[1] = 200, p[2] = x < 12 ? 240 : 20;  // blue, green, red
    }
  std::vector<uint8_t> grey(32 * 16);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = (i % 32) < 16 ? 30 : 220;
  const JpegPair g = CompressAbbreviated(32, 16, 1, grey);
  Bytes huge = g.image;
  for (size_t i = 0; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0x27, huge[i + 6] = 0x10;  // height 10000
      break;
    }

  for (int variant = 0; variant < 2; ++variant) {
    MovieBuilder b;
    if (variant == 0) {
      b.Writer().WriteJpegImage(1, colour);
    } else {
      b.Raw(MT_JPEG_SHARED_TABLES, g.tables, true).Raw(MT_JPEG_IMAGE, WithId(1, g.image), true);
    }
    b.Raw(MT_JPEG_IMAGE, WithId(2, Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 0x99}), true);
    b.Raw(MT_JPEG_IMAGE, WithId(3, huge), true);
    b.Raw(MT_JPEG_IMAGE, WithId(4, variant == 0 ? Bytes{} : g.image), true).Frame();
    const Bytes movie = b.Finish();
    CMovieStream s;
    s.PutData(movie.data(), movie.size());
    ASSERT_EQ(s.GotoFrame(0), kMovieDone);
    EXPECT_EQ(s.FindCharacter(2), nullptr);
    EXPECT_EQ(s.FindCharacter(3), nullptr);
    const MovieCharacter* c = s.FindCharacter(1);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->bitmap, nullptr);
    const CDib& d = *c->bitmap;
    if (variant == 0) {
      EXPECT_EQ(d.Width(), 24);
      EXPECT_EQ(d.Height(), 10);
      const Rgb left = d.GetPixel(3, 5), right = d.GetPixel(20, 5);
      EXPECT_NEAR(left.red, 240, 16);
      EXPECT_NEAR(right.red, 20, 16);
      EXPECT_NEAR(left.green, 200, 16);
      EXPECT_NEAR(left.blue, 40, 16);
    } else {
      EXPECT_EQ(d.Width(), 32);
      EXPECT_EQ(d.Height(), 16);
      for (int x : {2, 29}) {
        const Rgb p = d.GetPixel(x, 8);
        EXPECT_NEAR(p.red, x < 16 ? 30 : 220, 12) << x;
        EXPECT_EQ(p.red, p.green);
        EXPECT_EQ(p.green, p.blue);
      }
      EXPECT_NE(s.FindCharacter(4), nullptr);
    }
  }
}

}  // namespace
