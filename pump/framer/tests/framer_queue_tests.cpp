// The receive queue between the bits and the mailbox: it flushes on an
// event and when fewer than 99 of its 130 slots are free, and while the
// controller leaves the mailbox full it keeps what it holds, in order, and
// drops only what comes when it is full.
#include <gtest/gtest.h>

#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"

namespace pump {
namespace {

using namespace framer_testing;

Bytes Counting(std::size_t count) {
  Bytes bytes;
  for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  return bytes;
}

Bits Octets(const Bytes& bytes) {
  Bits bits;
  for (std::uint8_t b : bytes) {
    const Bits octet = LsbFirst(b, 8);
    bits.insert(bits.end(), octet.begin(), octet.end());
  }
  return bits;
}

TEST(FramerQueue, FullFromANonZeroReadIndexDropsOnlyTheNewest) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerHdlc);
  rig.HoldRx(true);
  // A frame of 240 bytes. Its 32nd byte leaves 98 slots free: bytes 0-31
  // go into the mailbox, which the controller then leaves full. Bytes
  // 32-161 fill the queue round to its read index; the rest of the frame,
  // its check and its end event find it full and are dropped.
  const Bytes frame = Counting(240);
  rig.Feed(Cat({Ones(10), Flag(), FrameBody(frame), Flag()}));
  const FramerQueue& queue = rig.Framer().rx_queue;
  EXPECT_EQ(queue.count, kFramerQueueSlots);
  EXPECT_EQ(queue.read, 32);
  EXPECT_EQ(queue.read, queue.write) << "full, with equal indexes";
  EXPECT_EQ(rig.Blocks().size(), 0u);

  rig.HoldRx(false);
  for (int block = 0; block < 6; ++block) FramerFlushRx(rig.Context());
  EXPECT_EQ(rig.DeliveredBytes(), Counting(162));
  EXPECT_EQ(rig.Blocks().size(), 6u);
  EXPECT_EQ(rig.Blocks().back().kind, 0) << "the end event was dropped with the frame's tail";
  EXPECT_EQ(rig.Framer().delivered_bytes, 162u);
  EXPECT_EQ(queue.count, 0);

  // The next frame comes whole.
  const Bytes next = {0x0A, 0x0B, 0x0C};
  rig.Feed(Cat({FrameBody(next), Flag()}));
  EXPECT_EQ(rig.Blocks().back(), (Block{1, 5, WithFcs(next)}));
}

TEST(FramerQueue, FlushesOnAnEventAndBelow99FreeSlots) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerRawOctets);
  rig.Feed(Octets(Counting(31)));
  EXPECT_TRUE(rig.Blocks().empty()) << "99 slots free";
  rig.Feed(Octets({31}));
  EXPECT_EQ(rig.Blocks(), (std::vector<Block>{{0, 32, Counting(32)}}));

  InitFramerRx(rig.Context(), kFramerAsync);
  rig.Feed(Cat({Ones(11), Characters({0x61, 0x62}), Zeros(25)}));
  EXPECT_EQ(rig.Blocks().back(), (Block{4, 3, {0x61, 0x62, 0x00}})) << "the break event flushes";
}

// While the mailbox is full codes wait; each later flush moves 32 at most,
// and an event ends its block.
TEST(FramerQueue, WaitingCodesLeaveInOrderInBlocksOfAtMost32) {
  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerHdlc);
  rig.HoldRx(true);
  rig.Feed(Cat({Ones(10), Flag(), FrameBody({0x77}), Flag()}));  // posted and held
  const Bytes a = Counting(40);
  const Bytes b = {0xB0, 0xB1};
  rig.Feed(Cat({FrameBody(a), Flag(), FrameBody(b), Flag()}));
  rig.HoldRx(false);
  for (int block = 0; block < 4; ++block) FramerFlushRx(rig.Context());
  const Bytes a_framed = WithFcs(a);
  EXPECT_EQ(rig.Blocks(),
            (std::vector<Block>{{1, 3, WithFcs({0x77})},
                                {0, 32, Bytes(a_framed.begin(), a_framed.begin() + 32)},
                                {1, 10, Bytes(a_framed.begin() + 32, a_framed.end())},
                                {1, 4, WithFcs(b)}}));
}

}  // namespace
}  // namespace pump
