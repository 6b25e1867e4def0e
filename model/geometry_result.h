// The model's answer to a failed geometry operation.
#pragma once

#include "platform/core/exceptions.h"

// Geometry operations report failure by a negative result, and fail only when
// memory runs out: the model raises the memory exception, which the open edit
// transaction reverts and reports.
inline void CheckGeometry(int result) {
  if (result < 0) throw CMemoryException();
}
