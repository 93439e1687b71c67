#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

#include <gtest/gtest.h>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "platform/ke/simulation.h"

namespace vxctl::testing {
namespace {

constexpr std::uint64_t kHour = 3'600'000'000'000ULL;

void RunRigThread(PVOID context) {
  const auto& thread = *static_cast<const RigThread*>(context);
  KeSetPriorityThread(KeGetCurrentThread(), thread.priority);
  thread.body();
}

}  // namespace

void RigCallback(pump::HostInterface*) {
  RigCallbackState& state = MachineState<RigCallbackState>();
  ++state.calls;
  DspCallbackScope scope;
  const std::uint8_t code = dsp_packet_take();
  if (code == 0) return;
  dsp_packet_dispatch(code);
  if (state.after_dispatch) state.after_dispatch(code);
}

void RunThreads(const std::vector<RigThread>& threads) {
  plat::ke::Kernel& machine = plat::ke::CurrentKernel();
  std::vector<PKTHREAD> started;
  for (const RigThread& thread : threads) {
    PKTHREAD object = nullptr;
    ASSERT_EQ(
        machine.CreateSystemThread("rig", RunRigThread, const_cast<RigThread*>(&thread), &object),
        STATUS_SUCCESS);
    started.push_back(object);
  }
  for (PKTHREAD object : started) {
    KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(object);
  }
}

void SleepMs(std::uint32_t ms) {
  LARGE_INTEGER interval;
  interval.QuadPart = -10'000LL * ms;
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

void RunOnController(const std::function<void()>& body, const plat::ke::KernelConfig& config) {
  plat::Simulation simulation;
  plat::ke::Kernel& machine = simulation.AddMachine("controller", config);
  const bool returned = simulation.RunUserThread(
      machine, "test",
      [&] {
        RunThreads({{16, body}});
      },
      kHour);
  EXPECT_TRUE(returned) << "the controller's side did not return within a virtual hour";
}

void DspLinkRig::Run(const std::function<void(FakeDataPump&)>& body) {
  RunOnController([&] {
    FakeDataPump pump(RigCallback);
    pump.Bind();
    body(pump);
  });
}

}  // namespace vxctl::testing
