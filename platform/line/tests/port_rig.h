// One controller on end A of a line, driven by instants the way a machine
// drives it, with every codec sample recorded: the line's tests reach the
// line through the same registers a driver uses.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/hal/hal.h"
#include "platform/line/front_end_port.h"
#include "platform/line/line.h"
#include "platform/sim/controller.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/registers.h"

namespace plat::line::testing {

namespace reg = sim::reg;

struct CodecSample {
  sim::Instant at;
  std::int16_t dac, adc, speaker;
};

class PortRig : public sim::CodecTap {
 public:
  explicit PortRig(const LineConfig& config = {}) : line(config), port(line, Side::kA) {
    sim::PlaceController(hal, controller);
    controller.AttachLine(&port);
    controller.SetTap(this);
    port.SetController(&controller);
  }

  void Sample(sim::Instant at, std::int16_t dac, std::int16_t adc, std::int16_t speaker) override {
    samples.push_back({at, dac, adc, speaker});
  }

  std::uint8_t Read(sim::Instant at, std::uint32_t r) { return controller.ReadRegister(at, r); }
  void Write(sim::Instant at, std::uint32_t r, std::uint8_t v) {
    controller.WriteRegister(at, r, v);
  }
  // 8000 Hz from 125 us on: codec sample k then sits on line sample k + 1.
  void StartAt8000Hz() { Write(75 * hal::kMicrosecond, reg::kRateCode, 1); }

  hal::Hal hal;
  sim::Controller controller{hal.Dma()};
  Line line;
  FrontEndPort port;
  std::vector<CodecSample> samples;
};

}  // namespace plat::line::testing
