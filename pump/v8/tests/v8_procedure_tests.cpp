// The V.8 procedures on one data pump hearing spandsp's signals: the
// fallbacks out of V.8, continuations out of turn, far ends that send no
// message or a broken one, and the receive-gain step.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pump/afe_access/afe_access.h"
#include "pump/fsk/fsk_start.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/v8_messages.h"
#include "pump/v8/tests/v8_rig.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::v8_test {
namespace {

using handshake_test::AnswerTone;
using handshake_test::Called;
using handshake_test::Tone;
using handshake_test::V22Started;
using handshake_test::V32Started;

constexpr std::uint8_t kConnect = 0x68;

// A far end sending `bits` over and over on a V.21 channel.
LineGenerator FskBits(int channel, std::vector<std::uint8_t> bits, int level = -13) {
  struct Source {
    std::vector<std::uint8_t> bits;
    std::size_t next = 0;
    static int Get(void* user) {
      auto* s = static_cast<Source*>(user);
      const int bit = s->bits[s->next];
      s->next = (s->next + 1) % s->bits.size();
      return bit;
    }
  };
  auto source = std::make_shared<Source>(Source{std::move(bits)});
  std::shared_ptr<fsk_tx_state_t> tx(
      fsk_tx_init(nullptr, &preset_fsk_specs[channel], Source::Get, source.get()), fsk_tx_free);
  fsk_tx_power(tx.get(), static_cast<float>(level));
  return [tx, source](std::span<std::int16_t> out) {
    return fsk_tx(tx.get(), out.data(), static_cast<int>(out.size()));
  };
}

void PostContinuation(PumpHarness& harness, bool originate, int mode = kModeV34) {
  const auto p2 = static_cast<std::uint8_t>((originate ? 1 << 2 : 0) | 2 << 3);
  harness.Controller().Exchange(kConnect, {4, static_cast<std::uint8_t>(mode), p2, 1});
}

// ---- the caller's fallbacks ------------------------------------------------

// A plain answer tone that lasts 13900 samples past its first detection
// means a V.32 answerer without V.8: event 6 and V.32 as caller. 2225 Hz is
// a Bell answerer: event 6 and V.22.
TEST(V8Fallbacks, CallerLeavesV8ForAPlainAnswerToneOr2225Hz) {
  struct Case {
    const char* name;
    LineGenerator tone;
    bool v32;
  };
  const Case cases[] = {{"PlainAnswerTone", AnswerTone(MODEM_CONNECT_TONES_ANS), true},
                        {"BellAnswerTone", Tone(2225), false}};
  for (const Case& c : cases) {
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8Call(true, 16));
      FarEnd far({{nullptr, 200}, {c.tone, 4000}});
      EventLog events;
      HearWatching(harness, far, 400, events,
                   [](const DspContext& d) { return d.rx.table.data() != V8CallTable().data(); });
      const DspContext& context = harness.Context();
      const auto fallback = events.First(kV8EventFallback);
      ASSERT_TRUE(fallback.has_value()) << c.name;
      if (c.v32) {
        const auto heard = events.First(kV8EventAnswerToneHeard);
        ASSERT_TRUE(heard.has_value());
        EXPECT_GE((*fallback - *heard) * 96, 13900) << c.name;
        EXPECT_EQ(V32Started(context), kV32Originate) << c.name;
      } else {
        EXPECT_TRUE(V22Started(context)) << c.name;
      }
      EXPECT_FALSE(OnV8Entry(context, V8CallTable(), 1)) << c.name << ": no CM after a fallback";
    });
  }
}

// ---- the answerer's ends without CM ----------------------------------------

struct AnswerCase {
  const char* name;
  LineGenerator far;
  std::uint8_t options;  // command 0x68 p4
  int blocks;
  std::function<void(const DspContext&)> check;
};

std::vector<AnswerCase> AnswerCases() {
  return {
      {"NothingFor500TicksGivesTheV22bisAutomode", nullptr, 0, 520,
       [](const DspContext& c) {
         EXPECT_TRUE(V22Started(c));
         EXPECT_EQ(c.call.mode, kModeV22bis);
         EXPECT_EQ(c.call.handshake_selector, kSelectorAutomode);
       }},
      {"AaGivesTheV32Answerer", Tone(1800), 0, 100,
       [](const DspContext& c) {
         EXPECT_EQ(V32Started(c), kV32Answer);
         EXPECT_EQ(c.rx.table.data(), kRxIdleTable.data()) << "no V.8 state after the start";
       }},
      {"Tone520GivesTheV23Answerer", Tone(520), 0, 100,
       [](const DspContext& c) { EXPECT_EQ(c.fsk.start_type, kFskV23SendForward); }},
      {"AaAtTheNoiseFloorIsALostSignal", Tone(1800, 0, -60), 0, 100,
       [](const DspContext& c) {
         EXPECT_EQ(V32Started(c), 0);
         EXPECT_EQ(c.rx.table.data(), kRxIdleTable.data());
         EXPECT_EQ(c.tx.table.data(), kTxIdleTable.data());
       }},
      {"OptionBit5KeepsListening", nullptr, 0x20, 700,
       [](const DspContext& c) { EXPECT_TRUE(OnV8Entry(c, V8AnswerTable(), 0)); }},
  };
}

TEST(V8Fallbacks, AnswererWithoutCm) {
  for (AnswerCase& c : AnswerCases()) {
    SCOPED_TRACE(c.name);
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8Call(false, 16));
      if (c.options != 0) {
        // The same call start with the options byte.
        harness.Controller().Exchange(kConnect, {4, 16, 2 << 3, 0, c.options, 0});
      }
      FarEnd far({{nullptr, 300}, {c.far, 8000}});
      EventLog events;
      HearWatching(harness, far, c.blocks, events);
      c.check(harness.Context());
    });
  }
}

// ---- continuations out of turn and broken far ends --------------------------

TEST(V8Hostile, ContinuationsOutOfTurnChangeNothing) {
  // Twice as answerer: the second finds V8Ans3 and is refused.
  PumpHarness answerer;
  answerer.Run([&] {
    BeginCall(answerer, V8Call(false));
    answerer.RunBlocks(20);
    PostContinuation(answerer, false);
    answerer.RunBlocks(2);
    DspContext& c = answerer.Context();
    ASSERT_TRUE(OnV8Entry(c, V8AnswerTable(), 3));
    const auto requests = answerer.Afe().Log().size();
    c.v8.cj_count = 1;
    PostContinuation(answerer, false);
    answerer.RunBlocks(1);
    EXPECT_TRUE(OnV8Entry(c, V8AnswerTable(), 3));
    EXPECT_EQ(c.v8.cj_count, 1) << "not started again";
    std::size_t gain_requests = 0;
    const auto& log = answerer.Afe().Log();
    for (std::size_t i = requests; i < log.size(); ++i) {
      gain_requests += log[i].code == afe::kAfeSetGain || log[i].code == afe::kAfeGetGain;
    }
    EXPECT_EQ(gain_requests, 0u);
  });
  // The answerer's continuation on a caller, and the caller's before ANSam:
  // the caller still waits for ANSam, then sends CM and waits for its
  // controller in V8Call1.
  PumpHarness caller;
  caller.Run([&] {
    BeginCall(caller, V8Call(true));
    PostContinuation(caller, false);
    DspContext& c = caller.Context();
    EXPECT_TRUE(OnV8Entry(c, V8CallTable(), 0));
    PostContinuation(caller, true);
    FarEnd far({{nullptr, 200}, {AnswerTone(MODEM_CONNECT_TONES_ANSAM_PR), 3000}});
    EventLog events;
    HearWatching(caller, far, 300, events);
    EXPECT_TRUE(events.First(kV8EventCmStarts).has_value());
    EXPECT_TRUE(OnV8Entry(c, V8CallTable(), 2)) << "V8Call1 waits for this call's continuation";
  });
}

// Far callers that send no usable CM: the answerer's controller never
// continues and the answerer falls back after its 500 ticks, never stuck.
TEST(V8Hostile, AnswererFallsBackWhenTheFarEndSendsNoUsableCm) {
  namespace msg = testing::v8msg;
  const std::vector<std::uint8_t> truncated = msg::LineBits(std::vector<std::uint8_t>{0xFF, 0xE0, 0xC1});
  msg::Menu menu;
  menu.modulations = msg::kModV34 | msg::kModV21;
  const std::vector<std::uint8_t> jm_bits = msg::LineBits(msg::EncodeCmJm(menu));
  struct Case {
    const char* name;
    LineGenerator far;
  };
  const Case cases[] = {
      {"Noise", handshake_test::Noise(7, -20)},
      {"TruncatedCm", FskBits(FSK_V21CH1, truncated)},
      {"JmOnTheAnswerersOwnChannel", FskBits(FSK_V21CH2, jm_bits)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8Call(false, 16));
      FarEnd far({{nullptr, 200}, {c.far, 8000}});
      EventLog events;
      std::vector<std::uint8_t> octets;
      HearWatching(harness, far, 520, events);
      for (const auto& block : harness.Controller().RxBlocks()) {
        octets.insert(octets.end(), block.data.begin(), block.data.end());
      }
      for (const auto& m : msg::ReadMessages(octets)) {
        EXPECT_EQ(m.menu.modulations, 0u) << "nothing a controller would continue on";
      }
      EXPECT_TRUE(V22Started(harness.Context())) << "the automode after 500 ticks";
    });
  }
}

// ---- the receive-gain step ---------------------------------------------------

TEST(V8Gain, AdjustV8GainStepsTheFrontEndWhenTheFskGainIsHigh) {
  struct Case {
    std::int16_t mantissa;
    std::int16_t exponent;
    bool steps;
  };
  // (mantissa << exponent) with its low 15 bits cleared against 0xA8000.
  const Case cases[] = {{0x6000, 5, true}, {0x5400, 5, false}, {0x5401, 5, false},
                        {0x2A01, 6, false}, {0x5800, 5, true}, {0x4000, 7, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mantissa << " << " << c.exponent);
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8Call(false));
      DspContext& context = harness.Context();
      context.fsk.agc.mantissa = c.mantissa;
      context.fsk.agc.exponent = c.exponent;
      context.fsk.agc.save_hold = 0;
      harness.Afe().ClearLog();
      AdjustV8Gain(context);
      std::vector<std::pair<ULONG, ULONG>> requests;
      for (const auto& call : harness.Afe().Log()) {
        if (call.code == afe::kAfeSetGain || call.code == afe::kAfeGetGain) {
          requests.push_back({call.code, call.argument});
        }
      }
      EXPECT_EQ(context.fsk.agc.save_hold, 1u);
      if (!c.steps) {
        EXPECT_TRUE(requests.empty());
        EXPECT_EQ(context.fsk.agc.exponent, c.exponent);
        return;
      }
      ASSERT_EQ(requests.size(), 2u);
      EXPECT_EQ(requests[0], (std::pair<ULONG, ULONG>{afe::kAfeSetGain, 6}));
      EXPECT_EQ(requests[1].first, static_cast<ULONG>(afe::kAfeGetGain));
      std::int16_t now = 0;
      ULONG size = sizeof now;
      IssueAfeRequest(harness.Access(), afe::kAfeGetGain, &now, &size);
      EXPECT_EQ(context.fsk.receive_gain_db, now);
      EXPECT_EQ(context.call.level_offset, now);
      EXPECT_EQ(context.fsk.agc.exponent, c.exponent - 1);
    });
  }
}

// The answerer after its continuation: a far signal far louder than what
// set the saved gain makes the FSK gain fall below it; when the count of
// such blocks was 191 before one more, the answerer takes the exchange as
// ended.
TEST(V8Gain, AnswererEndsTheExchangeAfterTheFskGainStayedBelowItsSavedPair) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, V8Call(false));
    FarEnd quiet({{handshake_test::FskMarks(FSK_V21CH1, -43), 1000}});
    EventLog events;
    HearWatching(harness, quiet, 60, events);
    PostContinuation(harness, false);
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    ASSERT_TRUE(OnV8Entry(context, V8AnswerTable(), 3));
    ASSERT_EQ(context.fsk.agc.save_hold, 1u);
    // 38 dB louder: exponent 1 and a mantissa of about 15000, both below the
    // saved pair (7 and about 18900). (The rule compares exponent and
    // mantissa each: a level whose mantissa settles above the saved one
    // never counts.)
    FarEnd loud({{handshake_test::FskMarks(FSK_V21CH1, -5), 5000}});
    const int blocks = HearWatching(harness, loud, 400, events, [](const DspContext& d) {
      return !OnV8Entry(d, V8AnswerTable(), 3);
    });
    EXPECT_GE(blocks, 192);
    EXPECT_LT(blocks, 260);
    EXPECT_EQ(context.tx.table.data(), kTxIdleTable.data());
  });
}

}  // namespace
}  // namespace pump::v8_test
