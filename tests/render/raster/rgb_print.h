// Prints colours in test failure messages.
#pragma once

#include <ostream>

#include "render/raster/dib.h"

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << int{c.red} << ", " << int{c.green} << ", " << int{c.blue} << ")";
}
