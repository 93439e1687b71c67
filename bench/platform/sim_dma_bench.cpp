// Host time per virtual second of the controller's DMA at 9600 Hz, 96
// samples per period, with a line attached and a minimal ISR that clears the
// status and moves both next-period addresses on: first the model alone,
// driven as the timeline would drive it, then on a simulated machine, where
// the driver reaches it through the HAL calls and the kernel runs the ISR.
#include <benchmark/benchmark.h>

#include <optional>

#include "platform/ex/expool.h"
#include "platform/hal/hal.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/simulation.h"
#include "platform/sim/controller.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/machine_controller.h"

namespace {

using plat::hal::Instant;
namespace reg = plat::sim::reg;

class SilentLine : public plat::sim::LineSide {
 public:
  void HookChanged(Instant, bool) override {}
  void ClockStarted(Instant, plat::sim::Rate) override {}
  plat::sim::LineConditions Conditions(Instant) override { return {true, 16'000, false}; }
  std::int16_t Input(Instant) override { return 0; }
  void Output(Instant, std::int16_t sample) override { benchmark::DoNotOptimize(sample); }
};

class Timeline : public plat::sim::InterruptWiring {
 public:
  void LevelChanged(Instant, bool asserted) override { level = asserted; }
  void NextChangeMoved(std::optional<Instant> at) override { wake = at; }
  bool level = false;
  std::optional<Instant> wake;
};

void BM_SimDmaVirtualSecond(benchmark::State& state) {
  constexpr std::uint32_t kPeriodBytes = 96 * 4;
  constexpr std::uint32_t kSpan = 32 * kPeriodBytes;
  plat::hal::Hal hal;
  plat::sim::Controller controller(hal.Dma());
  plat::sim::PlaceController(hal, controller);
  SilentLine line;
  Timeline timeline;
  controller.AttachLine(&line);
  controller.SetWiring(&timeline);
  auto transmit = hal.AllocateCommonBuffer(0x4500);
  auto receive = hal.AllocateCommonBuffer(0x4500);

  Instant now = 0;
  auto write32 = [&](std::uint32_t r, std::uint32_t v) {
    controller.WriteBar(now, plat::sim::Controller::kRegisterBar, r, 4, v);
  };
  auto read32 = [&](std::uint32_t r) {
    return controller.ReadBar(now, plat::sim::Controller::kRegisterBar, r, 4);
  };
  controller.WriteRegister(now, reg::kRateCode, 5);
  now = 100 * plat::hal::kMicrosecond;
  for (auto [base, buffer] : {std::pair{8u, &*receive}, {24u, &*transmit}}) {
    write32(base, buffer->bus_address);
    write32(base + 4, buffer->bus_address + kSpan - 4);
    write32(base + 8, buffer->bus_address + kPeriodBytes);
    write32(base + 12, buffer->bus_address);
  }
  controller.WriteRegister(now, reg::kStatus, 6);
  controller.WriteRegister(now, reg::kRun, reg::kRunEngines);
  controller.WriteRegister(now, reg::kInterruptEnable, 6);

  std::uint64_t interrupts = 0;
  for (auto _ : state) {
    const Instant until = now + plat::hal::kSecond;
    while (timeline.wake && *timeline.wake <= until) {
      now = *timeline.wake;
      controller.AdvanceTo(now);
      while (timeline.level) {
        const std::uint8_t status = controller.ReadRegister(now, reg::kStatus);
        controller.WriteRegister(now, reg::kStatus, status & 6);
        for (auto [bit, current, base, next] :
             {std::tuple{2u, 36u, 24u, 32u}, std::tuple{4u, 20u, 8u, 16u}}) {
          if ((status & bit) == 0) continue;
          const std::uint32_t offset = read32(current) - read32(base);
          write32(next, read32(base) + (offset + kPeriodBytes) % kSpan);
        }
        ++interrupts;
      }
    }
    now = until;
    controller.AdvanceTo(now);
  }
  state.counters["interrupts_per_virtual_second"] =
      benchmark::Counter(static_cast<double>(interrupts) / static_cast<double>(state.iterations()));
  controller.WriteRegister(now, reg::kRun, 0);
  hal.FreeCommonBuffer(transmit->host, transmit->bus_address, transmit->length);
  hal.FreeCommonBuffer(receive->host, receive->bus_address, receive->length);
}
BENCHMARK(BM_SimDmaVirtualSecond)->Unit(benchmark::kMicrosecond);

// The driver side of the machine benchmark: what its start took and the ISR's count.
struct Driver {
  static constexpr ULONG kPeriodBytes = 96 * 4;
  static constexpr ULONG kSpan = 32 * kPeriodBytes;
  static constexpr ULONG kBufferBytes = 0x4500;

  volatile UCHAR* registers = nullptr;
  ULONG window_length = 0;
  PKINTERRUPT interrupt = nullptr;
  PADAPTER_OBJECT adapter = nullptr;
  PVOID buffers[2] = {};
  PHYSICAL_ADDRESS logical[2] = {};
  KEVENT stop{};
  std::uint64_t interrupts = 0;

  ULONG Read32(ULONG r) {
    return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r));
  }
  void Write32(ULONG r, ULONG v) {
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r), v);
  }

  static BOOLEAN Isr(PKINTERRUPT, PVOID context) {
    auto& d = *static_cast<Driver*>(context);
    const UCHAR status = READ_REGISTER_UCHAR(d.registers + reg::kStatus);
    if ((status & reg::kPeriodBits) == 0) return FALSE;
    WRITE_REGISTER_UCHAR(d.registers + reg::kStatus, status & reg::kPeriodBits);
    for (auto [bit, current, base, next] :
         {std::tuple{reg::kTxPeriod, 36u, 24u, 32u}, std::tuple{reg::kRxPeriod, 20u, 8u, 16u}}) {
      if ((status & bit) == 0) continue;
      const ULONG offset = d.Read32(current) - d.Read32(base);
      d.Write32(next, d.Read32(base) + (offset + kPeriodBytes) % kSpan);
    }
    ++d.interrupts;
    return TRUE;
  }

  // Claims the controller, starts its DMA, waits for the stop, releases everything.
  static void Thread(PVOID context) {
    auto& d = *static_cast<Driver*>(context);
    KeInitializeEvent(&d.stop, NotificationEvent, FALSE);
    PCM_RESOURCE_LIST list = nullptr;
    HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, PCIBus, 0,
                           plat::sim::kControllerLocation.device, &list);
    PHYSICAL_ADDRESS window{};
    ULONG vector = 0;
    KIRQL irql = 0;
    KAFFINITY affinity = 0;
    const CM_PARTIAL_RESOURCE_LIST& partials = list->List[0].PartialResourceList;
    for (ULONG i = 0; i < partials.Count; ++i) {
      const CM_PARTIAL_RESOURCE_DESCRIPTOR& entry = partials.PartialDescriptors[i];
      if (entry.Type == CmResourceTypeMemory) {
        window = entry.u.Memory.Start;
        d.window_length = entry.u.Memory.Length;
      } else if (entry.Type == CmResourceTypeInterrupt) {
        vector = HalGetInterruptVector(PCIBus, 0, entry.u.Interrupt.Level, entry.u.Interrupt.Vector,
                                       &irql, &affinity);
      }
    }
    ExFreePool(list);
    d.registers = static_cast<volatile UCHAR*>(MmMapIoSpace(window, d.window_length, MmNonCached));
    DEVICE_DESCRIPTION description{};
    description.Master = TRUE;
    description.InterfaceType = PCIBus;
    description.MaximumLength = kBufferBytes;
    ULONG map_registers = 0;
    d.adapter = HalGetAdapter(&description, &map_registers);
    for (int i = 0; i < 2; ++i) {
      d.buffers[i] = HalAllocateCommonBuffer(d.adapter, kBufferBytes, &d.logical[i], FALSE);
    }
    IoConnectInterrupt(&d.interrupt, Isr, &d, nullptr, vector, irql, irql, LevelSensitive, TRUE,
                       affinity, FALSE);

    WRITE_REGISTER_UCHAR(d.registers + reg::kRateCode, 5);
    KeStallExecutionProcessor(100);
    for (auto [base, buffer] : {std::pair{8u, 1}, {24u, 0}}) {
      const ULONG start = d.logical[buffer].u.LowPart;
      d.Write32(base, start);
      d.Write32(base + 4, start + kSpan - 4);
      d.Write32(base + 8, start + kPeriodBytes);
      d.Write32(base + 12, start);
    }
    WRITE_REGISTER_UCHAR(d.registers + reg::kStatus, reg::kPeriodBits);
    WRITE_REGISTER_UCHAR(d.registers + reg::kRun, reg::kRunEngines);
    WRITE_REGISTER_UCHAR(d.registers + reg::kInterruptEnable, reg::kPeriodBits);

    KeWaitForSingleObject(&d.stop, Executive, KernelMode, FALSE, nullptr);
    WRITE_REGISTER_UCHAR(d.registers + reg::kRun, 0);
    WRITE_REGISTER_UCHAR(d.registers + reg::kInterruptEnable, 0);
    IoDisconnectInterrupt(d.interrupt);
    MmUnmapIoSpace(const_cast<UCHAR*>(d.registers), d.window_length);
    for (int i = 0; i < 2; ++i) {
      HalFreeCommonBuffer(d.adapter, kBufferBytes, d.logical[i], d.buffers[i], FALSE);
    }
  }
};

void BM_SimDmaVirtualSecondOnMachine(benchmark::State& state) {
  plat::Simulation simulation;
  plat::ke::Kernel& machine = simulation.AddMachine("M");
  SilentLine line;
  plat::sim::InstallController(machine, {.line = &line});
  Driver driver;
  PKTHREAD thread = nullptr;
  machine.CreateSystemThread("driver", Driver::Thread, &driver, &thread);
  simulation.RunFor(plat::hal::kMillisecond);

  for (auto _ : state) simulation.RunFor(plat::hal::kSecond);
  state.counters["interrupts_per_virtual_second"] = benchmark::Counter(
      static_cast<double>(driver.interrupts) / static_cast<double>(state.iterations()));

  machine.ScheduleAt(simulation.Now(), [&] { KeSetEvent(&driver.stop, 0, FALSE); });
  simulation.RunUntil([&] { return thread->Header.SignalState != 0; });
  ObDereferenceObject(thread);
  machine.Shutdown();
}
BENCHMARK(BM_SimDmaVirtualSecondOnMachine)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
