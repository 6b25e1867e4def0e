// Whole frames of 1920 x 1080 rendered three ways, side by side: the scan
// converter (path input, 4 x 4 anti-aliasing), Cairo (image surface, default
// anti-aliasing) and Qt's QPainter on a QImage (anti-aliased). The scenes hold
// only what the scan converter draws: opaque colours and padded gradients.
//   a  200 large shapes of 8 quadratic curves     d  the same three with linear
//   b  2,000 medium shapes                            and radial gradients
//   c  20,000 small shapes                        e  2,000 stroked paths
// After the benchmarks a table gives the time per frame of each renderer
// (the fastest repetition with --benchmark_repetitions; add
// --benchmark_enable_random_interleaving on a busy machine), the ratios, and
// how far the scan converter's frame is from Cairo's (mean difference per
// channel, 0..255); the last column is the scan converter without
// anti-aliasing. The process runs on one core (pin it with taskset).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <sched.h>

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "geometry/edge_style.h"
#include "geometry/point_list.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kUnit = 16;  // document units per pixel

struct Stop {
  int position;     // 0..255
  uint32_t colour;  // red in the low byte
};

struct Shape {
  std::vector<Point32> ends;      // document units
  std::vector<Point32> controls;  // one per curve
  bool closed = true;
  uint32_t colour = 0;        // red in the low byte
  int gradient = 0;           // 0 none, 16 linear, 18 radial
  Matrix2x3 gradient_matrix;  // gradient square to document units
  std::vector<Stop> stops;
  int line_width = 0;  // document units; strokes only
};

enum Scene { kLarge, kMedium, kSmall, kLargeGradient, kMediumGradient, kSmallGradient, kStrokes };
const char* const kSceneNames[] = {
    "a/200 large",          "b/2000 medium",          "c/20000 small",
    "d/200 large gradient", "d/2000 medium gradient", "d/20000 small gradient",
    "e/2000 strokes"};

uint32_t RandomColour(std::mt19937& rng) {
  return static_cast<uint32_t>(rng()) & 0xFFFFFF;
}

std::vector<Shape> MakeScene(Scene scene) {
  std::mt19937 rng(1000 + scene);
  std::uniform_real_distribution<double> unit(0, 1);
  int count;
  double radius;  // pixels
  switch (scene) {
    case kLarge:
    case kLargeGradient:
      count = 200;
      radius = 250;
      break;
    case kMedium:
    case kMediumGradient:
    case kStrokes:
      count = 2000;
      radius = 50;
      break;
    default:
      count = 20000;
      radius = 10;
      break;
  }
  const bool gradients =
      scene == kLargeGradient || scene == kMediumGradient || scene == kSmallGradient;
  std::vector<Shape> shapes(count);
  for (int i = 0; i < count; ++i) {
    Shape& s = shapes[i];
    const double cx = unit(rng) * kWidth, cy = unit(rng) * kHeight;
    const double r = radius * (0.5 + unit(rng));
    // Eight curves around the centre: ends at jittered angles, controls
    // between them at radii from 0.3 to 1.3.
    const double turn = unit(rng) * 2 * M_PI;
    for (int k = 0; k < 8; ++k) {
      const double a = turn + (k + 0.3 * unit(rng)) * M_PI / 4;
      const double re = r * (0.5 + 0.5 * unit(rng));
      s.ends.push_back({static_cast<int32_t>(std::lround((cx + re * std::cos(a)) * kUnit)),
                        static_cast<int32_t>(std::lround((cy + re * std::sin(a)) * kUnit))});
      const double ac = turn + (k + 0.5 + 0.3 * unit(rng)) * M_PI / 4;
      const double rc = r * (0.3 + unit(rng));
      s.controls.push_back({static_cast<int32_t>(std::lround((cx + rc * std::cos(ac)) * kUnit)),
                            static_cast<int32_t>(std::lround((cy + rc * std::sin(ac)) * kUnit))});
    }
    s.colour = RandomColour(rng);
    if (scene == kStrokes) {
      s.closed = false;
      s.line_width = static_cast<int>((1 + 4 * unit(rng)) * kUnit);
    }
    if (gradients) {
      s.gradient = i % 2 ? 18 : 16;
      const double scale = r * kUnit / 16384, angle = unit(rng) * 2 * M_PI;
      s.gradient_matrix.a = static_cast<Fixed>(std::lround(scale * std::cos(angle) * 65536));
      s.gradient_matrix.b = static_cast<Fixed>(std::lround(scale * std::sin(angle) * 65536));
      s.gradient_matrix.c = -s.gradient_matrix.b;
      s.gradient_matrix.d = s.gradient_matrix.a;
      s.gradient_matrix.tx = static_cast<int32_t>(std::lround(cx * kUnit));
      s.gradient_matrix.ty = static_cast<int32_t>(std::lround(cy * kUnit));
      s.stops = {{0, RandomColour(rng)}, {128, RandomColour(rng)}, {255, RandomColour(rng)}};
    }
  }
  return shapes;
}

const std::vector<Shape>& SceneShapes(Scene scene) {
  static std::map<Scene, std::vector<Shape>> cache;
  auto it = cache.find(scene);
  if (it == cache.end()) it = cache.emplace(scene, MakeScene(scene)).first;
  return it->second;
}

// Gradient square points in pixels.
void GradientPoint(const Matrix2x3& m, double gx, double gy, double& x, double& y) {
  x = (m.a / 65536.0 * gx + m.c / 65536.0 * gy + m.tx) / kUnit;
  y = (m.b / 65536.0 * gx + m.d / 65536.0 * gy + m.ty) / kUnit;
}

// ---- The scan converter ------------------------------------------------------------

struct ScanRenderer {
  COffscreenBitmap bitmap;
  std::vector<PointList> paths;
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
  const std::vector<Shape>* shapes;
  uint32_t anti_alias;
  // Kept across frames, as the player keeps its converter and the peers
  // their contexts: its pools' memory is then not fresh every frame.
  std::unique_ptr<CScanConverter> cv;

  explicit ScanRenderer(Scene scene, uint32_t aa = 1)
      : shapes(&SceneShapes(scene)), anti_alias(aa) {
    MustBeTrue(bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false));
    cv = std::make_unique<CScanConverter>(&bitmap, nullptr, nullptr, anti_alias);
    paths = std::vector<PointList>(shapes->size());
    for (size_t i = 0; i < shapes->size(); ++i) {
      const Shape& s = (*shapes)[i];
      PointList& p = paths[i];
      Must(PointListAppend(p, s.ends[0], 0));
      const size_t n = s.ends.size();
      for (size_t k = 0; k < n; ++k) {
        if (!s.closed && k + 1 == n) break;
        Must(PointListAppend(p, s.controls[k], 1));
        Must(PointListAppend(p, s.ends[(k + 1) % n], 0));
      }
      FillStyle f;
      f.colour = s.colour | 0xFF000000u;
      if (s.gradient) {
        f.kind = static_cast<uint8_t>(s.gradient);
        f.matrix = s.gradient_matrix;
        f.gradient.count = static_cast<uint8_t>(s.stops.size());
        for (size_t k = 0; k < s.stops.size(); ++k) {
          f.gradient.ratios[k] = static_cast<uint8_t>(s.stops[k].position);
          f.gradient.colours[k] = s.stops[k].colour;
        }
      }
      fills.push_back(f);
      LineStyle l;
      l.colour = s.colour | 0xFF000000u;
      l.width = static_cast<int16_t>(s.line_width);
      lines.push_back(l);
    }
  }

  void Frame() {
    cv->Clear(0xFFFFFF);
    Matrix2x3 m;
    MatrixSetScale(m, static_cast<Fixed>(65536 / kUnit), static_cast<Fixed>(65536 / kUnit));
    cv->SetMatrix(m, nullptr);
    for (size_t i = 0; i < paths.size(); ++i) {
      if ((*shapes)[i].closed) {
        cv->AddPath(paths[i], nullptr, &fills[i], FillRule::kNonZero);
      } else {
        cv->AddPath(paths[i], &lines[i], nullptr, FillRule::kNonZero);
      }
    }
    cv->Render();
    cv->ResetInput();
  }

  uint32_t Pixel(int x, int y) {
    const uint8_t* p = bitmap.Row(y) + 4 * x;
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
};

// The same without anti-aliasing (not compared with the peers).
struct ScanPlainRenderer : ScanRenderer {
  explicit ScanPlainRenderer(Scene scene) : ScanRenderer(scene, 0) {}
};

// ---- Cairo ------------------------------------------------------------------------------

struct CairoRenderer {
  cairo_surface_t* surface;
  cairo_t* cr;
  const std::vector<Shape>* shapes;
  std::vector<cairo_pattern_t*> patterns;

  explicit CairoRenderer(Scene scene) : shapes(&SceneShapes(scene)) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cr = cairo_create(surface);
    for (const Shape& s : *shapes) {
      cairo_pattern_t* p;
      if (s.gradient == 16) {
        double x0, y0, x1, y1;
        GradientPoint(s.gradient_matrix, -16384, 0, x0, y0);
        GradientPoint(s.gradient_matrix, 16384, 0, x1, y1);
        p = cairo_pattern_create_linear(x0, y0, x1, y1);
      } else if (s.gradient == 18) {
        double x0, y0, x1, y1;
        GradientPoint(s.gradient_matrix, 0, 0, x0, y0);
        GradientPoint(s.gradient_matrix, 16384, 0, x1, y1);
        p = cairo_pattern_create_radial(x0, y0, 0, x0, y0, std::hypot(x1 - x0, y1 - y0));
      } else {
        p = cairo_pattern_create_rgb((s.colour & 0xFF) / 255.0, (s.colour >> 8 & 0xFF) / 255.0,
                                     (s.colour >> 16 & 0xFF) / 255.0);
      }
      for (const Stop& st : s.stops)
        cairo_pattern_add_color_stop_rgb(p, st.position / 256.0, (st.colour & 0xFF) / 255.0,
                                         (st.colour >> 8 & 0xFF) / 255.0,
                                         (st.colour >> 16 & 0xFF) / 255.0);
      if (s.gradient) cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
      patterns.push_back(p);
    }
  }
  ~CairoRenderer() {
    for (cairo_pattern_t* p : patterns) cairo_pattern_destroy(p);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }

  void Frame() {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (size_t i = 0; i < shapes->size(); ++i) {
      const Shape& s = (*shapes)[i];
      const size_t n = s.ends.size();
      cairo_move_to(cr, s.ends[0].x / kUnit, s.ends[0].y / kUnit);
      for (size_t k = 0; k < n; ++k) {
        if (!s.closed && k + 1 == n) break;
        const Point32 a = s.ends[k], c = s.controls[k], b = s.ends[(k + 1) % n];
        cairo_curve_to(cr, (a.x + 2.0 * (c.x - a.x) / 3) / kUnit,
                       (a.y + 2.0 * (c.y - a.y) / 3) / kUnit, (b.x + 2.0 * (c.x - b.x) / 3) / kUnit,
                       (b.y + 2.0 * (c.y - b.y) / 3) / kUnit, b.x / kUnit, b.y / kUnit);
      }
      cairo_set_source(cr, patterns[i]);
      if (s.closed) {
        cairo_close_path(cr);
        cairo_fill(cr);
      } else {
        cairo_set_line_width(cr, s.line_width / kUnit);
        cairo_stroke(cr);
      }
    }
    cairo_surface_flush(surface);
  }

  uint32_t Pixel(int x, int y) {
    const uint8_t* data = cairo_image_surface_get_data(surface);
    uint32_t v;
    std::memcpy(&v, data + y * cairo_image_surface_get_stride(surface) + 4 * x, 4);
    return v & 0xFFFFFF;
  }
};

// ---- Qt -------------------------------------------------------------------------------------

QColor ToQColor(uint32_t c) {
  return QColor(c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
}

struct QtRenderer {
  QImage image{kWidth, kHeight, QImage::Format_RGB32};
  const std::vector<Shape>* shapes;
  std::vector<QPainterPath> paths;
  std::vector<QBrush> brushes;

  explicit QtRenderer(Scene scene) : shapes(&SceneShapes(scene)) {
    for (const Shape& s : *shapes) {
      QPainterPath p;
      p.setFillRule(Qt::WindingFill);
      p.moveTo(s.ends[0].x / kUnit, s.ends[0].y / kUnit);
      const size_t n = s.ends.size();
      for (size_t k = 0; k < n; ++k) {
        if (!s.closed && k + 1 == n) break;
        const Point32 c = s.controls[k], b = s.ends[(k + 1) % n];
        p.quadTo(c.x / kUnit, c.y / kUnit, b.x / kUnit, b.y / kUnit);
      }
      if (s.closed) p.closeSubpath();
      paths.push_back(p);
      if (s.gradient) {
        QGradientStops stops;
        for (const Stop& st : s.stops) stops.append({st.position / 256.0, ToQColor(st.colour)});
        double x0, y0, x1, y1;
        if (s.gradient == 16) {
          GradientPoint(s.gradient_matrix, -16384, 0, x0, y0);
          GradientPoint(s.gradient_matrix, 16384, 0, x1, y1);
          QLinearGradient g(x0, y0, x1, y1);
          g.setStops(stops);
          brushes.emplace_back(g);
        } else {
          GradientPoint(s.gradient_matrix, 0, 0, x0, y0);
          GradientPoint(s.gradient_matrix, 16384, 0, x1, y1);
          QRadialGradient g(x0, y0, std::hypot(x1 - x0, y1 - y0));
          g.setStops(stops);
          brushes.emplace_back(g);
        }
      } else {
        brushes.emplace_back(ToQColor(s.colour));
      }
    }
  }

  void Frame() {
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (size_t i = 0; i < shapes->size(); ++i) {
      const Shape& s = (*shapes)[i];
      if (s.closed) {
        painter.fillPath(paths[i], brushes[i]);
      } else {
        painter.strokePath(paths[i], QPen(brushes[i], s.line_width / kUnit, Qt::SolidLine,
                                          Qt::RoundCap, Qt::RoundJoin));
      }
    }
  }
};

// ---- Benchmarks and the table -------------------------------------------------------------

template <class Renderer>
void BM_Frame(benchmark::State& state) {
  Renderer renderer(static_cast<Scene>(state.range(0)));
  for (auto _ : state) {
    renderer.Frame();
    benchmark::ClobberMemory();
  }
}

void Scenes(benchmark::internal::Benchmark* b) {
  b->ArgName("scene");
  for (int scene = kLarge; scene <= kStrokes; ++scene) b->Arg(scene);
  b->Unit(benchmark::kMillisecond);
  b->UseRealTime();  // Qt hands some fills to worker threads, which share the one core
}

BENCHMARK_TEMPLATE(BM_Frame, ScanRenderer)->Name("Scan")->Apply(Scenes);
BENCHMARK_TEMPLATE(BM_Frame, ScanPlainRenderer)->Name("ScanPlain")->Apply(Scenes);
BENCHMARK_TEMPLATE(BM_Frame, CairoRenderer)->Name("Cairo")->Apply(Scenes);
BENCHMARK_TEMPLATE(BM_Frame, QtRenderer)->Name("Qt")->Apply(Scenes);

double MeanDifference(Scene scene) {
  ScanRenderer ours(scene);
  CairoRenderer cairo(scene);
  ours.Frame();
  cairo.Frame();
  double sum = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t a = ours.Pixel(x, y), b = cairo.Pixel(x, y);
      for (int shift = 0; shift < 24; shift += 8)
        sum += std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF));
    }
  return sum / (3.0 * kWidth * kHeight);
}

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);

  std::printf("\n%-26s %9s %9s %9s %11s %9s %12s %9s\n", "scene (ms per frame)", "scan", "cairo",
              "qt", "cairo/scan", "qt/scan", "diff vs cairo", "plain");
  for (int scene = kLarge; scene <= kStrokes; ++scene) {
    const std::string key = "/scene:" + std::to_string(scene);
    const double scan = reporter.Ms("Scan" + key);
    if (scan == 0) continue;
    const double cairo = reporter.Ms("Cairo" + key);
    const double qt = reporter.Ms("Qt" + key);
    const double plain = reporter.Ms("ScanPlain" + key);
    std::printf("%-26s %9.2f %9.2f %9.2f %11.2f %9.2f %12.2f %9.2f\n", kSceneNames[scene], scan,
                cairo, qt, cairo / scan, qt / scan, MeanDifference(static_cast<Scene>(scene)),
                plain);
  }
  return 0;
}
