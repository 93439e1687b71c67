#include "platform/sim/controller.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/hal/hex_text.h"

namespace plat::sim {
namespace {

constexpr Instant kResetBusy = 100 * hal::kMicrosecond;
constexpr Instant kResetReady = kResetBusy + 50 * hal::kMicrosecond;
constexpr Instant kRateSettle = 50 * hal::kMicrosecond;
constexpr unsigned kDigitalLoopbackDelay = 2;
constexpr unsigned kAnalogLoopbackDelay = 8;
constexpr unsigned kLongestLoopbackDelay = 255;
constexpr std::int32_t kMillivoltsPerReadingStep = 3300;  // reading = volts * 10 / 33
constexpr std::uint8_t kHighestVoltageReading = 30;
constexpr std::int32_t kSpeakerFullLevel = 127;

std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void StoreLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> 8 * i);
}

bool IsDmaRegister(std::uint32_t offset) {
  return offset >= reg::kDmaFirst && offset < reg::kDmaEnd;
}

}  // namespace

Controller::Controller(hal::DmaSpace& dma, Instant power_on)
    : dma_space_(dma),
      now_(power_on),
      ready_at_(power_on),
      noise_seed_(knobs_.loopback.noise_seed) {
  regs_[50] = 0x01;
  regs_[reg::kCodecStatus] = 0x80;
  regs_[61] = 0x14;
  clock_.Restart(power_on, RateForCode(0));
  noise_ = NoiseSource(noise_seed_);
}

void Controller::AttachLine(LineSide* line) {
  line_ = line;
  if (line_ != nullptr) line_->ClockStarted(clock_.origin(), clock_.rate());
}

void Controller::SetWiring(InterruptWiring* wiring) {
  wiring_ = wiring;
  announced_.reset();
  if (wiring_ != nullptr) {
    wiring_->LevelChanged(now_, level_);
    announced_ = NextInterruptChange();
    wiring_->NextChangeMoved(announced_);
  }
}

void Controller::AdvanceTo(Instant t) {
  for (;;) {
    Instant next = clock_.NextTick();
    if (rate_apply_at_) next = std::min(next, *rate_apply_at_);
    if (reset_done_at_) next = std::min(next, *reset_done_at_);
    if (!injections_.empty()) next = std::min(next, injections_.front().at);
    if (next > t) break;

    if (rate_apply_at_ == next) {
      rate_apply_at_.reset();
      clock_.Restart(next, RateForCode(pending_rate_code_));
      if (line_ != nullptr) line_->ClockStarted(next, clock_.rate());
    }
    if (reset_done_at_ == next) {
      reset_done_at_.reset();
      regs_[reg::kCodecStatus] |= 0x80;
    }
    while (!injections_.empty() && injections_.front().at == next) {
      regs_[reg::kStatus] |= injections_.front().bits & reg::kStatusBits;
      injections_.erase(injections_.begin());
    }
    if (clock_.NextTick() == next) {
      Tick(next);
      clock_.Consume();
    }
    UpdateLine(next);
  }
  now_ = std::max(now_, t);
  ReportNextChange();
}

void Controller::Tick(Instant at) {
  bool running = (regs_[reg::kRun] & reg::kRunEngines) != 0 && !stalled_;
  std::int16_t dac = 0;
  if (running) {
    if (const std::uint8_t* word = Resolve(kTransmit)) {
      dac = static_cast<std::int16_t>(LoadLe32(word) & 0xFFFF);
    } else {
      MasterAbort(at, kTransmit);
      running = false;
    }
  }
  const bool live = Ready(at);
  if (!live) dac = 0;
  dac_history_[history_next_++] = dac;

  const std::int16_t line_input = line_ != nullptr ? line_->Input(at) : 0;
  const bool off_hook = (regs_[reg::kHook] & reg::kOffHook) != 0;
  bool is_audio = false;
  const std::int16_t heard = live ? HeardFromLine(at, line_input, is_audio) : 0;
  const std::uint8_t attenuation = regs_[reg::kLineLevels] >> 4;
  const std::uint8_t gain = regs_[reg::kLineLevels] & 0x0F;

  std::int16_t adc = 0;
  if (live) {
    if (regs_[reg::kDigitalPaths] & reg::kDigitalLoopback) {
      adc = Loopback(kDigitalLoopbackDelay, false);
    } else if (regs_[reg::kCodecPaths] & reg::kAnalogLoopback) {
      adc = Loopback(kAnalogLoopbackDelay, true);
    } else {
      adc = is_audio ? Amplify(heard, gain) : heard;
    }
  }
  const std::int16_t speaker =
      live && (regs_[reg::kCodecPaths] & reg::kSpeakerOn)
          ? Saturate(std::int64_t{heard} * regs_[reg::kSpeakerLevel] / kSpeakerFullLevel)
          : 0;
  if (line_ != nullptr) line_->Output(at, live && off_hook ? Attenuate(dac, attenuation) : 0);
  if (tap_ != nullptr) tap_->Sample(at, dac, adc, speaker);

  if (!running) return;
  Advance(kTransmit, reg::kTxWrapped, reg::kTxPeriod);
  if (receive_skip_ > 0) {
    --receive_skip_;
    return;
  }
  if (std::uint8_t* word = Resolve(kReceive)) {
    StoreLe32(word, static_cast<std::uint32_t>(static_cast<std::int32_t>(adc)));
    Advance(kReceive, reg::kRxWrapped, reg::kRxPeriod);
  } else {
    MasterAbort(at, kReceive);
  }
}

std::uint8_t* Controller::Resolve(Direction direction) {
  const std::uint32_t address = Dma(direction, reg::kCurrentWord);
  DmaCache& cache = dma_cache_[direction];
  if (cache.generation != dma_space_.Generation() || address < cache.low ||
      address > cache.high - 4 || cache.high - cache.low < 4) {
    const hal::CommonBuffer* buffer = dma_space_.BufferAt(address);
    if (buffer == nullptr) return nullptr;
    cache = {buffer->bus_address, buffer->bus_address + buffer->length, buffer->host,
             dma_space_.Generation()};
    if (address > cache.high - 4 || cache.high - cache.low < 4) return nullptr;
  }
  return cache.host + (address - cache.low);
}

void Controller::Advance(Direction direction, std::uint8_t wrapped_bit, std::uint8_t period_bit) {
  std::uint32_t& current = Dma(direction, reg::kCurrentWord);
  if (current == Dma(direction, reg::kLastWord)) {
    current = Dma(direction, reg::kBaseWord);
    regs_[reg::kStatus] |= wrapped_bit;
  } else {
    current += 4;
  }
  if (current == Dma(direction, reg::kNextPeriodWord)) regs_[reg::kStatus] |= period_bit;
}

void Controller::MasterAbort(Instant at, Direction direction) {
  regs_[reg::kDmaControl] |= reg::kDmaErrorLatch;
  regs_[reg::kRun] &= static_cast<std::uint8_t>(~reg::kRunEngines);
  ++master_aborts_;
  if (knobs_.master_abort_expected) return;
  plat::diag::Fatal("sim-master-abort",
                    std::string(direction == kTransmit ? "transmit" : "receive") +
                        " engine reached bus address " +
                        hal::HexText(Dma(direction, reg::kCurrentWord)) +
                        ", outside every common buffer, at " + std::to_string(at) + " ns");
}

std::int16_t Controller::HeardFromLine(Instant at, std::int16_t line_input, bool& is_audio) {
  if (regs_[reg::kHook] & reg::kOffHook) {
    is_audio = true;
    return line_input;
  }
  if (Conditions(at).ringing) return RingSample(at);
  if (regs_[reg::kHook] & reg::kOnHookListen) {
    is_audio = true;
    return line_input;
  }
  return 0;
}

std::int16_t Controller::Loopback(unsigned own_delay, bool through_daa) {
  const LoopbackKnobs& knobs = knobs_.loopback;
  if (knobs.all_zero) return 0;
  const unsigned delay = std::min(knobs.delay.value_or(own_delay), kLongestLoopbackDelay);
  std::int16_t sample = dac_history_[static_cast<std::uint8_t>(history_next_ - 1 - delay)];
  if (through_daa) {
    sample =
        Amplify(Attenuate(sample, regs_[reg::kLineLevels] >> 4), regs_[reg::kLineLevels] & 0x0F);
  }
  if (knobs.gain != 1.0) sample = Saturate(std::llround(sample * knobs.gain));
  if (knobs.noise_amplitude != 0) {
    if (noise_seed_ != knobs.noise_seed) {
      noise_seed_ = knobs.noise_seed;
      noise_ = NoiseSource(noise_seed_);
    }
    sample = Saturate(std::int64_t{sample} + noise_.Next(knobs.noise_amplitude));
  }
  return sample;
}

std::optional<std::uint64_t> Controller::TicksToPeriod(Direction direction) const {
  const std::uint32_t base = Dma(direction, reg::kBaseWord);
  const std::uint32_t last = Dma(direction, reg::kLastWord);
  const std::uint32_t current = Dma(direction, reg::kCurrentWord);
  const std::uint32_t next = Dma(direction, reg::kNextPeriodWord);
  const std::uint64_t skip = direction == kReceive ? receive_skip_ : 0;
  const bool regular = last >= base && (last - base) % 4 == 0 && current >= base &&
                       current <= last && (current - base) % 4 == 0;
  // An engine outside its ring: look again after its next access.
  if (!regular) return skip + 1;
  if (next < base || next > last || (next - base) % 4 != 0) return std::nullopt;
  if (next > current) return skip + (next - current) / 4;
  return skip + (last - current) / 4 + 1 + (next - base) / 4;
}

std::optional<Instant> Controller::NextInterruptChange() const {
  if (storm_ || level_) return std::nullopt;
  std::optional<Instant> earliest;
  auto consider = [&earliest](Instant at) {
    if (!earliest || at < *earliest) earliest = at;
  };
  if (!injections_.empty()) consider(injections_.front().at);
  if ((regs_[reg::kRun] & reg::kRunEngines) && !stalled_) {
    const std::uint8_t enabled = regs_[reg::kInterruptEnable];
    for (auto [direction, bit] :
         {std::pair{kTransmit, reg::kTxPeriod}, {kReceive, reg::kRxPeriod}}) {
      if ((enabled & bit) == 0) continue;
      if (auto ticks = TicksToPeriod(direction)) {
        Instant at = clock_.TickAfterNext(*ticks - 1);
        // A pending rate change moves later ticks: look again once it applied.
        if (rate_apply_at_ && *rate_apply_at_ <= at) at = *rate_apply_at_;
        consider(at);
      }
    }
  }
  return earliest;
}

std::uint8_t Controller::ReadRegister(Instant now, std::uint32_t offset) {
  return static_cast<std::uint8_t>(ReadBar(now, kRegisterBar, offset, 1));
}

void Controller::WriteRegister(Instant now, std::uint32_t offset, std::uint8_t value) {
  WriteBar(now, kRegisterBar, offset, 1, value);
}

std::uint32_t Controller::ReadBar(Instant now, unsigned bar, std::uint32_t offset, unsigned width) {
  if (bar != kRegisterBar) return 0;
  AdvanceTo(now);
  std::uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    const std::uint32_t at = offset + i;
    if (at >= reg::kCount) continue;
    const std::uint8_t byte = static_cast<std::uint8_t>((RawRead(now, at) | knobs_.force_ones[at]) &
                                                        ~knobs_.force_zeros[at]);
    value |= static_cast<std::uint32_t>(byte) << 8 * i;
  }
  return value;
}

void Controller::WriteBar(Instant now, unsigned bar, std::uint32_t offset, unsigned width,
                          std::uint32_t value) {
  if (bar != kRegisterBar) return;
  AdvanceTo(now);
  for (unsigned i = 0; i < width; ++i) {
    if (offset + i < reg::kCount) {
      RawWrite(now, offset + i, static_cast<std::uint8_t>(value >> 8 * i));
    }
  }
  UpdateLine(now);
  ReportNextChange();
}

std::uint8_t Controller::RawRead(Instant now, std::uint32_t offset) {
  if (IsDmaRegister(offset)) {
    const std::uint32_t index = (offset - reg::kDmaFirst) / 4;
    return static_cast<std::uint8_t>(dma_[index] >> 8 * ((offset - reg::kDmaFirst) % 4));
  }
  switch (offset) {
    case reg::kStatus:
      return regs_[offset] & reg::kStatusBits;
    case reg::kBusy:
      return (regs_[offset] & ~reg::kBusyBit) |
             (knobs_.busy_stuck || now < busy_until_ ? reg::kBusyBit : 0);
    case reg::kHook:
      return (regs_[offset] & ~reg::kLoopCurrent) |
             (Conditions(now).loop_current ? reg::kLoopCurrent : 0);
    case reg::kCodecReadings:
      return VoltageReading(now) | (Ready(now) ? reg::kCodecReady : 0);
    case reg::kLineFlags:
      return Conditions(now).ringing ? reg::kReadingInvalid : 0;
    default:
      return regs_[offset];
  }
}

void Controller::RawWrite(Instant now, std::uint32_t offset, std::uint8_t value) {
  if (IsDmaRegister(offset)) {
    const std::uint32_t index = (offset - reg::kDmaFirst) / 4;
    const unsigned shift = 8 * ((offset - reg::kDmaFirst) % 4);
    dma_[index] = (dma_[index] & ~(0xFFu << shift)) | static_cast<std::uint32_t>(value) << shift;
    return;
  }
  const std::uint8_t old = regs_[offset];
  switch (offset) {
    case reg::kDmaControl: {
      const std::uint8_t latch = old & reg::kDmaErrorLatch & ~value;
      regs_[offset] = static_cast<std::uint8_t>((value & ~reg::kDmaErrorLatch) | latch);
      if ((value & ~old) & reg::kDmaRewind) {
        Dma(kReceive, reg::kCurrentWord) = Dma(kReceive, reg::kBaseWord);
        Dma(kTransmit, reg::kCurrentWord) = Dma(kTransmit, reg::kBaseWord);
      }
      return;
    }
    case reg::kRun:
      regs_[offset] = value;
      if ((value & ~old) & reg::kRunEngines) receive_skip_ = knobs_.receive_skew;
      return;
    case reg::kStatus:
      regs_[offset] &= static_cast<std::uint8_t>(~(value & reg::kStatusBits));
      return;
    case reg::kBusy:
      regs_[offset] = value & ~reg::kBusyBit;
      return;
    case reg::kCodecReset:
      regs_[offset] = value;
      if (value & 0x01) ResetCodec(now);
      return;
    case reg::kHook:
      regs_[offset] = value & ~reg::kLoopCurrent;
      if (((old ^ value) & reg::kOffHook) && line_ != nullptr) {
        line_->HookChanged(now, (value & reg::kOffHook) != 0);
      }
      return;
    case reg::kRateCode:
      regs_[offset] = value;
      pending_rate_code_ = value;
      rate_apply_at_ = now + kRateSettle;
      ready_at_ = std::max(ready_at_, now + kRateSettle);
      return;
    case reg::kCodecReadings:
    case reg::kLineFlags:
      return;
    default:
      regs_[offset] = value;
  }
}

void Controller::ResetCodec(Instant now) {
  busy_until_ = now + kResetBusy;
  ready_at_ = std::max(ready_at_, now + kResetReady);
  reset_done_at_ = now + kResetReady;
  regs_[reg::kPowerDownA] &= static_cast<std::uint8_t>(~reg::kPowerDownBit);
  regs_[reg::kPowerDownB] &= static_cast<std::uint8_t>(~reg::kPowerDownBit);
}

bool Controller::PoweredDown() const {
  return ((regs_[reg::kPowerDownA] | regs_[reg::kPowerDownB]) & reg::kPowerDownBit) != 0;
}

bool Controller::Ready(Instant at) const {
  return !knobs_.never_ready && !PoweredDown() && at >= ready_at_;
}

LineConditions Controller::Conditions(Instant at) const {
  return line_ != nullptr ? line_->Conditions(at) : LineConditions{};
}

std::uint8_t Controller::VoltageReading(Instant at) const {
  if ((regs_[reg::kHook] & reg::kOffHook) == 0) return reg::kNoVoltageReading;
  const std::int64_t millivolts = std::abs(std::int64_t{Conditions(at).millivolts});
  const std::int64_t reading =
      (millivolts + kMillivoltsPerReadingStep / 2) / kMillivoltsPerReadingStep;
  return reading > kHighestVoltageReading ? reg::kNoVoltageReading
                                          : static_cast<std::uint8_t>(reading);
}

void Controller::UpdateLine(Instant at) {
  const bool asserted =
      storm_ || (regs_[reg::kStatus] & regs_[reg::kInterruptEnable] & reg::kPeriodBits) != 0;
  if (asserted == level_) return;
  level_ = asserted;
  if (wiring_ != nullptr) wiring_->LevelChanged(at, asserted);
}

void Controller::ReportNextChange() {
  const std::optional<Instant> next = NextInterruptChange();
  if (next == announced_) return;
  announced_ = next;
  if (wiring_ != nullptr) wiring_->NextChangeMoved(next);
}

void Controller::SetInterruptStorm(Instant now, bool on) {
  AdvanceTo(now);
  storm_ = on;
  UpdateLine(now);
  ReportNextChange();
}

void Controller::StallEngines(Instant now, bool on) {
  AdvanceTo(now);
  stalled_ = on;
  ReportNextChange();
}

void Controller::InjectStatus(Instant at, std::uint8_t bits) {
  if (at <= now_) {
    regs_[reg::kStatus] |= bits & reg::kStatusBits;
    UpdateLine(now_);
  } else {
    auto position = std::upper_bound(
        injections_.begin(), injections_.end(), at,
        [](Instant when, const Injection& injection) { return when < injection.at; });
    injections_.insert(position, {at, bits});
  }
  ReportNextChange();
}

}  // namespace plat::sim
