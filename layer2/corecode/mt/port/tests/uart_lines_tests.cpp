// The lines toward the application (events, the modem-status register's
// line and delta bits, its shadow copy, the event notification), the
// application's lines, and the reset every open runs.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/dte_side.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

struct Line {
  const char* name;
  void (*on)();
  void (*off)();
  std::uint32_t index;
  std::uint32_t on_events;
  std::uint32_t off_events;
  std::uint8_t line_bit;
  std::uint8_t delta_bit;
  std::uint32_t status_bit;  // port_get_modem_status
};

const Line kLines[] = {
    {"DSR", uart_dsr_on, uart_dsr_off, kLineDsr, 0x0810, 0x0010, 0x20, 0x02, 0x20},
    {"CTS", uart_cts_on, uart_cts_off, kLineCts, 0x0008, 0x0008, 0x10, 0x01, 0x10},
    {"DCD", uart_dcd_on, uart_dcd_off, kLineDcd, 0x1020, 0x0020, 0x80, 0x08, 0x80},
    {"RI", uart_ri_on, uart_ri_off, kLineRi, 0x0100, 0x2000, 0x40, 0x04, 0x40},
};

void Set(const Line& line, bool on) { on ? line.on() : line.off(); }

TEST(UartLines, Transitions) {
  for (const Line& line : kLines) {
    for (const bool from : {false, true}) {
      for (const bool to : {false, true}) {
        PortRig::Run([&](PortBlock& port) {
          SCOPED_TRACE(::testing::Message() << line.name << " " << from << " -> " << to);
          // The register in a byte of the test's, so the shadow shows what
          // the change copied while the delta bit was set.
          std::atomic<std::uint8_t> reg{0};
          ASSERT_TRUE(port_set_modem_status_shadow(&port, &reg));
          ASSERT_TRUE(port_set_event_mask(&port, 0xFFFF, nullptr));
          ASSERT_TRUE(port_enable_notification(&port, port_null_callback, nullptr));
          Set(line, from);
          port.own_event_word.store(0);
          port.notification_flags.fetch_and(~kNotifiedEvent);
          ClearPending();
          const std::uint8_t reg_before = reg.load();
          const std::uint8_t shadow_before = port.msr_shadow.load();
          ASSERT_EQ(reg_before & line.line_bit, from ? line.line_bit : 0);

          Set(line, to);

          EXPECT_EQ(uart_line_get(line.index), to ? 1 : 0);
          std::uint32_t status = 0;
          ASSERT_TRUE(port_get_modem_status(&port, &status));
          EXPECT_EQ(status, to ? line.status_bit : 0u);
          if (from == to) {
            EXPECT_EQ(port.own_event_word.load(), 0u);
            EXPECT_EQ(reg.load(), reg_before);
            EXPECT_EQ(port.msr_shadow.load(), shadow_before);
            EXPECT_EQ(port.notification_flags.load() & kNotifiedEvent, 0u);
            EXPECT_TRUE(PendingNames().empty());
            return;
          }
          const std::uint8_t expected_reg =
              to ? (reg_before | line.line_bit) : (reg_before & ~line.line_bit);
          EXPECT_EQ(port.own_event_word.load(), to ? line.on_events : line.off_events);
          EXPECT_EQ(reg.load(), expected_reg);
          EXPECT_EQ(port.msr_shadow.load(), expected_reg | line.delta_bit);
          EXPECT_NE(port.notification_flags.load() & kNotifiedEvent, 0u);
          EXPECT_EQ(PendingNames(), std::vector<std::string_view>{"ntdrv_wait_wake"});
        });
      }
    }
  }
}

// Notification on, the word keeps only the mask's events; off, it
// gathers them all.
TEST(UartLines, EventMaskOnNotification) {
  struct Case {
    std::uint32_t mask;
    bool notification;
    std::uint32_t word;
    bool woken;
  };
  const Case cases[] = {
      {0x0010, true, 0x0010, true},
      {0x0800, true, 0x0800, true},
      {0x0008, true, 0x0000, false},
      {0x0010, false, 0x0810, false},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      ASSERT_TRUE(port_set_event_mask(&port, c.mask, nullptr));
      if (c.notification) {
        ASSERT_TRUE(port_enable_notification(&port, port_null_callback, nullptr));
      }
      uart_dsr_on();
      std::uint32_t events = 0;
      ASSERT_TRUE(port_get_event_mask(&port, 0, &events));
      EXPECT_EQ(events, c.word) << c.mask;
      EXPECT_EQ(PendingCount("ntdrv_wait_wake"), c.woken ? 1u : 0u) << c.mask;
    });
  }
}

// Events already there when the notification is enabled are given at once.
TEST(UartLines, NotificationEnabledWithEventsPresent) {
  PortRig::Run([](PortBlock& port) {
    ASSERT_TRUE(port_set_event_mask(&port, kEventCts, nullptr));
    uart_cts_on();
    uart_dsr_on();
    EXPECT_EQ(port.own_event_word.load(), kEventCts | kEventDsr | kEventDsrOn);
    ClearPending();
    ASSERT_TRUE(port_enable_notification(&port, port_null_callback, nullptr));
    EXPECT_EQ(port.own_event_word.load(), kEventCts);
    EXPECT_EQ(PendingCount("ntdrv_wait_wake"), 1u);
    ASSERT_TRUE(port_enable_notification(&port, nullptr, nullptr));
    EXPECT_EQ(port.notification_flags.load() & kEventNotificationOn, 0u);
    uart_cts_off();
    EXPECT_EQ(PendingCount("ntdrv_wait_wake"), 1u);
  });
}

// The application's lines: DTR without a word to anyone; RTS tells the
// DTE interface of each change, in the mode's entry; breaks both ways.
TEST(UartLines, ApplicationLines) {
  struct Case {
    const char* name;
    void (*op)();
    std::uint8_t command_flag;
    std::uint32_t index;
    std::uint8_t state;
    std::vector<std::string_view> calls;
  };
  const Case cases[] = {
      {"DTR off", uart_dtr_off, 0, kLineDtr, 0, {}},
      {"DTR on again", uart_dtr_on, 0, kLineDtr, 1, {}},
      {"RTS off online", uart_rts_off, 0, kLineRts, 0, {"dte_online_rts_changed"}},
      {"RTS off in command mode", uart_rts_off, 1, kLineRts, 0, {"dte_cmd_rts_changed"}},
      {"RTS on unchanged", uart_rts_on, 0, kLineRts, 1, {}},
      {"break from the application", uart_break_in_on, 0, kLineBreakIn, 1,
       {"dte_break_line_changed"}},
      {"its end", uart_break_in_off, 0, kLineBreakIn, 0, {"dte_break_line_changed"}},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      dte_command_flag().store(c.command_flag);
      c.op();
      EXPECT_EQ(uart_line_get(c.index), c.state);
      EXPECT_EQ(PendingNames(), c.calls);
      EXPECT_EQ(port.own_event_word.load(), 0u);
    });
  }
  PortRig::Run([](PortBlock&) {
    for (std::uint32_t index : {8u, 9u, 255u, 0xFFFFFFFFu}) EXPECT_EQ(uart_line_get(index), 0);
  });
}

TEST(UartReset, EveryOpensState) {
  PortRig::Run([](PortBlock& port) {
    uart_dsr_on();
    uart_cts_on();
    uart_dcd_on();
    uart_ri_on();
    uart_break_in_on();
    uart_break_out_on();
    uart_set_data_bits(7);
    uart_set_baud(9600);
    uart_set_parity(2);
    uart_set_stop_bits(1);
    for (int i = 0; i < 10; ++i) uart_rx_char('r');
    const std::uint8_t data[] = {1, 2, 3};
    uart_tx_put(data);
    qor_rx_int();
    uart_tx_put(data);
    port.own_event_word.store(0);
    ClearPending();

    uart_reset();

    EXPECT_EQ(uart_get_data_bits(), 8);
    EXPECT_EQ(port.lines.stop_bits.load(), 0);
    EXPECT_EQ(uart_get_parity(), 0);
    EXPECT_EQ(uart_get_baud(), 14400u);
    for (std::uint32_t index = 0; index < 8; ++index) EXPECT_EQ(uart_line_get(index), 0) << index;
    // The off transitions of DSR, CTS and DCD; RI and the breaks are
    // cleared without any.
    EXPECT_EQ(port.own_event_word.load(), kEventDsr | kEventCts | kEventDcd);
    EXPECT_EQ(PendingNames(), std::vector<std::string_view>{"dte_online_rts_changed"});
    EXPECT_EQ(uart_rx_count(), 0u);
    EXPECT_EQ(uart_tx_count(), 0u);
    for (const auto& counter : port.counters) EXPECT_EQ(counter.load(), 0u);
    EXPECT_EQ(port.msr_shadow.load() & (kMsrDsr | kMsrCts | kMsrDcd), 0);
  });
}

TEST(UartLines, FormatRanges) {
  PortRig::Run([](PortBlock& port) {
    uart_set_stop_bits(2);
    uart_set_stop_bits(3);
    EXPECT_EQ(port.lines.stop_bits.load(), 2);
    uart_set_parity(4);
    uart_set_parity(5);
    EXPECT_EQ(uart_get_parity(), 4);
  });
}

TEST(UartLines, MillisecondCounters) {
  PortRig::Run([](PortBlock& port) {
    uart_ms_tick(10);
    port.elapsed[kElapsedReadInterval].store(0);
    uart_ms_tick(10);
    EXPECT_EQ(port.elapsed[kElapsedReadTotal].load(), 20u);
    EXPECT_EQ(port.elapsed[kElapsedReadInterval].load(), 10u);
    EXPECT_EQ(port.elapsed[kElapsedWrite].load(), 20u);
  });
}

}  // namespace
}  // namespace vxctl::testing
