// The tone-based mode selection on one data pump hearing spandsp's tones
// and modems: the caller's answer tone and far-modem rules, the answerer's
// tone, silence and modem start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fsk/fsk_start.h"
#include "pump/handshake/handshake.h"
#include "pump/handshake/mode_selection.h"
#include "pump/handshake/tests/handshake_rig.h"

// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::handshake_test {
namespace {

constexpr std::uint8_t kEventAnswerTone = 6;

// What the caller started, in blocks from the call's start.
struct CallerRun {
  int answer_heard = -1;      // register 56 became 6
  int modem = -1;             // a modem started
  bool quiet_between = true;  // nothing sent from the answer tone to the modem
};

bool ModemStarted(const DspContext& c) {
  return FskStarted(c) >= 0 || V22Started(c) ||
         Called(c, Pending::kStartV32Connection);
}

CallerRun RunCaller(PumpHarness& harness, FarEnd& far, int max_blocks) {
  CallerRun run;
  std::int16_t block[kBlock];
  for (int b = 0; b < max_blocks && run.modem < 0; ++b) {
    far.Next(block);
    harness.Afe().FeedLine(block);
    const std::size_t before = harness.Afe().LineOutput().size();
    harness.RunBlocks(1);
    if (run.answer_heard < 0 && harness.Host().comram.reg[kRegEventType] == kEventAnswerTone) {
      run.answer_heard = b;
    }
    if (ModemStarted(harness.Context())) {
      run.modem = b;
    } else if (run.answer_heard >= 0 && run.answer_heard < b) {
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      for (std::size_t i = before; i < out.size(); ++i) run.quiet_between &= out[i] == 0;
    }
  }
  return run;
}

struct CallerCase {
  const char* name;
  int mode;
  int answer_kind;  // MODEM_CONNECT_TONES_*; 0 none
  int answer_ms;
  LineGenerator (*modem)();
  // Expected.
  int fsk_type;      // -1: none
  int v32_sequence;  // StartV32 role 1 with this rate sequence; 0 none
  bool v22;          // V22bConfig
};

// clang-format off
const CallerCase kCallerCases[] = {
    {"Bell103ByItsAnswerTone", 0, MODEM_CONNECT_TONES_BELL_ANS, 3000, nullptr, kFskBell103Originate, 0, false},
    {"V23", 4, MODEM_CONNECT_TONES_ANS, 2600, [] { return FskMarks(FSK_V23CH1); }, kFskV23SendBackward, 0, false},
    {"V23OneWay", 5, MODEM_CONNECT_TONES_ANS, 2600, [] { return FskMarks(FSK_V23CH1); }, kFskV23ReceiveOnly, 0, false},
    {"V22bisAfterItsUnscrambledOnes", 7, MODEM_CONNECT_TONES_ANS, 2600, [] { return V22bisAnswerer(); }, -1, 0, true},
    {"V32ByAcAfterTheAnswerTone", 12, MODEM_CONNECT_TONES_ANS_PR, 500, [] { return Tone(600, 3000); }, -1, 0x8880, false},
    {"V32bisByAcAfterTheAnswerTone", 16, MODEM_CONNECT_TONES_ANS_PR, 500, [] { return Tone(600, 3000); }, -1, 0x8990, false},
    {"V32ByAcAlone", 12, 0, 0, [] { return Tone(600, 3000); }, -1, 0x8880, false},
};
// clang-format on

void PrintTo(const CallerCase& c, std::ostream* out) { *out << c.name; }

class ModeSelectionCaller : public ::testing::TestWithParam<CallerCase> {};

TEST_P(ModeSelectionCaller, StartsTheModemOfTheFarEndItHears) {
  const CallerCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, {.mode = c.mode, .direction = 1});
    std::vector<Stretch> stretches = {{nullptr, 500}};
    if (c.answer_kind != 0) stretches.push_back({AnswerTone(c.answer_kind), c.answer_ms});
    if (c.answer_kind != 0 && c.modem != nullptr) stretches.push_back({nullptr, 80});
    if (c.modem != nullptr) stretches.push_back({c.modem(), 3000});
    FarEnd far(std::move(stretches));
    const CallerRun run = RunCaller(harness, far, 700);
    const DspContext& context = harness.Context();
    ASSERT_GE(run.modem, 0) << "no modem started";
    EXPECT_EQ(FskStarted(context), c.fsk_type);
    EXPECT_EQ(V22Started(context), c.v22);
    if (c.v22) {
      EXPECT_EQ(context.call.mode, 7) << "V.22bis kept";
      // The ones start 80 ms after the 2.6 s tone; 16 blocks of them at least.
      EXPECT_GE(run.modem, 50 + 260 + 8 + 16);
    }
    EXPECT_EQ(Called(context, Pending::kStartV32Connection), c.v32_sequence != 0);
    if (c.v32_sequence != 0) {
      EXPECT_EQ(context.pending[Pending::kStartV32Connection].args[0], 1) << "role";
      EXPECT_EQ(context.pending[Pending::kStartV32Connection].args[1], c.v32_sequence);
    }
    if (c.answer_kind != 0) {
      // The calling tone stops on the answer tone, which is heard within
      // 150 ms of its start (spandsp's tones start after 200 ms of silence)
      // and before the modem starts.
      ASSERT_GE(run.answer_heard, 70);
      EXPECT_LE(run.answer_heard, 70 + 15);
      EXPECT_LE(run.answer_heard, run.modem);
      EXPECT_TRUE(run.quiet_between);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(FarEnds, ModeSelectionCaller, ::testing::ValuesIn(kCallerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The answerer's line: answer tone, silence, then its modem; AA cuts the
// tone short in the V.32 modes.
struct AnswerCase {
  const char* name;
  int mode;
  int aa_from_ms;   // AA on the line from then on; 0 none
  int tone_blocks;  // of answer tone sent
  int tolerance;
  int fsk_type;
  bool v32;
};

// clang-format off
const AnswerCase kAnswerCases[] = {
    {"V21", 2, 0, 270, 1, kFskV21Data, false},
    {"V23", 4, 0, 270, 1, kFskV23SendForward, false},
    {"Bell103NeverWaits", 0, 0, 0, 0, kFskBell103Answer, false},
    // AA heard for 100 ms (plus the line's and the averages' lag) ends the tone.
    {"V32CutShortByAa", 12, 1000, 100 + 12, 3, -1, true},
    {"V32bisCutShortByAa", 16, 1000, 100 + 12, 3, -1, true},
    {"V32WithoutAaRunsTheWholeTone", 12, 0, 270, 1, -1, true},
    {"AaIgnoredOutsideV32", 2, 1000, 270, 1, kFskV21Data, false},
};
// clang-format on

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

class ModeSelectionAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ModeSelectionAnswer, SendsItsToneThenEightyMillisecondsOfSilenceThenStartsItsModem) {
  const AnswerCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, {.mode = c.mode, .direction = 0});
    std::vector<Stretch> stretches;
    if (c.aa_from_ms > 0) {
      stretches = {{nullptr, c.aa_from_ms}, {Tone(1800), 3000}};
    }
    FarEnd far(std::move(stretches));
    const std::size_t first = harness.Afe().LineOutput().size();
    const int modem_block =
        Hear(harness, far, 400, [](const DspContext& context) { return ModemStarted(context); });
    const DspContext& context = harness.Context();
    EXPECT_EQ(FskStarted(context), c.fsk_type);
    EXPECT_EQ(Called(context, Pending::kStartV32Connection), c.v32);
    if (c.v32) {
      EXPECT_EQ(context.pending[Pending::kStartV32Connection].args[0], 2) << "role";
    }
    if (c.tone_blocks == 0) {
      EXPECT_EQ(modem_block, 0);
      return;
    }
    const int tone = ToneBlocks(harness.Afe().LineOutput(), first);
    EXPECT_NEAR(tone, c.tone_blocks, c.tolerance);
    EXPECT_EQ(modem_block - 1 - tone, kAnswerSilenceTicks) << "blocks of silence: 75 +- 20 ms";
  });
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeSelectionAnswer, ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Modes without a modem start and numbers no mode uses: after the tone and
// the silence the answerer stays silent at the table's last entry, with no
// modem started, until the controller acts.
TEST(ModeSelectionAnswer, ModesWithoutAModemWaitSilentlyAtTheTablesEnd) {
  for (const int mode : {3, 17, 19, 24, 8, 20, 25, 31}) {
    SCOPED_TRACE(mode);
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, {.mode = mode, .direction = 0});
      harness.RunBlocks(kAnswerToneTicks + kAnswerSilenceTicks + 2);
      const std::size_t after = harness.Afe().LineOutput().size();
      harness.RunBlocks(100);
      const DspContext& context = harness.Context();
      EXPECT_EQ(context.rx.table.data(), FmAnswerTable().data());
      EXPECT_EQ(context.rx.position, kFmAnsEnd);
      EXPECT_EQ(context.rx.parked, 0u);
      EXPECT_EQ(FskStarted(context), -1);
      EXPECT_FALSE(V22Started(context));
      EXPECT_FALSE(Called(context, Pending::kStartV32Connection));
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(after), out.end(),
                              [](std::int16_t s) { return s == 0; }));
    });
  }
}

}  // namespace
}  // namespace pump::handshake_test
