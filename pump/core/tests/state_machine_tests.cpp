#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pump/core/state_machine.h"
#include "pump/core/tests/debug_lines.h"

namespace pump {
namespace {

struct Owner;
using Table = StateTable<Owner>;

struct Owner {
  StateMachine<Owner> machine;
  std::string ran;                     // handlers run in the current tick
  std::function<void(Owner&)> inside;  // an op the current tick's handler issues
};

template <char Name>
void Handler(Owner& owner) {
  owner.ran += Name;
  if (owner.inside) owner.inside(owner);
}

constexpr StateEntry<Owner> kSkipEntries[] = {
    {Handler<'A'>, 2, "A"}, {Handler<'B'>, 0, "B"}, {Handler<'C'>, -1, "C"}};
constexpr StateEntry<Owner> kWaitEntries[] = {
    {Handler<'A'>, -1, "A"}, {Handler<'B'>, 3, "B"}, {Handler<'C'>, -1, "C"}};
constexpr StateEntry<Owner> kHoleEntries[] = {{Handler<'A'>, -1, "A"},
                                              {Handler<'B'>, 0, "B"},
                                              {Handler<'C'>, 2, "C"},
                                              {Handler<'D'>, -1, "D"}};
constexpr StateEntry<Owner> kZeroFirstEntries[] = {
    {Handler<'A'>, 0, "A"}, {Handler<'B'>, 1, "B"}, {Handler<'C'>, -1, "C"}};
constexpr StateEntry<Owner> kOtherEntries[] = {{Handler<'D'>, 2, "D"}, {Handler<'E'>, -1, "E"}};
constexpr StateEntry<Owner> kShortEntries[] = {{Handler<'A'>, 1, "A"},
                                               {Handler<'B'>, 2, "shortEnd"}};

constexpr Table kSkip = kSkipEntries;
constexpr Table kWait = kWaitEntries;
constexpr Table kHole = kHoleEntries;
constexpr Table kZeroFirst = kZeroFirstEntries;
constexpr Table kOther = kOtherEntries;
constexpr Table kShort = kShortEntries;

enum class When { kBefore, kInside };

// An op issued before a tick runs, or by that tick's handler. Op 2 passes
// `table` as the location that holds the table.
struct Op {
  int tick;
  When when;
  StateOp op;
  const Table* table;
  std::int32_t value;
};

struct Scenario {
  const char* name;
  const Table* start;  // op 0 to start_entry before the first tick
  std::int32_t start_entry;
  std::vector<Op> ops;
  // Per tick: the handler that ran ("-" for none) and the returned count,
  // then " t<n>" while the tick timer is not 0.
  std::vector<std::string> trace;
  std::size_t debug_lines = 0;
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

void Issue(StateMachine<Owner>& m, const Op& op) {
  if (op.op == StateOp::kSwitchTable) {
    SetStateMachine(m, op.op, op.table, op.value);
  } else {
    SetStateMachine(m, op.op, op.table != nullptr ? *op.table : Table{}, op.value);
  }
}

constexpr auto B = When::kBefore;
constexpr auto I = When::kInside;

// clang-format off
const Scenario kScenarios[] = {
    {"CountNRunsNTicksZeroIsSkippedMinusOneStays",
     &kSkip, 0, {}, {"A1", "A0", "C-1", "C-1", "C-1"}},
    {"Op1InsideGivesTheFullCount",
     &kWait, 0, {{1, I, StateOp::kDeferredGo, &kWait, 1}}, {"A-1", "A-1", "B2", "B1", "B0", "C-1"}},
    {"Op0InsideCostsOneTick",
     &kWait, 0, {{1, I, StateOp::kGo, &kWait, 1}}, {"A-1", "A2", "B1", "B0", "C-1", "C-1"}},
    {"Op0BetweenTicksKeepsTheFullCount",
     &kWait, 0, {{1, B, StateOp::kGo, &kWait, 1}}, {"A-1", "B2", "B1", "B0", "C-1"}},
    {"Op1BetweenTicksKeepsTheFullCount",
     &kWait, 0, {{1, B, StateOp::kDeferredGo, &kWait, 1}}, {"A-1", "B2", "B1", "B0", "C-1"}},
    {"Op1InsideACountedEntryReplacesWhatIsLeft",
     &kSkip, 0, {{0, I, StateOp::kDeferredGo, &kOther, 0}}, {"A1", "D1", "D0", "E-1"}},
    {"Op2ThroughItsLocationBetweenTicks",
     &kSkip, 0, {{1, B, StateOp::kSwitchTable, &kOther, 99}}, {"A1", "D1", "D0", "E-1"}},
    {"Op2InsideCostsOneTickLikeOp0",
     &kWait, 0, {{0, I, StateOp::kSwitchTable, &kOther, 0}}, {"A1", "D0", "E-1"}},
    {"Op3InsideRunsEntryKNext",
     &kHole, 0, {{0, I, StateOp::kRestartAt, nullptr, 2}}, {"A0", "C1", "C0", "D-1"}},
    {"Op3SkipsCountZeroEntriesFromK",
     &kHole, 0, {{1, B, StateOp::kRestartAt, nullptr, 1}}, {"A-1", "C1", "C0", "D-1"}},
    {"Op3ToZeroOnALeadingZeroEntryRunsEntry1",
     &kZeroFirst, 2, {{1, B, StateOp::kRestartAt, nullptr, 0}}, {"C-1", "B0", "C-1"}},
    {"Op4InsideEndsTheEntryAfterThisTick",
     &kWait, 0, {{0, I, StateOp::kEndStep, nullptr, 0}}, {"A0", "B2", "B1", "B0", "C-1"}},
    {"Op4BetweenTicks",
     &kWait, 0, {{1, B, StateOp::kEndStep, nullptr, 0}}, {"A-1", "B2", "B1", "B0", "C-1"}},
    {"Op5MinusOneHoldsTheEntry",
     &kSkip, 0, {{1, B, StateOp::kSetCount, nullptr, -1}}, {"A1", "A-1", "A-1", "A-1"}},
    {"Op5ZeroInsideMovesOnNextTick",
     &kSkip, 0, {{0, I, StateOp::kSetCount, nullptr, 0}}, {"A0", "C-1"}},
    {"Op5ZeroBetweenTicksMovesOnNextTick",
     &kWait, 0, {{1, B, StateOp::kSetCount, nullptr, 0}}, {"A-1", "B2", "B1"}},
    {"Op6TimerCountsDownAndStopsAtZero",
     &kWait, 0, {{0, B, StateOp::kSetTimer, nullptr, 2}}, {"A-1 t1", "A-1", "A-1", "A-1"}},
    {"Op6InsideCountsFromTheSameTick",
     &kWait, 0, {{0, I, StateOp::kSetTimer, nullptr, 3}}, {"A-1 t2", "A-1 t1", "A-1", "A-1"}},
    {"UnknownOpChangesNothing",
     &kSkip, 0, {{1, B, static_cast<StateOp>(7), &kOther, 1}}, {"A1", "A0", "C-1"}},
    {"RunningPastTheEndParksOnce",
     &kShort, 0, {}, {"A0", "B1", "B0", "-0", "-0", "-0"}, 1},
    {"Op0RestartsAParkedMachine",
     &kShort, 1, {{4, B, StateOp::kGo, &kShort, 0}}, {"B1", "B0", "-0", "-0", "A0", "B1"}, 1},
    {"Op2RestartsAParkedMachine",
     &kShort, 1, {{3, B, StateOp::kSwitchTable, &kOther, 0}},
     {"B1", "B0", "-0", "D1", "D0"}, 1},
    {"Op4AndOp5LeaveAParkedMachineParked",
     &kShort, 1, {{3, B, StateOp::kEndStep, nullptr, 0}, {4, B, StateOp::kSetCount, nullptr, 3}},
     {"B1", "B0", "-0", "-0", "-3"}, 1},
    {"ParkedTimerDoesNotRun",
     &kShort, 1, {{3, B, StateOp::kSetTimer, nullptr, 5}},
     {"B1", "B0", "-0", "-0 t5", "-0 t5"}, 1},
    {"Op0OutsideTheTableParks",
     &kShort, 0, {{1, B, StateOp::kGo, &kShort, 2}}, {"A0", "-0", "-0"}, 1},
    {"Op1InsideToAMissingEntryParksAfterThisTick",
     &kWait, 0, {{1, I, StateOp::kDeferredGo, &kWait, -4}}, {"A-1", "A0", "-0"}, 1},
    {"Op3PastTheEndParks",
     &kShort, 0, {{1, B, StateOp::kRestartAt, nullptr, 9}}, {"A0", "-0", "-0"}, 1},
    {"Op3ToTheLowestValueParks",
     &kShort, 0, {{1, B, StateOp::kRestartAt, nullptr, INT32_MIN}}, {"A0", "-0"}, 1},
    {"Op2FromAnEmptyLocationParks",
     &kWait, 0, {{1, B, StateOp::kSwitchTable, nullptr, 0}}, {"A-1", "-0"}, 1},
    {"CountWithNoCurrentEntryParks",
     &kZeroFirst, 2,
     {{1, B, StateOp::kRestartAt, nullptr, 0}, {1, B, StateOp::kSetCount, nullptr, 3}},
     {"C-1", "-0", "-0"}, 1},
};
// clang-format on

class StateMachineEngine : public ::testing::TestWithParam<Scenario> {};

TEST_P(StateMachineEngine, RunsTheTableByItsRules) {
  const Scenario& s = GetParam();
  std::vector<std::string> trace;
  const auto lines = testing::DebugLinesOf([&] {
    Owner owner;
    if (s.start != nullptr) SetStateMachine(owner.machine, StateOp::kGo, *s.start, s.start_entry);
    for (int tick = 0; tick < static_cast<int>(s.trace.size()); ++tick) {
      owner.ran.clear();
      owner.inside = nullptr;
      for (const Op& op : s.ops) {
        if (op.tick != tick) continue;
        if (op.when == When::kBefore) {
          Issue(owner.machine, op);
        } else {
          owner.inside = [op](Owner& o) { Issue(o.machine, op); };
        }
      }
      const std::int32_t count = RunStateMachine(owner, owner.machine);
      std::string line = (owner.ran.empty() ? "-" : owner.ran) + std::to_string(count);
      if (owner.machine.tick_timer != 0) line += " t" + std::to_string(owner.machine.tick_timer);
      trace.push_back(line);
    }
  });
  EXPECT_EQ(trace, s.trace);
  EXPECT_EQ(lines.size(), s.debug_lines);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StateMachineEngine, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StateMachineEngineParking, TheLineNamesTheEntryAndTheTable) {
  const auto lines = testing::DebugLinesOf([] {
    Owner owner;
    SetStateMachine(owner.machine, StateOp::kGo, kShort, 1);
    for (int tick = 0; tick < 3; ++tick) RunStateMachine(owner, owner.machine);
  });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "state machine parked: no entry 2 in its table of 2 entries ending \"shortEnd\"");
}

TEST(StateMachineEngineParking, AMachineNeverStartedParksAndSaysSo) {
  Owner owner;
  const auto lines =
      testing::DebugLinesOf([&] { EXPECT_EQ(RunStateMachine(owner, owner.machine), 0); });
  EXPECT_EQ(owner.machine.parked, 1u);
  EXPECT_TRUE(owner.ran.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "state machine parked: no entry 1 in its table of 0 entries");
}

}  // namespace
}  // namespace pump
