// Host time per virtual second of the controller's DMA at 9600 Hz, 96
// samples per period, with a line attached and a minimal ISR that clears the
// status and moves both next-period addresses on, as the timeline would run it.
#include <benchmark/benchmark.h>

#include <optional>

#include "platform/hal/hal.h"
#include "platform/sim/controller.h"
#include "platform/sim/controller_function.h"

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

}  // namespace

BENCHMARK_MAIN();
