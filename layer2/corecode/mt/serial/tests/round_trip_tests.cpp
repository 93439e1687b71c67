// SET then GET through the serial requests: baud, line control, characters,
// time-outs and handflow; lines, modem status and statistics.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/nt/serial.h"

namespace vxctl::testing {
namespace {

class SerialRoundTrips : public SerialTest {};

template <class T>
void Set(HANDLE port, ULONG code, const T& value) {
  ASSERT_EQ(Control(port, code, &value, sizeof value, nullptr, 0).error, 0u) << std::hex << code;
}

template <class T>
T Get(HANDLE port, ULONG code) {
  T value{};
  const ControlResult r = Control(port, code, nullptr, 0, &value, sizeof value);
  EXPECT_EQ(r.error, 0u) << std::hex << code;
  EXPECT_EQ(r.returned, sizeof value) << std::hex << code;
  return value;
}

TEST_F(SerialRoundTrips, SettingsReadBackAsSet) {
  WithPort([](HANDLE port) {
    for (ULONG baud : {300u, 2400u, 57600u, 115200u}) {
      Set(port, IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{baud});
      EXPECT_EQ(Get<SERIAL_BAUD_RATE>(port, IOCTL_SERIAL_GET_BAUD_RATE).BaudRate, baud);
    }
    for (const SERIAL_LINE_CONTROL line : {SERIAL_LINE_CONTROL{0, 0, 8}, SERIAL_LINE_CONTROL{2, 2, 7},
                                           SERIAL_LINE_CONTROL{1, 4, 5}}) {
      Set(port, IOCTL_SERIAL_SET_LINE_CONTROL, line);
      const auto back = Get<SERIAL_LINE_CONTROL>(port, IOCTL_SERIAL_GET_LINE_CONTROL);
      EXPECT_EQ(back.StopBits, line.StopBits);
      EXPECT_EQ(back.Parity, line.Parity);
      EXPECT_EQ(back.WordLength, line.WordLength);
    }
    const SERIAL_CHARS chars{0x1A, 0x3F, 0x7E, 0x0D, 0x11, 0x13};
    Set(port, IOCTL_SERIAL_SET_CHARS, chars);
    const auto c = Get<SERIAL_CHARS>(port, IOCTL_SERIAL_GET_CHARS);
    EXPECT_EQ(std::memcmp(&c, &chars, sizeof c), 0);
    const SERIAL_TIMEOUTS timeouts{50, 7, 1000, 3, 100};
    Set(port, IOCTL_SERIAL_SET_TIMEOUTS, timeouts);
    const auto t = Get<SERIAL_TIMEOUTS>(port, IOCTL_SERIAL_GET_TIMEOUTS);
    EXPECT_EQ(std::memcmp(&t, &timeouts, sizeof t), 0);
  });
}

// Every combination of the bits the mapping knows: the DTR field (none,
// control, handshake), CTS, DSR, DCD, DSR sensitivity and abort on error;
// output and input XON/XOFF, error character, null stripping, break
// character, the RTS field and continuing after XOFF.
TEST_F(SerialRoundTrips, HandflowBitsAndLimitsReadBackAsSet) {
  const std::vector<ULONG> dtr = {0, SERIAL_DTR_CONTROL, SERIAL_DTR_HANDSHAKE};
  const std::vector<ULONG> control_bits = {SERIAL_CTS_HANDSHAKE, SERIAL_DSR_HANDSHAKE,
                                           SERIAL_DCD_HANDSHAKE, SERIAL_DSR_SENSITIVITY,
                                           SERIAL_ERROR_ABORT};
  const std::vector<ULONG> rts = {0, SERIAL_RTS_CONTROL, SERIAL_RTS_HANDSHAKE,
                                  SERIAL_TRANSMIT_TOGGLE};
  const std::vector<ULONG> flow_bits = {SERIAL_AUTO_TRANSMIT, SERIAL_AUTO_RECEIVE,
                                        SERIAL_ERROR_CHAR, SERIAL_NULL_STRIPPING,
                                        SERIAL_BREAK_CHAR, SERIAL_XOFF_CONTINUE};
  WithPort([&](HANDLE port) {
    int checked = 0;
    for (ULONG d : dtr) {
      for (ULONG cset = 0; cset < (1u << control_bits.size()); ++cset) {
        ULONG control = d;
        for (std::size_t i = 0; i < control_bits.size(); ++i) {
          if ((cset >> i & 1) != 0) control |= control_bits[i];
        }
        // The flow bits vary with the control bits: each flow set meets
        // every control set over the whole loop.
        for (ULONG r : rts) {
          const ULONG fset = (cset * 7 + r) % (1u << flow_bits.size());
          ULONG flow = r;
          for (std::size_t i = 0; i < flow_bits.size(); ++i) {
            if ((fset >> i & 1) != 0) flow |= flow_bits[i];
          }
          const SERIAL_HANDFLOW set{control, flow, 0x12345 + checked, 0x10200 + checked};
          Set(port, IOCTL_SERIAL_SET_HANDFLOW, set);
          const auto back = Get<SERIAL_HANDFLOW>(port, IOCTL_SERIAL_GET_HANDFLOW);
          SCOPED_TRACE(::testing::Message() << std::hex << control << " " << flow);
          EXPECT_EQ(back.ControlHandShake, control);
          EXPECT_EQ(back.FlowReplace, flow);
          EXPECT_EQ(back.XonLimit, set.XonLimit & 0xFFFF);
          EXPECT_EQ(back.XoffLimit, set.XoffLimit & 0xFFFF);
          ++checked;
        }
      }
    }
  });
}

// Each handflow bit reaches the port as its own setting.
TEST_F(SerialRoundTrips, HandflowBitsBecomeThePortsFlags) {
  struct Case {
    ULONG control, flow;
    std::uint32_t flags;  // beyond binary
  };
  const Case cases[] = {
      {SERIAL_DTR_CONTROL, 0, kDcbDtrEnable | kDcbRtsDisable},
      {SERIAL_DTR_HANDSHAKE, 0, kDcbDtrHandshake | kDcbRtsDisable},
      {SERIAL_CTS_HANDSHAKE, 0, kDcbCtsOutput | kDcbDtrDisable | kDcbRtsDisable},
      {SERIAL_DSR_HANDSHAKE, 0, kDcbDsrOutput | kDcbDtrDisable | kDcbRtsDisable},
      {SERIAL_DSR_SENSITIVITY, 0, kDcbDsrSensitivity | kDcbDtrDisable | kDcbRtsDisable},
      {SERIAL_ERROR_ABORT, 0, kDcbAbortOnError | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_AUTO_TRANSMIT, kDcbOutX | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_AUTO_RECEIVE, kDcbInX | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_ERROR_CHAR, kDcbErrorChar | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_NULL_STRIPPING, kDcbNullStrip | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_XOFF_CONTINUE, kDcbTxContinueOnXoff | kDcbDtrDisable | kDcbRtsDisable},
      {0, SERIAL_RTS_CONTROL, kDcbRtsEnable | kDcbDtrDisable},
      {0, SERIAL_RTS_HANDSHAKE, kDcbRtsHandshake | kDcbDtrDisable},
      {0, SERIAL_TRANSMIT_TOGGLE, kDcbRtsToggle | kDcbDtrDisable},
  };
  WithPort([&](HANDLE port) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << c.control << " " << c.flow);
      Set(port, IOCTL_SERIAL_SET_HANDFLOW, SERIAL_HANDFLOW{c.control, c.flow, 100, 200});
      EXPECT_EQ(port_block().dcb.flags, kDcbBinary | c.flags);
      EXPECT_EQ(port_block().dcb.xon_limit, 100u);
      EXPECT_EQ(port_block().dcb.xoff_limit, 200u);
    }
  });
}

TEST_F(SerialRoundTrips, DtrAndRtsReadBackThroughTheirRequest) {
  WithPort([](HANDLE port) {
    struct Case {
      ULONG dtr_code, rts_code, expected;
    };
    for (const Case c : {Case{IOCTL_SERIAL_CLR_DTR, IOCTL_SERIAL_CLR_RTS, 0},
                         Case{IOCTL_SERIAL_SET_DTR, IOCTL_SERIAL_CLR_RTS, SERIAL_DTR_STATE},
                         Case{IOCTL_SERIAL_CLR_DTR, IOCTL_SERIAL_SET_RTS, SERIAL_RTS_STATE},
                         Case{IOCTL_SERIAL_SET_DTR, IOCTL_SERIAL_SET_RTS,
                              SERIAL_DTR_STATE | SERIAL_RTS_STATE}}) {
      ASSERT_EQ(Control(port, c.dtr_code, nullptr, 0, nullptr, 0).error, 0u);
      ASSERT_EQ(Control(port, c.rts_code, nullptr, 0, nullptr, 0).error, 0u);
      EXPECT_EQ(Get<ULONG>(port, IOCTL_SERIAL_GET_DTRRTS), c.expected);
    }
  });
}

TEST_F(SerialRoundTrips, ModemStatusFollowsTheLinesTowardTheApplication) {
  WithPort([](HANDLE port) {
    uart_cts_off();
    uart_dsr_off();
    const ULONG before = Get<ULONG>(port, IOCTL_SERIAL_GET_MODEMSTATUS);
    EXPECT_EQ(before & (SERIAL_DCD_STATE | SERIAL_RI_STATE), 0u);
    uart_dcd_on();
    EXPECT_EQ(Get<ULONG>(port, IOCTL_SERIAL_GET_MODEMSTATUS), ULONG{SERIAL_DCD_STATE});
    uart_ri_on();
    EXPECT_EQ(Get<ULONG>(port, IOCTL_SERIAL_GET_MODEMSTATUS),
              ULONG{SERIAL_DCD_STATE | SERIAL_RI_STATE});
    uart_dcd_off();
    EXPECT_EQ(Get<ULONG>(port, IOCTL_SERIAL_GET_MODEMSTATUS), ULONG{SERIAL_RI_STATE});
  });
}

// The command interpreter echoes the three characters and answers with
// six: received counts what reached the application's read queue.
TEST_F(SerialRoundTrips, StatisticsCountTrafficUntilCleared) {
  WithPort([](HANDLE port) {
    SetTimeouts(port, {0xFFFFFFFF, 0xFFFFFFFF, 1000, 0, 0});
    ASSERT_EQ(Write(port, "AT\r").bytes, "AT\r");
    std::string answer;
    while (answer.size() < 9) {
      const Transfer r = Read(port, 16);
      ASSERT_FALSE(r.bytes.empty()) << answer;
      answer += r.bytes;
    }
    EXPECT_EQ(answer, "AT\r\r\nOK\r\n");
    const auto stats = Get<SERIALPERF_STATS>(port, IOCTL_SERIAL_GET_STATS);
    EXPECT_EQ(stats.TransmittedCount, 3u);
    EXPECT_EQ(stats.ReceivedCount, 9u);
    ASSERT_EQ(Control(port, IOCTL_SERIAL_CLEAR_STATS, nullptr, 0, nullptr, 0).error, 0u);
    const auto cleared = Get<SERIALPERF_STATS>(port, IOCTL_SERIAL_GET_STATS);
    EXPECT_EQ(cleared.TransmittedCount, 0u);
    EXPECT_EQ(cleared.ReceivedCount, 0u);
  });
}

}  // namespace
}  // namespace vxctl::testing
