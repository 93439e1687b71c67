#include <gtest/gtest.h>

#include <numeric>

#include "platform/ke/ke.h"
#include "pump/afe_access/tests/afe_access_fixture.h"

namespace pump::testing {
namespace {

using AfeAccessSamples = AfeAccessTest;

std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& v, std::size_t from,
                                std::size_t count) {
  return {v.begin() + static_cast<std::ptrdiff_t>(from),
          v.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

// The block comes from the front end once per tick: at the first read, even
// one of no samples, and never again within the tick.
TEST_F(AfeAccessSamples, OneFetchPerTickEvenForNoSamples) {
  Run([&](AfeAccess& access) {
    const std::vector<std::int16_t> line = RandomSamples(2 * 96, 11);
    Afe().FeedLine(line);
    for (int tick = 0; tick < 2; ++tick) {
      Tick(access, [&] {
        std::vector<std::int16_t> piece(48);
        EXPECT_EQ(ReadRxSamples(access, std::span<std::int16_t>()), 0);
        EXPECT_EQ(Calls(AfeEntry::kReadBlock).size(), static_cast<std::size_t>(tick + 1));
        EXPECT_EQ(ReadRxSamples(access, piece), 48);
        EXPECT_EQ(piece, Slice(line, 96 * tick, 48));
        EXPECT_EQ(ReadRxSamples(access, std::span<std::int16_t>()), 0);
        EXPECT_EQ(ReadRxSamples(access, piece), 48);
        EXPECT_EQ(piece, Slice(line, 96 * tick + 48, 48));
      });
      const std::vector<AfeCall> reads = Calls(AfeEntry::kReadBlock);
      ASSERT_EQ(reads.size(), static_cast<std::size_t>(tick + 1));
      EXPECT_EQ(reads.back().argument, 192u) << "the whole block, in bytes";
    }
  });
}

// However a mode splits its reads, the pieces are the block in order.
TEST_F(AfeAccessSamples, PiecesAddUpToTheBlock) {
  const std::vector<std::vector<int>> splits = {{96},    {48, 48},   {1, 95},         {32, 32, 32},
                                                {0, 96}, {95, 1, 0}, {10, 20, 30, 36}};
  for (const std::vector<int>& split : splits) {
    Run([&](AfeAccess& access) {
      const std::vector<std::int16_t> line = RandomSamples(96, 12);
      Afe().FeedLine(line);
      std::vector<std::int16_t> got;
      Tick(access, [&] {
        for (int n : split) {
          std::vector<std::int16_t> piece(static_cast<std::size_t>(n));
          EXPECT_EQ(ReadRxSamples(access, piece), n);
          got.insert(got.end(), piece.begin(), piece.end());
        }
      });
      EXPECT_EQ(got, line);
      EXPECT_EQ(access.read_position, 96);
    });
  }
}

// Past the block a read copies nothing; asking for more than a block is
// refused with -5 and does not fetch.
TEST_F(AfeAccessSamples, ReadsPastOrBeyondTheBlock) {
  Run([&](AfeAccess& access) {
    Afe().Step();
    ResetSampleCursors(access);
    std::vector<std::int16_t> too_many(97, 7);
    EXPECT_EQ(ReadRxSamples(access, too_many), 0);
    EXPECT_EQ(access.last_status, kAfeStatusBadCount);
    EXPECT_TRUE(Calls(AfeEntry::kReadBlock).empty());
    EXPECT_EQ(too_many[0], 7) << "nothing copied";

    std::vector<std::int16_t> block(96);
    EXPECT_EQ(ReadRxSamples(access, block), 96);
    std::vector<std::int16_t> more(1, 7);
    EXPECT_EQ(ReadRxSamples(access, more), 0);
    EXPECT_EQ(access.last_status, 0);
    EXPECT_EQ(more[0], 7);
    EXPECT_EQ(ReadRxSamples(access, too_many), 0);
    EXPECT_EQ(access.last_status, kAfeStatusBadCount);
  });
}

// A block the front end refuses gives -1000, for reads and writes alike.
TEST_F(AfeAccessSamples, RefusedBlockGivesMinus1000) {
  Run([&](AfeAccess& access) {
    Afe().Step();
    ResetSampleCursors(access);
    Afe().RefuseBlocks(true);
    std::vector<std::int16_t> block(96);
    EXPECT_EQ(ReadRxSamples(access, block), 0);
    EXPECT_EQ(access.last_status, kAfeStatusNoBlock);
    EXPECT_EQ(WriteTxSamples(access, block), 0);
    EXPECT_EQ(access.last_status, kAfeStatusNoBlock);
    Afe().RefuseBlocks(false);
    EXPECT_EQ(ReadRxSamples(access, block), 96) << "the next read asks again";
    EXPECT_EQ(access.last_status, 0);
  });
}

// The write that fills the block hands it over, and only that one.
TEST_F(AfeAccessSamples, WriteHandsTheBlockOverWhenFull) {
  struct Case {
    std::vector<int> pieces;
    std::vector<int> taken;
    std::size_t handed_over_at;  // index of the piece that hands the block over
  };
  for (const Case& c :
       {Case{{96}, {96}, 0}, Case{{50, 46}, {50, 46}, 1}, Case{{50, 40, 10, 5}, {50, 40, 6, 0}, 2},
        Case{{100, 1}, {96, 0}, 0}, Case{{0, 95, 1}, {0, 95, 1}, 2}}) {
    Run([&](AfeAccess& access) {
      const std::vector<std::int16_t> samples = RandomSamples(200, 13);
      Afe().Step();
      ResetSampleCursors(access);
      std::size_t used = 0;
      std::vector<std::int16_t> sent;
      for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        const auto piece = Slice(samples, used, static_cast<std::size_t>(c.pieces[i]));
        used += piece.size();
        const int taken = WriteTxSamples(access, piece);
        EXPECT_EQ(taken, c.taken[i]) << "piece " << i;
        sent.insert(sent.end(), piece.begin(), piece.begin() + taken);
        EXPECT_EQ(Calls(AfeEntry::kWriteBlock).size(), i >= c.handed_over_at ? 1u : 0u)
            << "after piece " << i;
      }
      const SHORT* slot = Context().TxRing[afe::NextSlot(Context().TxWriteCursor)];
      EXPECT_EQ(std::vector<std::int16_t>(slot, slot + 96), sent);
    });
  }
}

// Every tick starts reading and writing at the start of its block.
TEST_F(AfeAccessSamples, PositionsResetAtEveryTick) {
  Run([&](AfeAccess& access) {
    const std::vector<std::int16_t> line = RandomSamples(2 * 96, 14);
    Afe().FeedLine(line);
    std::vector<std::int16_t> piece(30);
    Tick(access, [&] {
      ReadRxSamples(access, piece);
      WriteTxSamples(access, piece);
    });
    std::vector<std::int16_t> block(96);
    Tick(access, [&] {
      EXPECT_EQ(access.read_position, 0);
      EXPECT_EQ(access.write_position, 0);
      EXPECT_EQ(ReadRxSamples(access, block), 96);
      EXPECT_EQ(block, Slice(line, 96, 96));
      EXPECT_EQ(WriteTxSamples(access, block), 96);
    });
    EXPECT_EQ(Calls(AfeEntry::kWriteBlock).size(), 1u);
  });
}

// Driven by the front end's block timer, as the block thread will be: each
// per-block event, blocks are served while request 39 says one waits. The
// answer to input block k is played as output block k + 3.
TEST_F(AfeAccessSamples, EchoThroughTheRingsComesBackThreeBlocksLater) {
  Run([&](AfeAccess& access) {
    constexpr int kBlocks = 40;
    const std::vector<std::int16_t> line = RandomSamples(kBlocks * 96, 15);
    Afe().FeedLine(line);
    ASSERT_EQ(SetAfePower(access, 0), 0);
    while (Afe().LineOutput().size() < kBlocks * 96) {
      LARGE_INTEGER timeout;
      timeout.QuadPart = -10'000'000;
      ASSERT_EQ(KeWaitForSingleObject(&harness_.Events().PerBlockEvent, Executive, KernelMode,
                                      FALSE, &timeout),
                STATUS_SUCCESS);
      ULONG none = 0;
      while (IssueAfeRequest(access, afe::kAfeBlockReady, nullptr, &none) ==
             afe::kAfeBlockWaiting) {
        ResetSampleCursors(access);
        std::vector<std::int16_t> block(96);
        EXPECT_EQ(ReadRxSamples(access, block), 96);
        EXPECT_EQ(WriteTxSamples(access, block), 96);
        AdvanceAfeBlock(access);
      }
    }
    SetAfePower(access, 3);
    const std::vector<std::int16_t>& out = Afe().LineOutput();
    ASSERT_GE(out.size(), static_cast<std::size_t>(kBlocks * 96));
    EXPECT_EQ(Slice(out, 0, 3 * 96), std::vector<std::int16_t>(3 * 96, 0));
    EXPECT_EQ(Slice(out, 3 * 96, (kBlocks - 3) * 96), Slice(line, 0, (kBlocks - 3) * 96));
    EXPECT_FALSE(GetBlocksQueuedFlag(Flags())) << "a data pump that keeps pace";
  });
}

}  // namespace
}  // namespace pump::testing
