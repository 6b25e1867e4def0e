// GEOS (its C API) as an outside oracle for the tests: one context, and the
// geometries made through it freed with it.
#pragma once

#include <geos_c.h>

#include <utility>
#include <vector>

class Geos {
 public:
  using Points = std::vector<std::pair<double, double>>;

  Geos() : ctx_(GEOS_init_r()) {}
  ~Geos() {
    for (GEOSGeometry* g : owned_) GEOSGeom_destroy_r(ctx_, g);
    GEOS_finish_r(ctx_);
  }
  Geos(const Geos&) = delete;
  Geos& operator=(const Geos&) = delete;

  GEOSContextHandle_t ctx() const { return ctx_; }
  // Frees g with the context; returns it.
  GEOSGeometry* Own(GEOSGeometry* g) {
    if (g != nullptr) owned_.push_back(g);
    return g;
  }

  // A new coordinate sequence (owned by the geometry it is given to).
  GEOSCoordSequence* Sequence(const Points& points) {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx_, static_cast<unsigned>(points.size()), 2);
    for (unsigned i = 0; i < points.size(); ++i)
      GEOSCoordSeq_setXY_r(ctx_, seq, i, points[i].first, points[i].second);
    return seq;
  }
  // A line string through the points, not owned (for collections that take
  // their parts).
  GEOSGeometry* NewLineString(const Points& points) {
    return GEOSGeom_createLineString_r(ctx_, Sequence(points));
  }
  GEOSGeometry* LineString(const Points& points) { return Own(NewLineString(points)); }
  // A polygon from a closed ring of points (the first point is repeated).
  GEOSGeometry* Polygon(Points ring) {
    ring.push_back(ring.front());
    GEOSGeometry* shell = GEOSGeom_createLinearRing_r(ctx_, Sequence(ring));
    return Own(GEOSGeom_createPolygon_r(ctx_, shell, nullptr, 0));
  }

  // The coordinates of a point, line string or ring.
  Points Coordinates(const GEOSGeometry* g) const {
    Points out;
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(ctx_, g);
    unsigned n = 0;
    if (seq == nullptr || !GEOSCoordSeq_getSize_r(ctx_, seq, &n)) return out;
    for (unsigned k = 0; k < n; ++k) {
      double x = 0, y = 0;
      GEOSCoordSeq_getXY_r(ctx_, seq, k, &x, &y);
      out.emplace_back(x, y);
    }
    return out;
  }
  // The parts of a collection (the geometry itself when it is none).
  std::vector<const GEOSGeometry*> Parts(const GEOSGeometry* g) const {
    std::vector<const GEOSGeometry*> parts;
    for (int i = 0; i < GEOSGetNumGeometries_r(ctx_, g); ++i)
      parts.push_back(GEOSGetGeometryN_r(ctx_, g, i));
    return parts;
  }
  std::pair<double, double> PointOn(const GEOSGeometry* g) {
    GEOSGeometry* p = Own(GEOSPointOnSurface_r(ctx_, g));
    double x = 0, y = 0;
    GEOSGeomGetX_r(ctx_, p, &x);
    GEOSGeomGetY_r(ctx_, p, &y);
    return {x, y};
  }
  double Area(const GEOSGeometry* g) const {
    double a = 0;
    GEOSArea_r(ctx_, g, &a);
    return a;
  }

 private:
  GEOSContextHandle_t ctx_;
  std::vector<GEOSGeometry*> owned_;
};
