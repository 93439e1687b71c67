// Bit 7 of what the application sent with 7 data bits, by the port's
// parity code.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl::testing {
namespace {

int Ones(int c) {
  int n = 0;
  for (int bit = 0; bit < 7; ++bit) n += (c >> bit) & 1;
  return n;
}

TEST(DteParity, SevenBitCharactersGetTheParityBit) {
  struct Case {
    const char* name;
    std::uint8_t code;
    std::uint8_t data_bits;
    int (*bit7)(int c, std::uint8_t sent);  // the expected bit 7
  };
  const Case cases[] = {
      {"none", 0, 7, [](int, std::uint8_t sent) { return sent >> 7; }},
      {"odd", 1, 7, [](int c, std::uint8_t) { return Ones(c) % 2 == 0 ? 1 : 0; }},
      {"even", 2, 7, [](int c, std::uint8_t) { return Ones(c) % 2; }},
      {"mark", 3, 7, [](int, std::uint8_t) { return 1; }},
      {"space", 4, 7, [](int, std::uint8_t) { return 0; }},
      {"even with 8 data bits: unchanged", 2, 8,
       [](int, std::uint8_t sent) { return sent >> 7; }},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      uart_set_parity(c.code);
      uart_set_data_bits(c.data_bits);
      StartOnline(0, 0, 0);
      for (int ch = 0; ch < 128; ++ch) {
        // Every other character arrives with bit 7 set, which is replaced.
        const auto sent = static_cast<std::uint8_t>(ch | ((ch & 1) << 7));
        AppWrite({sent});
        const std::uint8_t got = dte_from_char();
        EXPECT_EQ(got & 0x7F, ch);
        EXPECT_EQ(got >> 7, c.bit7(ch, sent)) << ch;
      }
    });
  }
}

TEST(DteParity, EvenParityExamples) {
  RunDte([](DteInterfaceState&) {
    uart_set_parity(2);
    uart_set_data_bits(7);
    StartOnline(0, 0, 0);
    AppWrite(Text("AC"));
    EXPECT_EQ(dte_from_char(), 0x41);
    EXPECT_EQ(dte_from_char(), 0xC3);
  });
}

TEST(DteParity, SevenDataBitsMaskOutput) {
  RunDte([](DteInterfaceState&) {
    uart_set_data_bits(7);
    StartOnline(0, 0, 0);
    dte_to_char(0xC1);
    dte_to_push();
    EXPECT_EQ(AppRead(), Bytes{0x41});
  });
}

}  // namespace
}  // namespace vxctl::testing
