// The simulated audio/modem controller: register window, codec with its
// sample clock, the two DMA engines moving one word per sample tick, the
// interrupt line, loopbacks, speaker path and the DAA towards the line.
//
// Time: the model is a plain object driven by the instants it is given.
// AdvanceTo(t) runs every codec event at or before t; a register access at t
// first advances to t, so a write affects ticks after t only. Nothing moves
// the interrupt line between accesses except events the model announces
// through InterruptWiring::NextChangeMoved; the machine schedules exactly
// those instants on its timeline and calls AdvanceTo there. Everything else
// (samples, line output, status that does not interrupt) is computed lazily
// at the next access.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/hal/dma_space.h"
#include "platform/hal/pci_device.h"
#include "platform/sim/codec_clock.h"
#include "platform/sim/codec_paths.h"
#include "platform/sim/controller_knobs.h"
#include "platform/sim/line_side.h"
#include "platform/sim/registers.h"

namespace plat::sim {

class InterruptWiring {
 public:
  virtual ~InterruptWiring() = default;
  // The level-triggered, shareable line changed at `at`.
  virtual void LevelChanged(Instant at, bool asserted) = 0;
  // The next instant at which the line may change without a register access
  // (nullopt: none). Replaces what was announced before.
  virtual void NextChangeMoved(std::optional<Instant> at) = 0;
};

// Sees every codec sample: what the DAC played, the ADC took and the speaker gave.
class CodecTap {
 public:
  virtual ~CodecTap() = default;
  virtual void Sample(Instant at, std::int16_t dac, std::int16_t adc, std::int16_t speaker) = 0;
};

class Controller final : public hal::PciDevice {
 public:
  static constexpr unsigned kPortBar = 0;      // 64 I/O ports, decoded and empty
  static constexpr unsigned kRegisterBar = 1;  // the 4 KiB register window
  static constexpr std::uint32_t kPortBarBytes = 64;
  static constexpr std::uint32_t kRegisterBarBytes = 4096;
  static constexpr std::uint8_t kInterruptLine = 11;

  explicit Controller(hal::DmaSpace& dma, Instant power_on = 0);

  void AttachLine(LineSide* line);
  void SetWiring(InterruptWiring* wiring);
  void SetTap(CodecTap* tap) { tap_ = tap; }
  ControllerKnobs& Knobs() { return knobs_; }

  void AdvanceTo(Instant t);
  bool InterruptAsserted() const { return level_; }
  std::optional<Instant> NextInterruptChange() const;

  std::uint8_t ReadRegister(Instant now, std::uint32_t offset);
  void WriteRegister(Instant now, std::uint32_t offset, std::uint8_t value);
  std::uint32_t ReadBar(Instant now, unsigned bar, std::uint32_t offset, unsigned width) override;
  void WriteBar(Instant now, unsigned bar, std::uint32_t offset, unsigned width,
                std::uint32_t value) override;

  // Knobs that move the interrupt line in time.
  void SetInterruptStorm(Instant now, bool on);      // the line stays asserted
  void StallEngines(Instant now, bool on);           // engines hold still while running
  void InjectStatus(Instant at, std::uint8_t bits);  // spurious status bits set at `at`

  Rate CurrentRate() const { return clock_.rate(); }
  std::uint64_t MasterAborts() const { return master_aborts_; }

 private:
  enum Direction : unsigned { kReceive = 0, kTransmit = 1 };
  struct DmaCache {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::uint8_t* host = nullptr;
    std::uint64_t generation = ~0ull;
  };
  struct Injection {
    Instant at;
    std::uint8_t bits;
  };

  std::uint32_t& Dma(Direction direction, std::uint32_t word) { return dma_[direction * 4 + word]; }
  std::uint32_t Dma(Direction direction, std::uint32_t word) const {
    return dma_[direction * 4 + word];
  }

  void Tick(Instant at);
  std::uint8_t* Resolve(Direction direction);
  void Advance(Direction direction, std::uint8_t wrapped_bit, std::uint8_t period_bit);
  void MasterAbort(Instant at, Direction direction);
  std::int16_t HeardFromLine(Instant at, std::int16_t line_input, bool& is_audio);
  std::int16_t Loopback(unsigned own_delay, bool through_daa);
  std::optional<std::uint64_t> TicksToPeriod(Direction direction) const;

  std::uint8_t RawRead(Instant now, std::uint32_t offset);
  void RawWrite(Instant now, std::uint32_t offset, std::uint8_t value);
  void ResetCodec(Instant now);
  bool PoweredDown() const;
  bool Ready(Instant at) const;
  LineConditions Conditions(Instant at) const;
  std::uint8_t VoltageReading(Instant at) const;

  void UpdateLine(Instant at);
  void ReportNextChange();

  hal::DmaSpace& dma_space_;
  LineSide* line_ = nullptr;
  InterruptWiring* wiring_ = nullptr;
  CodecTap* tap_ = nullptr;
  ControllerKnobs knobs_;

  Instant now_;
  std::array<std::uint8_t, reg::kCount> regs_{};
  std::array<std::uint32_t, 8> dma_{};  // receive base, last, next, current; then transmit
  std::array<DmaCache, 2> dma_cache_{};
  CodecClock clock_;
  std::optional<Instant> rate_apply_at_;
  std::uint8_t pending_rate_code_ = 0;
  std::optional<Instant> reset_done_at_;
  Instant busy_until_ = 0;
  Instant ready_at_ = 0;
  std::vector<Injection> injections_;  // by instant, then order of injection

  std::array<std::int16_t, 256> dac_history_{};
  std::uint8_t history_next_ = 0;
  NoiseSource noise_;
  std::uint64_t noise_seed_ = 0;
  std::uint32_t receive_skip_ = 0;
  bool stalled_ = false;
  bool storm_ = false;
  bool level_ = false;
  std::optional<Instant> announced_;
  std::uint64_t master_aborts_ = 0;
};

}  // namespace plat::sim
