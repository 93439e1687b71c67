// Small helpers for kernel tests: time-out values and sleeps in virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <source_location>
#include <string>
#include <vector>

#include "platform/ke/ke.h"
#include "platform/ke/simulation.h"

namespace plat::ke::testing {

inline constexpr std::uint64_t kMs = 1'000'000;  // ns

// A relative kernel time-out of `ns` nanoseconds.
inline LARGE_INTEGER Relative(std::uint64_t ns) {
  LARGE_INTEGER value;
  value.QuadPart = -static_cast<LONGLONG>(ns / 100);
  return value;
}

// Each passes its caller's location on, so reports name the test's line.
inline void SleepNs(std::uint64_t ns,
                    std::source_location where = std::source_location::current()) {
  LARGE_INTEGER interval = Relative(ns);
  KeDelayExecutionThread(KernelMode, FALSE, &interval, where);
}

inline NTSTATUS WaitNs(PVOID object, std::uint64_t ns,
                       std::source_location where = std::source_location::current()) {
  LARGE_INTEGER timeout = Relative(ns);
  return KeWaitForSingleObject(object, Executive, KernelMode, FALSE, &timeout, where);
}

inline NTSTATUS WaitForever(PVOID object,
                            std::source_location where = std::source_location::current()) {
  return KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr, where);
}

// Runs `body` as the user thread "test" of machine "M" in a fresh simulation.
inline void OnMachine(std::function<void(Kernel&)> body, SimulationOptions options = {}) {
  Simulation sim(options);
  Kernel& machine = sim.AddMachine("M");
  sim.RunUserThread(machine, "test", [&] { body(machine); });
}

// Starts a thread of `priority` that waits for `event`, then notes "name at <ms>".
inline void StartWaiter(Kernel& machine, const std::string& name, KPRIORITY priority, KEVENT& event,
                        std::vector<std::string>& order) {
  machine.CreateUserThread(
      name,
      [&machine, &event, &order, name, priority] {
        KeSetPriorityThread(KeGetCurrentThread(), priority);
        WaitForever(&event);
        order.push_back(name + " at " + std::to_string(machine.Now() / kMs));
      },
      nullptr);
}

}  // namespace plat::ke::testing
