// Breaks toward the application at their place in the output, and breaks
// from it, measured or reported at once.
#include <gtest/gtest.h>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kBreakChar = 0xEE;

// The break character marks the break's start in the read queue, 0 its end.
void MarkBreaks() {
  port_state().flow_replace.store(kFlowReplaceBreakChar);
  port_state().break_char.store(kBreakChar);
}

void Queue(std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) dte_to_char(static_cast<std::uint8_t>('a' + i % 26));
}

TEST(DteBreaks, EachKindComesAtItsPlace) {
  struct Case {
    const char* name;
    std::uint8_t kind;
    bool started;           // output had started
    std::size_t before;     // bytes the application reads before the break
    std::uint32_t to_left;  // bytes left in dte_to_ring after the break
  };
  const Case cases[] = {
      {"kind 1, idle: rings emptied, at once", 1, false, 0, 0},
      {"kind 1, started: rings emptied, at position 0", 1, true, 0, 0},
      {"kind 2, idle: at once", 2, false, 0, 100},
      {"kind 2, started: at the read position", 2, true, 0, 100},
      {"kind 3: after the 100 queued bytes", 3, false, 100, 0},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState& dte) {
      SCOPED_TRACE(c.name);
      StartOnline(0, 0);
      MarkBreaks();
      AppWrite(Text("from"));
      dte_output_hold();  // queue without pushing
      Queue(100);
      dte.flow.output_held.store(0);
      dte.flow.output_started.store(c.started ? 1 : 0);
      dte_to_break(c.kind, 0);
      for (int i = 0; i < 3; ++i) dte_to_push();
      const Bytes read = AppRead();
      ASSERT_GT(read.size(), c.before);
      EXPECT_EQ(read[c.before], kBreakChar);
      EXPECT_EQ(uart_line_get(kLineBreakOut), 1);
      EXPECT_EQ(dte.to.Count(), c.to_left);
      EXPECT_EQ(dte_from_count(), c.kind == 1 ? 0u : 4u);
      dte_break_end();
      EXPECT_EQ(uart_line_get(kLineBreakOut), 0);
    });
  }
}

TEST(DteBreaks, ASecondBreakWhileOneIsActiveIsIgnored) {
  RunDte([](DteInterfaceState& dte) {
    StartOnline(0, 0);
    MarkBreaks();
    dte_to_break(2, 5);
    Queue(10);
    dte_to_break(1, 0);
    EXPECT_EQ(dte.to.Count(), 10u) << "a kind-1 break would have emptied the ring";
    Ticks(5);
    EXPECT_EQ(dte.brk.active.load(), 0);
    dte_to_push();
    const Bytes read = AppRead();
    ASSERT_EQ(read.size(), 12u);
    EXPECT_EQ(read.front(), kBreakChar);
    EXPECT_EQ(read[1], 0);
  });
}

TEST(DteBreaks, LastsTheGivenTicksOrUntilTheClamp) {
  struct Case {
    std::uint32_t length;
    std::uint32_t active_ticks;  // ticks after which it is still on
  };
  for (const Case c : {Case{1, 0}, Case{7, 6}, Case{0, 300}}) {
    RunDte([&](DteInterfaceState& dte) {
      SCOPED_TRACE(c.length);
      StartOnline(0, 0);
      dte_to_break(2, c.length);
      Ticks(c.active_ticks);
      EXPECT_EQ(dte.brk.active.load(), 1);
      if (c.length != 0) {
        Ticks(1);
      } else {
        dte_clamp_begin();
      }
      EXPECT_EQ(dte.brk.active.load(), 0);
      EXPECT_EQ(uart_line_get(kLineBreakOut), 0);
    });
  }
}

TEST(DteBreaks, FromTheApplication) {
  struct Case {
    const char* name;
    std::uint8_t option;
    std::uint8_t answer;
    std::uint32_t ticks;
    std::uint8_t length;        // reported to the command interpreter
    std::uint32_t from_left;    // what stays in dte_from_ring
  };
  const Case cases[] = {
      {"at once, kept", 0, 0, 30, 0, 3},
      {"at once, discarded", 0, 1, 30, 0, 0},
      {"measured, kept", 1, 0, 30, 30, 3},
      {"measured, discarded", 1, 1, 30, 30, 0},
      {"measured, at most 255", 1, 0, 400, 255, 3},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      auto& standin = MachineState<CommandInterpreterStandin>();
      standin.break_length_option.store(c.option);
      standin.break_answer.store(c.answer);
      StartOnline(0, 0);
      AppWrite(Text("abc"));
      uart_break_in_on();
      EXPECT_EQ(standin.breaks.load(), c.option != 0 ? 0u : 1u);
      Ticks(c.ticks);
      uart_break_in_off();
      EXPECT_EQ(standin.breaks.load(), 1u);
      EXPECT_EQ(standin.break_length.load(), c.length);
      EXPECT_EQ(standin.break_pending.load(), 3u);
      EXPECT_EQ(MachineState<LinkProtocolsStandin>().break_length.load(), c.length);
      EXPECT_EQ(dte_from_count(), c.from_left);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
