#include "platform/line/front_end_port.h"

#include <string>

#include "platform/diag/fatal.h"

namespace plat::line {
namespace {

constexpr std::uint8_t kPowerOnRateCode = 0;

std::uint8_t CodeOf(sim::Rate rate) {
  for (const CodecRate& codec : kCodecRates) {
    if (codec.hz_num == rate.numerator && codec.hz_den == rate.denominator) return codec.code;
  }
  diag::Fatal("line-port-rate", "the codec runs at " + std::to_string(rate.numerator) + "/" +
                                    std::to_string(rate.denominator) + " Hz, no codec rate");
}

}  // namespace

FrontEndPort::FrontEndPort(Line& line, Side side)
    : line_(line), side_(side), port_(designs_, kPowerOnRateCode) {
  line_.Attach(side_, *this);
}

void FrontEndPort::HookChanged(sim::Instant at, bool off_hook) {
  line_.SetHook(side_, at, off_hook);
}

void FrontEndPort::ClockStarted(sim::Instant at, sim::Rate rate) {
  const auto instant = static_cast<std::int64_t>(at);
  if (!clock_) {
    // Before its first start the codec was silent: the port's samples up to
    // the start are zeros, whatever grid they fall on.
    port_.SwitchRate(CodeOf(rate), instant);
    FillSilenceTo(port_.rate_start());
  } else {
    // Every tick of the old clock came before `at`; the port takes as many.
    port_.SwitchRate(CodeOf(rate), instant, port_.codec_written());
  }
  clock_ = Clock{at, rate, port_.rate_start()};
}

void FrontEndPort::FillSilenceTo(std::int64_t codec_index) {
  if (port_.codec_written() >= codec_index) return;
  block_.assign(static_cast<std::size_t>(codec_index - port_.codec_written()), 0);
  port_.WriteCodec(block_);
}

sim::Instant FrontEndPort::InstantOfCodecSample(std::int64_t index) const {
  const auto ticks = static_cast<unsigned __int128>(index - clock_->base);
  return clock_->origin + static_cast<sim::Instant>(ticks * clock_->rate.denominator *
                                                    hal::kSecond / clock_->rate.numerator);
}

sim::LineConditions FrontEndPort::Conditions(sim::Instant at) {
  line_.CatchUp(side_, at);
  return line_.Conditions(side_, at);
}

std::int16_t FrontEndPort::Input(sim::Instant) {
  in_tick_ = true;
  // Samples before the first clock start are passed over unheard.
  const std::int64_t skip = clock_ ? clock_->base - port_.codec_read() : 0;
  const std::int64_t end = port_.codec_read() + std::max<std::int64_t>(skip, 0) + 1;
  line_.DeliverUntil(side_, port_.LineSamplesNeeded(end));
  block_.resize(static_cast<std::size_t>(end - port_.codec_read()));
  port_.ReadCodec(block_);
  return block_.back();
}

void FrontEndPort::Output(sim::Instant, std::int16_t sample) {
  port_.WriteCodec({&sample, 1});
  in_tick_ = false;
}

void FrontEndPort::ProduceUntil(std::int64_t count) {
  while (line_.sent(side_) < count) {
    const std::int64_t needed = port_.CodecSamplesNeeded(count);
    if (port_.codec_written() < needed) {
      if (!clock_ || controller_ == nullptr) {
        FillSilenceTo(needed);
        continue;
      }
      if (in_tick_) {
        diag::Fatal("line-causality", "line sample " + std::to_string(count - 1) +
                                          " needs DAC sample " + std::to_string(needed - 1) +
                                          ", which the codec has not played yet");
      }
      const std::int64_t before = port_.codec_written();
      controller_->AdvanceTo(InstantOfCodecSample(needed - 1));
      if (port_.codec_written() == before) {
        diag::Fatal("line-causality",
                    "the codec made no DAC sample up to sample " + std::to_string(needed - 1));
      }
      continue;  // a rate change may have moved the samples still needed
    }
    block_.resize(static_cast<std::size_t>(count - port_.line_read()));
    port_.ReadLine(block_);
    line_.Send(side_, block_);
  }
}

}  // namespace plat::line
