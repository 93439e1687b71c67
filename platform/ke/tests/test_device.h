// A device for kernel tests: asserts a level interrupt line at exact
// instants (once, or every period) until its ISR clears it.
#pragma once

#include <cstdint>

#include "platform/ke/kernel.h"

namespace plat::ke::testing {

class TestDevice {
 public:
  TestDevice(Kernel& machine, ULONG vector, KIRQL level)
      : machine_(machine), vector_(vector), level_(level) {}

  // Raises the line at `first`, then every `period_ns` (0: once).
  void Start(std::uint64_t first, std::uint64_t period_ns = 0) {
    period_ns_ = period_ns;
    machine_.ScheduleAt(
        first, [this] { Raise(); }, "test device");
  }
  // What the ISR's register write does.
  void Clear() { machine_.SetInterruptLine(vector_, level_, false); }
  // Stops raising the line (a device switched off).
  void Stop() {
    stopped_ = true;
    Clear();
  }
  void Raise() {
    if (stopped_) return;
    ++raised_;
    machine_.SetInterruptLine(vector_, level_, true);
    if (period_ns_ != 0)
      machine_.ScheduleAt(
          machine_.Now() + period_ns_, [this] { Raise(); }, "test device");
  }
  int raised() const { return raised_; }
  ULONG vector() const { return vector_; }
  KIRQL level() const { return level_; }

 private:
  Kernel& machine_;
  ULONG vector_;
  KIRQL level_;
  std::uint64_t period_ns_ = 0;
  int raised_ = 0;
  bool stopped_ = false;
};

// Connects `isr` to the device's vector at its level.
inline PKINTERRUPT Connect(TestDevice& device, PKSERVICE_ROUTINE isr, PVOID context,
                           BOOLEAN shared = FALSE) {
  PKINTERRUPT interrupt = nullptr;
  const NTSTATUS status =
      IoConnectInterrupt(&interrupt, isr, context, nullptr, device.vector(), device.level(),
                         device.level(), LevelSensitive, shared, 1, FALSE);
  return NT_SUCCESS(status) ? interrupt : nullptr;
}

}  // namespace plat::ke::testing
