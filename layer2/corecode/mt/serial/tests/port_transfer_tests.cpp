// Reads and writes under the serial time-outs on the virtual clock: the
// read decision, the read cases, the write time-out, the line time-outs
// and abort on error.
#include <gtest/gtest.h>

#include <string>

#include "controller/acu/acu_controller.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/ke/irql.h"
#include "platform/win32/comm.h"
#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

class PortReadTimeouts : public SerialTest {};
class PortWrites : public SerialTest {};

constexpr ULONG kMax = 0xFFFFFFFF;

void Arrive(std::string_view bytes) {
  for (char c : bytes) uart_rx_char(static_cast<std::uint8_t>(c));
}

DWORD CommErrors(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  EXPECT_TRUE(ClearCommError(port, &errors, &status));
  return errors;
}

TEST_F(PortReadTimeouts, DecisionTable) {
  struct Case {
    ULONG interval, multiplier, constant;
    ULONG queued, length;
    bool now;
    ULONG count;
  };
  const Case cases[] = {
      {0, 0, 0, 5, 5, true, 5},             // the queue holds the length
      {0, 0, 0, 4, 5, false, 5},            // no time-outs: the worker waits
      {50, 0, 0, 1, 5, true, 5},            // an interval with a byte there
      {50, 0, 0, 0, 5, false, 5},           // an interval with none
      {kMax, 0, 0, 0, 5, true, 5},          // return what is there
      {0, 10, 100, 0, 5, true, 5},          // totals: waits inside port_read
      {0, kMax, 100, 3, 5, true, 3},        // as much as is there
      {0, kMax, 100, 0, 5, false, 5},       // nothing there yet
      {kMax, kMax, kMax, 0, 5, false, 5},   // otherwise queued
      {0, 10, kMax, 0, 5, false, 5},
  };
  WithPort([&](HANDLE port) {
    PortBlock& block = port_block();
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.interval << " " << c.multiplier << " " << c.constant
                                        << " queued " << c.queued);
      ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
      Arrive(std::string(c.queued, 'q'));
      block.timeouts = {c.interval, c.multiplier, c.constant, 0, 0};
      ULONG count = 0;
      EXPECT_EQ(ntdrv_read_now(block, c.length, count), c.now);
      EXPECT_EQ(count, c.count);
    }
    // Above PASSIVE_LEVEL every read is queued.
    Arrive("qqqqq");
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    ULONG count = 0;
    const bool now = ntdrv_read_now(block, 5, count);
    KeLowerIrql(old);
    EXPECT_FALSE(now);
  });
}

// Bytes arrive from a controller thread; the read's end is timed.
struct TimedRead {
  Transfer result;
  std::uint64_t ended_ms = 0;
};

TEST_F(PortReadTimeouts, IntervalEndsTheReadAtTheFirstPause) {
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {50, 0, 0, 0, 0});
    TimedRead r;
    std::uint64_t last_byte_ms = 0;
    UserThread reader([&] {
      r.result = Read(port, 10);
      r.ended_ms = NowMs();
    });
    Sleep(100);
    EXPECT_FALSE(reader.Join(0)) << "the read ended before any byte came";
    for (char c : std::string("abc")) {
      uart_rx_char(static_cast<std::uint8_t>(c));
      Sleep(20);
    }
    last_byte_ms = NowMs() - 20;
    ASSERT_TRUE(reader.Join(200));
    EXPECT_EQ(r.result.error, 0u);
    EXPECT_EQ(r.result.bytes, "abc");
    EXPECT_GE(r.ended_ms, last_byte_ms + 50);
    EXPECT_LE(r.ended_ms, last_byte_ms + 80);
  });
}

TEST_F(PortReadTimeouts, ImmediateReadReturnsWhatIsThere) {
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {kMax, 0, 0, 0, 0});
    const std::uint64_t start = NowMs();
    EXPECT_EQ(Read(port, 8).bytes, "");
    Arrive("xy");
    EXPECT_EQ(Read(port, 8).bytes, "xy");
    EXPECT_LE(NowMs() - start, 2u);
  });
}

TEST_F(PortReadTimeouts, ReturnOnAnyByteOrAfterTheConstant) {
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {kMax, kMax, 1000, 0, 0});
    std::uint64_t start = NowMs();
    const Transfer empty = Read(port, 8);
    EXPECT_EQ(empty.error, 0u);
    EXPECT_EQ(empty.bytes, "");
    EXPECT_GE(NowMs() - start, 1000u);
    EXPECT_LE(NowMs() - start, 1030u);

    TimedRead r;
    start = NowMs();
    UserThread reader([&] {
      r.result = Read(port, 8);
      r.ended_ms = NowMs();
    });
    Sleep(200);
    Arrive("z");
    ASSERT_TRUE(reader.Join(100));
    EXPECT_EQ(r.result.bytes, "z");
    EXPECT_LE(r.ended_ms - start, 230u);
  });
}

// K + count x M computed in 32 bits would be 5 ms here and end the read
// empty; the deadline saturates instead and the read waits for its bytes.
TEST_F(PortReadTimeouts, MultiplierProductBeyond32BitsSaturates) {
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {0, 0x10000000, 5, 0, 0});
    Transfer r;
    UserThread reader([&] { r = Read(port, 32); });
    Sleep(300);
    EXPECT_FALSE(reader.Join(0)) << "the deadline wrapped";
    Arrive(std::string(32, 'm'));
    ASSERT_TRUE(reader.Join(100));
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.bytes, std::string(32, 'm'));
  });
}

TEST_F(PortWrites, ConstantTimeOutWithAControllerThatDoesNotDrain) {
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {kMax, 0, 0, 0, 100});
    ASSERT_TRUE(EscapeCommFunction(port, SETXOFF));
    const std::uint64_t start = NowMs();
    const Transfer r = Write(port, std::string(3000, 'w'));
    const std::uint64_t took = NowMs() - start;
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.bytes.size(), 1024u) << "what fitted into the write queue";
    EXPECT_GE(took, 100u);
    EXPECT_LE(took, 130u);
    EXPECT_EQ(CommErrors(port), kCommErrorWriteShort);
    ASSERT_TRUE(PurgeComm(port, PURGE_TXCLEAR));
    ASSERT_TRUE(EscapeCommFunction(port, SETXON));
  });
}

TEST_F(PortWrites, MissingCtsEndsTheWriteWithNothingWritten) {
  WithPort([&](HANDLE port) {
    // The controller's idle poll raises CTS on every pass; in the fax
    // variant's idle state, which polls nothing, the test drives it.
    acu_controller().variants[AcuIdle] = VarFax;
    uart_cts_off();
    port_block().dcb.cts_timeout = 50;
    const std::uint64_t start = NowMs();
    const Transfer r = Write(port, "AT\r");
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.bytes, "");
    EXPECT_GE(NowMs() - start, 50u);
    EXPECT_EQ(CommErrors(port), kCommErrorCtsTimeout);
    // CTS on in time: the write goes through.
    Transfer later;
    UserThread writer([&] { later = Write(port, "AT\r"); });
    Sleep(20);
    uart_cts_on();
    ASSERT_TRUE(writer.Join(100));
    EXPECT_EQ(later.bytes, "AT\r");
    EXPECT_EQ(CommErrors(port), 0u);
  });
}

TEST_F(PortWrites, AbortOnError) {
  struct Case {
    std::uint32_t error_word;
    DWORD write_error;
    DWORD read_error;
  };
  const Case cases[] = {
      {kCommErrorWriteShort, 0, ErrorFor(STATUS_UNSUCCESSFUL)},
      {kCommErrorBreak, ErrorFor(STATUS_UNSUCCESSFUL), ErrorFor(STATUS_UNSUCCESSFUL)},
  };
  WithPort([&](HANDLE port) {
    SetTimeouts(port, {kMax, 0, 0, 0, 0});
    const SERIAL_HANDFLOW abort{SERIAL_ERROR_ABORT | SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL, 0, 0};
    ASSERT_EQ(Control(port, IOCTL_SERIAL_SET_HANDFLOW, &abort, sizeof abort, nullptr, 0).error, 0u);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.error_word);
      port_block().error_word.store(c.error_word);
      Arrive("r");
      const Transfer w = Write(port, "AT\r");
      EXPECT_EQ(w.error, c.write_error);
      EXPECT_EQ(w.bytes, "");
      EXPECT_EQ(Read(port, 1).error, c.read_error);
      // Once the errors are read and cleared, transfers go on.
      EXPECT_EQ(CommErrors(port), c.error_word);
      EXPECT_EQ(Read(port, 1).bytes, "r");
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
