// The variant report that siglib_bench prints after its run. It wraps the
// display reporter that the command line chose (console, JSON or CSV), which
// still prints every run as usual, and keeps each benchmark's CPU time: the
// median of the repetitions where there are several (--benchmark_repetitions=5
// is the method), the run itself otherwise.
//
// From the benchmarks named <Family>/<op>/<variant>/<size> it prints, for
// every benchmark at the data pump's sizes, the speed-up of m6, a6 and w7
// over px (time(px) / time(variant)), then the geometric mean per family;
// from the Workload/<model>/<variant>/<samples> benchmarks, per variant, the
// CPU time per 10 ms block and the real-time factor. With the console format
// the report follows the runs on the same stream; with JSON or CSV it goes to
// the error stream, so the machine-readable output stays valid.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace qvls_bench {

class VariantReport : public benchmark::BenchmarkReporter {
 public:
  explicit VariantReport(benchmark::BenchmarkReporter* display) : display_(display) {}

  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

  // Writes the report; the stream the report belongs on is ReportStream().
  void Print(std::ostream& out) const;
  std::ostream& ReportStream() const;

 private:
  struct Times {
    std::vector<double> runs_ns;  // CPU time per iteration of every run
    double median_ns = -1;        // the median aggregate, where there is one
    double Ns() const;
  };

  benchmark::BenchmarkReporter* display_;
  std::map<std::string, Times> times_;
};

}  // namespace qvls_bench
