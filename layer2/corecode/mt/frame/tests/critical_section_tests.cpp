// The critical section against the data-channel poll: the poll, run from
// the data pump's callbacks, never runs inside a section the task thread
// holds; a trigger that comes inside one runs the poll at its end.
#include <gtest/gtest.h>

#include <random>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

struct PollRecord {
  std::uint32_t runs = 0;
  std::uint32_t inside_section = 0;
  std::uint32_t below_dispatch = 0;
};

void TestPoll() {
  PollRecord& record = MachineState<PollRecord>();
  ++record.runs;
  if (critical_section_state().in_section != 0) ++record.inside_section;
  if (KeGetCurrentIrql() != DISPATCH_LEVEL) ++record.below_dispatch;
}

class CtlCriticalSection : public CtlMachineTest {};

TEST_F(CtlCriticalSection, ThePollNeverRunsInsideTheTaskThreadsSection) {
  constexpr int kSeeds = 8;
  constexpr int kCycles = 12;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    plat::MachineConfig config;
    config.seed = static_cast<std::uint64_t>(seed);
    BootCtl(std::move(config));
    RunOn([&] {
      ASSERT_EQ(port_call_open(&port_block()), STATUS_SUCCESS);
      datamode_set_poll_routine(TestPoll);
      std::mt19937 random(static_cast<std::uint32_t>(seed));
      std::uniform_int_distribution<std::uint32_t> pause(0, 4);
      std::vector<std::uint32_t> cycler_pauses(kCycles), sender_pauses(kCycles * 4);
      for (auto& ms : cycler_pauses) ms = pause(random);
      for (auto& ms : sender_pauses) ms = pause(random);
      bool done = false;
      RunThreads({{16,
                   [&] {
                     // The task thread's open work holds the section while it
                     // restarts the link.
                     for (std::uint32_t ms : cycler_pauses) {
                       task_request_close();
                       SleepMs(ms);
                       task_request_open();
                     }
                     done = true;
                   }},
                  {static_cast<KPRIORITY>(12 + seed % 8), [&] {
                     for (std::uint32_t ms : sender_pauses) {
                       if (done) break;
                       EXPECT_EQ(dsp_send_packet(DspCommand::Query(0x94, 0xCB)), kDspSent);
                       SleepMs(ms);
                     }
                   }}});
      const PollRecord& record = MachineState<PollRecord>();
      EXPECT_GT(record.runs, 0u);
      EXPECT_EQ(record.inside_section, 0u);
      EXPECT_EQ(record.below_dispatch, 0u);
      EXPECT_EQ(critical_section_state().depth, 0);
      EXPECT_EQ(port_call_close(&port_block()), STATUS_SUCCESS);
    });
    machine_->Shutdown();
  }
}

TEST_F(CtlCriticalSection, ATriggerInsideTheSectionPollsOnceAtItsEnd) {
  BootCtl();
  RunOn([] {
    datamode_set_poll_routine(TestPoll);
    PollRecord& record = MachineState<PollRecord>();
    ntdrv_critical_enter();
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    ntdrv_critical_enter();
    ntdrv_dsp_callback(nullptr);  // as a doorbell rung inside would call back
    datamode_poll_now();
    ntdrv_critical_leave();
    EXPECT_EQ(record.runs, 0u);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL) << "still one level deep";
    ntdrv_critical_leave();
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_EQ(record.runs, 1u);
    EXPECT_EQ(record.inside_section, 0u);
    ntdrv_run_trigger();
    EXPECT_EQ(record.runs, 2u);
    datamode_set_poll_routine(nullptr);
  });
}

}  // namespace
}  // namespace vxctl::testing
