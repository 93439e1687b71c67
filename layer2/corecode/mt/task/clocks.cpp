#include "layer2/corecode/mt/task/clocks.h"

#include "layer2/corecode/mt/machine_state.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

constexpr LONGLONG kUnitsPerMs = 10'000;  // 100 ns units

struct PortClockState {
  bool started = false;
  LONGLONG origin = 0;  // system time of the first call
};

}  // namespace

std::uint32_t time_ms_now() {
  LARGE_INTEGER ticks;
  KeQueryTickCount(&ticks);
  const std::uint64_t units = static_cast<std::uint64_t>(ticks.QuadPart) * KeQueryTimeIncrement();
  return static_cast<std::uint32_t>(units / kUnitsPerMs);
}

std::uint32_t port_ms_clock() {
  PortClockState& clock = MachineState<PortClockState>();
  LARGE_INTEGER now;
  KeQuerySystemTime(&now);
  if (!clock.started) {
    clock.started = true;
    clock.origin = now.QuadPart;
  }
  return static_cast<std::uint32_t>((now.QuadPart - clock.origin) / kUnitsPerMs);
}

void delay_1ms() { port_sleep_ms(1); }

void port_sleep_ms(std::uint32_t ms) {
  LARGE_INTEGER interval;
  interval.QuadPart = -kUnitsPerMs * (ms == 0 ? 1 : ms);
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

}  // namespace vxctl
