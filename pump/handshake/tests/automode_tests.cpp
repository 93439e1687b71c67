// The automode on one data pump hearing spandsp's answerers and tones:
// which modem the caller settles on, and when; the answerer's V.32 or
// V.22bis answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/handshake/automode.h"
#include "pump/handshake/handshake.h"
#include "pump/handshake/tests/handshake_rig.h"

// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::handshake_test {
namespace {

constexpr Call kAutomodeCaller = {.mode = 12, .direction = 1, .selector = 1};
constexpr Call kAutomodeAnswerer = {.mode = 12, .direction = 0, .selector = 1};

bool AnyModem(const DspContext& c) {
  return FskStarted(c) >= 0 || V22Started(c) || V32Started(c) != 0;
}

struct AutomodeCallerCase {
  const char* name;
  int calling_tone;
  std::vector<Stretch> (*far)();
  // Expected: the modem, and the block it starts in at the earliest (the
  // signal's start plus the blocks the rules ask for); the line's and the
  // averages' lag may add up to `lag` blocks.
  int fsk_type;
  bool v22;
  bool v32;
  int block;
  int lag;
};

// Each far end starts after 500 ms (50 blocks) of silence. Tone detections
// take 10 blocks above threshold (16 for USB1).
// clang-format off
const AutomodeCallerCase kAutomodeCallerCases[] = {
    {"V21AnswererByItsMarks", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {FskMarks(FSK_V21CH2), 2000}}; },
     kFskV21Data, false, false, 50 + 10, 6},
    {"V21AnswererAfterAShortAnswerTone", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {Tone(2100), 500}, {nullptr, 80},
                                      {FskMarks(FSK_V21CH2), 2000}}; },
     kFskV21Data, false, false, 50 + 50 + 8 + 10, 6},
    // A V.23 answerer's 1300 Hz mark is heard once no calling tone of ours
    // (at the same 1300 Hz) can sound.
    {"V23AnswererAfterAShortAnswerTone", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {Tone(2100), 500}, {nullptr, 80},
                                      {FskMarks(FSK_V23CH1), 2000}}; },
     kFskV23SendBackward, false, false, 50 + 50 + 8 + 10, 6},
    {"V23AnswererWithoutCallingTone", 0,
     [] { return std::vector<Stretch>{{nullptr, 500}, {FskMarks(FSK_V23CH1), 2000}}; },
     kFskV23SendBackward, false, false, 50 + 10, 6},
    // USB1 heard for 16 blocks, then for 310 more.
    {"V22bisAnswererAfterItsOnesLast", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {V22bisAnswerer(), 5000}}; },
     -1, true, false, 50 + 16 + 310, 12},
    // 600 Hz while waiting for USB1 to last: a V.32 answerer's AC.
    {"AcWhileWaitingForUsb1", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {Tone(2250), 1000}, {Tone(600, 3000), 1000}}; },
     -1, false, true, 50 + 100, 6},
    // An answer tone of more than 91 blocks.
    {"LongAnswerTone", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {AnswerTone(MODEM_CONNECT_TONES_ANS), 4000}}; },
     -1, false, true, 50 + 20 + 10 + 92, 6},
    {"AcAlone", 1,
     [] { return std::vector<Stretch>{{nullptr, 500}, {Tone(600, 3000), 1000}}; },
     -1, false, true, 50 + 10, 6},
};
// clang-format on

void PrintTo(const AutomodeCallerCase& c, std::ostream* out) { *out << c.name; }

class AutomodeCaller : public ::testing::TestWithParam<AutomodeCallerCase> {};

TEST_P(AutomodeCaller, StartsTheModemTheFarEndShowsWhenItShowsIt) {
  const AutomodeCallerCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    Call call = kAutomodeCaller;
    call.calling_tone = c.calling_tone;
    BeginCall(harness, call);
    FarEnd far(c.far());
    const int blocks = Hear(harness, far, 600, AnyModem);
    const DspContext& context = harness.Context();
    EXPECT_EQ(FskStarted(context), c.fsk_type);
    EXPECT_EQ(V22Started(context), c.v22);
    EXPECT_EQ(V32Started(context) != 0, c.v32);
    if (c.v32) {
      EXPECT_EQ(V32Started(context), kV32Originate);
      EXPECT_EQ(context.handshake.answer_tone_count, 0);
    }
    if (c.v22) {
      EXPECT_EQ(context.call.mode, 7) << "V.22bis";
    }
    EXPECT_GE(blocks, c.block);
    EXPECT_LE(blocks, c.block + c.lag);
  });
}

INSTANTIATE_TEST_SUITE_P(FarEnds, AutomodeCaller, ::testing::ValuesIn(kAutomodeCallerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An answer tone that stops before 91 blocks sends the caller back to
// listening from the start, with no modem.
TEST(AutomodeCaller, AShortAnswerToneSendsTheCallerBackToListening) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, kAutomodeCaller);
    FarEnd far({{nullptr, 500}, {Tone(2100), 600}});
    bool heard = false;
    Hear(harness, far, 130, [&](const DspContext& context) {
      heard |= context.rx.position == kPn2330Call2;
      return false;
    });
    const DspContext& context = harness.Context();
    EXPECT_TRUE(heard) << "the answer tone was heard";
    EXPECT_EQ(context.rx.position, kPn2330Call0);
    EXPECT_FALSE(AnyModem(context));
  });
}

// The answerer: AA during its 2.7 s tone gives V.32 after 70 ms of silence;
// without AA it answers V.22bis after the whole tone and the silence.
TEST(AutomodeAnswer, AaDuringTheToneAnswersV32AfterSeventyMillisecondsOfSilence) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, kAutomodeAnswerer);
    const std::size_t first = harness.Afe().LineOutput().size();
    FarEnd far({{nullptr, 1000}, {Tone(1800), 2000}});
    const int blocks = Hear(harness, far, 400, AnyModem);
    const DspContext& context = harness.Context();
    ASSERT_TRUE(Called(context, Pending::kStartV32Connection));
    EXPECT_EQ(context.pending[Pending::kStartV32Connection].args[0], kV32Answer);
    EXPECT_FALSE(V22Started(context));
    const int tone = ToneBlocks(harness.Afe().LineOutput(), first);
    EXPECT_NEAR(tone, 100 + 10 + 2, 3) << "AA heard for 10 blocks ends the tone";
    EXPECT_EQ(blocks - 1 - tone, 7) << "blocks of silence";
  });
}

TEST(AutomodeAnswer, WithoutAaTheWholeToneThenV22bis) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, kAutomodeAnswerer);
    const std::size_t first = harness.Afe().LineOutput().size();
    FarEnd far({});
    const int blocks = Hear(harness, far, 400, AnyModem);
    const DspContext& context = harness.Context();
    ASSERT_TRUE(V22Started(context));
    EXPECT_FALSE(Called(context, Pending::kStartV32Connection));
    EXPECT_EQ(context.call.mode, 7) << "V.22bis";
    EXPECT_EQ(context.call.max_rate_code, 4);
    const int tone = ToneBlocks(harness.Afe().LineOutput(), first);
    EXPECT_NEAR(tone, kAnswerToneTicks, 1);
    EXPECT_EQ(blocks - 1 - tone, 7) << "blocks of silence";
  });
}

// After the V.32 answerer gave up on AA, the automode answerer listens as a
// V.21 answerer for 200 blocks (the hand-over the V.32 answerer makes: FSK
// type 0, then the answer table at Pn2330AnsFsk): a V.21 caller's marks
// leave the line to the FSK receiver; without them it answers V.23 and
// listens on without a limit.
class AutomodeAnswerFsk : public ::testing::Test {
 protected:
  void HandOver(PumpHarness& harness) {
    BeginCall(harness, kAutomodeAnswerer);
    DspContext& context = harness.Context();
    StartFsk(context, kFskV21Data);
    SetStateMachine(context.rx, StateOp::kGo, Pn2330AnswerTable());
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330AnsFsk);
  }
};

TEST_F(AutomodeAnswerFsk, AV21CallersMarksLeaveTheLineToTheFskReceiver) {
  PumpHarness harness;
  harness.Run([&] {
    HandOver(harness);
    FarEnd far({{FskMarks(FSK_V21CH1), 3000}});
    const int blocks = Hear(harness, far, 200, [](const DspContext& context) {
      return context.rx.table.data() == FskRxTable().data();
    });
    EXPECT_LT(blocks, 100) << "the marks heard well before the 200 blocks end";
    EXPECT_EQ(FskStarted(harness.Context()), kFskV21Data) << "no other modem";
  });
}

TEST_F(AutomodeAnswerFsk, WithoutAV21CallerItAnswersV23After200Blocks) {
  PumpHarness harness;
  harness.Run([&] {
    HandOver(harness);
    FarEnd far({});
    const int blocks = Hear(harness, far, 300, [](const DspContext& context) {
      return FskStarted(context) == kFskV23SendForward;
    });
    EXPECT_NEAR(blocks, 201, 1);
    harness.RunBlocks(1);
    const DspContext& context = harness.Context();
    EXPECT_EQ(context.rx.table.data(), Pn2330AnswerTable().data());
    EXPECT_EQ(context.rx.position, kPn2330AnsFskOn);
  });
}

// The V.22bis answer that V.8 falls back to: selector 1, mode 7 and rate
// code 4 whatever the call asked for.
TEST(AutomodeV22bisAnswer, AnswersV22bisAt2400) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, {.mode = 17, .direction = 0, .selector = 2, .rate_code = 9});
    DspContext& context = harness.Context();
    AutomodeV22bisAnswer(context);
    EXPECT_EQ(context.call.handshake_selector, kSelectorAutomode);
    EXPECT_TRUE(V22Started(context));
    EXPECT_EQ(context.call.mode, 7);
    EXPECT_EQ(context.call.max_rate_code, 4);
  });
}

}  // namespace
}  // namespace pump::handshake_test
