// Round trip: every frame of small documents exported, played by the player
// engine and compared with the editor's own drawing of the frame through the
// bitmap render context, at one transform, at 100 % and 400 %, without
// anti-aliasing. Text is drawn as the view draws it at its best quality
// (glyph outlines into the scan converter), bitmap objects as images placed
// by their matrix.
//
// Pixels more than one pixel from any outline (their 3 x 3 neighbourhood is
// flat in both pictures) must match: exactly for solid colours, within a
// stated bound where the two sides legitimately differ (gradients: the
// editor's span colours against the player's; JPEG images: compression
// error, with a stated margin round the image's colour edges). Straight-
// edged solid fills must match everywhere. A shifted or recoloured element
// must fail the same comparison.
#include <cmath>
#include <cstdlib>
#include <functional>

#include "export_fixtures.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_bitmap.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"
#include "movie/export/movie_exporter.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/edge_styles.h"
#include "tests/common/test_fonts.h"

namespace {

// A picture as 0xRRGGBB words.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Picture Read(const COffscreenBitmap& b) {
  Picture p;
  p.width = b.Width();
  p.height = b.Height();
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* row = b.Bits() + static_cast<size_t>(y) * static_cast<size_t>(b.Stride());
    for (int x = 0; x < p.width; ++x)
      p.pixels.push_back(uint32_t{row[4 * x + 2]} << 16 | uint32_t{row[4 * x + 1]} << 8 |
                         row[4 * x]);
  }
  return p;
}

int ChannelDifference(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d = std::max(
        d, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return d;
}

bool Flat(const Picture& p, int x, int y) {
  const uint32_t c = p.At(x, y);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (p.At(x + dx, y + dy) != c) return false;
  return true;
}

struct Comparison {
  int interior = 0;    // pixels compared
  int mismatched = 0;  // interior pixels beyond the tolerance
  int differing = 0;   // any pixel that differs at all
  std::string first;   // where the first mismatch is
};

// How far two pictures may differ: the largest channel difference of the
// pixels compared, and (for JPEG images, whose decoding blurs colour edges)
// a margin in pixels round every outline of the editor's picture within
// which pixels are not compared.
struct Bound {
  int tolerance = 0;
  int margin = 0;
};

// Pixels of the editor's picture within `margin` of an outline pixel (one
// whose 3 x 3 neighbourhood is not flat), from a summed-area table.
std::vector<bool> NearOutline(const Picture& p, int margin) {
  const int w = p.width, h = p.height;
  std::vector<int> sum(static_cast<size_t>((w + 1) * (h + 1)), 0);
  auto at = [&](int x, int y) -> int& { return sum[static_cast<size_t>(y * (w + 1) + x)]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1 || !Flat(p, x, y);
      at(x + 1, y + 1) = (edge ? 1 : 0) + at(x, y + 1) + at(x + 1, y) - at(x, y);
    }
  std::vector<bool> near(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - margin), x1 = std::min(w, x + margin + 1);
      const int y0 = std::max(0, y - margin), y1 = std::min(h, y + margin + 1);
      near[static_cast<size_t>(y * w + x)] = at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0) > 0;
    }
  return near;
}

Comparison Compare(const Picture& editor, const Picture& player, Bound bound) {
  Comparison c;
  std::vector<bool> near;
  if (bound.margin > 0) near = NearOutline(editor, bound.margin);
  for (int y = 0; y < editor.height; ++y)
    for (int x = 0; x < editor.width; ++x) {
      if (editor.At(x, y) != player.At(x, y)) ++c.differing;
      if (x == 0 || y == 0 || x == editor.width - 1 || y == editor.height - 1) continue;
      if (bound.margin > 0) {
        if (near[static_cast<size_t>(y * editor.width + x)]) continue;
      } else if (!Flat(editor, x, y) || !Flat(player, x, y)) {
        continue;
      }
      ++c.interior;
      if (ChannelDifference(editor.At(x, y), player.At(x, y)) > bound.tolerance) {
        if (c.mismatched++ == 0) {
          char text[96];
          std::snprintf(text, sizeof text, "(%d,%d) editor %06X player %06X", x, y, editor.At(x, y),
                        player.At(x, y));
          c.first = text;
        }
      }
    }
  return c;
}

class RoundTripTest : public ExportTest {
 protected:
  static void SetUpTestSuite() { test_fonts::InstallTestFonts(); }
  static constexpr int32_t kStage = 2000;  // twips square

  void SetUp() override {
    ExportTest::SetUp();
    doc_.SetMovieRect({0, kStage, 0, kStage});
    doc_.m_backgroundColor = 0xFFFFFFFF;
  }

  // The editor's drawing of frame f of the page, `zoom` pixels per 20 twips.
  static Picture DrawEditor(CDocumentPage* page, int32_t f, int zoom) {
    COffscreenBitmap bitmap;
    const int32_t size = kStage * zoom / 20;
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, size, size, false));
    {
      CBitmapRenderContext rc(&bitmap, 0);
      rc.m_flags |= CRenderContext::kFlagGlyphTextFirst;
      rc.FillRectColor(0xFFFFFF);
      Matrix2x3 m;
      MatrixSetScale(m, FixedDiv(zoom, 20), FixedDiv(zoom, 20));
      rc.SetMatrix(m);
      rc.m_currentFrame = f;
      page->GetRoot()->Draw(rc);
      rc.Flush();
    }
    return Read(bitmap);
  }

  // The player's pictures of every frame of a movie.
  static std::vector<Picture> Play(const std::vector<uint8_t>& movie, int zoom) {
    CDisplayList list;
    CMovieStream stream;
    stream.SetDisplayList(&list);
    stream.PutData(movie.data(), movie.size());
    EXPECT_EQ(stream.ReadHeader(), 1);
    COffscreenBitmap bitmap;
    const int32_t size = kStage * zoom / 20;
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, size, size, false));
    list.SetBitmap(&bitmap);
    list.SetViewTransform(stream.FrameRect(), {0, 0, size, size}, false, kScaleExactFit);
    std::vector<Picture> frames;
    for (int32_t f = 0; f < stream.FrameCount(); ++f) {
      EXPECT_EQ(stream.GotoFrame(f), kMovieDone);
      list.Render();
      frames.push_back(Read(bitmap));
    }
    return frames;
  }

  std::vector<uint8_t> ExportMovie(const std::string& name) {
    CMovieExporter exporter;
    exporter.m_settings.quality = 90;
    exporter.SetTarget(OutputPath(name), &doc_, CExporter::kOptionMovie);
    EXPECT_EQ(exporter.ExportSequence(), 1);
    return ReadFile(OutputPath(name));
  }

  // Exports the one page and compares every frame at both zooms; the margin
  // is in twips. `interiorShare` is the least share of the picture that
  // must be compared.
  void Check(const std::string& name, CDocumentPage* page, Bound bound, bool exact,
             int32_t marginTwips = 0, double interiorShare = 0.5) {
    std::vector<uint8_t> movie = ExportMovie(name + ".vmp");
    const int32_t frames = page->GetRoot()->m_frameCount;
    for (int zoom : {1, 4}) {
      std::vector<Picture> played = Play(movie, zoom);
      ASSERT_EQ(static_cast<int32_t>(played.size()), frames);
      for (int32_t f = 0; f < frames; ++f) {
        Picture editor = DrawEditor(page, f, zoom);
        Bound b = bound;
        b.margin = (marginTwips * zoom + 19) / 20;
        Comparison c = Compare(editor, played[static_cast<size_t>(f)], b);
        SCOPED_TRACE(name + " frame " + std::to_string(f) + " zoom " + std::to_string(zoom));
        EXPECT_GT(c.interior, static_cast<int>(editor.width * editor.height * interiorShare));
        EXPECT_EQ(c.mismatched, 0) << c.first;
        if (exact) {
          EXPECT_EQ(c.differing, 0);
        }
      }
    }
  }

  // After the document was changed by `change`, the editor's drawing of
  // frame 0 must no longer match the movie exported before it, at either zoom.
  void ExpectChangeCaught(const std::string& name, CDocumentPage* page, Bound bound,
                          int32_t marginTwips, const std::function<void()>& change) {
    std::vector<uint8_t> movie = ReadFile(OutputPath(name + ".vmp"));
    Edit(page, change);
    for (int zoom : {1, 4}) {
      Bound b = bound;
      b.margin = (marginTwips * zoom + 19) / 20;
      Comparison c = Compare(DrawEditor(page, 0, zoom), Play(movie, zoom)[0], b);
      EXPECT_GT(c.mismatched, 0) << name << " zoom " << zoom;
    }
  }
};

FillStyle Gradient(int32_t x, int32_t y, int32_t size) {
  FillStyle g = SolidFill(0xFF0000FF);
  g.kind = kGradientLinear;
  g.gradient.count = 2;
  g.gradient.ratios[0] = 0;
  g.gradient.ratios[1] = 255;
  g.gradient.colours[0] = 0xFF0000FF;
  g.gradient.colours[1] = 0xFFFF0000;
  // Gradient space -16384..16384 across the square.
  MatrixSetScale(g.matrix, FixedDiv(size, 32768), FixedDiv(size, 32768));
  g.matrix.tx = x + size / 2;
  g.matrix.ty = y + size / 2;
  return g;
}

TEST_F(RoundTripTest, StraightEdgedFillsMatchPixelForPixel) {
  CDocumentPage* page = AddPage("Page 1", 2);
  Edit(page, [&] {
    CPicFrame* key = Layer(page)->FrameAt(0);
    key->AddChild(MakeSquare(200, 200, 800, 0xFF0000FF));
    key->AddChild(MakeSquare(600, 500, 1000, 0xFF00C000));
    key->AddChild(MakeSquare(1200, 100, 300, 0xFF800080));
  });
  Check("rt_fills", page, {}, true);
}

TEST_F(RoundTripTest, PlainLinesAndTweens) {
  CDocumentPage* page = AddPage("Page 1", 5);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(4, false), 1);
    CPicFrame* first = layer->FrameAt(0);
    first->AddChild(MakeSquare(100, 100, 500, 0xFF00A0FF, 0xFF000000, 40));
    first->SetFrameStyle(CPicFrame::kTweenMotion | CPicFrame::kNewTween);
    CPicShape* end = MakeSquare(100, 100, 500, 0xFF00A0FF, 0xFF000000, 40);
    Matrix2x3 m;
    MatrixSetTranslation(m, 1200, 900);
    end->SetShapeMatrix(m);
    layer->FrameAt(4)->AddChild(end);
  });
  Check("rt_tween", page, {}, false);
}

TEST_F(RoundTripTest, GradientsWithinTheirBanding) {
  CDocumentPage* page = AddPage("Page 1", 1);
  Edit(page, [&] {
    auto* shape = new CPicShape;
    EdgeGraph& g = shape->GetGeometry();
    int fi = EdgeGraphAddFillStyle(g, Gradient(300, 300, 1200));
    PointList path;
    ASSERT_GE(PathFromRect(path, {300, 1500, 300, 1500}), 0);
    ASSERT_GE(EdgeGraphAddPath(g, path, 0, 0, static_cast<StyleIndex>(fi)), 0);
    ASSERT_GE(EdgeGraphUpdate(g), 0);
    shape->InvalidateBounds();
    Layer(page)->FrameAt(0)->AddChild(shape);
  });
  // The editor and the player both fill gradients through span fills; a
  // neighbouring ramp step (256 steps over 1200 twips) is the bound.
  Check("rt_gradient", page, {4, 0}, false);
}

TEST_F(RoundTripTest, TextAwayFromTheOutlines) {
  CDocumentPage* page = AddPage("Page 1", 1);
  auto* t = new CPicText;
  Edit(page, [&] {
    Layer(page)->FrameAt(0)->AddChild(t);
    t->SetTextFlags(1);
    CTextStyle big;
    big.size = 600;
    big.color = 0xFF0000C0;
    t->ApplyStyle(big, CTextStyle::kMaskSize | CTextStyle::kMaskColor, 0);
    t->SetText("HO");
    Matrix2x3 m;
    MatrixSetTranslation(m, 200, 400);
    t->Transform(m);
  });
  // The player fills the glyph sets' shapes (outlines at 1024 units, scaled
  // to the run's height); the editor fills the outlines at the text's size.
  // The two roundings move outline pixels only, which the comparison skips.
  Check("rt_text", page, {}, false);

  // Three pixels to the right at 100 %, and another colour.
  ExpectChangeCaught("rt_text", page, {}, 0, [&] {
    Matrix2x3 m;
    MatrixSetTranslation(m, 60, 0);
    t->Transform(m);
  });
  ExpectChangeCaught("rt_text", page, {}, 0, [&] {
    Matrix2x3 m;
    MatrixSetTranslation(m, -60, 0);
    t->Transform(m);
    CTextStyle red;
    red.color = 0xFF0000FF;
    t->ApplyStyle(red, CTextStyle::kMaskColor, 0);
  });
}

TEST_F(RoundTripTest, StyledLinesOfATransformedShape) {
  CDocumentPage* page = AddPage("Page 1", 1);
  Edit(page, [&] {
    CPicShape* shape = MakeSquare(100, 100, 300, 0xFFC0C000);
    AddDashedLine(shape, {50, 450}, {450, 450}, 60, 200, 120);
    Matrix2x3 m;
    MatrixSetScale(m, 3 << 16, 3 << 16);
    shape->SetShapeMatrix(m);
    Layer(page)->FrameAt(0)->AddChild(shape);
  });
  Check("rt_styled", page, {}, false);
}

TEST_F(RoundTripTest, BitmapsWithinJpegError) {
  // A 32 x 32 image of four 16 x 16 quadrants, 40 twips a pixel: each of
  // the JPEG's 16 x 16 blocks (colours subsampled 2 x 2) is one flat colour.
  CDocumentPage* page = AddPage("Page 1", 1);
  auto* bitmap = new CPicBitmap;
  Edit(page, [&] {
    CImageRef& image = bitmap->GetImage();
    ColorTable table;
    table.count = 3;
    table.entries[1] = PackRgb(220, 40, 40);
    table.entries[2] = PackRgb(40, 40, 220);
    ASSERT_TRUE(image.Create(kDib8Bit, 32, 32, &table));
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        image.Bits()[y * image.Stride() + x] = (x < 16) != (y < 16) ? 1 : 2;
    image.bounds = {0, 1280, 0, 1280};
    Layer(page)->FrameAt(0)->AddChild(bitmap);
    Matrix2x3 m;
    MatrixSetTranslation(m, 300, 300);
    bitmap->Transform(m);
  });
  // Flat blocks come back within 8 of each channel at quality 90 (colour
  // conversion and rounding). The decoder's smooth colour upsampling blends
  // one image pixel on either side of a colour edge, so pixels within one
  // image pixel (40 twips) and one screen pixel of an outline are skipped.
  // Most of the stage lies near the image's quadrant edges at 100 %: a
  // third of it is compared.
  const Bound jpeg{8, 0};
  const int32_t margin = 60;
  Check("rt_bitmap", page, jpeg, false, margin, 0.3);

  // Five pixels down at 100 % (past the margin), and the quadrants' colours
  // swapped.
  ExpectChangeCaught("rt_bitmap", page, jpeg, margin, [&] {
    Matrix2x3 m;
    MatrixSetTranslation(m, 0, 100);
    bitmap->Transform(m);
  });
  ExpectChangeCaught("rt_bitmap", page, jpeg, margin, [&] {
    Matrix2x3 m;
    MatrixSetTranslation(m, 0, -100);
    bitmap->Transform(m);
    CImageRef& image = bitmap->GetImage();
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        uint8_t& px = image.Bits()[y * image.Stride() + x];
        px = px == 1 ? 2 : 1;
      }
  });
}

TEST_F(RoundTripTest, ButtonsInEachStateAndSymbols) {
  // A button whose Up, Over and Down frames show squares of three colours
  // (Hit a fourth, never drawn), and a looping two-frame symbol beside it.
  CDocumentPage* knob = AddSymbol("Knob", 4);
  const uint32_t colours[4] = {0xFF0000FF, 0xFF00C000, 0xFFC00000, 0xFF808080};
  Edit(knob, [&] {
    CPicLayer* layer = Layer(knob);
    for (int32_t k = 1; k < 4; ++k) ASSERT_EQ(layer->SplitFrameAt(k, false), 1);
    for (int32_t k = 0; k < 4; ++k)
      layer->FrameAt(k)->AddChild(MakeSquare(0, 0, 600 + 100 * k, colours[k]));
  });
  CDocumentPage* blink = AddSymbol("Blink", 2);
  Edit(blink, [&] {
    CPicLayer* layer = Layer(blink);
    ASSERT_EQ(layer->SplitFrameAt(1, false), 1);
    layer->FrameAt(0)->AddChild(MakeSquare(0, 0, 400, 0xFF00FFFF));
    layer->FrameAt(1)->AddChild(MakeSquare(200, 200, 400, 0xFFFF00FF));
  });
  CDocumentPage* page = AddPage("Page 1", 3);
  auto* button = new CPicButton;
  Edit(page, [&] {
    CPicFrame* key = Layer(page)->FrameAt(0);
    key->AddChild(button);
    button->AttachToSymbol(knob);
    Matrix2x3 m;
    MatrixSetTranslation(m, 200, 300);
    button->Transform(m);
    auto* inst = new CPicSymbol;
    key->AddChild(inst);
    inst->AttachToSymbol(blink);
    MatrixSetTranslation(m, 1200, 1000);
    inst->Transform(m);
  });
  // Every frame in the Up state.
  Check("rt_button", page, {}, false);

  // Over and Down: the editor's button set to the state, the player's
  // button item given the state's bit.
  std::vector<uint8_t> movie = ReadFile(OutputPath("rt_button.vmp"));
  for (int32_t state : {1, 2}) {
    for (int zoom : {1, 4}) {
      CDisplayList list;
      CMovieStream stream;
      stream.SetDisplayList(&list);
      stream.PutData(movie.data(), movie.size());
      ASSERT_EQ(stream.ReadHeader(), 1);
      COffscreenBitmap bitmap;
      const int32_t size = kStage * zoom / 20;
      ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, size, size, false));
      list.SetBitmap(&bitmap);
      list.SetViewTransform(stream.FrameRect(), {0, 0, size, size}, false, kScaleExactFit);
      ASSERT_EQ(stream.GotoFrame(0), kMovieDone);
      DisplayItem* item = nullptr;
      for (DisplayItem* i = list.Items(); i != nullptr; i = i->next)
        if (i->character != nullptr && i->character->type == kCharacterButton) item = i;
      ASSERT_NE(item, nullptr);
      list.SetButtonState(item, static_cast<uint16_t>(1 << state));
      list.Render();
      button->SetState(state);
      Picture editor = DrawEditor(page, 0, zoom);
      button->SetState(CPicButton::kUp);
      Comparison c = Compare(editor, Read(bitmap), {});
      EXPECT_EQ(c.mismatched, 0) << "state " << state << " zoom " << zoom << " " << c.first;
      EXPECT_GT(c.interior, size * size / 2);
    }
  }
}

TEST_F(RoundTripTest, TheComparisonCatchesAWrongFrame) {
  CDocumentPage* page = AddPage("Page 1", 3);
  Edit(page, [&] {
    CPicLayer* layer = Layer(page);
    ASSERT_EQ(layer->SplitFrameAt(1, false), 1);
    ASSERT_EQ(layer->SplitFrameAt(2, false), 1);
    layer->FrameAt(0)->AddChild(MakeSquare(200, 200, 600, 0xFF0000FF));
    layer->FrameAt(1)->AddChild(MakeSquare(260, 200, 600, 0xFF0000FF));  // shifted 3 pixels
    layer->FrameAt(2)->AddChild(MakeSquare(200, 200, 600, 0xFF0000F0));  // another colour
  });
  std::vector<Picture> played = Play(ExportMovie("rt_wrong.vmp"), 1);
  ASSERT_EQ(played.size(), 3u);
  Picture editor = DrawEditor(page, 0, 1);
  EXPECT_EQ(Compare(editor, played[0], {}).mismatched, 0);
  EXPECT_GT(Compare(editor, played[1], {}).mismatched, 0);  // shifted
  EXPECT_GT(Compare(editor, played[2], {}).mismatched, 0);  // wrongly coloured
}

}  // namespace
