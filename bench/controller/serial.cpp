// The serial port's data path with the real controller: an application's
// WriteFile into the port, the controller's command ring, the stand-in
// command interpreter's echo, and ReadFile back. Reported, never asserted:
//   BM_SerialWriteRead  host time per KiB written and read back.
#include <benchmark/benchmark.h>

#include <string>

#include "app/builtin_drivers.h"
#include "platform/machine/machine.h"
#include "platform/nt/serial.h"
#include "platform/win32/comm.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace {

constexpr DWORD kKiB = 1024;
constexpr int kKiBPerRound = 8;

// Writes `kKiBPerRound` KiB in 1 KiB blocks, each read back whole; false
// when anything failed.
bool Round(HANDLE port) {
  bool ok = true;
  const std::string block(kKiB, 'a');  // no CR: echoed, never answered
  std::string back(kKiB, '\0');
  for (int k = 0; k < kKiBPerRound && ok; ++k) {
    DWORD done = 0;
    ok = WriteFile(port, block.data(), kKiB, &done, nullptr) && done == kKiB;
    for (DWORD read = 0; ok && read < kKiB; read += done) {
      ok = ReadFile(port, back.data() + read, kKiB - read, &done, nullptr) && done != 0;
    }
  }
  return ok;
}

void BM_SerialWriteRead(benchmark::State& state) {
  plat::Simulation sim;
  plat::Machine machine(sim, {.drivers = {vxmodem::kBuiltinDrivers.begin(),
                                          vxmodem::kBuiltinDrivers.end()}});
  if (machine.Boot() != STATUS_SUCCESS) {
    state.SkipWithError("the machine did not boot");
    return;
  }
  // One open for the whole run: the port's handle lives across the
  // application's threads.
  HANDLE port = INVALID_HANDLE_VALUE;
  sim.RunUserThread(machine.kernel(), "open", [&] {
    port = CreateFile(u"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      0, 0);
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 1000, 0, 0};
    if (port != INVALID_HANDLE_VALUE) SetCommTimeouts(port, &timeouts);
  });
  if (port == INVALID_HANDLE_VALUE) {
    state.SkipWithError("the port did not open");
    return;
  }
  for (auto _ : state) {
    bool ok = false;
    sim.RunUserThread(machine.kernel(), "application", [&] { ok = Round(port); });
    if (!ok) {
      state.SkipWithError("the echo did not come back");
      break;
    }
  }
  sim.RunUserThread(machine.kernel(), "close", [&] { CloseHandle(port); });
  state.counters["host_s_per_KiB"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kKiBPerRound),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  machine.Shutdown();
}
BENCHMARK(BM_SerialWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
