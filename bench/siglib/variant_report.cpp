#include "bench/siglib/variant_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string_view>

namespace qvls_bench {
namespace {

constexpr const char* kVariants[] = {"px", "m6", "a6", "w7"};
constexpr int kVariantCount = 4;

// The data pump works on blocks of up to 2048 elements (bytes for the memory
// family); larger sizes measure caches and memory bandwidth instead and stay
// out of the report.
constexpr std::int64_t kLargestPumpSize = 2048;

// The families of the report, in its order.
constexpr const char* kFamilies[] = {"memory",
                                     "conversions",
                                     "arithmetic",
                                     "reductions and search",
                                     "square root and division",
                                     "phase and windows",
                                     "G.711 and resampling",
                                     "FIR",
                                     "LMS",
                                     "trellis",
                                     "transforms"};

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The report family of a benchmark, or "" for one outside the report (the
// frame's dispatch cost, the workload models).
std::string_view FamilyOf(std::string_view family, std::string_view op) {
  if (family == "Memory") return "memory";
  if (family == "Convert") return "conversions";
  if (family == "Arith") return "arithmetic";
  if (family == "Dot" || family == "Reduce" || family == "Search") return "reductions and search";
  if (family == "Math") {
    if (StartsWith(op, "Sqrt") || StartsWith(op, "DivConst")) return "square root and division";
    return "phase and windows";
  }
  if (family == "G711" || family == "Resample") return "G.711 and resampling";
  if (family == "Fir") return "FIR";
  if (family == "Lms") return "LMS";
  if (family == "Trellis") return "trellis";
  if (family == "Fft16" || family == "FloatFft" || family == "Dft") return "transforms";
  return "";
}

struct Name {
  std::string family, op, variant, size;
};

bool Split(const std::string& full, Name& name) {
  std::vector<std::string> parts;
  std::stringstream in(full);
  for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
  if (parts.size() != 4) return false;
  name = {parts[0], parts[1], parts[2], parts[3]};
  return true;
}

int ColumnOf(const std::string& tag) {
  for (int c = 0; c < kVariantCount; ++c) {
    if (tag == kVariants[c]) return c;
  }
  return -1;
}

double ToNs(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond:
      return value;
    case benchmark::kMicrosecond:
      return value * 1e3;
    case benchmark::kMillisecond:
      return value * 1e6;
    case benchmark::kSecond:
      return value * 1e9;
  }
  return value;
}

// One benchmark of a family at one size, with its time in each variant
// (negative where the variant has no such benchmark).
struct Row {
  std::string family, op, size;
  double ns[kVariantCount] = {-1, -1, -1, -1};
};

std::string Fixed(double value, int decimals) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << value;
  return s.str();
}

}  // namespace

double VariantReport::Times::Ns() const {
  if (median_ns >= 0) return median_ns;
  std::vector<double> sorted = runs_ns;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

bool VariantReport::ReportContext(const Context& context) {
  return display_->ReportContext(context);
}

void VariantReport::ReportRuns(const std::vector<Run>& runs) {
  display_->ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    Times& times = times_[run.run_name.function_name];
    const double ns = ToNs(run.GetAdjustedCPUTime(), run.time_unit);
    if (run.run_type == Run::RT_Iteration) {
      times.runs_ns.push_back(ns);
    } else if (run.aggregate_name == "median") {
      times.median_ns = ns;
    }
  }
}

void VariantReport::Finalize() { display_->Finalize(); }

std::ostream& VariantReport::ReportStream() const {
  return dynamic_cast<benchmark::ConsoleReporter*>(display_) != nullptr
             ? display_->GetOutputStream()
             : std::cerr;
}

void VariantReport::Print(std::ostream& out) const {
  std::map<std::string, Row> rows;  // by family/op/size, in name order
  std::map<std::string, Row> workloads;
  int left_out = 0;
  for (const auto& [full, times] : times_) {
    Name name;
    if (!Split(full, name) || (times.runs_ns.empty() && times.median_ns < 0)) continue;
    const int column = ColumnOf(name.variant);
    if (column < 0) continue;
    std::map<std::string, Row>* table = &rows;
    std::string family(FamilyOf(name.family, name.op));
    if (name.family == "Workload") {
      table = &workloads;
      family = "Workload";
    } else if (family.empty()) {
      continue;
    } else if (std::stoll(name.size) > kLargestPumpSize) {
      left_out += column == 0;
      continue;
    }
    Row& row = (*table)[name.family + "/" + name.op + "/" + name.size];
    row.family = family;
    row.op = name.family + "/" + name.op;
    row.size = name.size;
    row.ns[column] = times.Ns();
  }

  out << "\nVariant report: CPU time of px, speed-up time(px) / time(variant)\n\n";
  out << std::left << std::setw(48) << "benchmark" << std::right << std::setw(12) << "px ns"
      << std::setw(8) << "m6" << std::setw(8) << "a6" << std::setw(8) << "w7"
      << "\n";
  struct Mean {
    double log_sum[kVariantCount] = {};
    int count[kVariantCount] = {};
  };
  std::map<std::string, Mean> means;
  for (const auto& [key, row] : rows) {
    if (row.ns[0] <= 0) continue;
    out << std::left << std::setw(48) << (row.op + "/" + row.size) << std::right << std::setw(12)
        << Fixed(row.ns[0], 1);
    Mean& mean = means[row.family];
    for (int c = 1; c < kVariantCount; ++c) {
      if (row.ns[c] <= 0) {
        out << std::setw(8) << "-";
        continue;
      }
      const double speedup = row.ns[0] / row.ns[c];
      out << std::setw(8) << Fixed(speedup, 2);
      mean.log_sum[c] += std::log(speedup);
      ++mean.count[c];
    }
    out << "\n";
  }
  if (left_out > 0) {
    out << "(" << left_out << " benchmarks above " << kLargestPumpSize
        << " elements are not the data pump's sizes and are left out)\n";
  }

  out << "\nGeometric mean of the speed-up over px per family\n\n";
  out << std::left << std::setw(28) << "family" << std::right << std::setw(8) << "m6"
      << std::setw(8) << "a6" << std::setw(8) << "w7" << std::setw(12) << "benchmarks"
      << "\n";
  for (const char* family : kFamilies) {
    const auto it = means.find(family);
    if (it == means.end()) continue;
    const Mean& mean = it->second;
    out << std::left << std::setw(28) << family << std::right;
    for (int c = 1; c < kVariantCount; ++c) {
      out << std::setw(8)
          << (mean.count[c] > 0 ? Fixed(std::exp(mean.log_sum[c] / mean.count[c]), 2) : "-");
    }
    out << std::setw(12) << mean.count[1] << "\n";
  }

  if (!workloads.empty()) {
    out << "\nWorkload models: CPU time per 10 ms block and real-time factor (10 ms / CPU "
           "time)\n\n";
    out << std::left << std::setw(28) << "model" << std::setw(10) << "variant" << std::right
        << std::setw(16) << "us per block" << std::setw(20) << "real-time factor"
        << "\n";
    for (const auto& [key, row] : workloads) {
      for (int c = 0; c < kVariantCount; ++c) {
        if (row.ns[c] <= 0) continue;
        const double us = row.ns[c] / 1e3;
        out << std::left << std::setw(28) << row.op.substr(row.op.find('/') + 1) << std::setw(10)
            << kVariants[c] << std::right << std::setw(16) << Fixed(us, 1) << std::setw(20)
            << Fixed(10000.0 / us, 1) << "\n";
      }
    }
  }
  out.flush();
}

}  // namespace qvls_bench
