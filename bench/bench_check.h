// Benchmarks measure only work that succeeds: a set-up or step that reports
// failure stops the program instead of timing a half-done job.
#pragma once

#include <cstdio>
#include <cstdlib>

// A negative result (the geometry's and the movie reader's failures).
inline int Must(int result) {
  if (result < 0) {
    std::fprintf(stderr, "benchmark step failed: %d\n", result);
    std::abort();
  }
  return result;
}
// A false result (bitmap creation).
inline void MustBeTrue(bool ok) {
  if (!ok) {
    std::fprintf(stderr, "benchmark step failed\n");
    std::abort();
  }
}
