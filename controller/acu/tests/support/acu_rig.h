// Machines for the controller state machine's tests, in two forms.
//
// AcuRig: vxafe, vxdsp and vxctl booted on the virtual clock, and a
// terminal (plat::testing::DteClient) on COM1 on a user thread of the
// machine: what the application types goes through the serial port, the
// controller's task thread runs acu_init and acu_run as it does in use,
// and the controller's per-machine state (acu_controller()) is readable
// from the terminal's thread.
//
//   class AcuExample : public AcuRig {};
//   TEST_F(AcuExample, Answers) {
//     WithTerminal([](plat::testing::DteClient& dte) {
//       dte.Send("AT\r");
//       EXPECT_TRUE(dte.Expect("OK\r\n", kAnswerWithin));
//     });
//   }
//
// AcuPassRig: the controller thread of a fresh machine with the port
// open, a FakeDataPump bound to vxctl's link (which scripts register 54,
// events, connection states, modulation, rates and call-progress codes on
// the virtual clock) and acu_init run once; the test runs the passes
// itself (acu_run) and counts the core's 10 ms ticks (Tick).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/tests/support/fake_data_pump.h"
#include "platform/hal/instant.h"
#include "platform/machine/testing/dte_client.h"

namespace vxctl::testing {

// How long a test waits for an answer of the controller (virtual time).
inline constexpr std::uint64_t kAnswerWithin = 2 * plat::hal::kSecond;
// How long a test listens for anything more (virtual time).
inline constexpr std::uint64_t kQuiet = 300 * plat::hal::kMillisecond;

class AcuRig : public CtlMachineTest {
 protected:
  // Boots the machine, runs `before_open` (when set) on a thread of the
  // machine before the port opens, then `body` on a user thread with COM1
  // open; within a virtual minute.
  void WithTerminal(const std::function<void(plat::testing::DteClient&)>& body,
                    const std::function<void()>& before_open = {});
};

// What arrives within `within_ns` after the text already read, appended
// to the transcript (nothing when nothing arrives).
std::string ReadFor(plat::testing::DteClient& dte, std::uint64_t within_ns);

class AcuPassRig {
 public:
  // Runs `body` as described above; unbinds the data pump afterwards.
  static void Run(const std::function<void(FakeDataPump&)>& body);
};

// The core's 10 ms tick, `count` times (what the timing thread counts for
// the controller in that time).
void Tick(std::uint32_t count = 1);
// Puts `text` into the command ring from the application's side, as the
// port does in command mode.
void TypeIntoPort(const std::string& text);

}  // namespace vxctl::testing
