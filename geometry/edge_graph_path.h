// Outlines of regions as paths in twips. Results follow the edge graph's
// convention.
#pragma once

#include "geometry/edge_graph.h"

struct PointList;

// Appends the boundary curves, in twips, to the path (holes not included).
[[nodiscard]] int RegionGetContour(const Region* region, PointList& path);
// Bridges the holes of an outer region with a fill (once, until the region is
// freed or re-parented) and appends the boundary as one path that runs into
// every hole over its bridge, round it and back.
[[nodiscard]] int RegionGetPath(Region* region, PointList& path);
