// Two threads drain the write queue while a third fills it: a drain that
// finds another one running leaves at once, every byte reaches the
// controller once and in order, and the write notification runs each time
// the queue falls below its threshold after the write path armed it.
#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/dte_side.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/ke.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DrainRun {
  explicit DrainRun(std::uint32_t seed) : random(seed) {}

  std::mt19937 random;
  std::uint32_t threshold = 0;
  Bytes written;
  Bytes delivered;         // gathered from the pending log
  std::vector<char> arms;  // 'a' the write path armed the notification, 'n' it ran
  std::vector<std::uint32_t> counts_at_notification;
  PKTHREAD notifying = nullptr;  // a thread inside its drain, past its notification
  bool writer_done = false;
  int overlaps = 0;  // drains called while another one was inside

  std::uint32_t Uniform(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
  }
};

void SleepUs(std::uint32_t us) {
  LARGE_INTEGER interval;
  interval.QuadPart = -10LL * us;
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

// The pending log's deliveries, appended in order; the log cleared.
void Gather(DrainRun& run) {
  const Bytes now = Delivered();
  run.delivered.insert(run.delivered.end(), now.begin(), now.end());
  ClearPending();
}

std::size_t DeliveredSoFar(DrainRun& run) { return run.delivered.size() + Delivered().size(); }

// The write notification: it stalls, so that the machine may switch to
// another thread as soon as the drain lets the notification's lock go.
void OnWriteNotification(PortBlock*, void* reference, std::uint32_t kind, std::uint32_t) {
  auto& run = *static_cast<DrainRun*>(reference);
  EXPECT_EQ(kind, kNotifyWrite);
  run.arms.push_back('n');
  run.counts_at_notification.push_back(uart_tx_count());
  run.notifying = KeGetCurrentThread();
  KeStallExecutionProcessor(run.Uniform(0, 400));
}

// The application's side: chunks into the write queue and, as the port's
// write does, the notification armed again once the queue holds at least
// its threshold (at DISPATCH_LEVEL, so no drain comes between).
void Writer(DrainRun& run, PortBlock& port) {
  const std::uint32_t total = run.Uniform(30, 80);
  while (run.written.size() < total) {
    Bytes chunk(std::min<std::uint32_t>(run.Uniform(1, 8), total - run.written.size()));
    for (std::uint8_t& c : chunk) c = static_cast<std::uint8_t>(run.Uniform(0, 255));
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    ASSERT_EQ(uart_tx_put(chunk), chunk.size());
    if (uart_tx_count() >= run.threshold &&
        (port.notification_flags.fetch_and(~kNotifiedWrite) & kNotifiedWrite) != 0) {
      run.arms.push_back('a');
    }
    KeLowerIrql(old);
    run.written.insert(run.written.end(), chunk.begin(), chunk.end());
    SleepUs(run.Uniform(0, 1500));
  }
  run.writer_done = true;
}

void Drainer(DrainRun& run) {
  const PKTHREAD self = KeGetCurrentThread();
  while (!run.writer_done || uart_tx_count() != 0) {
    // Time used up here lets the machine switch at the drain's first lock.
    KeStallExecutionProcessor(run.Uniform(0, 200));
    const bool other_inside = run.notifying != nullptr && run.notifying != self;
    const std::size_t before = DeliveredSoFar(run);
    qor_rx_int();
    if (other_inside) {
      ++run.overlaps;
      EXPECT_EQ(DeliveredSoFar(run), before) << "a second drain ran while one was inside";
    }
    if (run.notifying == self) run.notifying = nullptr;
    Gather(run);
    SleepUs(run.Uniform(0, 1500));
  }
}

// Where each character of the application goes, by the DTE interface's
// mode; refused while the controller does not run.
TEST(UartDrain, Routing) {
  struct Case {
    const char* name;
    std::uint8_t running, command, fax, voice;
    const char* entry;  // null: refused
  };
  const Case cases[] = {
      {"controller not running", 0, 1, 1, 1, nullptr},
      {"command mode first", 1, 1, 1, 1, "dte_cmd_rx_char"},
      {"fax DTE mode", 1, 0, 1, 1, "faxdte_rx_char"},
      {"voice", 1, 0, 0, 1, "dte_rx_raw"},
      {"online data", 1, 0, 0, 0, "dte_rx_char"},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock&) {
      SCOPED_TRACE(c.name);
      acu_running().store(c.running);
      dte_command_flag().store(c.command);
      faxdte_mode().store(c.fax);
      dte_voice_flag().store(c.voice);
      EXPECT_EQ(uart_deliver_char(0xC3), c.entry != nullptr ? 0u : 1u);
      if (c.entry != nullptr) {
        EXPECT_EQ(Delivered(c.entry), Bytes{0xC3});
      }
      // The room asked for is the command ring's in command mode.
      ClearPending();
      uart_ctl_free();
      EXPECT_EQ(PendingNames(), std::vector<std::string_view>{c.command != 0 ? "dte_cmd_from_free"
                                                                              : "dte_from_free"});
    });
  }
}

// A drain that moves bytes says so in the events; one that has nothing to
// deliver asks nothing of the DTE interface; a stopped application moves
// nothing.
TEST(UartDrain, EventsAndStops) {
  PortRig::Run([](PortBlock& port) {
    qor_rx_int();
    EXPECT_TRUE(PendingNames().empty());

    const std::uint8_t data[] = {'a', 'b', 'c'};
    uart_tx_put(data);
    dte_stopped().store(1);
    qor_rx_int();
    EXPECT_EQ(uart_tx_count(), 3u);
    EXPECT_EQ(PendingCount("dte_flow_on_check"), 1u);
    EXPECT_EQ(port.own_event_word.load(), 0u);

    dte_stopped().store(0);
    qor_rx_int();
    EXPECT_EQ(Delivered(), Bytes({'a', 'b', 'c'}));
    EXPECT_EQ(port.own_event_word.load(), kEventTxMoved | kEventTxEmpty);
    EXPECT_EQ(port.counters[kCounterTransmitted].load(), 3u);

    // Held by the controller's XOFF, then refused: nothing moved, no event.
    port.own_event_word.store(0);
    uart_tx_put(data);
    ASSERT_TRUE(port_escape(&port, kEscapeSetXoff, 0, nullptr));
    qor_rx_int();
    EXPECT_EQ(port.own_event_word.load(), 0u);
    ASSERT_TRUE(port_escape(&port, kEscapeSetXon, 0, nullptr));
    acu_running().store(0);
    qor_rx_int();
    EXPECT_EQ(port.own_event_word.load(), 0u);
    EXPECT_EQ(uart_tx_count(), 3u);
  });
}

TEST(UartDrain, TwoDrainsAndAWriter) {
  int overlaps = 0;
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    DrainRun run(seed);
    plat::ke::KernelConfig config;
    config.quantum_ns = 100'000;
    PortRig::Run(
        [&](PortBlock& port) {
          run.threshold = run.Uniform(1, 16);
          ASSERT_TRUE(port_set_write_callback(&port, run.threshold, OnWriteNotification, &run));
          const KPRIORITY a = static_cast<KPRIORITY>(run.Uniform(16, 17));
          const KPRIORITY b = static_cast<KPRIORITY>(run.Uniform(16, 17));
          const KPRIORITY writer = static_cast<KPRIORITY>(run.Uniform(15, 17));
          RunThreads({{writer, [&] { Writer(run, port); }},
                      {a, [&] { Drainer(run); }},
                      {b, [&] { Drainer(run); }}});
          qor_rx_int();
          Gather(run);
          EXPECT_EQ(uart_tx_count(), 0u);
        },
        config);
    ASSERT_EQ(run.delivered, run.written);
    for (std::size_t i = 0; i < run.arms.size(); ++i) {
      ASSERT_EQ(run.arms[i], i % 2 == 0 ? 'a' : 'n') << "arms and notifications alternate";
    }
    EXPECT_EQ(run.arms.size() % 2, 0u) << "the last arming was followed by its notification";
    for (std::uint32_t count : run.counts_at_notification) EXPECT_LT(count, run.threshold);
    overlaps += run.overlaps;
  }
  EXPECT_GT(overlaps, 0) << "no seed had a drain called while another was inside";
}

}  // namespace
}  // namespace vxctl::testing
