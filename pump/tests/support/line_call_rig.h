// Calls over a simulated line the rig owns: our machine at side A (vxafe,
// vxdsp and the test controller), a second one at side B on request, each
// run as the controller runs a call (reset, the line taken, command 0x68),
// and what a test reads back from their controllers.
//
//   class MySuite : public pump::testing::LineCallRig {};
//   TEST_F(MySuite, Something) {
//     MakeLine(30, 1);
//     AddSecondMachine();
//     StartCalls({{7, 1}, {7, 0}});
//     ...
//   }
#pragma once

#include <cstdint>
#include <vector>

#include "platform/line/line.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {

// One call's 0x68: the mode, the direction and the handshake selector.
struct CallBytes {
  int mode;
  int direction;  // 1 originate
  int selector = 0;
};

class LineCallRig : public DspRig {
 protected:
  static constexpr int kTransmitLevel = -10;  // dBm0

  // The impaired line both ways at `snr_db` (ImpairedDirection) with our
  // machine at side A; or a line of the test's own.
  plat::line::Line& MakeLine(double snr_db, std::uint64_t seed);
  plat::line::Line& MakeLine(const plat::line::LineConfig& config);
  void AddSecondMachine();

  // Reset and the line taken on every machine, then each one's 0x68 at
  // `kTransmitLevel` (maximum rate code 4); the instant of the first 0x68
  // in microseconds.
  std::uint64_t StartCalls(const std::vector<CallBytes>& calls);

  // The FSK start type machine `m` took (-1: none yet).
  int FskStartOf(std::size_t m);
  // Runs until every machine started an FSK modem or `limit_ms` passed.
  bool RunUntilModems(std::uint64_t limit_ms);

  // Bytes to machine `m`'s transmit mailbox; all it delivered so far.
  void Send(std::size_t m, const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> Received(std::size_t m);
  // The status register of machine `m`.
  std::uint8_t Status(std::size_t m);

  std::vector<plat::ke::Kernel*> kernels_;
};

}  // namespace pump::testing
