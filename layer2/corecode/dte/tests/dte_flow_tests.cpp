// Flow control toward the application (XON/XOFF characters, CTS) at the
// ring's marks, held back during a break, and from it (XON/XOFF, RTS).
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl::testing {
namespace {

// Takes from the ring until it holds `level` bytes.
void DrainTo(std::uint32_t level) {
  while (dte_from_count() > level) dte_from_char();
}

TEST(DteFlow, StopsTheApplicationAt896AndReleasesItAt256) {
  struct Case {
    const char* name;
    std::uint8_t to_kind;
    Bytes at_off;  // what the application reads
    std::uint8_t cts_off;
  };
  const Case cases[] = {
      {"XON/XOFF", kFlowKindXonXoff, {kXoff}, 1},
      {"CTS", kFlowKindLines, {}, 0},
      {"both", kFlowKindXonXoff | kFlowKindLines, {kXoff}, 0},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState& dte) {
      SCOPED_TRACE(c.name);
      StartOnline(0, c.to_kind);
      uart_cts_on();
      AppWrite(Bytes(895, 'a'));
      EXPECT_EQ(dte.flow.dte_stopped.load(), 0);
      EXPECT_EQ(AppRead(), Bytes{});
      AppWrite(Bytes(10, 'b'));
      EXPECT_EQ(dte_from_count(), 896u) << "the port stops delivering once stopped";
      EXPECT_EQ(uart_tx_count(), 9u);
      EXPECT_EQ(AppRead(), c.at_off);
      EXPECT_EQ(uart_line_get(kLineCts), c.cts_off);
      DrainTo(257);
      EXPECT_EQ(AppRead(), Bytes{});
      dte_from_char();
      EXPECT_EQ(AppRead(), c.at_off.empty() ? Bytes{} : Bytes{kXon});
      EXPECT_EQ(uart_line_get(kLineCts), 1);
      qor_rx_int();
      EXPECT_EQ(uart_tx_count(), 0u);
    });
  }
}

TEST(DteFlow, FlowCharactersWaitForTheEndOfABreak) {
  RunDte([](DteInterfaceState& dte) {
    StartOnline(0, kFlowKindXonXoff | kFlowKindLines);
    uart_cts_on();
    dte_to_break(2, 0);
    ASSERT_EQ(dte.brk.active.load(), 1);
    AppWrite(Bytes(900, 'a'));
    EXPECT_EQ(dte.flow.xoff_pending.load(), 1);
    EXPECT_EQ(uart_line_get(kLineCts), 1) << "CTS stays while the break lasts";
    dte_to_push();
    EXPECT_EQ(AppRead(), Bytes{}) << "nothing goes during the break";
    dte_break_end();
    EXPECT_EQ(AppRead(), (Bytes{0, kXoff}));  // the break's end marker, then XOFF
    EXPECT_EQ(uart_line_get(kLineCts), 0);

    dte_to_clear();  // output not started: the next break starts at once
    dte_to_break(2, 0);
    DrainTo(0);
    EXPECT_EQ(dte.flow.xon_pending.load(), 1);
    dte_break_end();
    EXPECT_EQ(AppRead(), (Bytes{0, kXon}));
    EXPECT_EQ(uart_line_get(kLineCts), 1);
  });
}

TEST(DteFlow, ARefusedFlowCharacterStaysPending) {
  RunDte([](DteInterfaceState& dte) {
    StartOnline(0, kFlowKindXonXoff);
    for (std::uint32_t i = 0; i < kStaticQueueSize; ++i) uart_rx_char('q');
    AppWrite(Bytes(896, 'a'));
    EXPECT_EQ(dte.flow.dte_stopped.load(), 1);
    EXPECT_EQ(dte.flow.xoff_pending.load(), 1);
    EXPECT_EQ(AppRead(), Bytes(kStaticQueueSize, 'q'));
    dte_to_char('d');
    dte_to_push();
    EXPECT_EQ(AppRead(), (Bytes{kXoff, 'd'})) << "the flow character goes before data";
    EXPECT_EQ(dte.flow.xoff_pending.load(), 0);
  });
}

TEST(DteFlow, TheApplicationHoldsAndResumesOutput) {
  struct Case {
    const char* name;
    std::uint8_t from_kind;
    void (*hold)();
    void (*resume)();
  };
  const Case cases[] = {
      {"XON/XOFF", kFlowKindXonXoff, [] { AppWrite({kXoff}); }, [] { AppWrite({kXon}); }},
      {"RTS", kFlowKindLines, uart_rts_off, uart_rts_on},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      uart_rts_on();
      StartOnline(c.from_kind, 0);
      c.hold();
      for (char ch : std::string("data")) dte_to_char(static_cast<std::uint8_t>(ch));
      dte_to_push();
      EXPECT_EQ(AppRead(), Bytes{});
      c.resume();
      dte_to_push();
      EXPECT_EQ(AppRead(), Text("data"));
      EXPECT_EQ(dte_from_count(), 0u) << "flow characters are not data";
    });
  }
}

TEST(DteFlow, OnlineStartWithRtsLowHoldsOutput) {
  RunDte([](DteInterfaceState& dte) {
    uart_rts_off();
    StartOnline(kFlowKindLines, 0);
    EXPECT_EQ(dte.flow.output_held.load(), 1);
  });
}

TEST(DteFlow, PassThroughStoresTheFlowCharactersToo) {
  RunDte([](DteInterfaceState& dte) {
    dte_online_start(0, 0, 0, kFlowKindXonXoff, kXon, kXoff, 0, kXon, kXoff, 1, '+', 50, 0);
    dte_clear_command_flag();
    AppWrite({'a', kXoff, 'b'});
    EXPECT_EQ(dte.flow.output_held.load(), 1);
    AppWrite({kXon});
    EXPECT_EQ(dte.flow.output_held.load(), 0);
    EXPECT_EQ(TakeFrom(), (Bytes{'a', kXoff, 'b', kXon}));
  });
}

}  // namespace
}  // namespace vxctl::testing
