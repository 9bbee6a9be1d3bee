// What the benchmark programs here share: a default run length of their own unless the command
// line gives one, and a run that reports through a reporter of their own.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

struct RunLength {
  bool repetitionsGiven = false;
  bool minTimeGiven = false;
};

// Which run-length options the command line sets; those are left to the library.
inline RunLength runLengthGiven(int argc, char** argv) {
  RunLength given;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--benchmark_repetitions", 0) == 0) given.repetitionsGiven = true;
    if (argument.rfind("--benchmark_min_time", 0) == 0) given.minTimeGiven = true;
  }
  return given;
}

// Medians in microseconds over `repetitions` runs of at least `minTime` seconds each, unless
// the command line says otherwise.
inline void useRunLength(benchmark::internal::Benchmark* registered, const RunLength& given,
                         double minTime, int repetitions) {
  registered->Unit(benchmark::kMicrosecond)->ReportAggregatesOnly(true);
  if (!given.minTimeGiven) registered->MinTime(minTime);
  if (!given.repetitionsGiven) registered->Repetitions(repetitions);
}

inline int runBenchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
