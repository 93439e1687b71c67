// Machines for the link's tests: a controller thread on a fresh machine
// with a FakeDataPump bound to the link, the controller callback that the
// driver frame will own (its first steps: take the data pump's packet and
// dispatch it), and threads at chosen priorities.
//
//   DspLinkRig rig;
//   rig.Run([&](FakeDataPump& pump) {
//     EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x60, {0})), kDspSent);
//     EXPECT_EQ(pump.Commands().size(), 1u);
//   });
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "layer2/corecode/mt/tests/support/fake_data_pump.h"
#include "platform/ke/ke.h"
#include "platform/ke/kernel.h"
#include "pump/core/host_interface.h"

namespace vxctl::testing {

// The controller callback the rigs hand the data pump, as the driver frame's
// will begin: inside a DspCallbackScope, take the waiting packet and
// dispatch it. Counts its calls, and runs `after_dispatch` (when set) with
// each code it dispatched.
void RigCallback(pump::HostInterface* host);

struct RigCallbackState {
  std::uint32_t calls = 0;
  std::function<void(std::uint8_t code)> after_dispatch;
};

class DspLinkRig {
 public:
  // Runs `body` on a PASSIVE_LEVEL system thread ("controller", priority
  // 16) of a fresh machine, with a FakeDataPump on RigCallback bound to the
  // link; unbinds and frees it afterwards. Fails the test when the body
  // does not return within a virtual hour.
  void Run(const std::function<void(FakeDataPump&)>& body);
};

// Runs `body` on a PASSIVE_LEVEL system thread (priority 16, as the
// controller's threads) of a fresh machine with `config`. Fails the test
// when the body does not return within a virtual hour.
void RunOnController(const std::function<void()>& body,
                     const plat::ke::KernelConfig& config = {});

struct RigThread {
  KPRIORITY priority;
  std::function<void()> body;
};

// On a thread of the machine: runs each body on a system thread of its
// own at its priority, started in order, and waits until all have ended.
void RunThreads(const std::vector<RigThread>& threads);

// On a thread of the machine: sleeps `ms` milliseconds.
void SleepMs(std::uint32_t ms);

}  // namespace vxctl::testing
