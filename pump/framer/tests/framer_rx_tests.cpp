// The receive side: line bits of each type in, codes and mailbox blocks out.
// Expected blocks follow from the character format, ISO/IEC 13239 and the
// mailbox kinds (1 good frame, 2 bad frame, 3 abort, 4 break, 5 break end,
// 7 report), built by the reference codecs of bit_streams.h.
#include <gtest/gtest.h>

#include <string>

#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"

namespace pump {
namespace {

using namespace framer_testing;

struct RxCase {
  const char* name;
  int type;
  Bits bits;
  std::vector<Block> blocks;
  std::uint32_t end_state;  // receive sub-state after the bits
};

void PrintTo(const RxCase& c, std::ostream* out) { *out << c.name; }

Block Data(const Bytes& bytes, std::uint8_t kind = 0) {
  return {kind, static_cast<std::uint8_t>(bytes.size()), bytes};
}
Block Event(std::uint8_t kind) { return {kind, 0, {}}; }
const Block kReport = {kKindReport, 255, {}};

const Bytes kRxFrameA = {0x01, 0x02, 0x03};
const Bytes kRxFrameB = {0xC4, 0x00, 0x5A, 0x13};
const Bytes kManyOnes = {0xFF, 0x7E, 0x3F, 0xFC, 0xF8};
const Bits kSharedZeroFlags = Cat({Zeros(1), Ones(6), Zeros(1), Ones(6), Zeros(1)});

// clang-format off
const RxCase kRxCases[] = {
    {"Async55ThenIdle", kFramerAsync, Cat({Ones(15), Character(0x55), Ones(30)}),
     {Data({0x55})}, 0},
    {"AsyncBackToBackCharacters", kFramerAsync4,
     Cat({Ones(11), Characters({0x41, 0x42, 0x00, 0xFF}), Ones(12)}),
     {Data({0x41, 0x42, 0x00, 0xFF})}, 0},
    {"AsyncZeroStopBitStartsTheNextCharacter", kFramerAsync,
     Cat({Ones(11), Zeros(1), LsbFirst(0x41, 8), Zeros(1), LsbFirst(0x42, 8), Ones(14)}),
     {Data({0x41, 0x42})}, 0},
    {"AsyncTwentyZerosAreAByteThenABreakThenItsEnd", kFramerAsync,
     Cat({Ones(15), Zeros(20), Ones(30)}), {Data({0x00}, 4), Event(5)}, 0},
    {"AsyncLongBreakEndsOnce", kFramerAsync3, Cat({Ones(12), Zeros(200), Ones(12)}),
     {Data({0x00}, 4), Event(5)}, 0},
    {"RawOctets", kFramerRawOctets, Cat({LsbFirst(0xA5, 8), LsbFirst(0x00, 8), LsbFirst(0xFF, 8)}),
     {Data({0xA5, 0x00, 0xFF})}, 0},
    {"V8OctetSyncAfterOnes", kFramerV8Octets,
     Cat({Ones(40), LsbFirst(0x21F, 12), LsbFirst(0x51, 8), LsbFirst(0xA3, 8)}),
     {Data({0x21, 0x51, 0xA3})}, 1},
    {"V8OctetSyncAfterOtherBits", kFramerV8Octets,
     Cat({LsbFirst(0x5A5A, 16), Ones(9), LsbFirst(0x21F, 12), LsbFirst(0x0F, 8)}),
     {Data({0x21, 0x0F})}, 1},
    {"HdlcFrameWithItsFcs", kFramerHdlc, Cat({Ones(20), Flags(2), FrameBody(kRxFrameA), Flags(2)}),
     {Data(WithFcs(kRxFrameA), 1)}, 1},
    {"HdlcFramesSharingAFlag", kFramerHdlc,
     Cat({Ones(9), Flag(), FrameBody(kRxFrameA), Flag(), FrameBody(kRxFrameB), Flag()}),
     {Data(WithFcs(kRxFrameA), 1), Data(WithFcs(kRxFrameB), 1)}, 1},
    {"HdlcZeroDeletion", kFramerHdlc, Cat({Flag(), FrameBody(kManyOnes), Flag()}),
     {Data(WithFcs(kManyOnes), 1)}, 1},
    {"HdlcBadFcs", kFramerHdlc, Cat({Ones(8), Flag(), FrameBody(kRxFrameA, false), Flag()}),
     {Data(WithFcs(kRxFrameA, false), 2)}, 1},
    {"HdlcAbortInsideAFrame", kFramerHdlc,
     Cat({Flag(), Stuffed({0x11, 0x22}), Ones(7), Flags(2), FrameBody(kRxFrameB), Flag()}),
     {Data({0x11, 0x22}, 3), Data(WithFcs(kRxFrameB), 1)}, 1},
    {"HdlcSevenOnesAfterAFlag", kFramerHdlc, Cat({Ones(20), Flag(), Ones(7), Flag()}),
     {Event(3)}, 0},
    {"HdlcFlagsSharingAZeroAreNoFrame", kFramerHdlc,
     Cat({Ones(10), kSharedZeroFlags, FrameBody(kRxFrameA), Flag()}), {Data(WithFcs(kRxFrameA), 1)}, 1},
    {"HdlcReportsBeforeEveryFlush", kFramerHdlcReports,
     Cat({Ones(10), Flag(), FrameBody(kRxFrameA), Flag()}),
     {kReport, Data(WithFcs(kRxFrameA), 1)}, 1},
    {"TwoFlagsIgnoresAFrameAfterOneFlag", kFramerHdlcTwoFlags,
     Cat({Ones(20), Flag(), FrameBody(kRxFrameA), Flags(2), FrameBody(kRxFrameB), Flag()}),
     {Data(WithFcs(kRxFrameB), 1)}, 1},
    {"HdlcTakesBothOfTheSameBits", kFramerHdlc,
     Cat({Ones(20), Flag(), FrameBody(kRxFrameA), Flags(2), FrameBody(kRxFrameB), Flag()}),
     {Data(WithFcs(kRxFrameA), 1), Data(WithFcs(kRxFrameB), 1)}, 1},
    {"TwoFlagsAtTheStartThenFramesAfterOne", kFramerHdlcTwoFlags,
     Cat({Ones(20), Flags(2), FrameBody(kRxFrameA), Flag(), FrameBody(kRxFrameB), Flag()}),
     {Data(WithFcs(kRxFrameA), 1), Data(WithFcs(kRxFrameB), 1)}, 1},
};
// clang-format on

class FramerRx : public ::testing::TestWithParam<RxCase> {};

// Whatever the size of the calls the bits come in, the same blocks leave.
TEST_P(FramerRx, BitsBecomeTheBlocksOfTheirType) {
  const RxCase& c = GetParam();
  for (int chunk : {1, 3, 5, 8, 17, 32}) {
    SCOPED_TRACE("bits per call " + std::to_string(chunk));
    FramerRig rig;
    InitFramerRx(rig.Context(), c.type);
    rig.Feed(c.bits, chunk);
    FramerFlushRx(rig.Context());  // as the block handler does
    std::vector<Block> blocks = rig.Blocks();
    if (c.type == kFramerHdlcReports) {
      // Every flush with a free mailbox reports first; the last flush found
      // nothing queued.
      ASSERT_FALSE(blocks.empty());
      EXPECT_EQ(blocks.back(), kReport);
      blocks.pop_back();
    }
    EXPECT_EQ(blocks, c.blocks);
    const DataFramer& f = rig.Framer();
    EXPECT_EQ(f.rx_state, c.end_state);
    EXPECT_EQ(f.received_bytes, c.bits.size() / 8);
    EXPECT_EQ(f.rx_bit_remainder, c.bits.size() % 8);
    EXPECT_EQ(f.delivered_bytes, rig.DeliveredBytes().size());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FramerRx, ::testing::ValuesIn(kRxCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FramerRxCounts, BadFramesAndTheirRuns) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerHdlc);
  // good, bad, bad, good, bad: three bad frames in two runs.
  Bits bits = Cat({Ones(10), Flag()});
  for (bool good : {true, false, false, true, false})
    bits = Cat({bits, FrameBody(kRxFrameB, good), Flag()});
  rig.Feed(bits);
  std::vector<std::uint8_t> kinds;
  for (const Block& block : rig.Blocks()) kinds.push_back(block.kind);
  EXPECT_EQ(kinds, (std::vector<std::uint8_t>{1, 2, 2, 1, 2}));
  EXPECT_EQ(rig.Framer().bad_frames, 3u);
  EXPECT_EQ(rig.Framer().bad_frame_runs, 2u);
  EXPECT_EQ(rig.Framer().frame_error & 1, 1u);
}

TEST(FramerRxCounts, FlagsAreCountedUntilCleared) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerHdlcTwoFlags);
  rig.Feed(Cat({Ones(30), Flags(5)}));
  EXPECT_EQ(GetFlagStatus(rig.Context()), 5u);
  ClearFlagStatus(rig.Context());
  rig.Feed(Flags(2));
  EXPECT_EQ(GetFlagStatus(rig.Context()), 2u);
  // A restart of an HDLC type clears it too; an asynchronous one keeps it.
  RestartFramerRx(rig.Context());
  EXPECT_EQ(GetFlagStatus(rig.Context()), 0u);
  rig.Feed(Cat({Ones(30), Flags(3)}));
  InitFramerRx(rig.Context(), kFramerAsync);
  EXPECT_EQ(GetFlagStatus(rig.Context()), 3u);
}

TEST(FramerRxCounts, ASingleQueuedZero) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerRawOctets);
  EXPECT_FALSE(RxQueueSingleZero(rig.Context()));
  rig.Feed(LsbFirst(0x00, 8));
  EXPECT_TRUE(RxQueueSingleZero(rig.Context()));
  rig.Feed(LsbFirst(0x00, 8));
  EXPECT_FALSE(RxQueueSingleZero(rig.Context()));
  InitFramerRx(rig.Context(), kFramerRawOctets);
  rig.Feed(LsbFirst(0x01, 8));
  EXPECT_FALSE(RxQueueSingleZero(rig.Context()));
}

}  // namespace
}  // namespace pump
