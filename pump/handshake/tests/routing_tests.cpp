// The handshake selection: which procedure, table and tone a call start
// takes from its selector, mode, direction, V.8bis flag and V.8
// continuation.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "pump/fsk/fsk_start.h"
#include "pump/handshake/automode.h"
#include "pump/handshake/mode_selection.h"
#include "pump/handshake/tests/handshake_rig.h"
#include "pump/idle/idle_mode.h"
#include "pump/v8/v8.h"

namespace pump::handshake_test {
namespace {

enum class Procedure { kModeSelection, kAutomode, kV8, kV8bis, kModemAtOnce };
enum class Table { kFmCall, kFmAnswer, kPn2330Call, kPn2330Answer, kV8Call, kV8Answer, kV8bis, kNone };
// What the line carries in the first half second.
enum class Sent { kSilence, kCallingTone, kAnswerTone, kAnswerToneWithReversals, kModem };

struct Route {
  const char* name;
  Call call;
  Procedure procedure;
  Table table;
  Sent sent;
};

// clang-format off
const Route kRoutes[] = {
    {"Bell103AnswersAtOnce", {.mode = 0, .direction = 0}, Procedure::kModemAtOnce, Table::kNone, Sent::kModem},
    {"Bell103Calls", {.mode = 0, .direction = 1}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    {"Bell103UnderAutomodeSelectsModes", {.mode = 0, .direction = 1, .selector = 1}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    {"Bell103UnderV8StaysV8", {.mode = 0, .direction = 1, .selector = 2}, Procedure::kV8, Table::kV8Call, Sent::kSilence},
    {"V21CallsWithoutCallingTone", {.mode = 2, .direction = 1, .calling_tone = 0}, Procedure::kModeSelection, Table::kFmCall, Sent::kSilence},
    {"V21Answers", {.mode = 2, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerTone},
    {"V23UnderV8SelectsModes", {.mode = 4, .direction = 1, .selector = 3}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    {"V22bisUnderAutomodeSelectsModes", {.mode = 7, .direction = 1, .selector = 1}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    {"V32AnswersWithReversals", {.mode = 12, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerToneWithReversals},
    {"V32bisAnswersWithReversals", {.mode = 16, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerToneWithReversals},
    {"V32UnderAutomodeCalls", {.mode = 12, .direction = 1, .selector = 1}, Procedure::kAutomode, Table::kPn2330Call, Sent::kCallingTone},
    {"V32UnderAutomodeAnswers", {.mode = 12, .direction = 0, .selector = 1}, Procedure::kAutomode, Table::kPn2330Answer, Sent::kAnswerToneWithReversals},
    {"V34UnderV8", {.mode = 17, .direction = 1, .selector = 2}, Procedure::kV8, Table::kV8Call, Sent::kSilence},
    // ANSam: its first phase reversal comes after the half second watched.
    {"V90UnderV8Answering", {.mode = 23, .direction = 0, .selector = 3}, Procedure::kV8, Table::kV8Answer, Sent::kAnswerTone},
    {"V8bisBeforeModeSelection", {.mode = 17, .direction = 1, .v8bis = 1}, Procedure::kV8bis, Table::kV8bis, Sent::kSilence},
    {"V8bisFlagIgnoredUnderAutomode", {.mode = 12, .direction = 1, .selector = 1, .v8bis = 1}, Procedure::kAutomode, Table::kPn2330Call, Sent::kCallingTone},
    {"V8ContinuationSelectsModes", {.mode = 17, .direction = 1, .selector = 2, .v8_continuation = 1}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    // Modes without a modem start, and numbers no mode uses.
    {"FaxV21Answers", {.mode = 3, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerTone},
    {"UnusedMode8Calls", {.mode = 8, .direction = 1}, Procedure::kModeSelection, Table::kFmCall, Sent::kCallingTone},
    {"UnusedMode13Answers", {.mode = 13, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerTone},
    {"UnusedMode21UnderAutomode", {.mode = 21, .direction = 1, .selector = 1}, Procedure::kAutomode, Table::kPn2330Call, Sent::kCallingTone},
    {"UnusedMode31Answers", {.mode = 31, .direction = 0}, Procedure::kModeSelection, Table::kFmAnswer, Sent::kAnswerTone},
};
// clang-format on

void PrintTo(const Route& r, std::ostream* out) { *out << r.name; }

StateTable<DspContext> TableOf(Table table) {
  switch (table) {
    case Table::kFmCall:
      return FmCallTable();
    case Table::kFmAnswer:
      return FmAnswerTable();
    case Table::kPn2330Call:
      return Pn2330CallTable();
    case Table::kPn2330Answer:
      return Pn2330AnswerTable();
    case Table::kV8Call:
      return V8CallTable();
    case Table::kV8Answer:
      return V8AnswerTable();
    case Table::kV8bis:
      return V8bisTable();
    case Table::kNone:
      break;
  }
  return {};
}

// The FSK start of a V.8 or V.8bis route.
int V8FskType(const Route& r) {
  const bool originating = r.call.direction == 1;
  if (r.procedure == Procedure::kV8bis) return originating ? kFskV8bisOriginate : kFskV8bisAnswer;
  if (r.call.v8bis != 0) return originating ? kFskV8bisOriginate : kFskV8bisAnswer;
  return originating ? kFskV8Originate : kFskV8Answer;
}

// The component of `samples` at `hz` over one block: its amplitude and phase.
struct Component {
  double amplitude;
  double phase;
};

Component At(std::span<const std::int16_t> samples, double hz) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / 9600.0;
    re += samples[i] * std::cos(w);
    im -= samples[i] * std::sin(w);
  }
  const double n = static_cast<double>(samples.size());
  return {2 * std::hypot(re, im) / n, std::atan2(im, re)};
}

// What the line carried: the strongest of the tones, and whether the
// 2100 Hz tone turned its phase by half a turn between two blocks (2100 Hz
// is a whole number of cycles per block, so a steady tone keeps its phase).
Sent Classify(std::span<const std::int16_t> line) {
  double loud = 0;
  for (std::int16_t s : line) loud = std::max(loud, std::abs(static_cast<double>(s)));
  if (loud < 100) return Sent::kSilence;
  const std::span first = line.subspan(kBlock * 5, kBlock);
  const double calling = At(first, 1300).amplitude;
  const double answer = At(first, 2100).amplitude;
  const double peak = std::max(calling, answer);
  if (peak < 0.8 * loud) return Sent::kModem;  // neither tone: a modulated carrier
  if (calling > answer) return Sent::kCallingTone;
  for (std::size_t b = 6; b + 1 < line.size() / kBlock; ++b) {
    const double turn =
        std::abs(std::remainder(At(line.subspan(b * kBlock, kBlock), 2100).phase -
                                    At(line.subspan((b - 1) * kBlock, kBlock), 2100).phase,
                                2 * std::numbers::pi));
    if (turn > 0.9 * std::numbers::pi) return Sent::kAnswerToneWithReversals;
  }
  return Sent::kAnswerTone;
}

class HandshakeRouting : public ::testing::TestWithParam<Route> {};

TEST_P(HandshakeRouting, StartsTheProcedureTableAndToneOfItsRow) {
  const Route& r = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    BeginCall(harness, r.call);
    EXPECT_EQ(context.handshake.started, 1u);
    const bool v8 = r.procedure == Procedure::kV8 || r.procedure == Procedure::kV8bis;
    if (r.procedure == Procedure::kModemAtOnce) {
      EXPECT_EQ(FskStarted(context), kFskBell103Answer);
    } else if (v8) {
      // V.8 carries its messages on the V.21 channels from the start.
      EXPECT_EQ(FskStarted(context), V8FskType(r));
      EXPECT_EQ(context.rx.table.data(), TableOf(r.table).data());
    } else {
      EXPECT_EQ(FskStarted(context), -1);
    }
    if (r.table != Table::kNone && !v8) {
      EXPECT_EQ(context.handshake.table.data(), TableOf(r.table).data());
      EXPECT_EQ(context.rx.table.data(), TableOf(r.table).data());
      EXPECT_EQ(context.rx.position, 0);
    }
    const std::size_t before = harness.Afe().LineOutput().size();
    harness.RunBlocks(50);
    const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
    EXPECT_EQ(Classify(std::span(out).subspan(before)), r.sent);
  });
}

INSTANTIATE_TEST_SUITE_P(Table, HandshakeRouting, ::testing::ValuesIn(kRoutes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::handshake_test
