// SIGINT and SIGTERM during a paced run: the first ends the run at the next
// instant, after which the machine shuts down as usual; a second one ends
// the process at once with status 130.
#pragma once

#include <cstdint>

#include "platform/ke/runmode.h"

namespace vxmodem {

void CatchStopSignals();
bool StopRequested();

// The host's monotonic clock, whose sleeps end soon after a stop signal, so
// that a run waiting for its next instant sees the signal.
class StoppableWallClock final : public plat::WallClock {
 public:
  std::uint64_t NowNs() override { return clock_.NowNs(); }
  void SleepUntil(std::uint64_t wall_ns) override;
  void Wake() override { clock_.Wake(); }

 private:
  plat::SteadyWallClock clock_;
};

}  // namespace vxmodem
