// Hostile input: bit streams no transmitter should send, and data-format
// and restart commands with payloads no controller should write. Nothing
// may be written out of bounds (the sanitizer build watches), the counters
// must match what reached the controller, and the next good input must be
// received as usual.
#include <gtest/gtest.h>

#include <string>

#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"
#include "siglib/tests/support/random.h"

namespace pump {
namespace {

using namespace framer_testing;

const Bytes kGood = {0x03, 0x3F, 0xC0, 0x7E, 0x00, 0xFF};

// A good frame after hostile bits: two flags (type 8 may still wait for
// them), the frame, a flag.
Bits GoodFrame() { return Cat({Flags(2), FrameBody(kGood), Flag()}); }

// The state stays within its arrays, and the counters tell the truth.
void ExpectSound(const FramerRig& rig, std::size_t bits_fed) {
  const DataFramer& f = rig.Framer();
  EXPECT_LE(f.rx_bit_count, 32);
  EXPECT_LE(f.rx_queue.count, kFramerQueueSlots);
  EXPECT_LT(f.rx_queue.read, kFramerQueueSlots);
  EXPECT_LT(f.rx_queue.write, kFramerQueueSlots);
  EXPECT_LE(f.rx_state, 2u);
  EXPECT_EQ(f.received_bytes, bits_fed / 8);
  EXPECT_EQ(f.delivered_bytes, rig.DeliveredBytes().size() + rig.BytesInMailbox());
}

// Block handlers flush once per block: as many blocks as the queue needs.
void DrainQueue(FramerRig& rig) {
  for (int block = 0; block < kFramerQueueSlots && rig.Framer().rx_queue.count > 0; ++block) {
    FramerFlushRx(rig.Context());
  }
  EXPECT_EQ(rig.Framer().rx_queue.count, 0);
}

Bits SeededBits(qvls_test::Rng& rng, std::size_t n) {
  Bits bits(n);
  for (std::uint8_t& b : bits) b = static_cast<std::uint8_t>(rng.Range(0, 1));
  return bits;
}

// A good stream with seeded damage: runs of six, seven or more ones put
// into the stuffed bits (stuffing violations, aborts inside bytes).
Bits Damaged(qvls_test::Rng& rng) {
  Bits bits = Cat({Flags(3)});
  for (int frame = 0; frame < 30; ++frame) {
    Bytes bytes(static_cast<std::size_t>(rng.Range(1, 40)));
    for (std::uint8_t& b : bytes) b = rng.Any<std::uint8_t>();
    Bits body = FrameBody(bytes);
    if (rng.Chance(2, 3)) {
      const auto at =
          static_cast<std::ptrdiff_t>(rng.Range(0, static_cast<std::int64_t>(body.size())));
      body.insert(body.begin() + at, static_cast<std::size_t>(rng.Range(6, 9)), 1);
    }
    bits = Cat({bits, body, Flag()});
  }
  return bits;
}

struct HostileCase {
  const char* name;
  Bits (*bits)(qvls_test::Rng& rng);
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

const HostileCase kHostileStreams[] = {
    {"EndlessFlags", [](qvls_test::Rng&) { return Flags(10000); }},
    {"EndlessOnes", [](qvls_test::Rng&) { return Ones(50000); }},
    {"EndlessZeros", [](qvls_test::Rng&) { return Zeros(50000); }},
    {"StuffingViolationsAndAborts", Damaged},
    {"FlagsSharingZeros",
     [](qvls_test::Rng&) {
       Bits bits = Zeros(1);
       for (int i = 0; i < 500; ++i) {
         bits.insert(bits.end(), 6, 1);
         bits.push_back(0);
       }
       return bits;
     }},
    {"SeededRandomBits", [](qvls_test::Rng& rng) { return SeededBits(rng, 100000); }},
};

class FramerHostile : public ::testing::TestWithParam<HostileCase> {};

// Every receive type, with the controller taking the mailbox and with the
// controller leaving it full; then a good frame in the HDLC types, good
// characters in the asynchronous ones.
TEST_P(FramerHostile, StreamsLeaveTheFramerSoundAndReady) {
  const HostileCase& c = GetParam();
  qvls_test::Rng rng(std::string("FramerHostile.") + c.name);
  const Bits hostile = c.bits(rng);
  for (int type = 0; type <= static_cast<int>(kFramerLastFormat); ++type) {
    for (bool held : {false, true}) {
      SCOPED_TRACE("type " + std::to_string(type) + (held ? ", mailbox left full" : ""));
      FramerRig rig;
      InitFramerRx(rig.Context(), type);
      rig.HoldRx(held);
      rig.Feed(hostile, 29);
      ExpectSound(rig, hostile.size());
      rig.HoldRx(false);
      DrainQueue(rig);
      ExpectSound(rig, hostile.size());

      const bool hdlc =
          type == kFramerHdlc || type == kFramerHdlcReports || type == kFramerHdlcTwoFlags;
      const bool async = type == kFramerAsync || type == kFramerAsync3 || type == kFramerAsync4 ||
                         type == kFramerAsyncMarks;
      if (!hdlc && !async) continue;  // octets have no framing to find again
      const Bits good =
          hdlc ? GoodFrame() : Cat({Ones(30), Characters({0x52, 0x00, 0x53}), Ones(11)});
      rig.Feed(good, 7);
      DrainQueue(rig);
      ExpectSound(rig, hostile.size() + good.size());
      const Bytes delivered = rig.DeliveredBytes();
      const Bytes expected = hdlc ? WithFcs(kGood) : Bytes{0x52, 0x00, 0x53};
      ASSERT_GE(delivered.size(), expected.size());
      EXPECT_EQ(
          Bytes(delivered.end() - static_cast<std::ptrdiff_t>(expected.size()), delivered.end()),
          expected);
      std::uint8_t last_kind = 0;
      for (const Block& block : rig.Blocks()) {
        if (block.kind != kKindReport) last_kind = block.kind;
      }
      EXPECT_EQ(last_kind, hdlc ? 1 : 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, FramerHostile, ::testing::ValuesIn(kHostileStreams),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame of 10,000 bytes: no length limit, every byte counted.
TEST(FramerHostileFrames, TenThousandBytesArriveWhole) {
  Bytes bytes(10000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerHdlc);
  const Bits bits = Cat({Flags(2), FrameBody(bytes), Flag(), GoodFrame()});
  rig.Feed(bits, 32);
  ExpectSound(rig, bits.size());
  Bytes expected = WithFcs(bytes);
  const Bytes good = WithFcs(kGood);
  expected.insert(expected.end(), good.begin(), good.end());
  EXPECT_EQ(rig.DeliveredBytes(), expected);
  EXPECT_EQ(rig.Blocks().back().kind, 1);
}

// A transmit mailbox with a count above 32 and an unknown kind: 32 bytes
// and the event are taken, the kind aborts a frame or is skipped between
// characters, and the next block goes as usual.
TEST(FramerHostileFrames, TransmitBlocksWithImpossibleCountsAndKinds) {
  for (int mode : {int{kFramerAsync}, int{kFramerRawOctets}, int{kFramerHdlc}}) {
    SCOPED_TRACE(mode);
    FramerRig rig;
    InitFramerTx(rig.Context(), mode);
    Comram& page = rig.Host().comram;
    for (std::size_t i = 0; i < kMailboxData; ++i)
      page.reg[kRegTxMailbox + i] = static_cast<std::uint8_t>(i);
    ReleaseMark16(page, kRegTxCount, 255, 0xFF);
    const Bits first = LsbFirst(static_cast<std::uint32_t>(FramerGetTxBits(rig.Context(), 8)), 8);
    EXPECT_EQ(rig.Framer().tx_queue.count, 32) << "32 bytes and the event, one byte sent";
    EXPECT_EQ(page.reg[kRegTxCount], 0);
    const Bits drained = rig.PullBits(1024, 16);
    EXPECT_EQ(rig.Framer().tx_queue.count, 0);
    rig.Send(mode == kFramerHdlc ? kKindEndOfFrame : 0, kGood);
    const Bits sent = rig.PullBits(400, 16);
    if (mode == kFramerHdlc) {
      const HdlcReading reading = ReadHdlc(Cat({first, drained, sent}));
      EXPECT_EQ(reading.aborts, 1);
      EXPECT_EQ(reading.frames, (std::vector<FoundFrame>{{kGood, true}}));
    } else if (mode == kFramerAsync) {
      std::vector<FoundCharacter> found = ReadCharacters(sent);
      ASSERT_EQ(found.size(), kGood.size());
      for (std::size_t i = 0; i < kGood.size(); ++i) EXPECT_EQ(found[i].byte, kGood[i]);
    } else {
      Bits octets;
      for (std::uint8_t b : kGood) octets = Cat({octets, LsbFirst(b, 8)});
      EXPECT_EQ(Bits(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(octets.size())),
                octets);
    }
  }
}

// ---- commands -----------------------------------------------------------------

std::size_t DebugLines(plat::ke::Kernel& machine, std::string_view text) {
  std::size_t n = 0;
  for (const plat::ke::LogLine& line : machine.log())
    n += line.text.find(text) != std::string::npos;
  return n;
}

TEST(FramerHostileCommands, DataFormatsOfAnyLengthAndValueAndARestartWithoutPayload) {
  testing::PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    auto& controller = harness.Controller();
    // Payloads of 0, 1 and 16 bytes.
    for (std::size_t length : {0u, 1u, 16u}) {
      const std::vector<std::uint8_t> payload(length, 0x02);
      EXPECT_EQ(controller.Exchange(0x61, payload),
                (std::vector<testing::ReceivedPacket>{{kDpAck, 1, {0x61}}}));
      EXPECT_EQ(context.framer.rx_type, length == 0 ? kFramerAsync : kFramerHdlc);
    }
    EXPECT_EQ(context.framer.flag_character, 0x02) << "16 bytes: characters from bytes 2-4";
    // Every type and mode above 8 takes 0, each with a debug line.
    std::size_t bad = 0;
    for (int format = 9; format <= 255; ++format) {
      controller.Exchange(0x61, {static_cast<std::uint8_t>(format), 0xFF});
      EXPECT_EQ(context.framer.rx_type, kFramerAsync);
      EXPECT_EQ(context.framer.tx_mode, kFramerAsync);
      bad += 2;
    }
    EXPECT_EQ(DebugLines(harness.Machine(), "is unknown"), bad);
    // 0x8B without payload restarts the transmit side.
    controller.Exchange(0x61, {kFramerRawOctets});
    controller.FillTx(0, std::vector<std::uint8_t>{1, 2, 3, 4});
    FramerGetTxBits(context, 8);
    EXPECT_EQ(context.framer.tx_queue.count, 3);
    EXPECT_EQ(controller.Exchange(0x8B, std::span<const std::uint8_t>{}).size(), 1u);
    EXPECT_EQ(context.framer.tx_queue.count, 0);

    // Then a good frame is received as usual.
    controller.Exchange(0x61, {kFramerHdlc});
    const Bits bits = GoodFrame();
    for (std::uint8_t bit : bits) FramerPutRxBits(context, 1, bit);
    ASSERT_FALSE(controller.RxBlocks().empty());
    EXPECT_EQ(controller.RxBlocks().back(), (testing::ReceivedBlock{1, 8, WithFcs(kGood)}));
    EXPECT_EQ(context.framer.delivered_bytes, 8u);
  });
}

}  // namespace
}  // namespace pump
