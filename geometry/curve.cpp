#include "geometry/curve.h"
