// siglib_bench: runs the benchmarks through the display reporter the command
// line chose, wrapped in the variant report, which it prints after the run.
#include <benchmark/benchmark.h>

#include "bench/siglib/variant_report.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The default display reporter belongs to the benchmark library.
  qvls_bench::VariantReport report(benchmark::CreateDefaultDisplayReporter());
  benchmark::RunSpecifiedBenchmarks(&report);
  report.Print(report.ReportStream());
  benchmark::Shutdown();
  return 0;
}
