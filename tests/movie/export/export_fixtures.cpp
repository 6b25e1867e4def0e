#include "export_fixtures.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/edit_step.h"
#include "model/edit_transaction.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "platform/core/profile.h"
#include "tests/common/edge_styles.h"

CPicShape* MakeSquare(int32_t x, int32_t y, int32_t size, uint32_t fill, uint32_t line,
                      int16_t lineWidth) {
  auto* shape = new CPicShape;
  EdgeGraph& g = shape->GetGeometry();
  FillStyle f = SolidFill(fill);
  int fi = EdgeGraphAddFillStyle(g, f);
  EXPECT_GT(fi, 0);
  int li = 0;
  if (lineWidth > 0) {
    LineStyle l = SolidLine(line, lineWidth);
    li = EdgeGraphAddLineStyle(g, l);
    EXPECT_GT(li, 0);
  }
  PointList path;
  Rect32 r{x, x + size, y, y + size};
  EXPECT_GE(PathFromRect(path, r), 0);
  // The rectangle's path runs with its inside on the edges' second side.
  EXPECT_GE(EdgeGraphAddPath(g, path, static_cast<StyleIndex>(li), 0, static_cast<StyleIndex>(fi)),
            0);
  EXPECT_GE(EdgeGraphUpdate(g), 0);
  PointListFree(path);
  shape->InvalidateBounds();
  return shape;
}

void AddDashedLine(CPicShape* shape, Point32 a, Point32 b, int16_t width, int16_t on, int16_t off) {
  EdgeGraph& g = shape->GetGeometry();
  LineStyle dashed = SolidLine(0xFF0000FF, width);
  dashed.kind = 1;
  dashed.params[0] = on;
  dashed.params[1] = off;
  int li = EdgeGraphAddLineStyle(g, dashed);
  ASSERT_GT(li, 0);
  PointList path;
  ASSERT_GE(PointListAppend(path, a, 0), 0);
  ASSERT_GE(PointListAppend(path, b, 0), 0);
  ASSERT_GE(EdgeGraphAddPath(g, path, static_cast<StyleIndex>(li), 0, 0), 0);
  ASSERT_GE(EdgeGraphUpdate(g), 0);
}

void ExportTest::SetUp() {
  ResetEditGlobals();
  ResetProfileSettings();
  previous_ = SetAppServices(&services_);
}

void ExportTest::TearDown() {
  EXPECT_EQ(EditGlobals().openStep, nullptr);
  for (CDocumentPage* p = doc_.m_pages; p != nullptr; p = p->m_next) {
    EXPECT_EQ(p->GetLockCount(), 1) << "page " << p->m_name << " left locked or unlocked";
  }
  SetAppServices(previous_);
}

CDocumentPage* ExportTest::AddPage(const std::string& name, int32_t frames) {
  auto* page = new CDocumentPage;
  page->InitForDocument(target_, false);
  target_->AppendPage(page, false);
  page->SetName(name);
  if (frames > 1) Edit(page, [&] { Layer(page)->InsertFrames(1, frames - 1); });
  return page;
}

CDocumentPage* ExportTest::AddSymbol(const std::string& name, int32_t frames) {
  auto* page = new CDocumentPage;
  page->InitForDocument(target_, true);
  target_->AppendPage(page, true);
  page->SetName(name);
  if (frames > 1) Edit(page, [&] { Layer(page)->InsertFrames(1, frames - 1); });
  return page;
}

CPicLayer* ExportTest::Layer(CDocumentPage* page) {
  return page->GetRoot()->GetFirstLayer();
}

void ExportTest::Edit(CDocumentPage* page, const std::function<void()>& body) {
  EXPECT_TRUE(CEditTransaction::Run(*page, CDocumentPage::kEditUser, body));
}

std::string ExportTest::OutputPath(const std::string& name) {
  std::filesystem::create_directories(VM_TEST_OUTPUT_DIR);
  return std::string(VM_TEST_OUTPUT_DIR) + "/" + name;
}

std::vector<uint8_t> ExportTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> RecordSummary(const moviedec::Movie& movie) {
  std::vector<std::string> out;
  for (const moviedec::Record& r : movie.records) {
    moviedec::Reader in(r.body);
    switch (r.code) {
      case 0:
        out.push_back("end");
        break;
      case 1:
        out.push_back("break");
        break;
      case 2:
        out.push_back("shape " + std::to_string(in.U16()));
        break;
      case 4: {
        int id = in.U16();
        int depth = in.U16();
        out.push_back("place " + std::to_string(id) + "@" + std::to_string(depth));
        break;
      }
      case 5: {
        int id = in.U16();
        int depth = in.U16();
        out.push_back("remove " + std::to_string(id) + "@" + std::to_string(depth));
        break;
      }
      case 6:
        out.push_back("jpeg " + std::to_string(in.U16()));
        break;
      case 7:
        out.push_back("button " + std::to_string(in.U16()));
        break;
      case 8:
        out.push_back("tables");
        break;
      case 9:
        out.push_back("color");
        break;
      case 10:
        out.push_back("glyphs " + std::to_string(in.U16()));
        break;
      case 11:
        out.push_back("text " + std::to_string(in.U16()));
        break;
      case 12:
        out.push_back("script");
        break;
      case 13:
        out.push_back("face " + std::to_string(in.U16()));
        break;
      default:
        out.push_back("code " + std::to_string(r.code));
        break;
    }
  }
  return out;
}

std::vector<std::vector<std::string>> StageByFrame(const std::vector<uint8_t>& movie) {
  CDisplayList list;
  CMovieStream stream;
  stream.SetDisplayList(&list);
  stream.PutData(movie.data(), movie.size());
  std::vector<std::vector<std::string>> frames;
  EXPECT_EQ(stream.ReadHeader(), 1);
  for (int32_t f = 0; f < stream.FrameCount(); ++f) {
    EXPECT_EQ(stream.GotoFrame(f), kMovieDone) << "frame " << f;
    std::vector<std::string> stage;
    for (DisplayItem* item = list.Items(); item != nullptr; item = item->next) {
      stage.push_back(std::to_string(item->key >> 16) + "@" + std::to_string(item->Depth()));
    }
    frames.push_back(stage);
  }
  return frames;
}
