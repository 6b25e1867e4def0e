// The handles the view shows for the selection, found under a point, and the
// fill transform a dragged fill handle gives: which handle the cursor is on,
// its cursor and drag, and the fill's new matrix as the handle follows the
// cursor.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"
#include "view/core/view_input.h"

class CRenderContext;
class ViewState;
struct FillStyle;

// A handle under the cursor.
struct HandleHit {
  int32_t mode = 0;                     // the view's handle mode; 0: no handle there
  int handle = -1;                      // modes 1 and 2: the rectangle's handle point 0..8
  FillHandle fill = FillHandle::kMove;  // mode 3
  ViewCursor cursor = ViewCursor::kArrow;
  int32_t kind = kDragMove;  // modes 1 and 2: the transform drag's kind
  Point32 point;             // the handle, document units
  // Modes 1 and 2: the fixed point of the transform; mode 3: the fill's centre.
  Point32 anchor;
};

// The handle of the view's handle mode nearest to p (document units) within
// tolerance in x and y. Fill handles are tried in the order width, size,
// rotate, centre; the first one near enough wins. False when none is.
bool FindHandleAt(ViewState& view, const Point32& p, int32_t tolerance, HandleHit& out);

// A fill matrix dragged by one of its handles. Points are in the space of
// the fill's owner (its shape matrix undone): the handle where the drag
// began, where it is now, and the fill's centre.
//  - move: the fill follows by point - handle;
//  - width: the x scale that puts the width handle under the point;
//  - size: the uniform scale that puts the size handle at the point's
//    distance from the fill's origin;
//  - rotate: the turn of the point about the centre since the handle.
// Scales never go below 16 units of the fill's 0x4000 half side.
Matrix2x3 FillDragMatrix(const Matrix2x3& start, FillHandle kind, const Point32& handle,
                         const Point32& point, const Point32& centre);

// The turn (degrees, 16.16) of a rotate drag about centre from handle to
// point, snapped so that the fill's angle lands on a multiple of 15 degrees
// when the arc to it at the point's radius is shorter than arcLimit. snapped
// tells whether it did.
Fixed FillDragTurn(const Matrix2x3& start, const Point32& handle, const Point32& point,
                   const Point32& centre, bool snap, int32_t arcLimit, bool* snapped);

// start followed by a turn (degrees, 16.16) about centre.
Matrix2x3 FillRotateMatrix(const Matrix2x3& start, Fixed turn, const Point32& centre);

// The frame of a gradient fill with its handles, in fill space placed by
// the fill's matrix and the owner's: an ellipse with the width, size,
// rotate and centre handles (radial), or the two sides with the width,
// rotate and centre handles (linear). bounds: the fill's rectangle in fill
// space.
void DrawFillFrame(CRenderContext& ctx, const Matrix2x3& ownerMatrix, const FillStyle& style,
                   const Rect32& bounds);
