// Clocks: system time, tick count, interrupt time and performance counter,
// all derived from the simulation's virtual time. Each read charges the
// machine's clock charge and is a switch point, so a loop that spins on a
// clock ends.
#include "platform/ke/kernel.h"

using plat::ke::CurrentKernel;
using plat::ke::Kernel;

namespace {

constexpr LONGLONG kPerformanceFrequency = 10'000'000;  // 100 ns resolution

// Charges one clock read to the caller and returns virtual time afterwards.
std::uint64_t ReadClock(const char* service) {
  Kernel& kernel = CurrentKernel();
  kernel.Charge(kernel.RequireThread(service), kernel.config().clock_charge_ns);
  return kernel.Now();
}

// Interrupt time in 100 ns units: the tick offset's worth of ticks, then virtual time.
ULONGLONG InterruptTime(const Kernel& kernel, std::uint64_t now) {
  const auto& config = kernel.config();
  return config.tick_offset * config.time_increment + now / 100;
}

}  // namespace

void KeQuerySystemTime(PLARGE_INTEGER CurrentTime) {
  const std::uint64_t now = ReadClock("KeQuerySystemTime");
  CurrentTime->QuadPart = CurrentKernel().config().epoch + static_cast<LONGLONG>(now / 100);
}

void KeQueryTickCount(PLARGE_INTEGER TickCount) {
  const std::uint64_t now = ReadClock("KeQueryTickCount");
  Kernel& kernel = CurrentKernel();
  TickCount->QuadPart =
      static_cast<LONGLONG>(InterruptTime(kernel, now) / kernel.config().time_increment);
}

ULONG KeQueryTimeIncrement() { return CurrentKernel().config().time_increment; }

ULONGLONG KeQueryInterruptTime() {
  const std::uint64_t now = ReadClock("KeQueryInterruptTime");
  return InterruptTime(CurrentKernel(), now);
}

LARGE_INTEGER KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency) {
  const std::uint64_t now = ReadClock("KeQueryPerformanceCounter");
  if (PerformanceFrequency != nullptr) PerformanceFrequency->QuadPart = kPerformanceFrequency;
  LARGE_INTEGER counter;
  counter.QuadPart = static_cast<LONGLONG>(now / 100);
  return counter;
}
