// V.80 in-band codes both ways: EM pairs from the application, the
// overrun (EM 0xB5) and underrun (EM 0xB4) discards, the resume (EM 0xB7)
// answered by EM 0xB9 with the discarded-octet count, and the reports
// that wait until the output lets them in.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kB1 = 0xB1, kB4 = 0xB4, kB5 = 0xB5, kB7 = 0xB7, kB9 = 0xB9;

// The two count bytes of EM 0xB9 for `n` discarded octets.
Bytes CountBytes(std::uint16_t n) {
  return {static_cast<std::uint8_t>((n * 2) & 0xFE), static_cast<std::uint8_t>((n >> 7) & 0xFE)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void FillFromRing() { AppWrite(Bytes(1024, 'f')); }

// The port offers nothing while the ring is full (its room is 0); a
// character that raced in meanwhile comes through dte_rx_char as here.
void Raced(const std::string& text) {
  for (char c : text) EXPECT_FALSE(dte_rx_char(static_cast<std::uint8_t>(c)));
}

TEST(DteV80, InBandSequences) {
  struct Case {
    const char* name;
    void (*run)();
    Bytes from;     // what reaches dte_from_ring (after any fill is taken)
    Bytes to_app;   // what the application reads
    std::uint8_t frame_ends;
  };
  const Case cases[] = {
      {"EM 0xB1 ends a frame", [] { AppWrite({'a', kEm, kB1, 'b'}); }, {'a', kEm, kB1, 'b'}, {},
       1},
      {"EM EM: the first is discarded", [] { AppWrite({kEm, kEm, kB1}); }, {kEm, kB1}, {}, 1},
      {"overrun: EM 0xB5 at once, EM 0xB7 answered with the count",
       [] {
         FillFromRing();
         Raced("xyz");
         TakeFrom();
         AppWrite({'q', kEm, kB7, 'r'});
       },
       {kEm, kB7, 'r'}, Cat({{kEm, kB5}, {kEm, kB9}, CountBytes(4)}), 0},
      {"overrun with output queued: EM 0xB5 goes before the next byte",
       [] {
         dte_output_hold();
         dte_to_char('o');
         FillFromRing();
         Raced("x");
         dte_state().flow.output_held.store(0);
         dte_to_push();
         TakeFrom();
       },
       {}, {kEm, kB5, 'o'}, 0},
      {"resume with output queued: EM 0xB9 goes before the next byte",
       [] {
         FillFromRing();
         Raced("xy");
         TakeFrom();
         AppRead();
         dte_output_hold();
         dte_to_char('o');
         AppWrite({kEm, kB7});
         dte_state().flow.output_held.store(0);
         dte_to_push();
       },
       {kEm, kB7}, Cat({{kEm, kB9}, CountBytes(2), {'o'}}), 0},
      {"underrun: EM 0xB4 at once, then the application's data is discarded",
       [] {
         dte_v80_report_b4();
         AppWrite({'u', kEm, kB1, 'v', kEm, kB7});
       },
       {kEm, kB7}, Cat({{kEm, kB4}, {kEm, kB9}, CountBytes(4)}), 0},
      {"underrun with output queued: EM 0xB4 waits for the output",
       [] {
         dte_output_hold();
         dte_to_char('o');
         dte_v80_report_b4();
         dte_state().flow.output_held.store(0);
         dte_to_push();
       },
       {}, {kEm, kB4, 'o'}, 0},
      {"a report never splits an EM pair toward the application",
       [] {
         for (std::uint32_t i = 1; i < kStaticQueueSize; ++i) uart_rx_char('q');
         dte_to_char(kEm);
         dte_to_char(kB1);
         dte_to_push();  // room for the EM only
         dte_v80_report_b4();
         AppRead();
         dte_to_push();
         dte_to_char('o');
         dte_to_push();
       },
       {}, {kB1, kEm, kB4, 'o'}, 0},
      {"a count above 127",
       [] {
         dte_v80_report_b4();
         AppWrite(Bytes(300, 'd'));
         AppWrite({kEm, kB7});
       },
       {kEm, kB7}, Cat({{kEm, kB4}, {kEm, kB9}, CountBytes(300)}), 0},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState& dte) {
      SCOPED_TRACE(c.name);
      dte_v80_start(0, 0);
      c.run();
      EXPECT_EQ(AppRead(), c.to_app);
      EXPECT_EQ(dte.v80.frame_ends.load(), c.frame_ends);
      EXPECT_EQ(TakeFrom(), c.from);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
