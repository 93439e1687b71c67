// Characters from the controller into the read queue: overrun, the block
// copies across the wrap, end-of-file in text mode, null stripping, the
// event character, the receive mark, flow characters obeyed when full; and
// breaks both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Settings(PortBlock& port, std::uint32_t flags, std::uint32_t mask = kFieldFlags) {
  SerialDcb dcb = kDefaultSerialDcb;
  dcb.flags = flags;
  ASSERT_TRUE(port_set_comm_state(&port, &dcb, mask));
}

Bytes ReadAll() {
  Bytes bytes(uart_rx_count());
  EXPECT_EQ(uart_rx_get(bytes), bytes.size());
  return bytes;
}

TEST(UartReceive, OverrunAtTheFullQueue) {
  PortRig::Run([](PortBlock& port) {
    for (int i = 0; i < 4096; ++i) {
      ASSERT_EQ(uart_rx_char(static_cast<std::uint8_t>(i)), 0u) << i;
    }
    EXPECT_EQ(port.error_word.load(), 0u);
    EXPECT_EQ(port.own_event_word.load() & kEventError, 0u);
    EXPECT_EQ(uart_rx_char(0xAA), 1u);
    EXPECT_EQ(uart_rx_count(), 4096u);
    EXPECT_EQ(uart_rx_free(), 0u);
    EXPECT_EQ(port.error_word.load(), kCommErrorOverrun);
    EXPECT_NE(port.own_event_word.load() & kEventError, 0u);
    EXPECT_EQ(port.counters[kCounterReceived].load(), 4096u);
    const Bytes bytes = ReadAll();
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(i)) << i;
  });
}

// Bytes go in and out around the wrap in pieces of every size, and come
// out as they went in.
TEST(UartReceive, BlockCopiesAcrossTheWrap) {
  PortRig::Run([](PortBlock&) {
    std::uint8_t next_in = 0;
    std::uint8_t next_out = 0;
    for (std::uint32_t piece : {4000u, 1u, 95u, 96u, 3000u, 2047u, 4096u}) {
      // Fill the read queue by characters, drain in one block copy; and
      // the write queue in one block copy, drained by peek and take.
      const std::uint32_t room = uart_rx_free();
      for (std::uint32_t i = 0; i < std::min(piece, room); ++i) ASSERT_EQ(uart_rx_char(next_in++), 0u);
      Bytes out(piece);
      const std::uint32_t got = uart_rx_get(out);
      for (std::uint32_t i = 0; i < got; ++i) ASSERT_EQ(out[i], next_out++) << piece << " " << i;
    }
    const Bytes rest = ReadAll();
    for (std::uint8_t c : rest) ASSERT_EQ(c, next_out++);
    EXPECT_EQ(next_in, next_out);

    Bytes data(5000);
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    std::size_t sent = 0;
    std::size_t taken = 0;
    while (taken < data.size()) {
      sent += uart_tx_put(std::span(data).subspan(sent, std::min<std::size_t>(3001, data.size() - sent)));
      for (int i = 0; i < 2900; ++i) {
        std::uint8_t c = 0;
        if (!uart_tx_peek(c)) break;
        ASSERT_EQ(c, data[taken++]);
        uart_tx_take();
      }
    }
    EXPECT_EQ(uart_tx_count(), 0u);
  });
}

TEST(UartReceive, SpecialCharacters) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    Bytes in;
    Bytes stored;
    std::uint32_t errors;
    std::uint32_t events;
  };
  const Case cases[] = {
      {"binary: end-of-file is data", 0x1, {'a', 26, 'b'}, {'a', 26, 'b'}, 0, kEventRxChar},
      {"text: end-of-file ends the data", 0x0, {'a', 26, 'b', 'c'}, {'a'}, kCommErrorOverrun,
       kEventRxChar},
      {"null stripping", 0x1 | 0x800, {0, 'n', 0}, {'n'}, 0, kEventRxChar},
      {"nulls kept", 0x1, {0, 'n', 0}, {0, 'n', 0}, 0, kEventRxChar},
      {"output XON/XOFF consumes them", 0x1 | 0x100, {19, 'x', 17}, {'x'}, 0, kEventRxChar},
      {"without output XON/XOFF they are data", 0x1, {19, 'x', 17}, {19, 'x', 17}, 0,
       kEventRxChar},
      {"event character", 0x1, {'a', '\r'}, {'a', '\r'}, 0, kEventRxChar | kEventRxFlag},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      SerialDcb dcb = kDefaultSerialDcb;
      dcb.flags = c.flags;
      dcb.event_char1 = '\r';
      ASSERT_TRUE(port_set_comm_state(&port, &dcb, kFieldFlags | kFieldEventChar1));
      for (std::uint8_t ch : c.in) EXPECT_EQ(uart_rx_char(ch), 0u);
      EXPECT_EQ(ReadAll(), c.stored);
      EXPECT_EQ(port.error_word.load(), c.errors);
      EXPECT_EQ(port.own_event_word.load(), c.events);
      EXPECT_EQ(port.counters[kCounterReceived].load(), c.in.size());
    });
  }
}

// After end-of-file in text mode everything is dropped (until the next
// open clears the flag), each with the error bit.
TEST(UartReceive, EndOfFileDropsTheRest) {
  PortRig::Run([](PortBlock& port) {
    Settings(port, 0);
    uart_rx_char(26);
    EXPECT_NE(port.port_flags.load() & kPortEofSeen, 0);
    for (int i = 0; i < 100; ++i) {
      port.error_word.store(0);
      EXPECT_EQ(uart_rx_char('d'), 0u);
      EXPECT_EQ(port.error_word.load(), kCommErrorOverrun);
    }
    EXPECT_EQ(uart_rx_count(), 0u);
    // Binary mode again: stored.
    Settings(port, 0x1);
    uart_rx_char('e');
    EXPECT_EQ(ReadAll(), Bytes{'e'});
  });
}

TEST(UartReceive, ReceiveMark) {
  PortRig::Run([](PortBlock& port) {
    for (std::uint32_t n = 1; n <= 4096; ++n) {
      port.own_event_word.store(0);
      uart_rx_char('m');
      ASSERT_EQ((port.own_event_word.load() & kEventRxMark) != 0, n == 3328) << n;
    }
  });
}

TEST(UartReceive, FlowCharactersObeyedWhenFull) {
  PortRig::Run([](PortBlock& port) {
    Settings(port, 0x1 | 0x100);
    for (int i = 0; i < 4096; ++i) uart_rx_char('f');
    EXPECT_EQ(uart_rx_char(19), 1u);
    EXPECT_NE(port.flow.load() & kFlowHeldByXoff, 0);
    EXPECT_EQ(uart_rx_char(17), 1u);
    EXPECT_EQ(port.flow.load() & kFlowHeldByXoff, 0);
    EXPECT_EQ(port.error_word.load(), kCommErrorOverrun);
    EXPECT_EQ(uart_rx_count(), 4096u);
  });
}

// While the port closes, characters are counted and dropped.
TEST(UartReceive, DroppedWhileClosing) {
  PortRig::Run([](PortBlock& port) {
    port.state_flags.fetch_or(0x20);
    EXPECT_EQ(uart_rx_char('z'), 0u);
    EXPECT_EQ(uart_rx_count(), 0u);
    EXPECT_EQ(port.counters[kCounterReceived].load(), 1u);
    EXPECT_EQ(port.own_event_word.load(), 0u);
  });
}

TEST(UartBreaks, TowardTheApplication) {
  struct Case {
    const char* name;
    std::uint32_t flow_replace;
    std::uint32_t flags;
    Bytes stored;
  };
  const Case cases[] = {
      {"plain", 0, 0x1, {0}},
      {"with the break character", 0x10, 0x1, {0x7E, 0}},
      {"other flow-replace bits", 0x0F, 0x1, {0}},
      {"its NUL stripped", 0x10, 0x1 | 0x800, {0x7E}},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      Settings(port, c.flags);
      port_state().flow_replace.store(c.flow_replace);
      port_state().break_char.store(0x7E);
      uart_break_out_on();
      EXPECT_EQ(uart_line_get(kLineBreakOut), 1);
      EXPECT_EQ(port.error_word.load(), 0u);
      EXPECT_EQ(port.own_event_word.load() & (kEventBreak | kEventError), 0u);
      uart_break_out_off();
      EXPECT_EQ(uart_line_get(kLineBreakOut), 0);
      EXPECT_EQ(ReadAll(), c.stored);
      EXPECT_EQ(port.error_word.load(), kCommErrorBreak);
      EXPECT_EQ(port.own_event_word.load() & (kEventBreak | kEventError),
                kEventBreak | kEventError);
    });
  }
  // A full queue gets neither character, and no overrun.
  PortRig::Run([](PortBlock& port) {
    port_state().flow_replace.store(0x10);
    for (int i = 0; i < 4096; ++i) uart_rx_char('q');
    uart_break_out_on();
    uart_break_out_off();
    EXPECT_EQ(port.error_word.load(), kCommErrorBreak);
  });
}

// A break from the application holds its bytes until it ends.
TEST(UartBreaks, FromTheApplication) {
  PortRig::Run([](PortBlock& port) {
    const std::uint8_t data[] = {'b', 'r'};
    uart_tx_put(data);
    ASSERT_TRUE(port_escape(&port, kEscapeBreakOn, 0, nullptr));
    EXPECT_EQ(uart_line_get(kLineBreakIn), 1);
    EXPECT_EQ(PendingCount("dte_break_line_changed"), 1u);
    qor_rx_int();
    EXPECT_EQ(uart_tx_count(), 2u);
    // New settings during the break keep its hold.
    ASSERT_TRUE(port_set_comm_state(&port, &kDefaultSerialDcb, kFieldBaud));
    qor_rx_int();
    EXPECT_EQ(uart_tx_count(), 2u);
    ASSERT_TRUE(port_escape(&port, kEscapeBreakOff, 0, nullptr));
    EXPECT_EQ(uart_line_get(kLineBreakIn), 0);
    EXPECT_EQ(PendingCount("dte_break_line_changed"), 2u);
    qor_rx_int();
    EXPECT_EQ(Delivered(), Bytes({'b', 'r'}));
  });
}

}  // namespace
}  // namespace vxctl::testing
