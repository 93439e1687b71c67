// Host time of one period's interrupt service and deferred service of the
// front-end driver, on a simulated machine running at 9600 Hz in blocks of
// 96 with a data-pump thread that answers every block. The two services are
// timed through their AfeInterface entries, so the simulator's own work and
// the data pump's do not count. Reported, never asserted.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "afe/windows/afe_device.h"
#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_state.h"
#include "platform/ke/kernel.h"
#include "platform/machine/machine.h"

namespace {

// Kept in the machine's slots: the wrapped entries and what they measured.
struct Timing {
  ULONG (*service)(afe::AfeContext*) = nullptr;
  ULONG (*deferred)(afe::AfeContext*) = nullptr;
  std::chrono::nanoseconds spent{0};
  std::uint64_t periods = 0;
  afe::AfeEventBlock events{};
  ULONG profile_flags = 0;
  bool stop = false;
};

Timing& TimingOf() { return plat::ke::CurrentKernel().slots().Get<Timing>(); }

template <class Call>
ULONG Timed(Call call) {
  const auto start = std::chrono::steady_clock::now();
  const ULONG result = call();
  TimingOf().spent += std::chrono::steady_clock::now() - start;
  return result;
}

ULONG TimedService(afe::AfeContext* context) {
  const ULONG moved = Timed([&] { return TimingOf().service(context); });
  if (moved != 0) ++TimingOf().periods;
  return moved;
}

ULONG TimedDeferred(afe::AfeContext* context) {
  return Timed([&] { return TimingOf().deferred(context); });
}

void BM_AfeIsrDpcPerPeriod(benchmark::State& state) {
  plat::Simulation sim;
  plat::Machine machine(sim, {.drivers = {{u"vxafe", afe::DriverEntry}}});
  if (machine.Boot() != STATUS_SUCCESS) {
    state.SkipWithError("boot failed");
    return;
  }
  PDEVICE_OBJECT afe_device = machine.drivers().front()->DeviceObject;
  sim.RunUserThread(machine.kernel(), "start", [&] {
    Timing& timing = TimingOf();
    KeInitializeEvent(&timing.events.PerBlockEvent, SynchronizationEvent, FALSE);
    timing.events.ProfileFlags = &timing.profile_flags;
    PKTHREAD thread = nullptr;
    machine.kernel().CreateSystemThread(
        "pump",
        [](PVOID argument) {
          auto* device = static_cast<PDEVICE_OBJECT>(argument);
          Timing& timing = TimingOf();
          afe::AfeEventBlock* lent = &timing.events;
          afe::AfeInterface* afe = nullptr;
          KEVENT done;
          KeInitializeEvent(&done, NotificationEvent, FALSE);
          IO_STATUS_BLOCK status{};
          PIRP irp =
              IoBuildDeviceIoControlRequest(afe::IOCTL_MODEM_START, device, &lent, sizeof lent,
                                            &afe, sizeof afe, FALSE, &done, &status);
          IoCallDriver(device, irp);
          if (!NT_SUCCESS(status.Status) || afe == nullptr) return;
          timing.service = afe->AfeInterruptService;
          timing.deferred = afe->AfeDeferredService;
          afe->AfeInterruptService = TimedService;
          afe->AfeDeferredService = TimedDeferred;
          KIRQL old;
          KeAcquireSpinLock(&afe->Lock, &old);
          afe::PowerUp(*afe->Context);
          KeReleaseSpinLock(&afe->Lock, old);
          afe::AfeContext& context = *afe->Context;
          std::vector<SHORT> block(context.SamplesPerBlock);
          const auto bytes = static_cast<ULONG>(block.size() * sizeof(SHORT));
          while (!timing.stop) {
            KeWaitForSingleObject(&timing.events.PerBlockEvent, Executive, KernelMode, FALSE,
                                  nullptr);
            while (afe::BlockReady(context) == afe::kAfeBlockWaiting) {
              afe->AfeReadBlock(afe->Context, block.data(), bytes);
              afe->AfeWriteBlock(afe->Context, block.data(), bytes);
              context.RxReadCursor = static_cast<std::int8_t>(afe::NextSlot(context.RxReadCursor));
              context.TxWriteCursor =
                  static_cast<std::int8_t>(afe::NextSlot(context.TxWriteCursor));
            }
          }
        },
        afe_device, &thread);
    ObDereferenceObject(thread);
  });
  Timing* timing = machine.kernel().slots().Find<Timing>();
  for (auto _ : state) {
    const auto spent = timing->spent;
    const std::uint64_t periods = timing->periods;
    sim.RunFor(100 * plat::hal::kMillisecond);
    const auto per_period =
        (timing->spent - spent) / std::max<std::uint64_t>(1, timing->periods - periods);
    state.SetIterationTime(std::chrono::duration<double>(per_period).count());
  }
  state.counters["periods"] = static_cast<double>(timing->periods);
  timing->stop = true;
  sim.RunFor(100 * plat::hal::kMillisecond);
  machine.Shutdown();
}
BENCHMARK(BM_AfeIsrDpcPerPeriod)->UseManualTime()->Iterations(200)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
