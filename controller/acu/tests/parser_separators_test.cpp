// The separator rules after a command: basic commands chain, extended
// commands need ';' or the line's end, SkipSeparator takes one ';', the dial
// text takes its ';' with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/tests/at_parser_testing.h"

namespace vxctl::testing {
namespace {

using K = AtArgumentKind;
using Flag = std::uint8_t;

constexpr char kE[] = "E";
constexpr char kSeparatorV[] = "V";
constexpr char kQ[] = "Q";
constexpr char kD[] = "D";
constexpr char kExt[] = "+X=";
constexpr char kClass[] = "+FCLASS=";
constexpr char kText[] = "+T=";
constexpr char kQuote[] = "+Q=";

constexpr at_command_entry kTable[] = {
    {"+FCLASS=", Record<kClass>, K::DecimalText, AtEntryFlag::SkipSeparator},
    {"+X=", Record<kExt>, K::Decimal8, AtEntryFlag::RequireSeparator},
    {"+T=", Record<kText>, K::TextToSeparator, AtEntryFlag::RequireSeparator},
    {"+Q=", Record<kQuote>, K::Quoted, AtEntryFlag::RequireSeparator},
    {"D", Record<kD>, K::DialText, 0},
    {"E", Record<kE>, K::Decimal8, 0},
    {"V", Record<kSeparatorV>, K::Decimal8, 0},
    {"Q", Record<kQ>, K::Decimal8, 0},
    {"Z", Refuse, K::None, 0},
    kAtTableEnd,
};

struct Case {
  std::string line;
  std::vector<std::string> names;
  std::vector<std::uint8_t> results;
};

TEST(ParserSeparators, RulesAfterEachCommand) {
  constexpr std::uint8_t R = kAtRan, X = kAtError, L = kAtLineEnd;
  const std::vector<Case> cases = {
      // Basic commands chain without separators.
      {"E0V1Q0", {kE, kSeparatorV, kQ}, {R, R, R, L}},
      // An extended command followed by a letter runs, then the line fails.
      {"+X=1V1", {kExt}, {X}},
      {"+X=1;V1", {kExt, kSeparatorV}, {R, R, L}},
      {"+X=1", {kExt}, {R, L}},
      {"+X=1 ; v1", {kExt, kSeparatorV}, {R, R, L}},
      {"+T=AB;E1", {kText, kE}, {R, R, L}},
      {"+T=AB", {kText}, {R, L}},
      {"+Q=\"a;B\";E1", {kQuote, kE}, {R, R, L}},
      // SkipSeparator consumes one ';' when there is one.
      {"+FCLASS=1;V1", {kClass, kSeparatorV}, {R, R, L}},
      {"+FCLASS=1V1", {kClass, kSeparatorV}, {R, R, L}},
      {"+FCLASS=1;;V1", {kClass}, {R, X}},
      // A basic command does not consume a ';'.
      {"E1;V1", {kE}, {R, X}},
      // The dial text takes everything up to and including its ';'.
      {"DT123;E1", {kD, kE}, {R, R, L}},
      {"DT123E1", {kD}, {R, L}},
      // A refused argument: the handler does not run.
      {"E256V1", {}, {X}},
      {"+Q=\"ab", {}, {X}},
  };
  for (const auto& c : cases) {
    RecordingParser parser;
    parser.TableOp(AtStackOp::Push, kTable);
    parser.Line(c.line);
    EXPECT_EQ(parser.RunAll(), c.results) << c.line;
    EXPECT_EQ(parser.Names(), c.names) << c.line;
  }
}

TEST(ParserSeparators, ArgumentsReachTheHandlers) {
  RecordingParser parser;
  parser.TableOp(AtStackOp::Push, kTable);
  parser.Line("DT555-1234;E");
  parser.RunAll();
  ASSERT_EQ(parser.calls.size(), 2u);
  EXPECT_STREQ(reinterpret_cast<const char*>(parser.calls[0].argument.bytes.data()), "T555-1234;");
  EXPECT_EQ(parser.calls[1].argument.bytes[0], 0);  // "E" is E0
}

TEST(ParserSeparators, AHandlerRefusalSetsTheErrorFlagAndTheCommandCountsAsRun) {
  RecordingParser parser;
  parser.TableOp(AtStackOp::Push, kTable);
  parser.Line("ZE1");
  EXPECT_EQ(parser.RunNext(), kAtRan);
  EXPECT_EQ(parser.error_flag, 1);
  EXPECT_STREQ(parser.Rest(), "E1");  // the front end stops the line here
}

}  // namespace
}  // namespace vxctl::testing
