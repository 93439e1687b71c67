// Command mode: the command rings, the hold of responses by the
// application's XON/XOFF and RTS, the push only while the port has room,
// the bounded flush and the reset of command mode.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

void Respond(const std::string& text) {
  for (char c : text) dte_cmd_to_char(static_cast<std::uint8_t>(c));
}

TEST(DteCommandMode, ResponseRingRoomIs2047WhenEmpty) {
  RunDte([](DteInterfaceState&) {
    EXPECT_EQ(dte_cmd_to_free(), 2047u);
    dte_state().flow.cmd_output_held.store(1);  // keep it in the ring
    Respond("OK\r\n");
    EXPECT_EQ(dte_cmd_to_count(), 4u);
    EXPECT_EQ(dte_cmd_to_free(), 2043u);
  });
}

TEST(DteCommandMode, FromCountDrainsThePortFirst) {
  RunDte([](DteInterfaceState&) {
    uart_tx_put(Text("AT&F\r"));  // written, not yet drained
    EXPECT_EQ(dte_state().cmd_from.Count(), 0u);
    EXPECT_EQ(dte_cmd_from_count(), 5u);
    EXPECT_EQ(uart_tx_count(), 0u);
    uart_tx_put(Text("ATI"));
    EXPECT_EQ(dte_cmd_from_free(), 2048u - 8u);
    Bytes line;
    while (dte_cmd_from_count() != 0) line.push_back(dte_cmd_from_char());
    EXPECT_EQ(line, Text("AT&F\rATI"));
  });
}

TEST(DteCommandMode, XonXoffFromTheApplicationHoldResponses) {
  struct Case {
    std::uint8_t from_kind;
    Bytes after_xoff;  // what the application reads after it sent XOFF
    Bytes stored;      // what reaches the command interpreter
  };
  const Case cases[] = {
      {kFlowKindXonXoff, {}, Text("A")},
      {0, Text("OK"), Bytes{kXoff, 'A', kXon}},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState& dte) {
      SCOPED_TRACE(c.from_kind);
      dte.flow.from_kind.store(c.from_kind);
      AppWrite({kXoff, 'A'});
      Respond("OK");
      dte_cmd_to_push();
      EXPECT_EQ(AppRead(), c.after_xoff);
      AppWrite({kXon});
      dte_cmd_to_push();
      EXPECT_EQ(AppRead().size() + c.after_xoff.size(), 2u);
      Bytes stored;
      while (dte_cmd_from_count() != 0) stored.push_back(dte_cmd_from_char());
      EXPECT_EQ(stored, c.stored);
    });
  }
}

TEST(DteCommandMode, RtsHoldsResponsesOnlyWithRtsHandshake) {
  for (const bool handshake : {true, false}) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(handshake);
      port_block().input_handshake.store(handshake ? kInputRts : 0);
      uart_rts_on();
      uart_rts_off();
      Respond("OK");
      dte_cmd_to_push();
      EXPECT_EQ(AppRead().size(), handshake ? 0u : 2u);
      uart_rts_on();
      dte_cmd_to_push();
      EXPECT_EQ(dte_cmd_to_count(), 0u);
    });
  }
}

TEST(DteCommandMode, PushesOnlyWhatTheReadQueueHasRoomFor) {
  RunDte([](DteInterfaceState&) {
    Bytes filler(kStaticQueueSize - 3, 'x');
    for (std::uint8_t c : filler) ASSERT_EQ(uart_rx_char(c), 0u);
    Respond("ERROR");
    dte_cmd_to_push();
    EXPECT_EQ(uart_rx_count(), kStaticQueueSize);
    EXPECT_EQ(dte_cmd_to_count(), 2u);
    Bytes read = AppRead();
    dte_cmd_to_push();
    const Bytes rest = AppRead();
    read.insert(read.end(), rest.begin(), rest.end());
    filler.insert(filler.end(), {'E', 'R', 'R', 'O', 'R'});
    EXPECT_EQ(read, filler);
  });
}

TEST(DteCommandMode, ResetEmptiesEveryRingAndReturnsToCommandMode) {
  RunDte([](DteInterfaceState& dte) {
    StartOnline(0, kFlowKindLines | kFlowKindXonXoff);
    AppWrite(Bytes(900, 'd'));  // past the off mark: the application stopped
    ASSERT_EQ(dte.flow.dte_stopped.load(), 1);
    dte_to_char('r');
    dte.cmd_from.Put('c');
    dte.cmd_to.Put('t');
    dte_output_hold();
    dte.flow.cmd_output_held.store(1);
    AppRead();
    ClearPending();

    dte_reset_command_mode();
    EXPECT_EQ(dte.cmd_from.Count() + dte.cmd_to.Count() + dte.from.Count() + dte.to.Count(), 0u);
    EXPECT_EQ(dte.state.load(), kDteCommand);
    EXPECT_EQ(dte.command_flag.load(), 1);
    EXPECT_EQ(dte.flow.output_held.load(), 0);
    EXPECT_EQ(dte.flow.cmd_output_held.load(), 0);
    EXPECT_EQ(dte.flow.dte_stopped.load(), 0);
    EXPECT_EQ(AppRead(), Bytes{kXon});
    EXPECT_EQ(uart_line_get(kLineCts), 1);
    EXPECT_NE(MachineState<ModemTaskState>().status_word.load() & kStatusCtsOn, 0u)
        << "CTS raised through the modem task";
  });
}

TEST(DteCommandMode, ResetIsSkippedWhileACommandPushRuns) {
  RunDte([](DteInterfaceState& dte) {
    dte.cmd_from.Put('c');
    dte.flow.cmd_push_free.store(0);
    dte_reset_command_mode();
    EXPECT_EQ(dte.cmd_from.Count(), 1u);
    dte.flow.cmd_push_free.store(1);
  });
}

TEST(DteCommandMode, FlushReturnsOnceTheApplicationRead) {
  RunDte([](DteInterfaceState&) {
    Respond("CONNECT 33600\r\n");
    dte_state().flow.cmd_output_held.store(1);
    DteFlushResult result = DteFlushResult::GaveUp;
    RunThreads({{16, [&] { result = dte_cmd_to_flush(); }},
                {15, [] {
                   SleepMs(30);
                   AppWrite({kXon});  // no XON/XOFF flow: a plain character
                   dte_state().flow.cmd_output_held.store(0);
                 }}});
    EXPECT_EQ(AppRead(), Text("CONNECT 33600\r\n"));
    EXPECT_EQ(result, DteFlushResult::Drained);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);
  });
}

TEST(DteCommandMode, FlushGivesUpAfter500TicksWhenNobodyReads) {
  RunDte([](DteInterfaceState& dte) {
    Respond("RING\r\n");
    dte.flow.cmd_output_held.store(1);  // the application never takes it
    bool flushing = true;
    DteFlushResult result = DteFlushResult::Drained;
    RunThreads({{16, [&] {
                   result = dte_cmd_to_flush();
                   flushing = false;
                 }},
                {17, [&] {
                   std::uint32_t ticks = 0;
                   while (flushing) {
                     Ticks(1);
                     ++ticks;
                   }
                   EXPECT_GE(ticks, 500u);
                   EXPECT_LE(ticks, 501u);
                 }}});
    EXPECT_EQ(result, DteFlushResult::GaveUp);
    EXPECT_EQ(dte.cmd_to.Count(), 0u);
    EXPECT_EQ(MachineState<AssertLog>().Entries(),
              (std::vector<AssertRecord>{{"clmacuio", 1402}}));
  });
}

TEST(DteCommandMode, FlushReturnsWhenThePortCloses) {
  RunDte([](DteInterfaceState& dte) {
    Respond("OK\r\n");
    dte.flow.cmd_output_held.store(1);
    DteFlushResult result = DteFlushResult::Drained;
    RunThreads({{16, [&] { result = dte_cmd_to_flush(); }},
                {15, [] {
                   SleepMs(20);
                   acu_running().store(0);
                 }}});
    EXPECT_EQ(result, DteFlushResult::PortClosed);
    EXPECT_EQ(dte.cmd_to.Count(), 4u);  // what was left stays
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);
  });
}

}  // namespace
}  // namespace vxctl::testing
