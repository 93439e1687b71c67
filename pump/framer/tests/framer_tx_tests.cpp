// The transmit side: mailbox blocks in, line bits out, read back by the
// reference codecs of bit_streams.h (8-N-1 characters, ISO/IEC 13239).
#include <gtest/gtest.h>

#include <string>

#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"

namespace pump {
namespace {

using namespace framer_testing;

const Bytes kTxFrameA = {0x01, 0x02, 0x03};
const Bytes kTxFrameB = {0xFF, 0x7E, 0x3F, 0xFC};

Bits Prefix(const Bits& bits, std::size_t n) { return Bits(bits.begin(), bits.begin() + n); }

Bytes Stepped(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

// ---- HDLC -------------------------------------------------------------------

TEST(FramerTx, HdlcBlockOfKindOneIsFlagBytesFcsFlag) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlc);
  rig.Send(kKindEndOfFrame, {0x12, 0xF7});
  const Bits expected = Cat({Flag(), FrameBody({0x12, 0xF7}), Flags(8)});
  const Bits sent = rig.PullBits(expected.size(), 16);
  EXPECT_EQ(Prefix(sent, expected.size()), expected) << "the first frame opens with a flag";
}

TEST(FramerTx, HdlcFramesLongerThanABlockAndBackToBack) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlc);
  const Bytes long_frame = Stepped(70);
  rig.Send(0, Bytes(long_frame.begin(), long_frame.begin() + 32));
  rig.Send(0, Bytes(long_frame.begin() + 32, long_frame.begin() + 64));
  rig.Send(kKindEndOfFrame, Bytes(long_frame.begin() + 64, long_frame.end()));
  rig.Send(kKindEndOfFrame, kTxFrameB);
  rig.Send(0, kTxFrameA);
  rig.Send(kKindEndOfFrame, {});  // ends the frame of the block before
  const Bits expected =
      Cat({Flag(), FrameBody(long_frame), Flag(), FrameBody(kTxFrameB), Flag(), FrameBody(kTxFrameA), Flags(3)});
  const Bits sent = rig.PullBits(expected.size(), 13);
  EXPECT_EQ(Prefix(sent, expected.size()), expected);
}

TEST(FramerTx, HdlcIdlesWithFlagsAndAnEndWithoutDataSendsNothing) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlc);
  EXPECT_EQ(rig.PullBits(64, 16), Flags(8));
  rig.Send(kKindEndOfFrame, {});
  EXPECT_EQ(rig.PullBits(64, 16), Flags(8));
  EXPECT_TRUE(rig.SendQueueEmpty());
}

TEST(FramerTx, ModeSevenSendsItsExtraFlagsOnlyWhileDataWaitsAndStopsWhenEmpty) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlcReports);
  EXPECT_EQ(rig.Pull(2, 16), (std::vector<std::int32_t>{-1, -1})) << "nothing to send";
  rig.Send(kKindEndOfFrame, kTxFrameA);
  const Bits frame = Cat({Flags(5), FrameBody(kTxFrameA), Flags(2)});
  const Bits sent = rig.PullBits(1000, 16);
  ASSERT_GE(sent.size(), frame.size());
  EXPECT_EQ(Prefix(sent, frame.size()), frame);
  EXPECT_EQ(Bits(sent.begin() + static_cast<std::ptrdiff_t>(frame.size()), sent.end()),
            Ones(sent.size() - frame.size()))
      << "ones to the end of the call, then -1";
  EXPECT_LT(sent.size(), frame.size() + 16);
  EXPECT_EQ(FramerGetTxBits(rig.Context(), 16), -1);
}

// Events of every kind in the two framings: the asynchronous gaps follow
// from 16-bit calls (a character takes bits 0-9 of the first call).
struct EventCase {
  const char* name;
  std::uint8_t kind;
  std::size_t async_gap;  // ones between the two characters
};

void PrintTo(const EventCase& c, std::ostream* out) { *out << c.name; }

class FramerTxEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(FramerTxEvents, EndAsynchronousCharactersOrAbortAFrame) {
  const EventCase& c = GetParam();
  {
    SCOPED_TRACE("asynchronous");
    FramerRig rig;
    InitFramerTx(rig.Context(), kFramerAsync);
    rig.Send(c.kind, {0x41});
    rig.Send(0, {0x42});
    const Bits sent = rig.PullBits(160, 16);
    EXPECT_EQ(ReadCharacters(sent),
              (std::vector<FoundCharacter>{{0x41, 0}, {0x42, 10 + c.async_gap}}));
  }
  {
    SCOPED_TRACE("HDLC");
    FramerRig rig;
    InitFramerTx(rig.Context(), kFramerHdlc);
    rig.Send(c.kind, {0x11, 0x22});
    rig.Send(kKindEndOfFrame, kTxFrameA);
    const HdlcReading reading = ReadHdlc(rig.PullBits(400, 16));
    EXPECT_EQ(reading.aborts, 1) << "any kind but the end of frame aborts";
    EXPECT_EQ(reading.frames, (std::vector<FoundFrame>{{kTxFrameA, true}}));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FramerTxEvents,
                         ::testing::Values(EventCase{"EndOfTransmission", 2, 6},
                                           EventCase{"Restart", 3, 6 + 23},
                                           EventCase{"Marks", 4, 6}, EventCase{"Skipped", 5, 0},
                                           EventCase{"SendBuffered", 6, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FramerTx, KindTwoRequestsTheEnd) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsync);
  rig.Send(kKindEndOfTransmit, {0x41});
  rig.PullBits(16, 16);
  EXPECT_EQ(rig.Framer().restart, kTxEndRequested);
}

// A frame whose data stops before its end is aborted; the rest of it, when
// it comes, is dropped up to its end, and the next frame goes whole.
TEST(FramerTx, AFrameThatRunsDryIsAbortedAndItsRestDropped) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlc);
  rig.Send(0, kTxFrameA);
  Bits sent = rig.PullBits(80, 16);
  EXPECT_EQ(rig.Framer().restart, kTxUnderrun);
  rig.Send(kKindEndOfFrame, {0x44, 0x55});
  rig.Send(kKindEndOfFrame, kTxFrameB);
  sent = Cat({sent, rig.PullBits(400, 16)});
  const HdlcReading reading = ReadHdlc(sent);
  EXPECT_EQ(reading.aborts, 1);
  EXPECT_EQ(reading.frames, (std::vector<FoundFrame>{{kTxFrameB, true}}));
}

// ---- asynchronous and raw -----------------------------------------------------

TEST(FramerTx, AsyncCharactersAreEightNOne) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsync);
  rig.Send(0, {0x41, 0x00, 0xFF});
  rig.Send(0, {0x80});
  const Bits sent = rig.PullBits(93, 31);
  EXPECT_EQ(sent, Cat({Characters({0x41, 0x00, 0xFF, 0x80}), Ones(53)}));
}

TEST(FramerTx, ModeFiveSendsFFAsTenOnesAndStopsWhenEmpty) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsyncMarks);
  EXPECT_EQ(FramerGetTxBits(rig.Context(), 10), -1);
  rig.Send(0, {0x41, 0xFF, 0x42});
  const Bits sent = rig.PullBits(1000, 10);
  EXPECT_EQ(sent, Cat({Character(0x41), Ones(10), Character(0x42)}));
  EXPECT_EQ(FramerGetTxBits(rig.Context(), 10), -1);
}

TEST(FramerTx, RawOctetsFillWithOnesOrWithZerosInAFaxCall) {
  for (bool fax_call : {false, true}) {
    SCOPED_TRACE(fax_call ? "fax call" : "data call");
    FramerRig rig;
    rig.Context().call.fax_call = fax_call ? 1 : 0;
    InitFramerTx(rig.Context(), kFramerRawOctets);
    rig.Send(0, {0xA5, 0x3C});
    const Bits sent = rig.PullBits(48, 12);
    EXPECT_EQ(sent, Cat({LsbFirst(0xA5, 8), LsbFirst(0x3C, 8), Repeat(fax_call ? 0 : 1, 32)}));
  }
}

TEST(FramerTx, ModeEightSendsOnesAndLeavesTheMailbox) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlcTwoFlags);
  rig.Send(0, {0x00});
  EXPECT_EQ(rig.PullBits(64, 16), Ones(64));
  EXPECT_EQ(rig.Host().comram.reg[kRegTxCount], 1);
}

// ---- the mailbox --------------------------------------------------------------

TEST(FramerTx, StatusBitSixWithTheInterruptWhenTheMailboxRunsDry) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerHdlc);
  FramerGetTxBits(rig.Context(), 31);
  EXPECT_EQ(rig.Status() & kStatusTxEmpty, kStatusTxEmpty);
  EXPECT_EQ(rig.Interrupts(), 1) << "one interrupt per call, however many flags it took";

  rig.Send(0, {0x01});
  FramerGetTxBits(rig.Context(), 8);
  EXPECT_EQ(rig.Status() & kStatusTxEmpty, 0) << "taking a block clears it";
  EXPECT_EQ(rig.Interrupts(), 2);
  EXPECT_EQ(rig.Host().comram.reg[kRegTxCount], 0);

  FramerGetTxBits(rig.Context(), 31);
  EXPECT_EQ(rig.Status() & kStatusTxEmpty, kStatusTxEmpty);
  EXPECT_EQ(rig.Interrupts(), 3);
}

TEST(FramerTx, CallSizesOutsideTheRange) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsync);
  rig.Send(0, {0x00});
  EXPECT_EQ(FramerGetTxBits(rig.Context(), 0), 0);
  EXPECT_EQ(FramerGetTxBits(rig.Context(), -5), 0);
  EXPECT_EQ(rig.Host().comram.reg[kRegTxCount], 1) << "no bits asked, nothing taken";
  // More than 31 bits are 31: a character and 21 ones, never the value -1.
  EXPECT_EQ(FramerGetTxBits(rig.Context(), 40), 0x7FFFFE00);
}

TEST(FramerTx, RestartEmptiesTheQueueAndTheBitsInHand) {
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsync);
  rig.Send(0, {0x41, 0x42, 0x43});
  FramerGetTxBits(rig.Context(), 4);
  RestartFramerTx(rig.Context());
  EXPECT_EQ(rig.Framer().tx_mode, kFramerAsync);
  rig.Send(0, {0x44});
  EXPECT_EQ(rig.PullBits(20, 10), Cat({Character(0x44), Ones(10)}));
}

}  // namespace
}  // namespace pump
