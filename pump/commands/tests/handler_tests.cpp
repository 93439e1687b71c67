#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pump/afe_access/afe_requests.h"
#include "pump/core/dp_status.h"
#include "pump/fax/fax_tone_watch.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/key_packets.h"
#include "pump/v32/v32_mode.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v22/v22_tx_states.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

enum class Reply { kAck, kEcho, kOther };

struct HandlerCase {
  const char* name;
  std::function<void(PumpHarness&, DspContext&)> setup;
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
  Reply reply;
  std::function<void(PumpHarness&, DspContext&, const std::vector<ReceivedPacket>&)> check;
};

void PrintTo(const HandlerCase& c, std::ostream* out) { *out << c.name; }

const PendingCall& CallOf(const DspContext& context, Pending part) { return context.pending[part]; }

std::uint8_t StatusCode(PumpHarness& harness) {
  return harness.Host().comram.reg[kRegStatus] & kStatusCodeMask;
}

std::vector<std::uint8_t> Word(std::int32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

// The arguments of the last call of a pending procedure, and its count.
::testing::AssertionResult Called(const DspContext& context, Pending part, std::uint32_t count,
                                  std::vector<std::int32_t> args = {}) {
  const PendingCall& call = CallOf(context, part);
  if (call.count != count) {
    return ::testing::AssertionFailure() << "called " << call.count << " times, not " << count;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (call.args[i] != args[i]) {
      return ::testing::AssertionFailure() << "argument " << i << " is " << call.args[i];
    }
  }
  return ::testing::AssertionSuccess();
}

class CommandHandlers : public ::testing::TestWithParam<HandlerCase> {};

TEST_P(CommandHandlers, ActAndAnswerAsTheCommandSays) {
  const HandlerCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    if (c.setup) c.setup(harness, context);
    harness.Afe().ClearLog();
    const auto answers = harness.Controller().Exchange(c.code, c.payload);
    switch (c.reply) {
      case Reply::kAck:
        EXPECT_EQ(answers, (std::vector<ReceivedPacket>{{kDpAck, 1, {c.code}}}));
        break;
      case Reply::kEcho:
        EXPECT_EQ(answers, (std::vector<ReceivedPacket>{
                               {c.code, static_cast<std::uint8_t>(c.payload.size()), c.payload}}));
        break;
      case Reply::kOther:
        break;
    }
    c.check(harness, context, answers);
  });
}

using Packets = std::vector<ReceivedPacket>;
const auto kNone = [](PumpHarness&, DspContext&) {};

// clang-format off
const HandlerCase kCases[] = {
    // 0x64: options by length; answered by the echo.
    {"OptionsOfTwoBytes", [](PumpHarness&, DspContext& c) { c.transmit.options_flag = 1; },
     0x64, {0x01, 0x00}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.call.options, 1);
       EXPECT_EQ(c.v34_options_one, 1u);
       EXPECT_EQ(c.transmit.options_flag, 0u);
       EXPECT_EQ(c.receive.v32_rate_word & 0xFF, 1);
     }},
    {"OptionsOfFourBytes", kNone, 0x64, {0x10, 0x02, 0x01, 0x04}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.call.options, 0x0611);
       EXPECT_EQ(c.v34_options_one, 0u);
       EXPECT_EQ(c.transmit.options_flag, 1u);
       EXPECT_EQ(c.call.rate_pair[0], 0u);
     }},
    {"OptionsOfEightBytes", kNone, 0x64, {0x06, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12},
     Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.call.options, 6);
       EXPECT_EQ(c.call.rate_pair[0], 0x12345678u);
       EXPECT_EQ(c.call.rate_pair[1], 3u);
     }},
    // 0x68: the call's fields, then the procedure by call kind.
    {"ConnectV34OriginatingStartsTheHandshake", kNone,
     0x68, {0x49, 0x52, 0x04, 0x0C, 0x13, 0x05}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.call.max_rate_code, 9);
       EXPECT_EQ(c.call.v34_rate_option, 1);
       EXPECT_EQ(c.call.mode, 18);
       EXPECT_EQ(c.call.direction, 1);
       EXPECT_EQ(c.call.connect_flags, 0x0C);
       EXPECT_EQ(c.call.options & 0xFF, 0x13);
       EXPECT_EQ(c.receive.option_flags[0] + 2 * c.receive.option_flags[1] +
                     4 * c.receive.option_flags[2], 7u);
       EXPECT_EQ(c.phase2.options.flags, (1 << 3) | 1) << "the V.34 option word of mode 18";
       EXPECT_EQ(c.transmit.rate_limit, 6) << "rate code 9 limits the originating side";
       EXPECT_EQ(c.receive.rate_limit, 14);
       EXPECT_EQ(c.transmit.connect_flag, 1u);
       EXPECT_EQ(c.transmit.connect_value, 2u);
       EXPECT_EQ(c.handshake.started, 1u);
       EXPECT_EQ(StatusCode(h), kStatusHandshake);
     }},
    {"ConnectFaxOriginatingSendsTheCallingTone",
     [](PumpHarness&, DspContext& c) { c.mode_block = [](DspContext&) {}; },
     0x68, {0x00, 0x03, 0x24, 0x00}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.tone.increment, 7509) << "the 1100 Hz calling tone";
       EXPECT_EQ(c.tx.table.data(), c.tone.table);
       EXPECT_EQ(c.rx.table.data(), FaxToneWatchTable().data());
       EXPECT_EQ(c.handshake.started, 0u);
       EXPECT_EQ(c.mode_block, &DefaultBlock);
       EXPECT_EQ(StatusCode(h), kStatusFaxCall);
     }},
    {"ConnectFaxAnsweringSendsTheAnswerTone", kNone, 0x68, {0x00, 0x03, 0x20, 0x00},
     Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.tone.increment, 0x3800) << "the 2100 Hz answer tone";
       EXPECT_EQ(c.tx.table.data(), c.tone.table);
       EXPECT_EQ(c.rx.table.data(), kRxIdleTable.data());
       EXPECT_EQ(StatusCode(h), kStatusFaxCall);
     }},
    // A continuation with no V.8 procedure running starts nothing.
    {"ConnectContinuationWithoutV8AnsweringStartsNothing", kNone, 0x68, {0x10, 0x11, 0x18, 0x01},
     Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.rx.table.data(), kRxIdleTable.data());
       EXPECT_EQ(c.tx.table.data(), kTxIdleTable.data());
       EXPECT_EQ(c.handshake.started, 0u);
     }},
    {"ConnectContinuationWithoutV8OriginatingStartsNothing", kNone, 0x68,
     {0x10, 0x11, 0x1C, 0x02}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.rx.table.data(), kRxIdleTable.data());
       EXPECT_EQ(c.v8.continuation, 0u);
     }},
    {"ConnectGoesToPhase2AfterADirectRequest",
     [](PumpHarness&, DspContext& c) { c.direct_phase2 = 1; },
     0x68, {0x10, 0x18, 0x1C, 0x01, 0x04, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kSetPhase2Option, 2, {3, 30}));
       EXPECT_TRUE(Called(c, Pending::kStartPhase2, 1));
       EXPECT_EQ(c.v8.continuation, 0u);
     }},
    {"ConnectReadsNoByteOfAnEarlierLongerPacket",
     [](PumpHarness& h, DspContext&) {
       h.Controller().Post(0x64, std::vector<std::uint8_t>{0, 0, 0, 0, 0x13, 0x07, 0, 0});
     },
     0x68, {0x09, 0x07, 0x04, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.transmit.connect_flag, 0u) << "byte 5 was not sent";
       EXPECT_EQ(c.call.options & 0xFF, 0);
     }},
    {"ConnectInVoiceReturnsToIdleFirst",
     [](PumpHarness&, DspContext& c) {
       c.voice_active = 1;
       c.mode_block = [](DspContext&) {};
     },
     0x68, {0x09, 0x07, 0x04, 0x00}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.voice_active, 0u) << "voice stopped";
       EXPECT_EQ(c.mode_block, &DefaultBlock);
       EXPECT_EQ(h.Controller().Interrupts(), 1);
       EXPECT_EQ(c.handshake.started, 1u);
     }},
    // 0x69: retrain, by mode.
    {"RetrainV34RestartsPhase2", [](PumpHarness&, DspContext& c) { c.call.mode = 18; },
     0x69, {1}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kRestartPhase2, 1, {7}));
       EXPECT_EQ(c.retrain, 1u);
       EXPECT_EQ(StatusCode(h), kStatusRetraining);
       EXPECT_EQ(h.Controller().Interrupts(), 1);
     }},
    {"RetrainV34FromPhase3",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 17;
       c.receive.phase3_restart = 1;
     },
     0x69, {0}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kRestartV34, 1));
       EXPECT_TRUE(Called(c, Pending::kRestartPhase2, 0));
       EXPECT_EQ(c.retrain, 0u);
     }},
    {"RetrainV90Call",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 23;
       c.v90_call = 1;
     },
     0x69, {0}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kSetPhase2Option, 1, {2, 0}));
       EXPECT_TRUE(Called(c, Pending::kRestartPhase2, 1, {9}));
     }},
    {"RetrainV92", [](PumpHarness&, DspContext& c) { c.call.mode = 24; }, 0x69, {0},
     Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kRestartPhase2, 1, {8}));
     }},
    {"RetrainV32", [](PumpHarness&, DspContext& c) { c.call.mode = 12; }, 0x69, {0},
     Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kRetrainV32Connection, 1));
     }},
    {"RetrainWithoutAConnectionOnlyAcknowledges",
     [](PumpHarness& h, DspContext& c) {
       c.call.mode = 7;
       SetDpStatus(h.Host(), kStatusConnected, false);
     },
     0x69, {1}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(StatusCode(h), kStatusConnected);
       EXPECT_EQ(c.retrain, 0u);
       EXPECT_EQ(h.Controller().Interrupts(), 0);
     }},
    // 0x6E: direct starts.
    {"DirectStartV32", kNone, 0x6E, {0x00, 12, 0x04, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.mode_block, &V32Block);
       EXPECT_EQ(c.receive.v32.mode_code, 12);
     }},
    {"DirectStartV32bis", kNone, 0x6E, {0x00, 16, 0x04, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.mode_block, &V32Block);
       EXPECT_EQ(c.receive.v32.mode_code, 16);
     }},
    {"DirectStartV21", kNone, 0x6E, {0x00, 2, 0x00, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.fsk.start_type, 15);  // the V.21 loopback test
       EXPECT_EQ(c.tx.table.data(), FskTxTable().data());
     }},
    {"DirectStartV22bis", kNone, 0x6E, {0x04, 7, 0x00, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.tx.table.data(), V22TxSeqTable().data());
       EXPECT_EQ(c.v22.tx_machine.table.data(), V22DirectBisTable().data());
       EXPECT_EQ(c.v22.direct, 1u);
     }},
    {"DirectStartMode5OnlyAcknowledges", kNone, 0x6E, {0x00, 5, 0x00, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.fsk.tx_channel, nullptr);
       EXPECT_NE(c.tx.table.data(), V22TxSeqTable().data());
       for (Pending part : {Pending::kRestartV34,
                              Pending::kRestartV92}) {
         EXPECT_TRUE(Called(c, part, 0));
       }
     }},
    // 0x6B and 0x85: rate limits; answered by the echo.
    {"RenegotiateV34",
     [](PumpHarness&, DspContext& c) { c.call.mode = 18; },
     0x6B, {0x49, 0x01}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.call.max_rate_code, 9);
       EXPECT_EQ(c.receive.rate_limit, 6);
       EXPECT_EQ(c.receive.control_state, 6);
     }},
    {"RenegotiateV34WhileBusy",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 17;
       c.receive.control_state = 5;
     },
     0x6B, {0x10, 0x00}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.receive.control_state, 5);
       EXPECT_EQ(c.receive.rate_limit, 9);
     }},
    {"RenegotiateV32bis", [](PumpHarness&, DspContext& c) { c.call.mode = 16; }, 0x6B, {0x08},
     Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_TRUE(Called(c, Pending::kChangeV32bisRate, 1));
       EXPECT_EQ(c.call.max_rate_code, 8);
     }},
    {"RenegotiateMode23WithoutV90", [](PumpHarness&, DspContext& c) { c.call.mode = 23; },
     0x6B, {0x08}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.receive.rate_renegotiation, 1u);
     }},
    {"RateLimitOfTheOriginatingSide",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 17;
       c.call.direction = 1;
     },
     0x85, {18}, Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) { EXPECT_EQ(c.transmit.rate_limit, 11); }},
    {"RateLimitWithoutV34", [](PumpHarness&, DspContext& c) { c.call.mode = 7; }, 0x85, {18},
     Reply::kEcho,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.transmit.rate_limit, 0);
       EXPECT_EQ(c.receive.rate_limit, 0);
     }},
    // 0x70 and 0x72: queries.
    {"DataRateOfV34AtIndex10",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 17;
       c.receive.rate_index = 10;
     },
     0x70, {}, Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpDataRate, 1, {13}}}));
     }},
    {"DataRateOfV34AtIndex12",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 18;
       c.receive.rate_index = 12;
     },
     0x70, {}, Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpDataRate, 1, {19}}}));
     }},
    {"DataRateOfAClassicModem",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 7;
       c.call.max_rate_code = 4;
     },
     0x70, {}, Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpDataRate, 1, {4}}}));
     }},
    {"DataRateOfMode23WithoutV90", [](PumpHarness&, DspContext& c) { c.call.mode = 23; },
     0x70, {}, Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpDataRate, 1, {13}}}));
     }},
    {"ModeOfACall", [](PumpHarness&, DspContext& c) { c.call.mode = 7; }, 0x72, {},
     Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpMode, 1, {7}}}));
     }},
    {"ModeOfAV90Call",
     [](PumpHarness&, DspContext& c) {
       c.call.mode = 23;
       c.v90_call = 1;
     },
     0x72, {}, Reply::kOther,
     [](PumpHarness&, DspContext&, const Packets& p) {
       EXPECT_EQ(p, (Packets{{kDpMode, 1, {18}}}));
     }},
    // 0x7B: the gain map; any other gain is -9 dB.
    {"TransmitGain9016IsMinus9", kNone, 0x7B, {0x38, 0x23, 0x01}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(testing::Int16Of(*testing::ReadMemory(h.Controller(), 0x1687)), -9);
       EXPECT_EQ(c.level_flag, 1);
     }},
    {"TransmitGain25399IsZero", kNone, 0x7B, Word(25399), Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(testing::Int16Of(*testing::ReadMemory(h.Controller(), 0x1687)), 0);
       EXPECT_EQ(c.level_flag, 0);
     }},
    {"TransmitGain8032IsMinus10", kNone, 0x7B, Word(8032), Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) { EXPECT_EQ(c.transmit_level, -10); }},
    {"TransmitGain4027IsMinus16", kNone, 0x7B, Word(4027), Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) { EXPECT_EQ(c.transmit_level, -16); }},
    // 0x7C: tone pairs.
    {"TonePairInVoiceIsScaledFor8000Hz",
     [](PumpHarness&, DspContext& c) {
       c.voice_active = 1;
       c.transmit_level = -6;
     },
     0x7C, {0xE8, 0x03, 0x18, 0xFC, 0x04}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.dial.increment[0], 1200u);
       EXPECT_EQ(c.dial.increment[1], static_cast<std::uint32_t>(-1201));
       EXPECT_EQ(c.dial.continuous, 1u);
       EXPECT_EQ(c.dial.high_gain, AfeGain(h.Access(), -6));
       EXPECT_EQ(c.dial.low_gain, AfeGain(h.Access(), -6));
     }},
    {"TonePairWithoutBit2IsSwapped", kNone, 0x7C, {0xE8, 0x03, 0x18, 0xFC, 0x01}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.dial.increment[0], static_cast<std::uint32_t>(-1000));
       EXPECT_EQ(c.dial.increment[1], 1000u);
       EXPECT_EQ(c.dial.high_gain, 0) << "the gain stays";
     }},
    {"TonePairEnds",
     [](PumpHarness& h, DspContext&) {
       h.Controller().Exchange(0x7C, {0xE8, 0x03, 0x18, 0xFC, 0x04});
       h.RunBlocks(2);
     },
     0x7C, {0xE8, 0x03, 0x18, 0xFC, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.dial.tone_running, 0u);
       EXPECT_EQ(c.tx.table.data(), kTxIdleTable.data());
     }},
    {"TonePairEndWithoutAToneOnlyAcknowledges", kNone, 0x7C, {0, 0, 0, 0, 0}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.tx.table.data(), kTxIdleTable.data());
     }},
    // 0x81: the speaker by ProfileFlags bits 0 and 1.
    {"SpeakerWithoutProfileBits", kNone, 0x81, {0x06}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       EXPECT_TRUE(testing::Requests(h.Afe().Log()).empty());
     }},
    {"SpeakerThroughTheFrontEnd", [](PumpHarness&, DspContext& c) { c.profile.flags = 1; },
     0x81, {0x06}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       EXPECT_EQ(testing::Requests(h.Afe().Log()),
                 (std::vector<testing::Request>{{afe::kAfeSpeaker, 2}}));
     }},
    {"SpeakerThroughTheSoundPath", [](PumpHarness&, DspContext& c) { c.profile.flags = 2; },
     0x81, {0x07}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       EXPECT_EQ(testing::Requests(h.Afe().Log()),
                 (std::vector<testing::Request>{{afe::kSoundSetLevel, 3}}));
       EXPECT_EQ(h.Access().sound_level, 3u);
     }},
    {"SpeakerThroughBoth", [](PumpHarness&, DspContext& c) { c.profile.flags = 3; }, 0x81,
     {0x01}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       EXPECT_EQ(testing::RequestCodes(h.Afe().Log()),
                 (std::vector<ULONG>{afe::kAfeSpeaker, afe::kSoundSetLevel}));
     }},
    // 0x90: the phase-2 options, read back through memory keys 0x1600-0x1603.
    {"Phase2Options", kNone, 0x90, {0x34, 0x12, 0x78, 0x56, 0x2B, 0x03, 0x09}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       auto& controller = h.Controller();
       EXPECT_EQ(testing::ReadMemory(controller, 0x1600), Word(0x1234));
       EXPECT_EQ(testing::ReadMemory(controller, 0x1601), Word(0x2B | 0x2B << 6));
       EXPECT_EQ(testing::ReadMemory(controller, 0x1602), Word(0x0901));
       EXPECT_EQ(testing::ReadMemory(controller, 0x1603), Word(0x5678));
       EXPECT_EQ(c.phase2.options.symbol_rate_mask, 0x2B);
     }},
    // 0x93: caller-ID modes and the hook relay.
    {"CallerIdOffReleasesAHeldRelay",
     [](PumpHarness& h, DspContext& c) {
       SetAfeHook(h.Access(), 1);
       c.caller_id_hook = 1;
     },
     0x93, {0, 0, 0}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(testing::Requests(h.Afe().Log()),
                 (std::vector<testing::Request>{{afe::kAfeHook, 0}}));
       EXPECT_EQ(c.caller_id_hook, 0u);
     }},
    {"CallerIdOffKeepsTheRelayForTheLineWatch",
     [](PumpHarness& h, DspContext& c) {
       SetAfeHook(h.Access(), 1);
       c.caller_id_config = 0x04;
       c.dial_call_state = 0;
     },
     0x93, {0, 0, 0}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       EXPECT_TRUE(testing::Requests(h.Afe().Log()).empty());
     }},
    {"CallerIdOnHookTakesTheRelay", kNone, 0x93, {1, 0, 2}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(testing::Requests(h.Afe().Log()),
                 (std::vector<testing::Request>{{afe::kAfeHook, 1}}));
       EXPECT_EQ(c.caller_id_hook, 1u);
       EXPECT_EQ(c.caller_id.type, 2);
     }},
    {"CallerIdOnHookWithTheRelayHeld",
     [](PumpHarness& h, DspContext&) { SetAfeHook(h.Access(), 1); },
     0x93, {1, 0, 0}, Reply::kAck,
     [](PumpHarness& h, DspContext&, const Packets&) {
       for (const testing::Request& r : testing::Requests(h.Afe().Log())) {
         EXPECT_NE(r.code, afe::kAfeHook);  // the FSK start reads the receive gain only
       }
     }},
    {"CallerIdWhileMonitoring", [](PumpHarness&, DspContext& c) { c.call.mode = 5; }, 0x93,
     {3, 0, 1}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(c.dial_call_state, 6);
       EXPECT_EQ(c.call.mode, 5);
       EXPECT_EQ(c.caller_id.type, 1);
       EXPECT_EQ(c.fsk.kind, kFskCallerId);
       EXPECT_EQ(c.fsk.agc.mantissa, 0x4000);
       EXPECT_EQ(c.fsk.agc.exponent, 5);
       EXPECT_EQ(c.fsk.agc.freeze, 1u);
       EXPECT_EQ(c.caller_id.enable, 1u);
       EXPECT_EQ(c.detectors.agc.word, 4);
       EXPECT_EQ(StatusCode(h), kStatusCallerId);
     }},
    {"CallerIdMode2DoesNothing", kNone, 0x93, {2, 0, 1}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_TRUE(testing::Requests(h.Afe().Log()).empty());
       EXPECT_EQ(c.fsk.kind, 0);
       EXPECT_EQ(c.fsk.rx_channel, nullptr);
     }},
    // 0x98: voice idle.
    {"VoiceIdle",
     [](PumpHarness& h, DspContext& c) {
       c.mode_block = [](DspContext&) {};
       SetDpStatus(h.Host(), kStatusVoice, false);
     },
     0x98, {}, Reply::kAck,
     [](PumpHarness& h, DspContext& c, const Packets&) {
       EXPECT_EQ(StatusCode(h), kStatusIdle);
       EXPECT_EQ(c.mode_block, &DefaultBlock);
       EXPECT_EQ(testing::RequestCodes(h.Afe().Log()), std::vector<ULONG>{afe::kAfeSetRate});
     }},
    // 0xA4: the caller-ID configuration byte, or the tone monitor's windows.
    {"CallerIdConfiguration", kNone, 0xA4, {0x06, 0x00}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) { EXPECT_EQ(c.caller_id_config, 6); }},
    {"ToneMonitorWindowsAt9600Hz",
     [](PumpHarness&, DspContext& c) {
       for (int k = 0; k < 32; ++k) c.tone_monitor.average[k] = static_cast<std::int16_t>(3 * k);
     },
     0xA4, {0xE8, 0x03, 0xB0, 0x04, 0xD0, 0x07, 0x60, 0x09}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       // 1000, 1200, 2000 and 2400 Hz in 150 Hz bins.
       EXPECT_EQ(c.tone_monitor.band1[0], 6);
       EXPECT_EQ(c.tone_monitor.band1[1], 9);
       EXPECT_EQ(c.tone_monitor.band2[0], 13);
       EXPECT_EQ(c.tone_monitor.band2[1], 17);
       EXPECT_TRUE(std::equal(std::begin(c.tone_monitor.average), std::end(c.tone_monitor.average),
                              std::begin(c.tone_monitor.reference)));
       EXPECT_EQ(c.caller_id_config, 0);
     }},
    {"ToneMonitorWindowsInTheMonitorsBins",
     [](PumpHarness&, DspContext& c) { c.tone_monitor.bin_width = 125; },
     0xA4, {0xE8, 0x03, 0xB0, 0x04, 0xD0, 0x07, 0x60, 0x09}, Reply::kAck,
     [](PumpHarness&, DspContext& c, const Packets&) {
       EXPECT_EQ(c.tone_monitor.band1[0], 8);
       EXPECT_EQ(c.tone_monitor.band1[1], 10);
       EXPECT_EQ(c.tone_monitor.band2[0], 16);
       EXPECT_EQ(c.tone_monitor.band2[1], 20);
     }},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CommandHandlers, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump
