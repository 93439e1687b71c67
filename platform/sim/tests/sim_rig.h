// A machine in miniature for the controller's tests: the HAL with the
// controller on its bus, a stub line, and a timeline that fires exactly the
// instants the controller announces and runs a test ISR while the line is
// asserted, as the kernel will.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/hal/hal.h"
#include "platform/sim/controller.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/stub_line.h"

namespace plat::sim::testing {

struct TapSample {
  Instant at;
  std::int16_t dac, adc, speaker;
  friend bool operator==(const TapSample&, const TapSample&) = default;
};

class SimRig : public InterruptWiring, public CodecTap {
 public:
  SimRig() {
    PlaceController(hal, controller);
    controller.AttachLine(&line);
    controller.SetWiring(this);
    controller.SetTap(this);
  }

  hal::Hal hal;
  Controller controller{hal.Dma()};
  StubLine line;
  Instant now = 0;
  std::optional<Instant> wake;
  bool level = false;
  std::vector<std::pair<Instant, bool>> level_log;
  std::vector<TapSample> tap;
  bool record_tap = true;
  int unannounced_assertions = 0;
  // Runs while the line is asserted; returns whether it handled the interrupt.
  std::function<bool()> isr;
  int isr_calls = 0;
  int isr_unhandled = 0;

  void LevelChanged(Instant at, bool asserted) override {
    level = asserted;
    level_log.emplace_back(at, asserted);
    if (asserted && at != now) ++unannounced_assertions;
  }
  void NextChangeMoved(std::optional<Instant> at) override { wake = at; }
  void Sample(Instant at, std::int16_t dac, std::int16_t adc, std::int16_t speaker) override {
    if (record_tap) tap.push_back({at, dac, adc, speaker});
  }

  std::uint8_t Read(std::uint32_t r) { return controller.ReadRegister(now, r); }
  void Write(std::uint32_t r, std::uint8_t v) { controller.WriteRegister(now, r, v); }
  std::uint32_t Read32(std::uint32_t r) {
    return controller.ReadBar(now, Controller::kRegisterBar, r, 4);
  }
  void Write32(std::uint32_t r, std::uint32_t v) {
    controller.WriteBar(now, Controller::kRegisterBar, r, 4, v);
  }
  void Set(std::uint32_t r, std::uint8_t bits) { Write(r, Read(r) | bits); }
  void Clear(std::uint32_t r, std::uint8_t bits) {
    Write(r, static_cast<std::uint8_t>(Read(r) & ~bits));
  }

  // The timeline up to `until`: announced instants fire in order; the ISR
  // runs at the instant the line asserts, as often as it stays asserted
  // (bounded, so a storm ends the run).
  void RunUntil(Instant until) {
    int calls_while_asserted = 0;
    for (;;) {
      if (level && isr && calls_while_asserted < 1000) {
        ++calls_while_asserted;
        ++isr_calls;
        if (!isr()) ++isr_unhandled;
        continue;
      }
      calls_while_asserted = 0;
      if (!wake || *wake > until) break;
      now = *wake;
      controller.AdvanceTo(now);
    }
    now = until;
    controller.AdvanceTo(now);
  }
  void Stall(Instant duration) { RunUntil(now + duration); }
};

}  // namespace plat::sim::testing
