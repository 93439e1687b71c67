// The register window as the CPU sees it: power-on values, storage,
// read-only and write-1-to-clear bits, the dword DMA registers, the space
// above register 100, and forced bits.
#include <gtest/gtest.h>

#include <set>

#include "platform/sim/tests/sim_rig.h"

namespace plat::sim::testing {
namespace {

TEST(SimRegisters, PowerOnValues) {
  SimRig rig;
  for (std::uint32_t r = 0; r < reg::kCount; ++r) {
    std::uint8_t expected = 0;
    if (r == 50) expected = 0x01;
    if (r == 52) expected = 0x80;
    if (r == 61) expected = 0x14;
    // Register 60 reads the codec: ready, and no voltage reading on hook.
    if (r == 60) expected = reg::kCodecReady | reg::kNoVoltageReading;
    EXPECT_EQ(rig.Read(r), expected) << "register " << r;
  }
}

// Registers whose bits are not all plain storage.
const std::set<std::uint32_t> kSpecial{0, 1, 4, 6, 43, 53, 55, 60, 67};

TEST(SimRegisters, EveryOtherRegisterIsStorage) {
  SimRig rig;
  for (std::uint8_t pattern : {0xFF, 0x5A, 0xA5, 0x00}) {
    for (std::uint32_t r = 0; r < reg::kCount; ++r) {
      if (kSpecial.contains(r) || r == 51 || r == 72) continue;  // power-down bits: below
      rig.Write(r, pattern);
    }
    for (std::uint32_t r = 0; r < reg::kCount; ++r) {
      if (kSpecial.contains(r) || r == 51 || r == 72) continue;
      EXPECT_EQ(rig.Read(r), pattern) << "register " << r;
    }
  }
}

struct BitRule {
  std::uint32_t r;
  std::uint8_t written;
  std::uint8_t preset;  // written first
  std::uint8_t expected;
  const char* what;
};

TEST(SimRegisters, ReadOnlyAndWriteOneToClearBits) {
  const BitRule rules[] = {
      {0, 0xFE, 0x00, 0xFE, "register 0: bits 1-7 are storage"},
      {1, 0x1A, 0x00, 0x1A, "register 1: bits 1, 3, 4 are storage"},
      {4, 0xF0, 0x00, 0x00, "register 4: bits 4-7 read 0"},
      {6, 0xFF, 0x00, 0x7F, "register 6: bit 7 is the codec's busy"},
      {53, 0xFF, 0x00, 0xFB, "register 53: bit 2 reads the loop current"},
      {60, 0x00, 0x00, 0x40 | 31, "register 60 is read-only"},
      {67, 0xFF, 0x00, 0x00, "register 67 is read-only"},
  };
  for (const BitRule& rule : rules) {
    SimRig rig;
    rig.line.dead = true;  // no loop current, no voltage
    rig.Write(rule.r, rule.preset);
    rig.Write(rule.r, rule.written);
    EXPECT_EQ(rig.Read(rule.r), rule.expected) << rule.what;
  }
}

TEST(SimRegisters, StatusBitsClearOnlyWhereOnesAreWritten) {
  SimRig rig;
  rig.controller.InjectStatus(rig.now, 0x0F);
  EXPECT_EQ(rig.Read(reg::kStatus), 0x0F);
  rig.Write(reg::kStatus, 0x00);
  EXPECT_EQ(rig.Read(reg::kStatus), 0x0F);
  rig.Write(reg::kStatus, 0x02 | 0x08);
  EXPECT_EQ(rig.Read(reg::kStatus), 0x05);
  rig.Write(reg::kStatus, 0xFF);
  EXPECT_EQ(rig.Read(reg::kStatus), 0x00);
}

TEST(SimRegisters, DmaRegistersAreLittleEndianDwords) {
  SimRig rig;
  for (std::uint32_t r = reg::kDmaFirst; r < reg::kDmaEnd; r += 4) {
    const std::uint32_t value = 0x11223344u + r;
    rig.Write32(r, value);
    EXPECT_EQ(rig.Read32(r), value);
    for (std::uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(rig.Read(r + i), static_cast<std::uint8_t>(value >> 8 * i));
    }
  }
  rig.Write(21, 0xAB);  // one byte of the receive current address
  EXPECT_EQ(rig.Read32(20), ((0x11223344u + 20) & 0xFFFF00FF) | 0xAB00);
}

TEST(SimRegisters, AboveRegister100ReadsZeroAndIgnoresWrites) {
  SimRig rig;
  for (std::uint32_t offset : {101u, 102u, 200u, 4095u}) {
    rig.controller.WriteBar(rig.now, Controller::kRegisterBar, offset, 1, 0xFF);
    EXPECT_EQ(rig.controller.ReadBar(rig.now, Controller::kRegisterBar, offset, 1), 0u);
  }
  // A dword at register 98 holds 98, 99, 100 and a zero byte.
  rig.Write(98, 1);
  rig.Write(99, 2);
  rig.Write(100, 3);
  EXPECT_EQ(rig.Read32(98), 0x00030201u);
  // The port BAR is decoded and empty.
  EXPECT_EQ(rig.controller.ReadBar(rig.now, Controller::kPortBar, 0, 4), 0u);
}

TEST(SimRegisters, ForcedBitsReadAsForcedWhateverIsStored) {
  SimRig rig;
  rig.controller.Knobs().ForceByte(61, 0x00, 0x3C);
  rig.controller.Knobs().ForceByte(4, 0x30, 0x00);
  rig.controller.Knobs().ForceDword(32, 0x0000'0100, 0x8000'0000);
  EXPECT_EQ(rig.Read(61), 0x14 & ~0x3C);
  EXPECT_EQ(rig.Read(4), 0x30);
  rig.Write32(32, 0xFFFF'0000);
  EXPECT_EQ(rig.Read32(32), 0x7FFF'0100u);
  rig.controller.Knobs().ForceDword(32, 0, 0);
  EXPECT_EQ(rig.Read32(32), 0xFFFF'0000u) << "forcing changes reads, not what is stored";
}

TEST(SimRegisters, ErrorLatchClearsOnlyByWritingOne) {
  SimRig rig;
  rig.controller.Knobs().master_abort_expected = true;
  rig.Write32(24, 0x10);  // transmit base outside every common buffer
  rig.Write32(28, 0x10);
  rig.Set(0, reg::kDmaRewind);
  rig.Set(1, reg::kRunEngines);
  rig.Stall(hal::kMillisecond);
  EXPECT_EQ(rig.Read(0) & 0x01, 0x01);
  rig.Write(0, 0x02);
  EXPECT_EQ(rig.Read(0) & 0x01, 0x01);
  rig.Write(0, 0x03);
  EXPECT_EQ(rig.Read(0), 0x02);
}

}  // namespace
}  // namespace plat::sim::testing
