// Applying the port's settings: which fields a mask applies, where a
// refusal stops, the lines and handshake the flags ask for, the time-out
// lines, the flow threshold and the flow state afterwards; the line rate.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

bool SameDcb(const SerialDcb& a, const SerialDcb& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A request unlike the default in every field.
SerialDcb Unlike() {
  SerialDcb dcb{};
  dcb.length = 51;
  dcb.baud = 9600;
  dcb.flags = 0x1;
  dcb.xon_limit = 100;
  dcb.xoff_limit = 200;
  dcb.reserved = 0x5A5A5A5A;
  dcb.byte_size = 7;
  dcb.parity = 2;
  dcb.stop_bits = 2;
  dcb.xon_char = 0x11 + 1;
  dcb.xoff_char = 0x13 + 1;
  dcb.error_char = 0x3F;
  dcb.eof_char = 0x04;
  dcb.event_char1 = 0x0D;
  dcb.event_char2 = 0x0A;
  dcb.dcd_timeout = 10;
  dcb.cts_timeout = 20;
  dcb.dsr_timeout = 30;
  dcb.transmit_delay = 40;
  return dcb;
}

TEST(PortSetCommState, FieldsByMask) {
  struct Case {
    const char* name;
    std::function<void(SerialDcb&)> request;  // on top of Unlike()
    std::uint32_t mask;
    bool result;
    std::int32_t error;
    std::function<void(SerialDcb&)> applied;  // on top of the default
    std::uint8_t data_bits, stop_bits, parity;
    std::uint32_t line_baud;
  };
  const Case cases[] = {
      {"parity 5: stop bits applied, then refused", [](SerialDcb& d) { d.parity = 5; }, 0x60,
       false, kPortBadParameter, [](SerialDcb& d) { d.stop_bits = 2; }, 8, 2, 0, 14400},
      {"stop bits 3 refused first", [](SerialDcb& d) { d.stop_bits = 3; }, 0x70, false,
       kPortBadParameter, [](SerialDcb&) {}, 8, 0, 0, 14400},
      {"byte size 4", [](SerialDcb& d) { d.byte_size = 4; }, 0x10, false, kPortBadByteSize,
       [](SerialDcb&) {}, 8, 0, 0, 14400},
      {"byte size 9 after stop bits and parity", [](SerialDcb& d) { d.byte_size = 9; }, 0x71,
       false, kPortBadByteSize,
       [](SerialDcb& d) {
         d.stop_bits = 2;
         d.parity = 2;
       },
       8, 2, 2, 14400},
      {"line control", [](SerialDcb& d) { d.byte_size = 5; }, 0x70, true, kPortOk,
       [](SerialDcb& d) {
         d.stop_bits = 2;
         d.parity = 2;
         d.byte_size = 5;
         d.reserved = 0x5A5A5A5A;
       },
       5, 2, 2, 14400},
      {"baud kept as asked, line mapped", [](SerialDcb& d) { d.baud = 56000; }, 0x1, true,
       kPortOk,
       [](SerialDcb& d) {
         d.baud = 56000;
         d.reserved = 0x5A5A5A5A;
       },
       8, 0, 0, 57600},
      {"nothing selected: only the reserved word", [](SerialDcb&) {}, 0, true, kPortOk,
       [](SerialDcb& d) { d.reserved = 0x5A5A5A5A; }, 8, 0, 0, 14400},
      {"limits and characters", [](SerialDcb&) {}, 0x1F8C, true, kPortOk,
       [](SerialDcb& d) {
         d.xon_limit = 100;
         d.xoff_limit = 200;
         d.reserved = 0x5A5A5A5A;
         d.xon_char = 0x12;
         d.xoff_char = 0x14;
         d.error_char = 0x3F;
         d.eof_char = 0x04;
         d.event_char1 = 0x0D;
         d.event_char2 = 0x0A;
       },
       8, 0, 0, 14400},
      {"time-outs and transmit delay", [](SerialDcb&) {}, 0x1E000, true, kPortOk,
       [](SerialDcb& d) {
         d.reserved = 0x5A5A5A5A;
         d.dcd_timeout = 10;
         d.cts_timeout = 20;
         d.dsr_timeout = 30;
         d.transmit_delay = 40;
       },
       8, 0, 0, 14400},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      uart_set_baud(14400);
      SerialDcb request = Unlike();
      c.request(request);
      EXPECT_EQ(port_set_comm_state(&port, &request, c.mask), c.result);
      EXPECT_EQ(PortLastError(port), c.error);
      SerialDcb expected = kDefaultSerialDcb;
      c.applied(expected);
      SerialDcb now{};
      ASSERT_TRUE(port_get_comm_state(&port, &now));
      EXPECT_TRUE(SameDcb(now, expected));
      EXPECT_EQ(uart_get_data_bits(), c.data_bits);
      EXPECT_EQ(port.lines.stop_bits.load(), c.stop_bits);
      EXPECT_EQ(uart_get_parity(), c.parity);
      EXPECT_EQ(uart_get_baud(), c.line_baud);
    });
  }
}

// Each character alone: only its own field changes.
TEST(PortSetCommState, CharactersOneByOne) {
  struct Case {
    std::uint32_t mask;
    std::uint8_t SerialDcb::*field;
  };
  const Case cases[] = {
      {0x0080, &SerialDcb::xon_char},    {0x0100, &SerialDcb::xoff_char},
      {0x0200, &SerialDcb::error_char},  {0x0400, &SerialDcb::eof_char},
      {0x0800, &SerialDcb::event_char1}, {0x1000, &SerialDcb::event_char2},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(::testing::Message() << std::hex << "mask 0x" << c.mask);
      SerialDcb request = kDefaultSerialDcb;
      for (const Case& other : cases) request.*other.field = 0xE0;
      ASSERT_TRUE(port_set_comm_state(&port, &request, c.mask));
      SerialDcb expected = kDefaultSerialDcb;
      expected.*c.field = 0xE0;
      EXPECT_TRUE(SameDcb(port.dcb, expected));
    });
  }
}

TEST(PortSetCommState, TimeoutLines) {
  struct Case {
    std::uint32_t mask;
    std::uint32_t dcd, cts, dsr;
    std::uint8_t lines, infinite;
  };
  const Case cases[] = {
      {0x0000, 5, 5, 5, 0x00, 0x00},  // none selected: as the open left them
      {0x2000, 5, 5, 5, 0x80, 0x00},
      {0x4000, 0, 0xFFFFFFFF, 0, 0x10, 0x10},
      {0xE000, 100, 0xFFFFFFFF, 7, 0xB0, 0x10},
      {0xE000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xB0, 0xB0},
      {0xE000, 0, 0, 0, 0x00, 0x00},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(::testing::Message() << std::hex << "mask 0x" << c.mask);
      SerialDcb request = kDefaultSerialDcb;
      request.dcd_timeout = c.dcd;
      request.cts_timeout = c.cts;
      request.dsr_timeout = c.dsr;
      ASSERT_TRUE(port_set_comm_state(&port, &request, c.mask));
      EXPECT_EQ(port.timeout_lines.load(), c.lines);
      EXPECT_EQ(port.infinite_timeout_lines.load(), c.infinite);
    });
  }
}

// What each DTR and RTS control asks of the lines and the handshake flags.
TEST(PortSetCommState, HandshakeByControl) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    std::uint8_t rts, dtr, input, output;
  };
  const Case cases[] = {
      {"no control flags", 0x1, 1, 1, 0x00, 0x00},
      {"RTS disable", 0x1 | 0x2, 0, 1, 0x00, 0x00},
      {"RTS disable wins over handshake", 0x1 | 0x2 | 0x4000, 0, 1, 0x00, 0x00},
      {"RTS enable", 0x1 | 0x100000, 1, 1, 0x00, 0x00},
      {"RTS handshake", 0x1 | 0x4000, 1, 1, 0x02, 0x00},
      {"RTS toggle", 0x1 | 0x200000, 1, 1, 0x00, 0x00},
      {"DTR disable keeps DTR on", 0x1 | 0x80, 1, 1, 0x00, 0x00},
      {"DTR disable cancels its handshake", 0x1 | 0x80 | 0x2000, 1, 1, 0x00, 0x00},
      {"DTR enable", 0x1 | 0x40000, 1, 1, 0x00, 0x00},
      {"DTR handshake", 0x1 | 0x2000, 1, 1, 0x01, 0x00},
      {"both handshakes", 0x1 | 0x2000 | 0x4000, 1, 1, 0x03, 0x00},
      {"CTS output", 0x1 | 0x8, 1, 1, 0x00, 0x10},
      {"DSR output", 0x1 | 0x10, 1, 1, 0x00, 0x20},
      {"CTS and DSR output", 0x1 | 0x18, 1, 1, 0x00, 0x30},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      // From lines the other way round and flags of another setting.
      SerialDcb first = kDefaultSerialDcb;
      first.flags = 0x1 | 0x2 | 0x2000 | 0x4000 | 0x18;
      ASSERT_TRUE(port_set_comm_state(&port, &first, kFieldFlags));
      uart_dtr_off();
      SerialDcb request = kDefaultSerialDcb;
      request.flags = c.flags;
      ASSERT_TRUE(port_set_comm_state(&port, &request, kFieldFlags));
      EXPECT_EQ(uart_line_get(kLineRts), c.rts);
      EXPECT_EQ(uart_line_get(kLineDtr), c.dtr);
      EXPECT_EQ(port.input_handshake.load(), c.input);
      EXPECT_EQ(port.output_handshake.load(), c.output);
      EXPECT_EQ(+port.dcb.flags, c.flags);
    });
  }
}

TEST(PortSetCommState, FlowThreshold) {
  struct Case {
    std::uint32_t xoff_limit;
    std::uint32_t threshold;
  };
  // The read queue holds 4096: the threshold is what is left below the
  // limit, and a limit above the queue puts it out of reach.
  const Case cases[] = {{1024, 3072}, {0, 4096}, {4096, 0}, {0xFFFFFFFF, 4097}, {5000, 0xFFFFFC78}};
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SerialDcb request = kDefaultSerialDcb;
      request.xoff_limit = c.xoff_limit;
      ASSERT_TRUE(port_set_comm_state(&port, &request, kFieldXoffLimit));
      EXPECT_EQ(port.flow_threshold.load(), c.threshold) << c.xoff_limit;
    });
  }
}

// Every application of the settings starts the flow state again.
TEST(PortSetCommState, FlowStateCleared) {
  PortRig::Run([](PortBlock& port) {
    ASSERT_TRUE(port_escape(&port, kEscapeSetXoff, 0, nullptr));
    EXPECT_EQ(port.flow.load(), kFlowHeldByXoff);
    ASSERT_TRUE(port_set_comm_state(&port, &kDefaultSerialDcb, 0));
    EXPECT_EQ(port.flow.load(), 0);
    EXPECT_NE(port.state_flags.load() & kStateApplied, 0);
  });
}

// A controller the port had stopped is released when the flow state
// starts again: without that its XON would never come.
TEST(PortSetCommState, StoppedControllerReleased) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    std::uint8_t running;  // whether the controller takes the XON
    std::vector<std::uint8_t> delivered;
    std::uint8_t flow_after;
    std::uint8_t rts_after;
  };
  const Case cases[] = {
      {"XOFF sent: the XON follows", 0x1 | 0x200, 1, {19, 17}, 0x00, 1},
      {"XOFF sent, XON refused: still owed", 0x1 | 0x200, 0, {19}, kFlowXonToSend, 1},
      {"RTS lowered: raised again", 0x1 | 0x4000, 1, {}, 0x00, 1},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      SerialDcb request = kDefaultSerialDcb;
      request.flags = c.flags;
      request.xoff_limit = 4095;  // stop at the first byte
      ASSERT_TRUE(port_set_comm_state(&port, &request, kFieldFlags | kFieldXoffLimit));
      ASSERT_EQ(uart_rx_char('a'), 0u);
      ASSERT_NE(port.flow.load() & (kFlowXoffSent | kFlowStoppedByLines), 0);
      acu_running().store(c.running);
      SerialDcb baud = kDefaultSerialDcb;
      baud.baud = 9600;
      ASSERT_TRUE(port_set_comm_state(&port, &baud, kFieldBaud));
      EXPECT_EQ(Delivered(), c.delivered);
      EXPECT_EQ(port.flow.load(), c.flow_after);
      EXPECT_EQ(uart_line_get(kLineRts), c.rts_after);
    });
  }
}

// The hold by a missing CTS survives new settings: the drain still waits.
TEST(PortSetCommState, LineHoldKept) {
  PortRig::Run([](PortBlock& port) {
    SerialDcb request = kDefaultSerialDcb;
    request.flags = 0x1 | 0x8;
    ASSERT_TRUE(port_set_comm_state(&port, &request, kFieldFlags));
    EXPECT_EQ(port.flow.load(), kFlowHeldByLines);
    const std::uint8_t data[] = {'x', 'y'};
    ASSERT_EQ(uart_tx_put(data), 2u);
    ASSERT_TRUE(port_set_comm_state(&port, &request, kFieldBaud));
    EXPECT_EQ(port.flow.load(), kFlowHeldByLines);
    qor_rx_int();
    EXPECT_EQ(uart_tx_count(), 2u);
    uart_cts_on();
    EXPECT_EQ(Delivered(), std::vector<std::uint8_t>({'x', 'y'}));
  });
}

TEST(PortBaudMap, Rates) {
  struct Case {
    std::uint32_t requested;
    std::uint32_t rate;
  };
  const Case cases[] = {
      {300, 300},         {600, 600},         {1200, 1200},       {2400, 2400},
      {4800, 4800},       {7200, 7200},       {9600, 9600},       {12000, 12000},
      {14400, 14400},     {16800, 16800},     {19200, 19200},     {21600, 21600},
      {24000, 24000},     {26400, 26400},     {28800, 28800},     {31200, 31200},
      {33600, 33600},     {36000, 36000},     {38400, 38400},     {57600, 57600},
      {115200, 115200},   {230400, 230400},   {110, 300},         {56000, 57600},
      {128000, 115200},   {0xFF10, 300},      {0xFF11, 300},      {0xFF12, 600},
      {0xFF13, 1200},     {0xFF14, 2400},     {0xFF15, 4800},     {0xFF16, 9600},
      {0xFF17, 14400},    {0xFF18, 19200},    {0xFF1B, 38400},    {0xFF1F, 57600},
      {0xFF23, 115200},   {0xFF27, 230400},   {0, 38400},         {1, 38400},
      {2, 38400},         {230401, 38400},    {0xFF19, 38400},    {0xFF1A, 38400},
      {0xFF28, 38400},    {0xFFFFFFFF, 38400}, {9601, 38400},     {75, 38400},
  };
  for (const Case& c : cases) EXPECT_EQ(port_baud_map(c.requested), c.rate) << c.requested;
}

}  // namespace
}  // namespace vxctl::testing
