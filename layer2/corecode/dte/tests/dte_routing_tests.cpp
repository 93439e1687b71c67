// Which ring the application's characters enter, and the port's refusal
// path when that ring is full.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/faxdte.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl::testing {
namespace {

enum class Ring { kNone, kCommand, kOnline };

TEST(DteRouting, EachModeFeedsItsRing) {
  struct Case {
    const char* name;
    void (*enter)();
    std::uint8_t running;
    Ring ring;
  };
  const Case cases[] = {
      {"controller not running", [] {}, 0, Ring::kNone},
      {"command", [] {}, 1, Ring::kCommand},
      {"fax", [] { StartFax(0, 0); }, 1, Ring::kOnline},
      {"voice", [] { dte_voice_start(0, 0, 0, 0, 0); }, 1, Ring::kOnline},
      {"online", [] { StartOnline(0, 0); }, 1, Ring::kOnline},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      c.enter();
      acu_running().store(c.running);
      const std::uint32_t left = AppWrite(Text("ATZ\r"));
      EXPECT_EQ(left, c.ring == Ring::kNone ? 4u : 0u);
      EXPECT_EQ(dte_state().cmd_from.Count(), c.ring == Ring::kCommand ? 4u : 0u);
      EXPECT_EQ(dte_from_count(), c.ring == Ring::kOnline ? 4u : 0u);
    });
  }
}

TEST(DteRouting, EveryByteValuePassesOnlineWithoutXonXoffFlow) {
  RunDte([](DteInterfaceState&) {
    StartOnline(kFlowKindLines, kFlowKindLines);
    Bytes all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(AppWrite(all), 0u);
    EXPECT_EQ(TakeFrom(), all);
    for (std::uint8_t c : all) dte_to_char(c);
    dte_to_push();
    EXPECT_EQ(AppRead(), all);
  });
}

TEST(DteRouting, AFullRingLeavesTheRestInTheWriteQueueInOrder) {
  struct Case {
    const char* name;
    void (*enter)();
    std::uint32_t ring_size;
    Bytes (*take)();
  };
  const Case cases[] = {
      {"command", [] {}, 2048,
       [] {
         // The ring itself: dte_cmd_from_count would let the port refill it.
         Bytes bytes;
         std::uint8_t c = 0;
         while (dte_state().cmd_from.Take(c)) bytes.push_back(c);
         return bytes;
       }},
      {"online", [] { StartOnline(0, 0); }, 1024, TakeFrom},
      {"fax", [] { StartFax(0, 0); }, 1024, TakeFrom},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      c.enter();
      Bytes sent(c.ring_size + 300);
      for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>('a' + i % 26);
      EXPECT_EQ(AppWrite(sent), 300u);
      const Bytes first = c.take();
      EXPECT_EQ(first.size(), c.ring_size);
      qor_rx_int();
      EXPECT_EQ(uart_tx_count(), 0u);
      Bytes received = first;
      const Bytes rest = c.take();
      received.insert(received.end(), rest.begin(), rest.end());
      EXPECT_EQ(received, sent);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
