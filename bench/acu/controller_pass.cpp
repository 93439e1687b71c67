// The controller state machine on a machine with vxafe, vxdsp and vxctl,
// the port open. Reported, never asserted:
//   BM_IdlePass        host time of one acu_run pass in the idle state
//                      (the pass's polls, the dispatch with its DTE-signal
//                      event, the line services' step);
//   BM_ThousandLines   host time of 1,000 "AT" lines typed by a terminal
//                      on COM1 and answered, in virtual time: the machine's
//                      whole work while the lines wait out their delays, so
//                      a real sleep anywhere on the way shows here.
#include <benchmark/benchmark.h>

#include "app/builtin_drivers.h"
#include "controller/acu/acu_controller.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/hal/instant.h"
#include "platform/ke/ke.h"
#include "platform/machine/machine.h"
#include "platform/machine/testing/dte_client.h"

namespace {

class Modem {
 public:
  Modem()
      : machine_(sim_, {.drivers = {vxmodem::kBuiltinDrivers.begin(),
                                    vxmodem::kBuiltinDrivers.end()}}) {}
  ~Modem() {
    if (!machine_.shut_down()) machine_.Shutdown();
  }
  bool Boot() { return machine_.Boot() == STATUS_SUCCESS; }
  // Runs `body` on a controller-priority thread of the machine with the
  // port open (opened by the first call).
  void OnController(const std::function<void()>& body) {
    sim_.RunUserThread(machine_.kernel(), "bench", [&] {
      vxctl::testing::RunThreads({{16, [&] {
                                     if (!open_) {
                                       open_ = vxctl::port_call_open(&vxctl::port_block()) ==
                                               STATUS_SUCCESS;
                                     }
                                     body();
                                   }}});
    });
  }
  // Runs `body` as a terminal on COM1.
  void OnTerminal(const std::function<void(plat::testing::DteClient&)>& body) {
    sim_.RunUserThread(machine_.kernel(), "dte", [&] {
      plat::testing::DteClient dte(u"COM1");
      if (dte.ok()) body(dte);
    });
  }

 private:
  plat::Simulation sim_;
  plat::Machine machine_;
  bool open_ = false;
};

void BM_IdlePass(benchmark::State& state) {
  Modem modem;
  if (!modem.Boot()) {
    state.SkipWithError("the machine did not boot");
    return;
  }
  bool ran = false;
  modem.OnController([&] {
    vxctl::AcuControllerState& acu = vxctl::acu_controller();
    if (acu.running.load() == 0) return;
    // The passes run on this thread for the measurement: it posts their
    // events (the task thread waits for its tick meanwhile).
    void* const task_thread = acu.task_thread.exchange(KeGetCurrentThread());
    for (auto _ : state) vxctl::acu_run();
    acu.task_thread.store(task_thread);
    ran = true;
  });
  if (!ran) state.SkipWithError("the port did not open");
}
BENCHMARK(BM_IdlePass)->Unit(benchmark::kMicrosecond);

void BM_ThousandLines(benchmark::State& state) {
  Modem modem;
  if (!modem.Boot()) {
    state.SkipWithError("the machine did not boot");
    return;
  }
  int answered = 0;
  for (auto _ : state) {
    modem.OnTerminal([&](plat::testing::DteClient& dte) {
      for (int line = 0; line < 1000; ++line) {
        if (dte.Send("AT\r") && dte.Expect("OK\r\n", plat::hal::kSecond)) ++answered;
      }
    });
  }
  state.counters["answered_per_iteration"] =
      static_cast<double>(answered) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ThousandLines)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
