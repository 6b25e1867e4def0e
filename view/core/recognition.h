// Shape recognition of the drawing assistant: a finished freehand stroke is
// compared with small templates fitted to its bounds, and the template with
// the smallest mean distance below a tolerance replaces it by a clean shape.
//
// Closed strokes may become a rectangle, an ellipse or an isosceles triangle;
// open ones half or quarter ellipse arcs. Templates live in a square from
// -100 to 100 (y up) and are mapped onto the stroke by their matrix.
//
// Tolerances are packed (curve_fit.h) and turned into lengths with
// ScaleAssistantTolerance by the view's pixel size and the smaller side of
// the stroke's bounds.
#pragma once

#include <cstdint>

#include "geometry/curve_fit.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"

struct RecognitionTemplate {
  const int8_t* points = nullptr;  // x, y pairs in the square -100..100
  uint8_t closed = 0;              // 1: the template is a closed loop
  int32_t count = 0;               // points (pairs)
  Matrix2x3 matrix;                // template square onto the stroke
  int32_t error = 0;               // best mean error (TemplateBestMatch)
  int32_t direction = 0;           // +1 forward, -1 backward (TemplateBestMatch)
};

// The eight templates. Closed ones run counter-clockwise (y up).
enum class TemplateShape {
  kRectangle,   // closed, 4 corners
  kEllipse,     // closed, 24 points at 15-degree steps
  kTriangle,    // closed, apex at the top
  kHalfArc,     // open, 19 points: an arch from bottom right over the top to bottom left
  kThreeSides,  // open: right, top and left sides of the square
  kChevron,     // open: bottom right, top centre, bottom left
  kQuarterArc,  // open, 10 points: bottom right to top left around the bottom-left corner
  kCorner,      // open: bottom right, top right, top left
};
RecognitionTemplate MakeTemplate(TemplateShape shape, const Matrix2x3& matrix = {});

// Results of a failed walk. They are larger than any tolerance, so they never win.
constexpr int32_t kMatchFailedDistance = 1000000000;  // a sample too far from its segment
constexpr int32_t kMatchFailedCorner = 1000000001;    // a passed corner too far from the stroke
constexpr int32_t kMatchFailedEndGap = 1000000002;    // the stroke's ends too far apart
constexpr int32_t kMatchFailedRunaway = 1000000003;   // more than twice round the template
constexpr int32_t kMatchFailedTooFewCorners = 1000000004;

struct MatchErrorStats {
  int64_t sum = 0;
  int32_t count = 0;
  int32_t maximum = 0;
  int32_t limit = 0;
};
// Adds one distance; false when the largest distance so far exceeds the limit.
bool MatchErrorAdd(MatchErrorStats& stats, int32_t d);

// Point i of the template through its matrix: the index wraps for a closed
// template (negative ones too) and is clamped to [0, count - 1] for an open one.
Point32 TemplatePoint(const RecognitionTemplate& t, int32_t i);

// Walks the template from point `start` in direction dir (+1 or -1) along the
// samples; the mean distance, or one of the failure results above. `limit`
// bounds every single distance.
int32_t TemplateMatch(const RecognitionTemplate& t, const CPointList& samples, int32_t start,
                      int32_t dir, int32_t limit);

// The better of the two directions: stores the error and the direction in t
// and returns the error (ties go to the backward walk).
int32_t TemplateBestMatch(const CPointList& samples, RecognitionTemplate& t, int32_t limit);

// The samples' bounds moved halfway towards the rectangle their points pull
// inwards (each sample pulls the side of the bounds nearest to it).
void FitRectToPoints(const CPointList& samples, Rect32& out);

// Shape codes of RecognizeClosedShape and PathFromShapeCode.
constexpr int kShapeRectangle = 1;
constexpr int kShapeEllipse = 2;
constexpr int kShapeTriangle = 3;
constexpr int kShapeReversed = 0x10;  // the stroke ran against the template

// 0 when nothing was recognised, else a shape code, with rect the shape's
// rectangle. tol is packed; scale is the view's pixel size.
int RecognizeClosedShape(const CPointList& samples, Rect32& rect, PackedTolerance tol,
                         int32_t scale);

// Clears the path and builds the shape of a code in rect: the rectangle, the
// inscribed ellipse, or the triangle (centre, ymax), (xmin, ymin), (xmax,
// ymin), (centre, ymax); reversed with kShapeReversed. 0, or -1 for an
// unknown shape or when memory runs out.
int PathFromShapeCode(PointList& path, int code, const Rect32& rect);

struct RecognizedArc {
  Point32 start;
  Point32 end;
  int32_t size = 0;       // depth of a half arc: its bounds' extent across the chord
  Fixed orientation = 0;  // 0, 90, 180 or 270 degrees
  Fixed sweep = 0;        // 90 or 180 degrees
  bool reversed = false;  // the stroke ran from end to start
};

// 1 when the open stroke is a half or quarter ellipse arc (arc filled in), else 0.
int RecognizeArc(const CPointList& samples, RecognizedArc& arc, PackedTolerance tol, int32_t scale);

// Clears the path and builds the arc, starting and ending exactly at the arc's
// end points (reversed for a reversed arc). -1 for an unknown sweep or when
// memory runs out.
int PathFromArc(PointList& path, const RecognizedArc& arc);
