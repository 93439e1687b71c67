// The fax DTE path: block access to both online rings, the XON event and
// the bounded drain.
#include <gtest/gtest.h>

#include <cstring>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/faxdte.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

// dte_to_ring with its read position at `read` and write position at
// `write` (count write - read), as the block operations leave it.
void PlaceToRing(std::uint32_t read, std::uint32_t write) {
  OnlineRing& ring = dte_state().to;
  auto held = ring.Held();
  ring.read = read;
  ring.write = write;
  ring.count = (write + OnlineRing::kSize - read) % OnlineRing::kSize;
}

TEST(FaxDte, ToBlockSpaceAtTheRingEnd) {
  RunDte([](DteInterfaceState& dte) {
    StartFax(0, 0);
    PlaceToRing(100, 1000);
    EXPECT_EQ(dte_to_block_space(), 24u);
    std::memset(dte_to_block_ptr(), 'p', 24);
    dte_to_block_update(24);
    EXPECT_EQ(dte.to.Write(), 0u);
    EXPECT_EQ(dte_to_block_space(), 100u);
    EXPECT_EQ(MachineState<ModemStatisticsBlock>().bytes_to_dte.load(), 24u);
  });
}

TEST(FaxDte, AFullRingHasNoSpace) {
  RunDte([](DteInterfaceState&) {
    StartFax(0, 0);
    for (std::uint32_t i = 0; i < OnlineRing::kSize; ++i) dte_to_char('z');
    EXPECT_EQ(dte_to_block_space(), 0u);
    dte_to_block_update(10);  // a commit beyond the space moves nothing
    EXPECT_EQ(dte_state().to.Count(), OnlineRing::kSize);
    EXPECT_EQ(MachineState<ModemStatisticsBlock>().bytes_to_dte.load(), 0u);
  });
}

TEST(FaxDte, BlocksBothWaysKeepTheBytesAndCountThem) {
  RunDte([](DteInterfaceState&) {
    StartFax(0, 0);
    Bytes page(3000);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 7);
    // Toward the application, in blocks as the fax layer writes them.
    Bytes read;
    std::size_t sent = 0;
    while (read.size() < page.size()) {
      const std::uint32_t space = dte_to_block_space();
      const std::size_t n = std::min<std::size_t>({space, page.size() - sent, 300});
      std::memcpy(dte_to_block_ptr(), page.data() + sent, n);
      dte_to_block_update(static_cast<std::uint16_t>(n));
      sent += n;
      dte_to_push();
      const Bytes now = AppRead();
      read.insert(read.end(), now.begin(), now.end());
    }
    EXPECT_EQ(read, page);
    // From the application.
    Bytes taken;
    std::size_t written = 0;
    while (taken.size() < page.size()) {
      const std::size_t n = std::min<std::size_t>(page.size() - written, 700);
      uart_tx_put(std::span(page).subspan(written, n));
      written += n;
      qor_rx_int();
      const std::uint32_t count = dte_from_block_count();
      const std::uint8_t* at = dte_from_block_ptr();
      taken.insert(taken.end(), at, at + count);
      dte_from_block_update(static_cast<std::uint16_t>(count));
    }
    EXPECT_EQ(taken, page);
    const ModemStatisticsBlock& stats = MachineState<ModemStatisticsBlock>();
    EXPECT_EQ(stats.bytes_to_dte.load(), 3000u);
    EXPECT_EQ(stats.bytes_from_dte.load(), 3000u);
  });
}

TEST(FaxDte, BytesLostWhenTheRingFromTheApplicationIsEmptied) {
  RunDte([](DteInterfaceState&) {
    StartFax(0, 0);
    AppWrite(Bytes(77, 'l'));
    dte_from_clear();
    EXPECT_EQ(MachineState<ModemStatisticsBlock>().tx_bytes_lost.load(), 77u);
  });
}

TEST(FaxDte, XonIsAnEventNotData) {
  RunDte([](DteInterfaceState& dte) {
    StartFax(kFlowKindXonXoff, 0);
    AppWrite({'a', kXoff, 'b'});
    EXPECT_EQ(dte.flow.output_held.load(), 1);
    EXPECT_FALSE(faxdte_xon_received());
    AppWrite({kXon, 'c'});
    EXPECT_EQ(dte.flow.output_held.load(), 0);
    EXPECT_TRUE(faxdte_xon_received());
    EXPECT_FALSE(faxdte_xon_received());
    EXPECT_EQ(TakeFrom(), Text("abc"));
  });
}

TEST(FaxDte, StopsTheApplicationAtTheOffMark) {
  RunDte([](DteInterfaceState& dte) {
    StartFax(0, kFlowKindXonXoff);
    AppWrite(Bytes(900, 'a'));
    EXPECT_EQ(dte_from_count(), 896u);
    EXPECT_EQ(AppRead(), Bytes{kXoff});
    EXPECT_EQ(dte.flow.dte_stopped.load(), 1);
  });
}

TEST(FaxDte, StartWithRtsLowHolds) {
  RunDte([](DteInterfaceState& dte) {
    uart_rts_off();
    StartFax(kFlowKindLines, 0);
    EXPECT_EQ(dte.flow.output_held.load(), 1);
    faxdte_stop();
    EXPECT_EQ(dte.state.load(), kDteCommand);
    EXPECT_EQ(faxdte_mode().load(), 0);
  });
}

TEST(FaxDte, DrainReturnsOnceTheApplicationRead) {
  RunDte([](DteInterfaceState&) {
    StartFax(0, 0);
    dte_output_hold();
    for (char c : std::string("page end")) dte_to_char(static_cast<std::uint8_t>(c));
    RunThreads({{16, [] { faxdte_drain(); }},
                {15, [] {
                   SleepMs(30);
                   dte_state().flow.output_held.store(0);
                 }}});
    EXPECT_EQ(AppRead(), Text("page end"));
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);
  });
}

TEST(FaxDte, DrainGivesUpAfter500TicksWithEveryRingEmpty) {
  RunDte([](DteInterfaceState& dte) {
    StartFax(0, 0);
    // The application never reads: its read queue fills, then dte_to_ring.
    for (std::uint32_t i = 0; i < kStaticQueueSize; ++i) uart_rx_char('q');
    for (int i = 0; i < 100; ++i) dte_to_char('x');
    dte.cmd_to.Put('c');
    dte.cmd_from.Put('c');
    AppWrite(Text("from"));
    bool draining = true;
    std::uint32_t ticks = 0;
    RunThreads({{16, [&] {
                   faxdte_drain();
                   draining = false;
                 }},
                {17, [&] {
                   while (draining) {
                     Ticks(1);
                     ++ticks;
                   }
                 }}});
    EXPECT_GE(ticks, 500u);
    EXPECT_LE(ticks, 501u);
    EXPECT_EQ(dte.to.Count() + dte.from.Count() + dte.cmd_to.Count() + dte.cmd_from.Count(), 0u);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 1u);
  });
}

}  // namespace
}  // namespace vxctl::testing
