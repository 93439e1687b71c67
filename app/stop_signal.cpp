#include "app/stop_signal.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace vxmodem {
namespace {

// How long a sleep goes without looking for a stop signal.
constexpr std::uint64_t kSliceNs = 20'000'000;

// Set by the signal handler, which may touch nothing else: the program's one
// mutable static, for the one machine vxmodem runs.
volatile std::sig_atomic_t stop_signals = 0;

extern "C" void OnStopSignal(int) {
  if (stop_signals != 0) std::_Exit(130);
  stop_signals = 1;
}

}  // namespace

void CatchStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return stop_signals != 0; }

void StoppableWallClock::SleepUntil(std::uint64_t wall_ns) {
  while (!StopRequested()) {
    const std::uint64_t now = clock_.NowNs();
    if (now >= wall_ns) return;
    const std::uint64_t slice_end = std::min(wall_ns, now + kSliceNs);
    clock_.SleepUntil(slice_end);
    if (clock_.NowNs() < slice_end) return;  // woken: an injection waits
  }
}

}  // namespace vxmodem
