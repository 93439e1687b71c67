// The table stack and the matcher: first match wins in stack order, entries
// in table order; the stack operations; pre-processing of a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/at_parser_machine.h"
#include "controller/acu/tests/at_parser_testing.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

using K = AtArgumentKind;

constexpr char kFrontE[] = "front E";
constexpr char kBasicE[] = "basic E";
constexpr char kLongT[] = "&T1A";
constexpr char kShortT[] = "&T";
constexpr char kV[] = "V";

constexpr at_command_entry kBasic[] = {
    {"&T1A", Record<kLongT>, K::None, 0},
    {"&T", Record<kShortT>, K::Decimal8, 0},
    {"E", Record<kBasicE>, K::Decimal8, 0},
    {"V", Record<kV>, K::Decimal8, 0},
    kAtTableEnd,
};
constexpr at_command_entry kFront[] = {
    {"E", Record<kFrontE>, K::Decimal8, 0},
    kAtTableEnd,
};
// The prefix listed first: it always wins.
constexpr at_command_entry kPrefixFirst[] = {
    {"&T", Record<kShortT>, K::Decimal8, 0},
    {"&T1A", Record<kLongT>, K::None, 0},
    kAtTableEnd,
};
constexpr at_command_entry kOther[] = {kAtTableEnd};
// For the machine's own parser, which records nothing.
constexpr at_command_entry kPlain[] = {{"V", nullptr, K::Decimal8, 0}, kAtTableEnd};

std::vector<const at_command_entry*> Stack(const AtParser& parser) {
  return {parser.Tables().begin(), parser.Tables().end()};
}

TEST(ParserMatching, FirstMatchWinsInStackOrder) {
  RecordingParser parser;
  parser.TableOp(AtStackOp::Push, kBasic);
  parser.TableOp(AtStackOp::Push, kFront);
  parser.Line("E1V0E2");
  EXPECT_EQ(parser.RunAll(), (std::vector<std::uint8_t>{kAtRan, kAtRan, kAtRan, kAtLineEnd}));
  // Each command is searched from the front of the stack again.
  EXPECT_EQ(parser.Names(), (std::vector<std::string>{kFrontE, kV, kFrontE}));

  parser.calls.clear();
  parser.TableOp(AtStackOp::Remove, kFront);
  parser.Line("E1");
  parser.RunAll();
  EXPECT_EQ(parser.Names(), std::vector<std::string>{kBasicE});
}

TEST(ParserMatching, NoLongestMatchPreference) {
  struct Case {
    const at_command_entry* table;
    std::string line;
    std::vector<std::string> names;
    std::vector<std::uint8_t> results;
  };
  const std::vector<Case> cases = {
      // The long name listed before its prefix.
      {kBasic, "&T1A", {kLongT}, {kAtRan, kAtLineEnd}},
      {kBasic, "&T1", {kShortT}, {kAtRan, kAtLineEnd}},  // "&T1A" is longer than the rest
      {kBasic, "&T1B", {kShortT}, {kAtRan, kAtError}},
      // The prefix listed first takes "&T1", and "A" matches nothing.
      {kPrefixFirst, "&T1A", {kShortT}, {kAtRan, kAtError}},
  };
  for (const auto& c : cases) {
    RecordingParser parser;
    parser.TableOp(AtStackOp::Push, c.table);
    parser.Line(c.line);
    EXPECT_EQ(parser.RunAll(), c.results) << c.line;
    EXPECT_EQ(parser.Names(), c.names) << c.line;
  }
}

TEST(ParserMatching, NothingMatchesOrNothingLeft) {
  RecordingParser parser;
  parser.Line("E1");
  EXPECT_EQ(parser.RunNext(), kAtError);  // empty stack
  parser.TableOp(AtStackOp::Push, kBasic);
  parser.Line("X");
  EXPECT_EQ(parser.RunNext(), kAtError);
  parser.Line("   ");
  EXPECT_EQ(parser.RunNext(), kAtLineEnd);
  parser.Reset();
  EXPECT_EQ(parser.RunNext(), kAtLineEnd);
  EXPECT_TRUE(parser.Tables().empty());
  EXPECT_TRUE(parser.calls.empty());
}

TEST(ParserMatching, StackOperations) {
  using Tables = std::vector<const at_command_entry*>;
  AtParser parser;
  parser.TableOp(AtStackOp::Push, kBasic);
  parser.TableOp(AtStackOp::Push, kFront);
  parser.TableOp(AtStackOp::Push, kOther);
  EXPECT_EQ(Stack(parser), (Tables{kOther, kFront, kBasic}));

  // Pushing a table already there, or null, changes nothing, not even its place.
  parser.TableOp(AtStackOp::Push, kBasic);
  parser.TableOp(AtStackOp::Push, nullptr);
  EXPECT_EQ(Stack(parser), (Tables{kOther, kFront, kBasic}));

  // Removing closes the gap; a table not there, or null, changes nothing.
  parser.TableOp(AtStackOp::Remove, kFront);
  parser.TableOp(AtStackOp::Remove, kPrefixFirst);
  parser.TableOp(AtStackOp::Remove, nullptr);
  EXPECT_EQ(Stack(parser), (Tables{kOther, kBasic}));

  // Save empties the stack; Restore brings the saved tables back.
  parser.TableOp(AtStackOp::Save, nullptr);
  EXPECT_TRUE(Stack(parser).empty());
  parser.TableOp(AtStackOp::Push, kPrefixFirst);
  parser.TableOp(AtStackOp::Restore, nullptr);
  EXPECT_EQ(Stack(parser), (Tables{kOther, kBasic}));

  parser.TableOp(AtStackOp::Empty, nullptr);
  EXPECT_TRUE(Stack(parser).empty());

  // Restore with nothing saved changes nothing.
  AtParser fresh;
  fresh.TableOp(AtStackOp::Push, kBasic);
  fresh.TableOp(AtStackOp::Restore, nullptr);
  EXPECT_EQ(Stack(fresh), Tables{kBasic});
  // Saving an empty stack leaves nothing to restore.
  fresh.TableOp(AtStackOp::Empty, nullptr);
  fresh.TableOp(AtStackOp::Save, nullptr);
  fresh.TableOp(AtStackOp::Push, kFront);
  fresh.TableOp(AtStackOp::Restore, nullptr);
  EXPECT_EQ(Stack(fresh), Tables{kFront});
}

// Fifteen distinct tables (each an end entry of its own).
constexpr at_command_entry kFifteen[16][1] = {
    {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd},
    {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd},
    {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd}, {kAtTableEnd},
};

TEST(ParserMatching, PushOntoAFullStackChangesNothingAndRaisesTheAssertionHook) {
  RunOnController([] {
    at_parser_reset();
    for (int i = 0; i < 15; ++i) at_table_op(AtStackOp::Push, kFifteen[i]);
    const std::vector<const at_command_entry*> full = Stack(acu_parser());
    ASSERT_EQ(full.size(), 15u);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);

    at_table_op(AtStackOp::Push, kFifteen[15]);
    EXPECT_EQ(Stack(acu_parser()), full);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 1u);
  });
}

TEST(ParserMatching, MachineEntriesRunOnTheMachinesParser) {
  RunOnController([] {
    at_parser_reset();
    at_table_op(AtStackOp::Push, kPlain);
    char line[] = "v 1";
    at_parser_begin_line(line);
    EXPECT_EQ(at_parser_run_next(), kAtRan);
    EXPECT_EQ(at_parser_run_next(), kAtLineEnd);
    EXPECT_EQ(acu_parser().Argument().bytes[0], 1);
    // The line stays pre-processed, as a repeat runs it again.
    EXPECT_STREQ(line, "V1");
    acu_error_flag() = 1;
    EXPECT_EQ(acu_parser().error_flag, 1);
  });
}

TEST(ParserMatching, PreprocessingOfSpacesAndCaseAroundQuotes) {
  struct Case {
    std::string line;
    std::string processed;
  };
  const std::vector<Case> cases = {
      {"e 1 v 0", "E1V0"},
      {"+q=\"Ab c\"", "+Q=\"Ab c\""},
      {"a\"b c\"d e", "A\"b c\"DE"},
      {"\"x\" y \"z\"", "\"x\"Y\"z\""},
      // An unclosed quote keeps its spaces but opens nothing for the case.
      {"+q=\"ab c", "+Q=\"AB C"},
      {"\"a\" b \"c d", "\"a\"B\"C D"},
      {"{}[]az;~", "{}[]AZ;~"},
  };
  for (const auto& c : cases) {
    std::string text = c.line;
    AtRemoveSpaces(text.data());
    AtUpperCase(text.data());
    EXPECT_EQ(std::string(text.c_str()), c.processed) << c.line;
  }
}

}  // namespace
}  // namespace vxctl::testing
