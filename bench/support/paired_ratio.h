// Timing one piece of work against another in the same run: the process's
// CPU time, and the median ratio of ours to theirs over alternating
// batches. Shared by every benchmark that reports a ratio beside a peer
// (FFTW, spandsp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <vector>

namespace vx_bench {

// The process's CPU time in seconds.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Seconds of `times` calls of f.
template <class F>
double TimeOf(F& f, std::int64_t times) {
  const double start = CpuSeconds();
  for (std::int64_t i = 0; i < times; ++i) f();
  return CpuSeconds() - start;
}

// ours / theirs: batches of calls long enough to time (2 ms of ours),
// alternating, five rounds; the median ratio.
template <class Ours, class Theirs>
double PairedRatio(Ours ours, Theirs theirs) {
  std::int64_t times = 1;
  while (TimeOf(ours, times) < 2e-3) times *= 2;
  std::vector<double> ratios;
  for (int round = 0; round < 5; ++round) {
    const double a = TimeOf(ours, times);
    const double b = TimeOf(theirs, times);
    ratios.push_back(a / b);
  }
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 2];
}

}  // namespace vx_bench
