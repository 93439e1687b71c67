#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/ex/pool.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/key_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

constexpr std::uint8_t kReset = 0x60;
constexpr ULONG kDdk = plat::ex::PoolTag("Ddk ");

std::vector<std::uint8_t> Bytes(const CallParameters& call) {
  std::vector<std::uint8_t> bytes(sizeof call);
  std::memcpy(bytes.data(), &call, sizeof call);
  return bytes;
}

// A call block that is nowhere zero.
CallParameters Ended() {
  CallParameters call;
  std::vector<std::uint8_t> bytes(sizeof call);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 5 + 3);
  std::memcpy(&call, bytes.data(), sizeof call);
  return call;
}

// The previous-call block as the controller reads it: memory keys
// 0x1500-0x1530, 16 bytes each.
std::vector<std::uint8_t> PreviousCall(testing::ControllerDouble& controller) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t key = 0x1500; key <= 0x1530; key += 8) {
    const auto part = testing::ReadMemory(controller, key);
    EXPECT_TRUE(part.has_value());
    if (part) bytes.insert(bytes.end(), part->begin(), part->end());
  }
  return bytes;
}

TEST(Commands, AFullResetKeepsTheEndedCallAndIssuesItsRequestsInOrder) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    auto& controller = harness.Controller();
    context.call = Ended();
    context.framer.received_bytes = 0x11223344;
    context.framer.delivered_bytes = 0x55667788;
    context.dialling = 1;
    context.detectors.agc = {4, -3, 1234, 999, 1};
    harness.Afe().ClearLog();

    EXPECT_EQ(controller.Exchange(kReset, {0}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {kReset}}}));

    // The copy keeps the framer's counters of the ended call.
    CallParameters with_counters = Ended();
    with_counters.framer_received = 0x11223344;
    with_counters.framer_delivered = 0x55667788;
    auto expected = Bytes(with_counters);
    expected.resize(7 * 16);
    EXPECT_EQ(PreviousCall(controller), expected);
    EXPECT_EQ(Bytes(context.call), Bytes(CallParameters{}));
    EXPECT_EQ(testing::Int16Of(*testing::ReadMemory(controller, 0x1687)), -10);
    EXPECT_EQ(context.dialling, 0u);
    EXPECT_EQ(context.dial_call_state, -1);
    EXPECT_EQ(context.tx.table.data(), kTxIdleTable.data());
    EXPECT_EQ(context.ready, 1u);
    const AgcGain& agc = context.detectors.agc;
    EXPECT_EQ(agc.exponent, 7);
    EXPECT_EQ(agc.mantissa, 0x7FFF);
    EXPECT_EQ(agc.average, 0);
    EXPECT_EQ(agc.freeze, 0);
    const PendingLog& pending = context.pending;
    for (Pending part : {Pending::kResetPhase2, Pending::kResetV34Receiver}) {
      EXPECT_EQ(pending[part].count, 1u) << static_cast<int>(part);
    }
    // The voice sequencer cleared, over the voice resources' FIR blocks.
    EXPECT_STREQ(context.voice.rx.table[0].name, "VoiceRxNull");
    EXPECT_STREQ(context.voice.tx.table[0].name, "VoiceTxNull");
    EXPECT_EQ(context.voice_active, 0u);
    for (int filter = 0; filter < kFilterRecords; ++filter) {
      EXPECT_EQ(context.call_progress.bank.channels[filter].pending, 1u) << filter;
    }
    // Latency 2 first, then test mode 0, the record, 96 at 9600, the line
    // option, gain 0, the status query, and the voice stop's restart of the
    // line-monitoring sound stream.
    EXPECT_EQ(testing::Requests(harness.Afe().Log()),
              (std::vector<testing::Request>{{afe::kAfeLatency, 2},
                                             {afe::kAfeTestMode, 0},
                                             {afe::kAfeGetInfo, 78},
                                             {afe::kAfeSetRate, 96u << 16 | 9600},
                                             {afe::kAfeLineMonitor, 1},
                                             {afe::kAfeSetGain, 0},
                                             {afe::kAfeStatusQuery, 0},
                                             {afe::kSoundStartLineStream, 0}}));
  });
}

TEST(Commands, ALightResetKeepsTheCallBlock) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    context.call = Ended();
    context.transmit_level = -3;
    harness.Afe().ClearLog();
    EXPECT_EQ(harness.Controller().Exchange(kReset, {1}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {kReset}}}));
    EXPECT_EQ(Bytes(context.call), Bytes(Ended()));
    EXPECT_EQ(Bytes(context.previous_call), Bytes(CallParameters{}));
    EXPECT_EQ(context.transmit_level, -3);
    EXPECT_EQ(context.ready, 1u) << "a light reset allocates too";
    EXPECT_EQ(testing::Requests(harness.Afe().Log()),
              (std::vector<testing::Request>{{afe::kAfeLatency, 2},
                                             {afe::kAfeSetRate, 96u << 16 | 9600}}));
  });
}

// What a successful first reset takes from the pool: the blocks it leaves
// and the allocations it attempts (the FFT's count depends on the variant).
struct ResetFootprint {
  std::uint64_t blocks = 0;
  std::uint64_t attempts = 0;
};

ResetFootprint CleanReset() {
  ResetFootprint footprint;
  PumpHarness harness;
  harness.Run([&] {
    plat::ex::Pool& pool = harness.Machine().pool();
    const std::uint64_t blocks = pool.LiveByTag(kDdk).blocks;
    const std::uint64_t attempts = pool.AllocationAttempts();
    harness.Controller().Post(kReset, {0});
    footprint.blocks = pool.LiveByTag(kDdk).blocks - blocks;
    footprint.attempts = pool.AllocationAttempts() - attempts;
  });
  return footprint;
}

TEST(ModeResourceFailure, AtEachAllocationLeavesReadyZeroUntilALaterResetSucceedsAndTheStopFreesAll) {
  const ResetFootprint clean = CleanReset();
  ASSERT_GE(clean.blocks, 6u) << "every mode holds at least one block";
  for (std::uint64_t n = 1; n <= clean.attempts; ++n) {
    SCOPED_TRACE(n);
    PumpHarness harness;
    harness.Run([&] {
      plat::ex::Pool& pool = harness.Machine().pool();
      const plat::ex::PoolUsage started = pool.LiveByTag(kDdk);
      pool.FailNthAllocation(n);
      harness.Controller().Post(kReset, {0});
      EXPECT_EQ(harness.Context().ready, 0u);
      EXPECT_EQ(pool.LiveByTag(kDdk), started) << "what was taken before the failure went back";
      harness.Afe().ClearLog();
      harness.RunBlocks(3);
      EXPECT_TRUE(harness.Afe().Log().empty()) << "no block runs without the resources";

      harness.Controller().Post(kReset, {1});
      EXPECT_EQ(harness.Context().ready, 1u);
      EXPECT_EQ(pool.LiveByTag(kDdk).blocks, started.blocks + clean.blocks);
      EXPECT_NE(harness.Context().resources.voice.fft, nullptr);
      EXPECT_NE(harness.Context().resources.voice.fft_work, nullptr);
      for (std::uint8_t* fir : harness.Context().resources.voice.fir) EXPECT_NE(fir, nullptr);
      EXPECT_NE(harness.Context().resources.voice.lms, nullptr);
      EXPECT_NE(harness.Context().resources.voice.echo_fft_work, nullptr);

      harness.Stop();
      EXPECT_EQ(pool.LiveByTag(kDdk), plat::ex::PoolUsage{}) << pool.LeakReport();
      EXPECT_EQ(harness.Context().resources.voice.fft, nullptr);
      EXPECT_EQ(harness.Context().resources.voice.lms, nullptr);
      EXPECT_EQ(harness.Context().resources.voice.echo_fft, nullptr);
    });
  }
}

}  // namespace
}  // namespace pump
