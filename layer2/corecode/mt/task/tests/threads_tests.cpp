// The timing and task threads: the elapsed time, the 10 ms ticks, task
// ticks that do not queue up, bursts and their tuning, and the bounded stop
// of the timing thread.
#include <gtest/gtest.h>

#include <atomic>

#include "controller/acu/acu_controller.h"
#include "controller/standin/fax_voice_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/task/timing_thread.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/ke/interrupt.h"

namespace vxctl::testing {
namespace {

std::uint32_t Ticks10ms() { return acu_tick_counts().ticks_10ms.load(); }

TEST(CtlThreads, ElapsedTimeAndTenMillisecondTicks) {
  struct Row {
    std::uint32_t gap_ms;
    std::uint32_t elapsed;
    std::uint32_t ticks;
    std::uint32_t residue;
  };
  const Row rows[] = {
      {35, 35, 3, 5}, {45, 5, 0, 5}, {80, 0, 0, 0}, {10, 10, 1, 0}, {39, 39, 3, 9}, {0, 0, 0, 0},
  };
  RunOnController([&] {
    task_timer_start();
    TaskTimerState& timer = task_timer_state();
    for (const Row& row : rows) {
      SCOPED_TRACE(row.gap_ms);
      EXPECT_EQ(bg_elapsed(1000, 1000 + row.gap_ms), row.elapsed);
      timer.residue_ms.store(0);
      const std::uint32_t before = Ticks10ms();
      bg_tick(bg_elapsed(1000, 1000 + row.gap_ms));
      EXPECT_EQ(Ticks10ms() - before, row.ticks);
      EXPECT_EQ(timer.residue_ms.load(), row.residue);
    }
    EXPECT_EQ(bg_elapsed(2000, 1990), 0u) << "a clock that went back counts nothing";
    task_timer_stop();
  });
}

TEST(CtlThreads, TheTimerRunsOneControllerTickPerTenMilliseconds) {
  RunOnController([] {
    ASSERT_EQ(qor_bg_start(), STATUS_SUCCESS);
    task_timer_start();
    const std::uint32_t before = Ticks10ms();
    SleepMs(1000);
    const std::uint32_t ticks = Ticks10ms() - before;
    EXPECT_GE(ticks, 99u);
    EXPECT_LE(ticks, 100u);
    task_timer_stop();
    const std::uint32_t stopped = Ticks10ms();
    SleepMs(100);
    EXPECT_EQ(Ticks10ms(), stopped) << "no ticks once stopped";
    EXPECT_EQ(qor_bg_stop(), STATUS_SUCCESS);
  });
}

TEST(CtlThreads, ATickDuringABurstIsNotQueuedTwice) {
  RunOnController([] {
    task_timer_start();
    TaskThreadState& task = task_thread_state();
    TaskTimerState& timer = task_timer_state();
    bg_tick(10);
    EXPECT_EQ(KeReadStateEvent(&task.tick), 1);
    KeResetEvent(&task.tick);  // the task thread took it and runs its burst
    bg_tick(10);
    bg_tick(10);
    EXPECT_EQ(KeReadStateEvent(&task.tick), 0) << "no tick until the task reloads";
    EXPECT_EQ(timer.events.load(), 3u);
    task_tick();  // the end of the tick reloads the countdown
    EXPECT_EQ(timer.task_ticks.load(), 1u);
    bg_tick(10);
    EXPECT_EQ(KeReadStateEvent(&task.tick), 1);
    task_timer_stop();
  });
}

TEST(CtlThreads, BurstLengthFollowsTheTimeIncrement) {
  struct Row {
    ULONG increment;
    std::uint8_t mode;
    std::uint32_t passes;
  };
  const Row rows[] = {{100'000, 2, 2}, {156'250, 2, 3}, {156'250, 3, 3}, {100'000, 0, 1},
                      {156'250, 0, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.increment << " mode " << int{row.mode});
    plat::ke::KernelConfig config;
    config.time_increment = row.increment;
    RunOnController(
        [&] {
          acu_running().store(1);
          acu_fclass().store(99);  // no tuning
          task_burst_set(row.mode);
          task_run_burst();
          EXPECT_EQ(acu_controller().passes, row.passes);
          EXPECT_EQ(task_thread_state().burst_passes, 0) << "a complete burst starts again";
        },
        config);
  }
}

TEST(CtlThreads, TuningByClassAndState) {
  struct Row {
    std::uint8_t fclass;
    std::uint8_t state;  // the controller state, or the class 1 fax state
    std::uint32_t reload;
    std::uint8_t mode;
  };
  // Before each row: reload 7 and mode 99, the last states seen 0xEE.
  const Row rows[] = {
      {0, 1, 1, 2},   {0, 4, 1, 3},   {0, 0, 1, 0},  {2, 1, 1, 2},  {20, 4, 1, 3},
      {0, 6, 1, 0},   {1, 0, 1, 2},   {1, 1, 1, 10}, {1, 4, 1, 10}, {1, 7, 1, 10},
      {1, 10, 1, 10}, {1, 2, 1, 0},   {1, 11, 1, 0}, {1, 3, 1, 0},  {1, 12, 1, 0},
      {1, 13, 7, 99}, {8, 0, 1, 0},   {80, 4, 1, 0}, {5, 1, 7, 99}, {9, 4, 7, 99},
  };
  RunOnController([&] {
    TaskThreadState& task = task_thread_state();
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message() << "class " << int{row.fclass} << " state " << int{row.state});
      task_timer_state().reload.store(7);
      task.burst_mode = 99;
      task.last_state = task.last_fax1_state = 0xEE;
      acu_fclass().store(row.fclass);
      acu_state().store(row.state);
      MachineState<FaxVoiceStandin>().fax1_state.store(row.state);
      task_tune_by_class();
      EXPECT_EQ(task_timer_state().reload.load(), row.reload);
      EXPECT_EQ(task.burst_mode, row.mode);
    }
    // An unchanged state tunes nothing.
    acu_fclass().store(0);
    acu_state().store(4);
    task_tune_by_class();
    task.burst_mode = 99;
    task_tune_by_class();
    EXPECT_EQ(task.burst_mode, 99);
  });
}

TEST(CtlThreads, PollPeriods) {
  RunOnController([] {
    for (auto [ms, reload] : {std::pair{10u, 1u}, {15u, 1u}, {5u, 1u}, {0u, 0u}, {20u, 2u},
                              {35u, 3u}}) {
      task_poll_period_set(ms);
      EXPECT_EQ(task_timer_state().reload.load(), reload) << ms;
    }
  });
}

// The timing thread cannot run (a busier thread keeps the processor): the
// stop gives up after 5 s; once it can run, a second stop ends it.
TEST(CtlThreads, StoppingABlockedTimingThreadReturnsAfterFiveSeconds) {
  RunOnController([] {
    ASSERT_EQ(qor_bg_start(), STATUS_SUCCESS);
    SleepMs(1);
    KeSetPriorityThread(timing_thread_state().thread, 1);
    std::atomic<bool> release{false};
    NTSTATUS status = STATUS_PENDING;
    std::uint64_t took_ms = 0;
    RunThreads({{8,
                 [&] {
                   while (!release.load()) {
                     KeStallExecutionProcessor(1000);
                     KeQueryInterruptTime();
                   }
                 }},
                {20, [&] {
                   const ULONGLONG start = KeQueryInterruptTime();
                   status = qor_bg_stop();
                   took_ms = (KeQueryInterruptTime() - start) / 10'000;
                   release.store(true);
                 }}});
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_GE(took_ms, 5000u);
    EXPECT_LE(took_ms, 5010u);
    EXPECT_EQ(qor_bg_stop(), STATUS_SUCCESS);
  });
}

TEST(CtlThreads, ClocksAcrossTheTickCountsThirtyTwoBits) {
  plat::ke::KernelConfig config;
  config.tick_offset = (1ULL << 32) - 5;
  RunOnController(
      [] {
        const std::uint32_t before = time_ms_now();
        SleepMs(100);
        const std::uint32_t after = time_ms_now();
        EXPECT_EQ(after - before, 100u);
        // 2^32 - 5 ticks of 10 ms: the product needs 64 bits.
        EXPECT_EQ(before, static_cast<std::uint32_t>(((1ULL << 32) - 5) * 100'000 / 10'000));
        const std::uint32_t origin = port_ms_clock();
        port_sleep_ms(0);
        EXPECT_EQ(port_ms_clock() - origin, 1u);
        port_sleep_ms(250);
        EXPECT_EQ(port_ms_clock() - origin, 251u);
      },
      config);
}

}  // namespace
}  // namespace vxctl::testing
