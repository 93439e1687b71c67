// The general-purpose lines: which bits of registers 240-245 each line's
// set, clear and input touch, and lines that do not exist.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "layer2/corecode/mt/lines/line_banks.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// Registers 240-245 as the test leaves them before each operation: every
// bit differs from its neighbours, so a bit set, cleared or moved shows.
constexpr std::array<std::uint8_t, 6> kBankPattern = {0x5A, 0x25, 0xA5, 0xFF, 0x52, 0x7F};

std::array<std::uint8_t, 6> BankRegisters(FakeDataPump& pump) {
  std::array<std::uint8_t, 6> regs{};
  for (int i = 0; i < 6; ++i) regs[i] = pump.Page().reg[240 + i];
  return regs;
}

void SetBankRegisters(FakeDataPump& pump, const std::array<std::uint8_t, 6>& regs) {
  for (int i = 0; i < 6; ++i) pump.Page().reg[240 + i] = regs[i];
}

struct BankLine {
  std::uint8_t line;
  int direction;  // register numbers
  int level;
  int third;
  std::uint8_t bit;
};

// Bank A: lines 0-7 in 240/242/243; bank B: lines 8-14 in 241/244/245 at
// bit line - 8.
constexpr BankLine kBankLines[] = {
    {0, 240, 242, 243, 0x01},  {1, 240, 242, 243, 0x02},  {2, 240, 242, 243, 0x04},
    {3, 240, 242, 243, 0x08},  {4, 240, 242, 243, 0x10},  {5, 240, 242, 243, 0x20},
    {6, 240, 242, 243, 0x40},  {7, 240, 242, 243, 0x80},  {8, 241, 244, 245, 0x01},
    {9, 241, 244, 245, 0x02},  {10, 241, 244, 245, 0x04}, {11, 241, 244, 245, 0x08},
    {12, 241, 244, 245, 0x10}, {13, 241, 244, 245, 0x20}, {14, 241, 244, 245, 0x40},
};

std::uint8_t& At(std::array<std::uint8_t, 6>& regs, int reg) { return regs[reg - 240]; }

TEST(LineBanks, SetAndClearDriveTheLineAsAnOutput) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (const BankLine& row : kBankLines) {
      for (const bool level : {true, false}) {
        SCOPED_TRACE("line " + std::to_string(row.line) + (level ? " set" : " clear"));
        SetBankRegisters(pump, kBankPattern);
        acu_error_flag() = 0;
        if (level) {
          gpo_set_handler(&row.line);
        } else {
          gpo_clear_handler(&row.line);
        }
        std::array<std::uint8_t, 6> expected = kBankPattern;
        At(expected, row.direction) |= row.bit;
        At(expected, row.third) &= static_cast<std::uint8_t>(~row.bit);
        if (level) {
          At(expected, row.level) |= row.bit;
        } else {
          At(expected, row.level) &= static_cast<std::uint8_t>(~row.bit);
        }
        EXPECT_EQ(BankRegisters(pump), expected);
        EXPECT_EQ(acu_error_flag(), 0);
      }
    }
  });
}

TEST(LineBanks, InputMakesTheLineAnInputAndReadsItsLevel) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (const BankLine& row : kBankLines) {
      for (const bool high : {true, false}) {
        SCOPED_TRACE("line " + std::to_string(row.line) + (high ? " high" : " low"));
        std::array<std::uint8_t, 6> before = kBankPattern;
        At(before, row.direction) |= row.bit;
        if (high) {
          At(before, row.level) |= row.bit;
        } else {
          At(before, row.level) &= static_cast<std::uint8_t>(~row.bit);
        }
        SetBankRegisters(pump, before);
        EXPECT_EQ(dsp_gpio_input(row.line), high);
        std::array<std::uint8_t, 6> expected = before;
        At(expected, row.direction) &= static_cast<std::uint8_t>(~row.bit);
        EXPECT_EQ(BankRegisters(pump), expected);
      }
    }
  });
}

TEST(LineBanks, LinesThatDoNotExistSetTheErrorFlagAndTouchNothing) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (const std::uint8_t line : {std::uint8_t{15}, std::uint8_t{16}, std::uint8_t{255}}) {
      for (int op = 0; op < 3; ++op) {
        SCOPED_TRACE("line " + std::to_string(line) + " operation " + std::to_string(op));
        SetBankRegisters(pump, kBankPattern);
        acu_error_flag() = 0;
        if (op == 0) gpo_set_handler(&line);
        if (op == 1) gpo_clear_handler(&line);
        if (op == 2) {
          EXPECT_FALSE(dsp_gpio_input(line));
        }
        EXPECT_EQ(acu_error_flag(), 1);
        EXPECT_EQ(BankRegisters(pump), kBankPattern);
      }
    }
    // A handler called without its argument refuses the same way.
    acu_error_flag() = 0;
    gpo_set_handler(nullptr);
    EXPECT_EQ(acu_error_flag(), 1);
    EXPECT_EQ(BankRegisters(pump), kBankPattern);
  });
}

}  // namespace
}  // namespace vxctl::testing
