// The port's open and close through the call wrappers, its queue setup,
// the tracked pool, and an unload with the port open.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "controller/acu/acu_controller.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

class CtlPortLifecycle : public CtlMachineTest {};

AcuControllerState& Controller() { return acu_controller(); }

std::uint64_t NowMs() { return KeQueryInterruptTime() / 10'000; }

TEST_F(CtlPortLifecycle, OpenStartsTheControllerOnTheTaskThreadAndCloseStopsIt) {
  BootCtl();
  RunOn([] {
    PortBlock& port = port_block();
    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    EXPECT_EQ(Controller().inits, 1u);
    EXPECT_EQ(Controller().task_thread.load(), task_thread_state().thread);
    EXPECT_NE(Controller().task_thread.load(), KeGetCurrentThread());
    EXPECT_EQ(acu_running().load(), 1);
    EXPECT_EQ(uart_line_get(kLineDtr), 1);
    EXPECT_EQ(uart_line_get(kLineRts), 1);
    EXPECT_EQ(port.open_marker.load(), kPortOpenMarker);
    EXPECT_EQ(port.polling.load(), 1u);
    EXPECT_EQ(port.controller_started.load(), 1u);
    EXPECT_EQ(datamode_poll_routine(), &datamode_poll);
    EXPECT_EQ(task_timer_state().started.load(), 1);

    EXPECT_EQ(port_call_open(&port), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(PortLastError(port), kPortAlreadyOpen);
    EXPECT_EQ(Controller().inits, 1u) << "a refused open starts nothing";

    ASSERT_EQ(port_call_close(&port), STATUS_SUCCESS);
    EXPECT_EQ(acu_running().load(), 0);
    EXPECT_EQ(port.controller_started.load(), 0u);
    EXPECT_EQ(port.polling.load(), 0u);
    EXPECT_EQ(port.open_marker.load(), 0);
    EXPECT_EQ(uart_line_get(kLineDtr), 0);
    EXPECT_EQ(datamode_poll_routine(), nullptr);
    EXPECT_EQ(task_timer_state().started.load(), 0);
    EXPECT_EQ(port_call_close(&port), STATUS_SUCCESS);
    EXPECT_EQ(PortLastError(port), kPortNotOpen);

    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    EXPECT_EQ(Controller().inits, 2u) << "a reopen initialises the controller again";
    EXPECT_EQ(port_call_close(&port), STATUS_SUCCESS);
  });
}

TEST_F(CtlPortLifecycle, ClosingDuringACallLowersDtrAndWaitsAtMostTwoSeconds) {
  struct Row {
    const char* what;
    std::optional<std::uint32_t> call_ends_after_ms;
    std::uint64_t min_ms;
    std::uint64_t max_ms;
  };
  const Row rows[] = {
      {"the call ends after 500 ms", 500, 500, 600},
      {"the call goes on", std::nullopt, 2000, 2100},
  };
  BootCtl();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunOn([&] {
      PortBlock& port = port_block();
      ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.state.store(3);
      std::uint64_t took = 0;
      RunThreads({{16,
                   [&] {
                     const std::uint64_t start = NowMs();
                     EXPECT_EQ(port_call_close(&port), STATUS_SUCCESS);
                     took = NowMs() - start;
                   }},
                  {16, [&] {
                     SleepMs(row.call_ends_after_ms.value_or(1000));
                     EXPECT_EQ(uart_line_get(kLineDtr), 0) << "DTR is lowered while it waits";
                     EXPECT_EQ(port.open_marker.load(), kPortOpenMarker);
                     if (row.call_ends_after_ms) task.state.store(0);
                   }}});
      EXPECT_GE(took, row.min_ms);
      EXPECT_LE(took, row.max_ms);
      EXPECT_EQ(port.open_marker.load(), 0);
      task.state.store(0);
    });
  }
}

TEST_F(CtlPortLifecycle, SetupSizesTheQueuesAndTheReceiveMark) {
  struct Row {
    const char* what;
    std::uint32_t read_size;
    bool pool_refuses;
    std::uint32_t size;
    bool in_pool;
    std::uint32_t mark;
  };
  const Row rows[] = {
      {"8192 from the pool", 8192, false, 8192, true, 6656},
      {"8192 refused", 8192, true, 4096, false, 3328},
      {"2048 in the static area", 2048, false, 2048, false, 1664},
      {"none", 0, false, 4096, false, 3328},
  };
  BootCtl();
  RunOn([&] {
    PortBlock& port = port_block();
    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    plat::ex::Pool& pool = plat::ke::CurrentKernel().pool();
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      if (row.pool_refuses) pool.FailAbove(4096);
      ASSERT_TRUE(port.table->setup(&port, nullptr, row.read_size, nullptr, 0));
      pool.ClearFaults();
      EXPECT_EQ(port.read_queue.size, row.size);
      EXPECT_EQ((port.state_flags.load() & kStateReadInPool) != 0, row.in_pool);
      EXPECT_EQ(port.read_queue.buffer == port_state().read_area.data(), !row.in_pool);
      EXPECT_EQ(port_state().receive_mark.load(), row.mark);
      EXPECT_EQ(port.write_queue.size, 4096u);
    }
    ASSERT_TRUE(port.table->setup(&port, nullptr, 8192, nullptr, 0));
    EXPECT_EQ(port_call_close(&port), STATUS_SUCCESS);
    EXPECT_EQ(port.read_queue.buffer, port_state().read_area.data()) << "the close frees it";
    EXPECT_EQ(port.state_flags.load() & kStateReadInPool, 0);
  });
}

TEST(CtlTrackedPool, ElevenBlocksAreTrackedAndATwelfthIsRefused) {
  RunOnController([] {
    std::vector<void*> blocks;
    for (int i = 0; i < 11; ++i) {
      void* block = AddressAllocate(100, kAllocZeroed);
      ASSERT_NE(block, nullptr);
      EXPECT_TRUE(std::all_of(static_cast<std::uint8_t*>(block),
                              static_cast<std::uint8_t*>(block) + 100,
                              [](std::uint8_t b) { return b == 0; }));
      blocks.push_back(block);
    }
    const std::uint64_t live = plat::ke::CurrentKernel().pool().Live().blocks;
    EXPECT_EQ(AddressAllocate(100, 0), nullptr);
    EXPECT_EQ(plat::ke::CurrentKernel().pool().Live().blocks, live) << "nothing kept untracked";
    EXPECT_EQ(AddressAllocate(0, 0), nullptr);
    EXPECT_EQ(AddressAllocate(100, 0x100), nullptr);
    EXPECT_EQ(AddressAllocate(100, 0x400), nullptr);
    int unknown = 0;
    EXPECT_EQ(AddressFree(&unknown), 0u);
    EXPECT_EQ(AddressFree(nullptr), 0u);
    for (void* block : blocks) EXPECT_EQ(AddressFree(block), 1u);
    EXPECT_EQ(AddressFree(blocks.front()), 0u) << "a block freed once is unknown";
    void* paged = AddressAllocate(64, kAllocPaged);
    EXPECT_EQ(plat::ke::CurrentKernel().pool().LiveByType(PagedPool).blocks, 1u);
    EXPECT_EQ(AddressFree(paged), 1u);
  });
}

TEST_F(CtlPortLifecycle, UnloadingWithThePortOpenReturnsAfterTheCloseWork) {
  for (const bool open : {true, false}) {
    SCOPED_TRACE(open ? "open" : "never opened");
    BootCtl();
    if (open) RunOn([] { ASSERT_EQ(port_call_open(&port_block()), STATUS_SUCCESS); });
    RunOn([] { daa_set_hook_relay(1); });
    machine_->Shutdown();
    EXPECT_TRUE(machine_->shut_down());
    // The close work, which only an open port has, released the hook relay.
    const bool off_hook =
        (kernel().slots().Get<ModemTaskState>().status_word.load() & kStatusOffHook) != 0;
    EXPECT_EQ(off_hook, !open);
  }
}

}  // namespace
}  // namespace vxctl::testing
