// The data mailboxes: the guards between the controller's contexts, and
// blocks that cross the page whole while both sides run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/core/host_transfer.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One operation of a guard sequence and what it must give.
struct Step {
  enum Op { kRxOpen, kRxRelease, kTxOpen, kTxCommit, kPollEnable, kPollDisable, kGuardsReset };
  Op op;
  std::uint32_t result = 0;  // open, release, poll: the result
  std::uint8_t status = 0;   // rx open: the status out; commit: the status in
  std::uint8_t count = 0;    // rx open: the count out; commit: the count in
};

void Apply(const Step& step) {
  std::uint8_t status = 0xFF;
  std::uint8_t count = 0xFF;
  switch (step.op) {
    case Step::kRxOpen:
      EXPECT_EQ(mbox_rx_open(status, count), step.result);
      EXPECT_EQ(status, step.status);
      EXPECT_EQ(count, step.count);
      return;
    case Step::kRxRelease:
      EXPECT_EQ(mbox_rx_release(), step.result);
      return;
    case Step::kTxOpen:
      EXPECT_EQ(mbox_tx_open(), step.result);
      return;
    case Step::kTxCommit:
      mbox_tx_commit(step.status, step.count);
      return;
    case Step::kPollEnable:
      EXPECT_EQ(mbox_poll_enable(), step.result);
      return;
    case Step::kPollDisable:
      EXPECT_EQ(mbox_poll_disable(), step.result);
      return;
    case Step::kGuardsReset:
      mbox_guards_reset();
      return;
  }
}

TEST(DspMailbox, GuardsAndMarks) {
  struct Case {
    const char* name;
    std::uint8_t rx_count, rx_kind;  // the receive block the data pump left
    std::uint8_t tx_count, tx_kind;  // the transmit block the data pump has not taken
    std::vector<Step> steps;
    std::uint8_t rx_count_after, rx_kind_after, tx_count_after, tx_kind_after;
  };
  const std::vector<Case> cases = {
      {"receive: nothing waits",
       0,
       0,
       0,
       0,
       {{Step::kRxOpen, kMboxNothing},
        {Step::kRxOpen, kMboxNothing},
        {Step::kRxRelease, kMboxNotHeld}},
       0,
       0,
       0,
       0},
      {"receive: open, busy, release",
       5,
       0,
       0,
       0,
       {{Step::kRxOpen, kMboxOpen, 0, 5},
        {Step::kRxOpen, kMboxBusy, 0, 0},
        {Step::kRxRelease, kMboxOpen},
        {Step::kRxRelease, kMboxNotHeld},
        {Step::kRxOpen, kMboxNothing}},
       0,
       0,
       0,
       0},
      {"receive: a report without data",
       0,
       7,
       0,
       0,
       {{Step::kRxOpen, kMboxOpen, 7, 0}},
       0,
       7,
       0,
       0},
      {"receive: count 255", 255, 7, 0, 0, {{Step::kRxOpen, kMboxOpen, 7, 255}}, 255, 7, 0, 0},
      {"transmit: open, busy, commit",
       0,
       0,
       0,
       0,
       {{Step::kTxOpen, kMboxOpen},
        {Step::kTxOpen, kMboxBusy},
        {Step::kTxCommit, 0, 1, 3},
        {Step::kTxOpen, kMboxNothing}},
       0,
       0,
       3,
       1},
      {"transmit: the last block not taken",
       0,
       0,
       4,
       0,
       {{Step::kTxOpen, kMboxNothing}, {Step::kTxOpen, kMboxNothing}},
       0,
       0,
       4,
       0},
      {"transmit: nothing to send",
       0,
       0,
       0,
       0,
       {{Step::kTxOpen, kMboxOpen},
        {Step::kTxCommit, 0, kMboxNothingToSend, 3},
        {Step::kTxOpen, kMboxOpen}},
       0,
       0,
       0,
       0},
      {"transmit: a commit without the guard",
       0,
       0,
       0,
       0,
       {{Step::kTxCommit, 0, 1, 3}},
       0,
       0,
       0,
       0},
      {"guards reset",
       2,
       0,
       0,
       0,
       {{Step::kRxOpen, kMboxOpen, 0, 2},
        {Step::kTxOpen, kMboxOpen},
        {Step::kGuardsReset},
        {Step::kRxOpen, kMboxOpen, 0, 2},
        {Step::kTxOpen, kMboxOpen}},
       2,
       0,
       0,
       0},
      {"poll flag",
       0,
       0,
       0,
       0,
       {{Step::kPollDisable, 0},
        {Step::kPollEnable, 0},
        {Step::kPollEnable, 1},
        {Step::kPollDisable, 1}},
       0,
       0,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump::Comram& page = pump.Page();
      pump::ReleaseMark16(page, pump::kRegRxCount, c.rx_count, c.rx_kind);
      pump::ReleaseMark16(page, pump::kRegTxCount, c.tx_count, c.tx_kind);
      for (const Step& step : c.steps) Apply(step);
      EXPECT_EQ(page.reg[pump::kRegRxCount], c.rx_count_after);
      EXPECT_EQ(page.reg[pump::kRegRxKind], c.rx_kind_after);
      EXPECT_EQ(page.reg[pump::kRegTxCount], c.tx_count_after);
      EXPECT_EQ(page.reg[pump::kRegTxKind], c.tx_kind_after);
    });
  }
  DspLinkRig rig;
  rig.Run([](FakeDataPump&) { EXPECT_TRUE(!mbox_poll_enabled()); });
}

TEST(DspMailbox, BytesStayWithinTheBlock) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    pump::Comram& page = pump.Page();
    for (int i = 0; i < 34; ++i) page.reg[pump::kRegRxMailbox + i] = static_cast<std::uint8_t>(i);
    Bytes first(20, 0xEE), second(20, 0xEE);
    mbox_rx_read(first, second);
    Bytes expected_second(20, 0xEE);
    for (int i = 0; i < 12; ++i) expected_second[i] = static_cast<std::uint8_t>(20 + i);
    EXPECT_EQ(second, expected_second);
    EXPECT_EQ(first[19], 19);
    EXPECT_EQ(mbox_rx_byte(31), 31);
    EXPECT_EQ(mbox_rx_byte(32), 0);

    const Bytes a(30, 0xA1), b(30, 0xB2);
    mbox_tx_write(a, b);
    mbox_tx_byte(32, 0xCC);
    EXPECT_EQ(page.reg[pump::kRegTxMailbox + 29], 0xA1);
    EXPECT_EQ(page.reg[pump::kRegTxMailbox + 31], 0xB2);
    EXPECT_EQ(page.reg[pump::kRegTxCount], 0);
    EXPECT_EQ(page.reg[pump::kRegTxKind], 0);
  });
}

// Block i: its count, kind and bytes all say i.
std::uint8_t CountOf(int i) { return static_cast<std::uint8_t>(1 + (i * 7) % 32); }
std::uint8_t KindOf(int i) { return static_cast<std::uint8_t>(i % 7); }
Bytes DataOf(int i) {
  Bytes data(CountOf(i));
  for (std::size_t j = 0; j < data.size(); ++j) data[j] = static_cast<std::uint8_t>(i + 3 * j);
  return data;
}

// Fills the transmit block with block i, pausing between its two halves and
// before the commit: the data pump's blocks and the other sender run meanwhile.
void SendBlock(int i, std::mt19937& random) {
  while (mbox_tx_open() != kMboxOpen) SleepMs(random() % 3);
  const Bytes data = DataOf(i);
  const std::size_t half = data.size() / 2;
  mbox_tx_write(std::span(data).first(half), {});
  SleepMs(random() % 2);
  for (std::size_t j = half; j < data.size(); ++j) {
    mbox_tx_byte(static_cast<std::uint8_t>(j), data[j]);
  }
  SleepMs(random() % 2);
  mbox_tx_commit(KindOf(i), CountOf(i));
}

// Takes a receive block, pausing between reading and releasing.
bool ReceiveBlock(FakeBlock& block, std::mt19937& random) {
  if (mbox_rx_open(block.kind, block.count) != kMboxOpen) return false;
  block.data.assign(block.count, 0);
  Bytes none;
  SleepMs(random() % 2);
  mbox_rx_read(block.data, none);
  SleepMs(random() % 2);
  EXPECT_EQ(mbox_rx_release(), kMboxOpen);
  return true;
}

TEST(DspMailbox, BlocksCrossWholeWhileBothSidesRun) {
  constexpr int kBlocks = 60;  // each way, in two halves on the transmit side
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      for (int i = 0; i < kBlocks; ++i) pump.QueueRx(KindOf(i), CountOf(i), DataOf(i));
      std::vector<FakeBlock> received;
      int senders_done = 0;
      std::mt19937 r1(seed), r2(seed * 31), r3(seed * 57), r4(seed * 91);
      auto sender = [&](int first, std::mt19937& random) {
        return [&, first] {
          for (int i = first; i < first + kBlocks / 2; ++i) SendBlock(i, random);
          ++senders_done;
        };
      };
      RunThreads({{12, sender(0, r1)},
                  {16, sender(kBlocks / 2, r2)},
                  {20,
                   [&] {
                     FakeBlock block;
                     while (received.size() < kBlocks) {
                       if (ReceiveBlock(block, r3)) received.push_back(block);
                       SleepMs(1 + r3() % 2);
                     }
                   }},
                  {28, [&] {
                     while (senders_done < 2 || pump.RxWaiting() > 0 ||
                            pump.Page().reg[pump::kRegTxCount] != 0) {
                       pump.Block();
                       SleepMs(1 + r4() % 3);
                     }
                   }}});
      // Receive: in order, each whole.
      ASSERT_EQ(received.size(), static_cast<std::size_t>(kBlocks));
      for (int i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(received[i], (FakeBlock{KindOf(i), CountOf(i), DataOf(i)})) << "block " << i;
      }
      // Transmit: every block once and whole, each sender's in its order.
      std::vector<FakeBlock> taken = pump.TxBlocks();
      ASSERT_EQ(taken.size(), static_cast<std::size_t>(kBlocks));
      int next[2] = {0, kBlocks / 2};
      for (const FakeBlock& block : taken) {
        ASSERT_FALSE(block.data.empty());
        const int i = block.data[0];
        const int half = i < kBlocks / 2 ? 0 : 1;
        EXPECT_EQ(i, next[half]);
        EXPECT_EQ(block, (FakeBlock{KindOf(i), CountOf(i), DataOf(i)})) << "block " << i;
        next[half] = i + 1;
      }
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
