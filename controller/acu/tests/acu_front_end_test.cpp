// The command-line front end as the application sees it through the
// modem's serial port: echo, A and T, backspace, CAN, the line's end and
// length, A/, the line delay, and one command per pass. Byte-exact, with
// CR and LF written out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/at_parser.h"
#include "controller/acu/at_parser_machine.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "platform/ke/kernel.h"

namespace vxctl::testing {
namespace {

class AcuFrontEnd : public AcuRig {};


std::uint64_t Now() { return plat::ke::CurrentKernel().Now(); }

// Sends `typed` and reads in 10 ms steps until an OK has arrived: the
// virtual time that took.
std::uint64_t TimeToOk(plat::testing::DteClient& dte, const std::string& typed) {
  const std::uint64_t sent = Now();
  EXPECT_TRUE(dte.Send(typed));
  std::string answer;
  while (answer.find("OK\r\n") == std::string::npos && Now() - sent < kAnswerWithin) {
    answer += ReadFor(dte, 10 * plat::hal::kMillisecond);
  }
  return Now() - sent;
}

struct TypedLine {
  const char* typed;
  const char* received;  // everything the terminal reads, echo included
};

// With echo on (the factory's E1), verbose results.
TEST_F(AcuFrontEnd, LinesAndTheirAnswersWithEcho) {
  const TypedLine cases[] = {
      {"AT\r", "AT\r\r\nOK\r\n"},
      {"at\r", "at\r\r\nOK\r\n"},
      // Mixed pairs begin no line: the characters are echoed, nothing else.
      {"At\r", "At\r"},
      {"aT\r", "aT\r"},
      // Backspace at the start of the line re-echoes the erased T.
      {"AT\b\r", "AT\bT\r\r\nOK\r\n"},
      {"at\b\r", "at\bt\r\r\nOK\r\n"},
      // Backspace within the line erases the character: the line is empty.
      {"ATX\b\r", "ATX\b \b\r\r\nOK\r\n"},
      // CAN abandons the line with OK.
      {"ATXYZ\x18", "ATXYZ\x18\r\nOK\r\n"},
      // An unknown command ends the line with ERROR.
      {"ATXYZ\r", "ATXYZ\r\r\nERROR\r\n"},
      // Spaces are removed: 80 of them are a full, empty line.
      {"AT                                                                                \r",
       "AT                                                                                "
       "\r\r\nOK\r\n"},
      // The stand-in's fax table answers the class query.
      {"AT+FCLASS?\r", "AT+FCLASS?\r\r\n0\r\n\r\nOK\r\n"},
  };
  WithTerminal([&](plat::testing::DteClient& dte) {
    for (const TypedLine& line : cases) {
      SCOPED_TRACE(line.typed);
      const std::size_t before = dte.transcript().size();
      ASSERT_TRUE(dte.Send(line.typed));
      ReadFor(dte, kQuiet);
      EXPECT_EQ(dte.transcript().substr(before), line.received);
    }
  });
}

TEST_F(AcuFrontEnd, EchoOffSendsOnlyTheResult) {
  WithTerminal(
      [](plat::testing::DteClient& dte) {
        ASSERT_TRUE(dte.Send("AT\r"));
        EXPECT_EQ(ReadFor(dte, kQuiet), "\r\nOK\r\n");
        ASSERT_TRUE(dte.Send("AT\b\r"));
        EXPECT_EQ(ReadFor(dte, kQuiet), "\r\nOK\r\n");
        ASSERT_TRUE(dte.Send("ATX\b\r"));
        EXPECT_EQ(ReadFor(dte, kQuiet), "\r\nOK\r\n");
      },
      [] { acu_settings().s[kSOptions] &= static_cast<std::uint8_t>(~kS14Echo); });
}

// The 81st printable character ends the line with ERROR and is not
// stored; what follows it starts a new search for A and T.
TEST_F(AcuFrontEnd, EightyFirstCharacterEndsTheLineWithError) {
  WithTerminal([](plat::testing::DteClient& dte) {
    const std::string spaces(81, ' ');
    ASSERT_TRUE(dte.Send("AT" + spaces + "AT\r"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "AT" + spaces + "\r\nERROR\r\nAT\r\r\nOK\r\n");
    const AcuControllerState& acu = acu_controller();
    EXPECT_EQ(acu.line[kAcuLineMax], 0) << "the terminator's place stays free";
  });
}

// A/ runs the stored line again at once; before any line it runs the
// empty line.
TEST_F(AcuFrontEnd, RepeatRunsTheStoredLineWithoutTheDelay) {
  WithTerminal([](plat::testing::DteClient& dte) {
    ASSERT_TRUE(dte.Send("A/"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "A/\r\nOK\r\n");

    const std::uint64_t typed_line = TimeToOk(dte, "AT+FCLASS?\r");
    ReadFor(dte, kQuiet);  // what is typed before the answer is out is discarded
    const std::uint64_t repeated = TimeToOk(dte, "a/");
    EXPECT_EQ(ReadFor(dte, kQuiet), "");
    const std::string& transcript = dte.transcript();
    const std::string repeat = "a/\r\n0\r\n\r\nOK\r\n";
    ASSERT_GE(transcript.size(), repeat.size());
    EXPECT_EQ(transcript.substr(transcript.size() - repeat.size()), repeat);
    // 13 ticks of 10 ms hold a typed line, not a repeated one.
    EXPECT_GE(typed_line, 130 * plat::hal::kMillisecond);
    EXPECT_LT(repeated, 100 * plat::hal::kMillisecond);
  });
}

// A line abandoned by CAN or by its 81st character never ran: A/ after it
// runs an empty line, not the abandoned one.
TEST_F(AcuFrontEnd, RepeatAfterAnAbandonedLineRunsNothing) {
  WithTerminal([](plat::testing::DteClient& dte) {
    ASSERT_TRUE(dte.Send("AT+FCLASS?\x18"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "AT+FCLASS?\x18\r\nOK\r\n");
    ASSERT_TRUE(dte.Send("A/"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "A/\r\nOK\r\n");

    // "+FCLASS?" and 72 spaces fill the line; the next space is refused.
    const std::string spaces(73, ' ');
    ASSERT_TRUE(dte.Send("AT+FCLASS?" + spaces));
    EXPECT_EQ(ReadFor(dte, kQuiet), "AT+FCLASS?" + spaces + "\r\nERROR\r\n");
    ASSERT_TRUE(dte.Send("A/"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "A/\r\nOK\r\n");
  });
}

// What the application types while a line waits out its delay is
// discarded.
TEST_F(AcuFrontEnd, TypeAheadDuringTheLineDelayIsDiscarded) {
  WithTerminal([](plat::testing::DteClient& dte) {
    ASSERT_TRUE(dte.Send("AT\rAT\r"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "AT\r\r\nOK\r\n");
    ASSERT_TRUE(dte.Send("AT\r"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "AT\r\r\nOK\r\n");
  });
}

// A spy command records the controller's pass it ran in: the commands of
// one line run one per pass.
struct SpyPasses {
  std::vector<std::uint32_t> passes;
};

void Spy(AtParser&, const std::uint8_t*) {
  MachineState<SpyPasses>().passes.push_back(acu_controller().passes);
}

constexpr at_command_entry kSpyTable[] = {{"Q", Spy, AtArgumentKind::None, 0}, kAtTableEnd};

TEST_F(AcuFrontEnd, OneCommandPerPass) {
  WithTerminal([](plat::testing::DteClient& dte) {
    at_table_op(AtStackOp::Push, kSpyTable);
    ASSERT_TRUE(dte.Send("ATQQQQ\r"));
    EXPECT_EQ(ReadFor(dte, kQuiet), "ATQQQQ\r\r\nOK\r\n");
    const std::vector<std::uint32_t>& passes = MachineState<SpyPasses>().passes;
    ASSERT_EQ(passes.size(), 4u);
    for (std::size_t i = 1; i < passes.size(); ++i) EXPECT_EQ(passes[i], passes[i - 1] + 1) << i;
  });
}

}  // namespace
}  // namespace vxctl::testing
