// The movie export driver: linking and depths, placements and removals,
// frame scripts and actions, the report, and the files it leaves.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "export_fixtures.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/frame_action.h"
#include "model/ole_item.h"
#include "model/pic_bitmap.h"
#include "model/pic_ole.h"
#include "movie/export/export_driver.h"
#include "movie/export/movie_exporter.h"
#include "movie/movie_writer.h"
#include "movie/player/movie_stream.h"
#include "platform/core/file.h"
#include "render/raster/dib.h"

namespace {

using Summary = std::vector<std::string>;

class DriverTest : public ExportTest {
 protected:
  // Exports the whole document to the build tree; the movie's bytes.
  std::vector<uint8_t> Export(const std::string& name, bool topDown = false, bool report = false) {
    CMovieExporter exporter;
    exporter.m_settings.topDown = topDown;
    exporter.m_settings.report = report;
    exporter.SetTarget(OutputPath(name), &doc_, CExporter::kOptionMovie);
    EXPECT_EQ(exporter.ExportSequence(), 1);
    return ReadFile(OutputPath(name));
  }
  static Summary Records(const std::vector<uint8_t>& bytes) {
    return RecordSummary(moviedec::ReadMovie(bytes));
  }
  void AddTo(CDocumentPage* page, CPicObj* obj, int32_t frame = 0) {
    Edit(page, [&] { Layer(page)->FrameAt(frame)->AddChild(obj); });
  }
};

TEST_F(DriverTest, AnElementUnchangedOverTenFramesIsPlacedOnceAndRemovedOnce) {
  CDocumentPage* page = AddPage("Page 1", 12);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(10, false), 1);  // key frames 0..9 and 10..11
    layer->FrameAt(0)->AddChild(MakeSquare(0, 0, 200, 0xFF0000FF));
  });
  std::vector<uint8_t> movie = Export("ten_frames.vmp");
  Summary want = {"color", "shape 1", "place 1@1"};
  for (int i = 0; i < 9; ++i) want.push_back("break");
  want.push_back("break");  // the tenth frame, its last
  want.push_back("remove 1@1");
  want.push_back("break");
  want.push_back("break");
  want.push_back("end");
  EXPECT_EQ(Records(movie), want);

  auto stage = StageByFrame(movie);
  ASSERT_EQ(stage.size(), 12u);
  for (int f = 0; f < 10; ++f) EXPECT_EQ(stage[f], std::vector<std::string>{"1@1"}) << f;
  EXPECT_TRUE(stage[10].empty());
  EXPECT_TRUE(stage[11].empty());
}

TEST_F(DriverTest, TopDownChangesOnlyTheOrder) {
  CDocumentPage* page = AddPage("Page 1", 2);
  AddTo(page, MakeSquare(0, 0, 100, 0xFF0000FF));
  AddTo(page, MakeSquare(50, 50, 100, 0xFF00FF00));
  AddTo(page, MakeSquare(80, 0, 100, 0xFFFF0000));
  Summary up = Records(Export("bottom_up.vmp"));
  Summary down = Records(Export("top_down.vmp", true));
  Summary wantUp = {"color",   "shape 1",   "place 1@1", "shape 2", "place 2@2",
                    "shape 3", "place 3@3", "break",     "break",   "end"};
  Summary wantDown = {"color",   "shape 1",   "place 1@3", "shape 2", "place 2@2",
                      "shape 3", "place 3@1", "break",     "break",   "end"};
  EXPECT_EQ(up, wantUp);
  EXPECT_EQ(down, wantDown);  // the top element first, with its depth kept
  EXPECT_EQ(StageByFrame(ReadFile(OutputPath("top_down.vmp")))[1],
            (std::vector<std::string>{"3@1", "2@2", "1@3"}));
}

TEST_F(DriverTest, AShapeWithoutEdgesIsNeverPlaced) {
  CDocumentPage* page = AddPage("Page 1", 1);
  AddTo(page, new CPicShape);  // no edges: it reports nothing
  AddTo(page, MakeSquare(0, 0, 100, 0xFF0000FF));
  Summary want = {"color", "shape 1", "place 1@1", "break", "end"};
  EXPECT_EQ(Records(Export("no_edges.vmp")), want);
}

TEST_F(DriverTest, StyledLinesKeepUnscaledWidthsAndDashes) {
  CDocumentPage* page = AddPage("Page 1", 1);
  auto* shape = new CPicShape;
  {
    AddDashedLine(shape, {0, 0}, {1000, 0}, 40, 100, 100);
    Matrix2x3 four;
    MatrixSetScale(four, 4 << 16, 4 << 16);
    shape->SetShapeMatrix(four);
  }
  AddTo(page, shape);
  std::vector<uint8_t> bytes = Export("styled_line.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  const moviedec::Record* record = nullptr;
  for (const auto& r : movie.records)
    if (r.code == 2) record = &r;
  ASSERT_NE(record, nullptr);
  moviedec::Shape decoded = moviedec::ReadShape(record->body);
  ASSERT_EQ(decoded.lines.size(), 1u);
  EXPECT_EQ(decoded.lines[0].width, 40);  // not 160
  EXPECT_EQ(decoded.lines[0].color, (moviedec::Rgb{255, 0, 0}));
  int dashes = 0, minX = INT32_MAX, maxX = INT32_MIN;
  for (const auto& e : decoded.steps.edges) {
    ASSERT_EQ(e.line, 1);
    EXPECT_EQ(e.p0.y, 0);
    EXPECT_EQ(e.p2.y, 0);
    EXPECT_LE(std::abs(e.p2.x - e.p0.x), 101);  // dashes of 100 twips, not 400
    minX = std::min({minX, e.p0.x, e.p2.x});
    maxX = std::max({maxX, e.p0.x, e.p2.x});
    ++dashes;
  }
  EXPECT_EQ(minX, 0);
  EXPECT_GE(maxX, 3900);  // the path is placed by the matrix
  EXPECT_GE(dashes, 19);
}

TEST_F(DriverTest, ABitmapIsAnImageAndARectangleThatShowsIt) {
  CDocumentPage* page = AddPage("Page 1", 2);
  auto* bitmap = new CPicBitmap;
  {
    CImageRef& image = bitmap->GetImage();
    ColorTable table;
    table.count = 3;
    table.entries[1] = PackRgb(255, 0, 0);
    table.entries[2] = PackRgb(0, 0, 255);
    ASSERT_TRUE(image.Create(kDib8Bit, 15, 8, &table));  // odd width
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 15; ++x) image.Bits()[y * image.Stride() + x] = x < 8 ? 1 : 2;
    image.bounds = {0, 300, 0, 160};
  }
  Edit(page, [&] {
    Layer(page)->FrameAt(0)->AddChild(bitmap);
    Matrix2x3 m;
    MatrixSetTranslation(m, 500, 700);
    bitmap->Transform(m);
  });
  std::vector<uint8_t> bytes = Export("bitmap.vmp");
  Summary want = {"color", "tables", "jpeg 2", "shape 1", "place 1@1", "break", "break", "end"};
  EXPECT_EQ(Records(bytes), want);

  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  for (const auto& r : movie.records) {
    if (r.code != 2) continue;
    moviedec::Shape shape = moviedec::ReadShape(r.body);
    ASSERT_EQ(shape.fills.size(), 1u);
    EXPECT_EQ(shape.fills[0].kind, 0x41);
    EXPECT_EQ(shape.fills[0].bitmap_id, 2);
    // Image pixels to the object's rectangle (its unrounded width), placed.
    moviedec::Matrix m = shape.fills[0].matrix;
    EXPECT_EQ(m.a, FixedDiv(300, 15));
    EXPECT_EQ(m.d, 20 << 16);
    EXPECT_EQ(m.tx, 500);
    EXPECT_EQ(m.ty, 700);
    EXPECT_EQ(shape.bounds.xmin, 500);
    EXPECT_EQ(shape.bounds.xmax, 800);
    EXPECT_EQ(shape.bounds.ymax, 860);
  }
  // The player decodes the image (its width rounded up to even) and shows it.
  CMovieStream stream;
  stream.PutData(bytes.data(), bytes.size());
  ASSERT_EQ(stream.ReadHeader(), 1);
  ASSERT_EQ(stream.GotoFrame(0), kMovieDone);
  MovieCharacter* image = stream.FindCharacter(2);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->type, kCharacterBitmap);
  ASSERT_NE(image->bitmap, nullptr);
  EXPECT_EQ(image->bitmap->Width(), 16);
  EXPECT_EQ(image->bitmap->Height(), 8);
  Rgb red = image->bitmap->GetPixel(2, 3), blue = image->bitmap->GetPixel(13, 5);
  EXPECT_GT(red.red, 200);
  EXPECT_LT(red.blue, 60);
  EXPECT_GT(blue.blue, 200);
  EXPECT_LT(blue.red, 60);
  EXPECT_EQ(StageByFrame(bytes)[1], std::vector<std::string>{"1@1"});
}

// An embedded object of the page whose picture (a 2 x 2 DIB presentation)
// has the colour given.
CPicOle* AddEmbedded(CMarlDoc& doc, CDocumentPage* page, uint8_t red, const Rect32& rect) {
  std::vector<uint8_t> dib(40 + 2 * 8, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);  // header size
  put32(4, 2);   // width
  put32(8, 2);   // height
  dib[12] = 1;   // planes
  dib[14] = 24;  // bits per pixel
  for (size_t row = 0; row < 2; ++row)
    for (size_t x = 0; x < 2; ++x) dib[40 + row * 8 + x * 3 + 2] = red;  // B, G, R
  std::vector<uint8_t> presentation;
  for (uint32_t v : {0xFFFFFFFFu, OlePresentation::kFormatDib, 4u, OlePresentation::kAspectContent,
                     0xFFFFFFFFu, 0u, 0u, 2540u, 2540u, static_cast<uint32_t>(dib.size())})
    for (int i = 0; i < 4; ++i) presentation.push_back(static_cast<uint8_t>(v >> (8 * i)));
  presentation.insert(presentation.end(), dib.begin(), dib.end());
  auto* item = new CMarlCntrItem(&doc, page);
  item->m_storage.streams = {{"\x02OlePres000", presentation}};
  item->m_extent = {2540, 2540};
  doc.AddItem(item);
  auto* ole = new CPicOle;
  ole->SetItemRect(rect);
  item->SetPicOle(ole);
  return ole;
}

TEST_F(DriverTest, AnEmbeddedObjectIsConvertedOncePerExport) {
  // One object shown in two frames: its picture is defined and placed once.
  CDocumentPage* page = AddPage("Page 1", 2);
  AddTo(page, AddEmbedded(doc_, page, 200, {100, 500, 100, 500}));
  std::vector<uint8_t> one = Export("embedded.vmp");
  Summary want = {"color", "tables", "jpeg 2", "shape 1", "place 1@1", "break", "break", "end"};
  EXPECT_EQ(Records(one), want);
  EXPECT_EQ(StageByFrame(one)[1], std::vector<std::string>{"1@1"});

  // A second object is a picture of its own, also defined once.
  AddTo(page, AddEmbedded(doc_, page, 40, {600, 1000, 100, 500}));
  want = {"color",   "tables",    "jpeg 2", "shape 1", "place 1@1", "jpeg 4",
          "shape 3", "place 3@2", "break",  "break",   "end"};
  EXPECT_EQ(Records(Export("embedded_two.vmp")), want);
}

// ---- linking and depths ---------------------------------------------------------------

// Frames of elements named by letters; each letter is one character entry,
// with a depth span from the table (1 when not listed).
struct Letters {
  std::deque<CExportCharacter> entries;
  std::deque<CExportNode> nodes;
  std::map<char, CExportCharacter*> by_letter;
  std::vector<CExportFrame> frames;

  Letters(const std::vector<std::string>& rows, std::map<char, int> spans = {}) {
    for (const std::string& row : rows) {
      CExportFrame frame;
      for (char ch : row) {
        CExportCharacter*& e = by_letter[static_cast<char>(toupper(ch))];
        if (e == nullptr) {
          e = &entries.emplace_back();
          auto span = spans.find(static_cast<char>(toupper(ch)));
          if (span != spans.end()) e->depthSpan = span->second;
        }
        CExportNode& n = nodes.emplace_back();
        n.entry = e;
        n.first = &n;
        // A lower-case letter is the same character under another matrix.
        if (islower(ch)) n.matrix.tx = 20;
        (frame.last != nullptr ? frame.last->next : frame.first) = &n;
        frame.last = &n;
      }
      frames.push_back(frame);
    }
  }
  // Per frame "A2 B3": letter and depth; a "+" marks a continued element.
  std::vector<std::string> Depths() {
    std::vector<std::string> out;
    for (const CExportFrame& f : frames) {
      std::string s;
      for (CExportNode* n = f.first; n != nullptr; n = n->next) {
        char letter = '?';
        for (auto& [l, e] : by_letter)
          if (e == n->entry) letter = l;
        if (n->matrix.tx != 0) letter = static_cast<char>(tolower(letter));
        if (!s.empty()) s += ' ';
        s += letter + std::to_string(n->depth) + (n->link != nullptr ? "+" : "");
      }
      out.push_back(s);
    }
    return out;
  }
};

TEST(ExportLinking, LinksAndDepthsAsHandWorked) {
  struct Case {
    std::vector<std::string> frames;
    std::map<char, int> spans;
    std::vector<std::string> want;
  } cases[] = {
      // One element throughout.
      {{"A", "A", "A"}, {}, {"A1+", "A1+", "A1"}},
      // B leaves, D arrives underneath: A and C keep their depths, which
      // make room for D from the start.
      {{"ABC", "AC", "DAC"}, {}, {"A2+ B3 C4+", "A2+ C4+", "D1 A2 C4"}},
      // The search goes on after the last match: B before A does not link.
      {{"AB", "BA"}, {}, {"A2+ B3", "B1 A2"}},
      // Another matrix is another element.
      {{"AB", "aB"}, {}, {"A1 B2+", "a1 B2"}},
      // A button of span 3 lifts what lies above it.
      {{"XA", "XA"}, {{'X', 3}}, {"X1+ A4+", "X1 A4"}},
      // The same character twice in a frame: each links in order.
      {{"AA", "AA"}, {}, {"A1+ A2+", "A1 A2"}},
  };
  for (const Case& c : cases) {
    Letters l(c.frames, c.spans);
    CMovieExportDriver::LinkFrames(l.frames);
    CMovieExportDriver::AssignDepths(l.frames);
    EXPECT_EQ(l.Depths(), c.want) << ::testing::PrintToString(c.frames);
  }
}

// The recursion as first described, for comparison.
void VisitRecursive(CExportNode* e, int32_t a) {
  if (e == nullptr || e->depth >= a) return;
  for (CExportNode* occ = e->first; occ != nullptr; occ = occ->link) {
    occ->depth = a;
    VisitRecursive(occ->next, a + e->entry->depthSpan);
  }
}

TEST(ExportLinking, TheStackGivesTheDepthsOfTheRecursion) {
  std::mt19937 random(28);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> rows;
    const int frames = 1 + static_cast<int>(random() % 8);
    for (int f = 0; f < frames; ++f) {
      std::string row;
      const int n = static_cast<int>(random() % 7);
      for (int i = 0; i < n; ++i) {
        char ch = static_cast<char>('A' + random() % 5);
        if (random() % 6 == 0) ch = static_cast<char>(tolower(ch));
        row += ch;
      }
      rows.push_back(row);
    }
    std::map<char, int> spans = {{'C', 2}, {'E', 4}};
    Letters stack(rows, spans), recursive(rows, spans);
    CMovieExportDriver::LinkFrames(stack.frames);
    CMovieExportDriver::AssignDepths(stack.frames);
    CMovieExportDriver::LinkFrames(recursive.frames);
    for (CExportFrame& f : recursive.frames) VisitRecursive(f.first, 1);
    ASSERT_EQ(stack.Depths(), recursive.Depths()) << ::testing::PrintToString(rows);
  }
}

TEST(ExportLinking, DepthsPastSixteenBitsStopTheExport) {
  Letters l({"AB"}, {{'A', 65535}});
  CMovieExportDriver::LinkFrames(l.frames);
  EXPECT_THROW(CMovieExportDriver::AssignDepths(l.frames), CMovieLimitException);
}

// ---- actions ----------------------------------------------------------------------------

TEST_F(DriverTest, ActionKindsGiveTheirBytes) {
  AddPage("One", 3);
  CDocumentPage* two = AddPage("Two", 2);
  AddPage("Three", 4);
  CMemFile file;
  CMovieWriter writer(&file);
  CMovieExportDriver driver(&doc_, writer, false, nullptr);
  using B = std::vector<uint8_t>;
  struct Case {
    int type;
    const char* page;
    int frame;
    B want;
  } cases[] = {
      {0, "", 1, {0}},
      {1, "", 1, {6, 0}},
      {2, "", 1, {7, 0}},
      {3, "", 1, {4, 0}},
      {4, "", 1, {5, 0}},
      {5, "", 1, {0x81, 2, 0, 5, 0, 0}},  // Three starts at frame 5
      {6, "", 1, {0x81, 2, 0, 0, 0, 0}},  // One at frame 0
      {7, "", 1, {8, 0}},
      {8, "Three", 2, {0x81, 2, 0, 6, 0, 0}},
      {8, "Nowhere", 2, {0x81, 2, 0, 4, 0, 0}},  // the current page when not found
      {9, "", 1, {0x83, 6, 0, 'u', 'r', 'l', 0, 'w', 0, 0}},
      {10, "One", 3, {0x81, 2, 0, 2, 0, 6, 0}},
      {11, "One", 1, {0x83, 6, 0, 'u', 'r', 'l', 0, 'w', 0, 0x81, 2, 0, 0, 0, 0}},
      {12, "Two", 2, {0x83, 6, 0, 'u', 'r', 'l', 0, 'w', 0, 0x81, 2, 0, 4, 0, 6, 0}},
      {13, "", 1, {0}},
  };
  for (const Case& c : cases) {
    CFrameAction a;
    a.type = c.type;
    a.page = c.page;
    a.frame = c.frame;
    a.url = "url";
    a.target = "w";
    EXPECT_EQ(driver.ActionBytes(a, two), c.want) << "kind " << c.type << " " << c.page;
  }
  // Next and previous page at the ends stay on the current page.
  CFrameAction next;
  next.type = CFrameAction::kNextPage;
  EXPECT_EQ(driver.ActionBytes(next, two->m_next), (B{0x81, 2, 0, 5, 0, 0}));
  next.type = CFrameAction::kPreviousPage;
  EXPECT_EQ(driver.ActionBytes(next, doc_.m_pages), (B{0x81, 2, 0, 0, 0, 0}));
  // A URL whose payload length needs more than 16 bits stops the export.
  CFrameAction longUrl;
  longUrl.type = CFrameAction::kGetUrl;
  longUrl.url.assign(70000, 'x');
  EXPECT_THROW(driver.ActionBytes(longUrl, two), CMovieLimitException);
  // So does a jump target past 16 bits.
  CFrameAction far;
  far.type = CFrameAction::kGoto;
  far.frame = 65536;  // frame 65535 counted from 0: the last a jump reaches
  EXPECT_EQ(driver.ActionBytes(far, doc_.m_pages), (B{0x81, 2, 0, 0xFF, 0xFF, 0}));
  far.frame = 65537;
  EXPECT_THROW(driver.ActionBytes(far, doc_.m_pages), CMovieLimitException);
}

TEST_F(DriverTest, AFrameCountPastSixteenBitsStopsTheExport) {
  CDocumentPage* page = AddPage("One", 1);
  CMemFile file;
  CMovieWriter writer(&file);
  CMovieExportDriver driver(&doc_, writer, false, nullptr);
  for (int i = 0; i < 0xFFFF; ++i) driver.CollectFrame(page, 0);
  EXPECT_THROW(driver.CollectFrame(page, 0), CMovieLimitException);
  EXPECT_EQ(driver.Frames().size(), 0xFFFFu);
}

TEST_F(DriverTest, FrameScriptsComeFirstAtTheStartOfTheirKeyFrame) {
  CDocumentPage* page = AddPage("Page 1", 4);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(2, false), 1);
    CFrameAction stop;
    stop.type = CFrameAction::kStop;
    layer->FrameAt(2)->SetAction(stop);
    layer->FrameAt(2)->AddChild(MakeSquare(0, 0, 100, 0xFF0000FF));
  });
  std::vector<uint8_t> bytes = Export("script.vmp");
  Summary want = {"color",     "break", "break", "script", "shape 1",
                  "place 1@1", "break", "break", "end"};
  EXPECT_EQ(Records(bytes), want);
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  for (const moviedec::Record& r : movie.records) {
    if (r.code == 12) {
      EXPECT_EQ(std::vector<uint8_t>(r.body.begin(), r.body.end()), (std::vector<uint8_t>{7, 0}));
    }
  }
}

// ---- the report and the files ------------------------------------------------------

TEST_F(DriverTest, TheReportAndItsTotals) {
  CDocumentPage* page = AddPage("Opening", 3);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(1, false), 1);
    layer->FrameAt(0)->AddChild(MakeSquare(0, 0, 100, 0xFF0000FF));
    layer->FrameAt(1)->AddChild(MakeSquare(0, 0, 400, 0xFF00FF00, 0xFF000000, 20));
  });
  std::vector<uint8_t> movie = Export("report.vmp", false, true);
  std::ifstream in(OutputPath("report.txt"), std::ios::binary);
  std::string report((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(report.find('\r'), std::string::npos);

  // The frame lines: bytes of each frame and the running total.
  moviedec::Movie decoded = moviedec::ReadMovie(movie);
  std::vector<int> totals;
  int frame = 0, bytes = 0, total = 0, previous = 0, lines = 0;
  const std::string heading = "-------    -----------    -----------\n";
  const char* p = report.c_str() + report.find(heading) + heading.size();
  while (std::sscanf(p, "%d %d %d", &frame, &bytes, &total) == 3) {
    ++lines;
    EXPECT_EQ(frame, lines);
    EXPECT_EQ(bytes, total - previous);
    previous = total;
    totals.push_back(total);
    p = strchr(p, '\n') + 1;
  }
  ASSERT_EQ(lines, 3);
  // The last total and the 2-byte end record make the file.
  EXPECT_EQ(totals.back() + 2, static_cast<int>(movie.size()));
  EXPECT_EQ(decoded.file_length, movie.size());

  // The shape bytes of the page are both shape records with their headers.
  int shapeBytes = 0;
  for (const moviedec::Record& r : decoded.records)
    if (r.code == 2) shapeBytes += static_cast<int>(r.body.size()) + 6;
  EXPECT_EQ(shapeBytes, 73);
  const char* golden =
      "Movie Report\n"
      "------------\n"
      "\n"
      "Frame #    Frame Bytes    Total Bytes\n"
      "-------    -----------    -----------\n"
      "    1            67             67\n"
      "    2            55            122\n"
      "    3             2            124\n"
      "\n"
      "Page                       Shape Bytes    Text Bytes    Bitmap Bytes\n"
      "-----------------------    -----------    ----------    ------------\n"
      "Opening                          73             0               0\n"
      "\n"
      "Symbol                     Shape Bytes    Text Bytes    Bitmap Bytes\n"
      "-----------------------    -----------    ----------    ------------\n"
      "\n"
      "Font Name                  Bytes       Characters\n"
      "-----------------------    --------    -----------\n";
  EXPECT_EQ(report, golden);
}

TEST_F(DriverTest, AFailedExportLeavesTheEarlierFile) {
  CDocumentPage* page = AddPage("Page 1", 1);
  Edit(page, [&] {
    CFrameAction url;
    url.type = CFrameAction::kGetUrl;
    url.url.assign(70000, 'x');  // past the action's 16-bit payload length
    Layer(page)->FrameAt(0)->SetAction(url);
  });
  const std::string path = OutputPath("kept.vmp");
  {
    std::ofstream earlier(path, std::ios::binary | std::ios::trunc);
    earlier << "earlier movie";
  }
  // Open files of the process: the temporary movie and the report must be
  // closed again when the export fails.
  auto openFiles = [] {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(std::filesystem::begin(fds), std::filesystem::end(fds));
  };
  const auto filesBefore = openFiles();
  CMovieExporter exporter;
  exporter.m_settings.report = true;
  exporter.SetTarget(path, &doc_, CExporter::kOptionMovie);
  EXPECT_THROW(exporter.ExportSequence(), CMovieLimitException);
  EXPECT_EQ(openFiles(), filesBefore);
  std::vector<uint8_t> kept = ReadFile(path);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier movie");
  // Only this movie's temporary file: other tests export into the same
  // folder at the same time.
  const std::string name = std::filesystem::path(path).filename().string();
  for (const auto& entry : std::filesystem::directory_iterator(VM_TEST_OUTPUT_DIR)) {
    const std::string other = entry.path().filename().string();
    EXPECT_FALSE(other.starts_with(name + ".") && entry.path().extension() == ".tmp")
        << "temporary file left: " << entry.path();
  }
}

TEST_F(DriverTest, OneFrameOfOnePage) {
  CDocumentPage* page = AddPage("Page 1", 3);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(1, false), 1);
    layer->FrameAt(0)->AddChild(MakeSquare(0, 0, 100, 0xFF0000FF));
    layer->FrameAt(1)->AddChild(MakeSquare(0, 0, 300, 0xFF00FF00));
  });
  CMovieExporter exporter;
  exporter.SetTarget(OutputPath("one_frame.vmp"), &doc_, CExporter::kOptionDrawing);
  EXPECT_EQ(exporter.ExportFrame(page, 2), 1);
  Summary want = {"color", "shape 1", "place 1@1", "break", "end"};
  std::vector<uint8_t> bytes = ReadFile(OutputPath("one_frame.vmp"));
  EXPECT_EQ(Records(bytes), want);
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  EXPECT_EQ(movie.frame_count, 1);
  EXPECT_EQ(movie.rate, 0x0C00);
}

}  // namespace
