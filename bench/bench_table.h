// Benchmarks that print a table of their figures after the run: each
// benchmark's fastest time, measured on one core.
#pragma once

#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Keeps the fastest real time of every benchmark: other load on the machine
// only ever adds time.
class BestTimeReporter : public benchmark::ConsoleReporter {
 public:
  // "Name" or "Name/args" (e.g. "Scan/scene:3") -> milliseconds per iteration.
  std::map<std::string, double> ms;

  // The time of a benchmark, or 0 when it did not run.
  double Ms(const std::string& key) const {
    auto it = ms.find(key);
    return it == ms.end() ? 0.0 : it->second;
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        std::string key = r.run_name.function_name;
        if (!r.run_name.args.empty()) key += "/" + r.run_name.args;
        const double t = r.GetAdjustedRealTime();
        ms[key] = ms.count(key) ? std::min(ms[key], t) : t;
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Runs the benchmarks the command line names on the core the program starts
// on: the renderers run no threads of their own, and none may borrow another
// core.
inline void RunOnOneCore(int argc, char** argv, BestTimeReporter& reporter) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  sched_setaffinity(0, sizeof one, &one);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
