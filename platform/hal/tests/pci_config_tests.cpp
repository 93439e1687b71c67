// PCI configuration space through mechanism #1 and through the HAL's
// bus-data calls, with the controller in place and with added functions.
#include <gtest/gtest.h>

#include <vector>

#include "platform/hal/hal.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/controller_identity.h"

namespace plat::hal {
namespace {

using sim::kModemControllerIdentity;

constexpr std::uint32_t kIdentityDword =
    kModemControllerIdentity.vendor_id |
    static_cast<std::uint32_t>(kModemControllerIdentity.device_id) << 16;

constexpr std::uint32_t Address(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t offset, bool enable = true) {
  return (enable ? 0x8000'0000u : 0u) | bus << 16 | device << 11 | function << 8 | offset;
}

class PciConfig : public ::testing::Test {
 protected:
  PciConfig() { sim::PlaceController(hal, controller); }
  std::uint32_t ConfigRead(std::uint32_t address, std::uint32_t port = kConfigDataPort,
                           unsigned width = 4) {
    hal.WritePort(0, kConfigAddressPort, 4, address);
    return hal.ReadPort(0, port, width);
  }
  std::vector<std::uint8_t> BusData(std::uint32_t bus, std::uint32_t slot, std::uint32_t length,
                                    std::uint32_t offset = 0) {
    std::vector<std::uint8_t> out(length, 0xAA);
    out.resize(hal.Bus().GetBusData(bus, slot, out, offset));
    return out;
  }

  Hal hal;
  sim::Controller controller{hal.Dma()};
};

TEST_F(PciConfig, MechanismOneReads) {
  struct Row {
    const char* what;
    std::uint32_t address;
    std::uint32_t port;
    unsigned width;
    std::uint32_t expected;
  };
  const Row rows[] = {
      {"identity", Address(0, 9, 0, 0x00), 0xCFC, 4, kIdentityDword},
      {"subsystem", Address(0, 9, 0, 0x2C), 0xCFC, 4, kModemControllerIdentity.subsystem},
      {"class: modem", Address(0, 9, 0, 0x08), 0xCFC, 4, 0x0703'0001},
      {"command and status", Address(0, 9, 0, 0x04), 0xCFC, 4, 0x0010'0007},
      {"device id as a word", Address(0, 9, 0, 0x00), 0xCFE, 2, kModemControllerIdentity.device_id},
      {"interrupt pin as a byte", Address(0, 9, 0, 0x3C), 0xCFD, 1, 1},
      {"interrupt line", Address(0, 9, 0, 0x3C), 0xCFC, 1, 11},
      {"capability list", Address(0, 9, 0, 0x34), 0xCFC, 1, 0x80},
      {"power capability", Address(0, 9, 0, 0x80), 0xCFC, 4, 0x0002'0001},
      {"low address bits ignored", Address(0, 9, 0, 0x02), 0xCFC, 4, kIdentityDword},
      {"enable bit clear", Address(0, 9, 0, 0x00, false), 0xCFC, 4, 0xFFFF'FFFF},
      {"absent function", Address(0, 9, 1, 0x00), 0xCFC, 4, 0xFFFF'FFFF},
      {"absent device", Address(0, 8, 0, 0x00), 0xCFC, 4, 0xFFFF'FFFF},
      {"absent bus", Address(7, 9, 0, 0x00), 0xCFC, 4, 0xFFFF'FFFF},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ConfigRead(row.address, row.port, row.width), row.expected) << row.what;
  }
  hal.WritePort(0, kConfigAddressPort, 4, 0xFFFF'FFFF);
  EXPECT_EQ(hal.ReadPort(0, kConfigAddressPort, 4), 0x80FF'FFFCu) << "latch keeps its fields";
}

TEST_F(PciConfig, ScanOfBusesZeroToTwoFindsTheControllerOnce) {
  hal.Bus().Add({1, 3, 2}, ConfigurationOnlyFunction(0x1111, 0x2222, 0xFFFF'FFFF));
  std::vector<std::uint32_t> found;
  for (std::uint32_t i = 0; i < 768; ++i) {
    const std::uint32_t identity = ConfigRead(0x8000'0000u + 256 * i);
    if (identity != 0xFFFF'FFFF) found.push_back(i << 16 | (identity & 0xFFFF));
  }
  const std::vector<std::uint32_t> expected{72u << 16 | kModemControllerIdentity.vendor_id,
                                            (256u + 3 * 8 + 2) << 16 | 0x1111};
  EXPECT_EQ(found, expected);
}

TEST_F(PciConfig, BusDataResults) {
  const std::uint32_t slot = PciSlotNumber(9, 0);
  auto space = BusData(0, slot, 256);
  ASSERT_EQ(space.size(), 256u);
  EXPECT_EQ(space[0] | space[1] << 8, kModemControllerIdentity.vendor_id);
  EXPECT_EQ(BusData(0, slot, 16, 250).size(), 6u) << "clamped at the end of the space";
  EXPECT_EQ(BusData(0, slot, 4, 256).size(), 0u);
  EXPECT_EQ(BusData(0, PciSlotNumber(9, 1), 256), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(BusData(4, PciSlotNumber(0, 0), 256), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_TRUE(BusData(5, slot, 256).empty()) << "no bus 5";
  const std::uint8_t byte = 0;
  EXPECT_EQ(hal.Bus().SetBusData(5, slot, std::span(&byte, 1), 4), 0u);
  EXPECT_EQ(hal.Bus().SetBusData(0, PciSlotNumber(9, 1), std::span(&byte, 1), 4), 0u);
}

TEST_F(PciConfig, WriteBackOfTheSavedSpaceChangesOnlyWritableFields) {
  const std::uint32_t slot = PciSlotNumber(9, 0);
  auto before = BusData(0, slot, 256);
  std::vector<std::uint8_t> copy(before.begin(), before.begin() + 134);
  copy[0x85] |= 0x81;
  EXPECT_EQ(hal.Bus().SetBusData(0, slot, copy, 0), 134u);
  auto after = BusData(0, slot, 256);
  for (std::uint32_t i = 0; i < 256; ++i) {
    if (i == 0x85) continue;
    EXPECT_EQ(after[i], before[i]) << "offset " << i;
  }
  EXPECT_EQ(after[0x85], 0x81);

  // Writes of garbage: read-only fields keep their values, storage takes it.
  std::vector<std::uint8_t> garbage(256, 0x5A);
  hal.Bus().SetBusData(0, slot, garbage, 0);
  auto scribbled = BusData(0, slot, 256);
  for (std::uint32_t ro : {0x00u, 0x01u, 0x02u, 0x03u, 0x06u, 0x08u, 0x09u, 0x0Au, 0x0Bu, 0x2Cu,
                           0x2Du, 0x2Eu, 0x2Fu, 0x34u, 0x3Du, 0x80u, 0x82u}) {
    EXPECT_EQ(scribbled[ro], before[ro]) << "read-only offset " << ro;
  }
  for (std::uint32_t rw : {0x3Cu, 0x40u, 0x84u, 0x85u, 0xC0u}) {
    EXPECT_EQ(scribbled[rw], 0x5A) << "storage offset " << rw;
  }
  EXPECT_EQ(scribbled[0x04], 0x5A & 0x47) << "command: writable bits only";
}

TEST_F(PciConfig, BarsSizeLikeHardware) {
  const std::uint32_t slot = PciSlotNumber(9, 0);
  const std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  hal.Bus().SetBusData(0, slot, ones, 0x10);
  hal.Bus().SetBusData(0, slot, ones, 0x14);
  auto bars = BusData(0, slot, 8, 0x10);
  EXPECT_EQ(bars[0] | bars[1] << 8 | bars[2] << 16 | static_cast<std::uint32_t>(bars[3]) << 24,
            0xFFFF'FFC1u)
      << "64 I/O ports";
  EXPECT_EQ(bars[4] | bars[5] << 8 | bars[6] << 16 | static_cast<std::uint32_t>(bars[7]) << 24,
            0xFFFF'F000u)
      << "4 KiB of memory";
}

TEST_F(PciConfig, AddedAndRemovedFunctions) {
  hal.Bus().Add({3, 31, 7}, ConfigurationOnlyFunction(0x1234, 0x5678, 0x9ABC'DEF0));
  auto added = BusData(3, PciSlotNumber(31, 7), 4);
  EXPECT_EQ(added, (std::vector<std::uint8_t>{0x34, 0x12, 0x78, 0x56}));
  EXPECT_EQ(ConfigRead(Address(3, 31, 7, 0x2C)), 0x9ABC'DEF0u);

  EXPECT_TRUE(hal.Bus().Remove(sim::kControllerLocation));
  EXPECT_EQ(ConfigRead(Address(0, 9, 0, 0)), 0xFFFF'FFFFu);
  EXPECT_EQ(BusData(0, PciSlotNumber(9, 0), 64).size(), 2u);
  EXPECT_FALSE(hal.Bus().Remove(sim::kControllerLocation));
}

}  // namespace
}  // namespace plat::hal
