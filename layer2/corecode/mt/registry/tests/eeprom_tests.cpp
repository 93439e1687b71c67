// The EEPROM image: bounds of reads and writes, writes that change nothing,
// the checksum, and the load of "EEProm" at the port configuration's start.
#include <gtest/gtest.h>

#include <vector>

#include "layer2/corecode/mt/registry/eeprom.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "platform/reg/machine_registry.h"

namespace vxctl::testing {
namespace {

class RegEeprom : public RegMachineTest {};

TEST_F(RegEeprom, RangesOutsideTheImageAreRefused) {
  struct Range {
    std::uint16_t offset;
    std::uint16_t length;
    bool refused;
  };
  const Range ranges[] = {
      {280, 6, true},  {280, 5, false}, {300, 1, true},   {0, 285, false}, {1, 285, true},
      {285, 0, false}, {286, 0, true},  {65535, 2, true}, {284, 1, false}, {0, 65535, true},
  };
  BootWith("");
  RunOn([&] {
    for (const Range& r : ranges) {
      SCOPED_TRACE(::testing::Message() << "offset " << r.offset << " length " << r.length);
      std::vector<std::uint8_t> data(r.length, 0x5A);
      const EepromImage before = reg_settings().eeprom;
      EXPECT_EQ(eeprom_write(r.offset, r.length, data.data()), r.refused);
      std::vector<std::uint8_t> out(r.length, 0);
      EXPECT_EQ(eeprom_read(r.offset, r.length, out.data()), r.refused);
      if (r.refused) {
        EXPECT_EQ(reg_settings().eeprom, before);
        EXPECT_EQ(out, std::vector<std::uint8_t>(r.length, 0));
      } else {
        EXPECT_EQ(out, data);
      }
    }
  });
}

TEST_F(RegEeprom, ChangingWriteSavesTheImageAndAnUnchangedOneWritesNothing) {
  BootWith("", /*on_state=*/true);
  std::uint64_t writes_after_first = 0;
  RunOn([&] {
    const std::uint8_t profile[3] = {1, 2, 3};
    const std::uint64_t before = StateWrites();
    EXPECT_FALSE(eeprom_write(10, 3, profile));
    writes_after_first = StateWrites();
    EXPECT_EQ(writes_after_first, before + 1);
    EXPECT_FALSE(eeprom_write(10, 3, profile));
    EXPECT_FALSE(eeprom_write(11, 1, profile + 1));
    EXPECT_EQ(StateWrites(), writes_after_first);
  });
  std::vector<UCHAR> expected(kEepromSize, 0);
  expected[10] = 1;
  expected[11] = 2;
  expected[12] = 3;
  EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"EEProm"), expected);
}

TEST_F(RegEeprom, ChecksumIsTheComplementOfTheSumOfBytesOneOn) {
  EepromImage image{};
  EXPECT_EQ(eeprom_checksum(image), 0xFF);
  image.fill(1);
  image[0] = 0x77;  // byte 0 is not summed
  // 284 ones sum to 284 mod 256 = 28; its complement is 0xE3.
  EXPECT_EQ(eeprom_checksum(image), 0xE3);
  image.fill(0);
  image[284] = 0x80;
  image[1] = 0x81;  // 0x101 wraps to 1
  EXPECT_EQ(eeprom_checksum(image), 0xFE);
}

TEST_F(RegEeprom, LoadTakesOnlyAWholeImage) {
  struct Stored {
    const char* what;
    std::string values;
    std::uint32_t result;
    std::uint8_t byte;  // every byte of the image afterwards
  };
  const std::vector<Stored> cases = {
      {"missing", "", kEepromReadFailed, 0},
      {"short", BinaryValue("EEProm", 284, 0x33), kEepromReadFailed, 0},
      {"long", BinaryValue("EEProm", 286, 0x33), kEepromReadFailed, 0},
      {"whole", BinaryValue("EEProm", 285, 0x33), 0, 0x33},
  };
  for (const Stored& c : cases) {
    SCOPED_TRACE(c.what);
    BootWith(Parameters(c.values));
    RunOn([&] {
      // The port configuration's start has loaded it already; a second
      // load gives the same image.
      EXPECT_EQ(reg_load_eeprom(), c.result);
      EepromImage expected;
      expected.fill(c.byte);
      EXPECT_EQ(reg_settings().eeprom, expected);
      if (c.byte == 0) {
        EXPECT_NE(eeprom_checksum(reg_settings().eeprom), reg_settings().eeprom[0]);
      }
    });
    machine_->Shutdown();
  }
}

TEST_F(RegEeprom, WithoutRegistryContextTheOperationsGiveFive) {
  BootWith(Parameters(BinaryValue("EEProm", 285, 0x33)));
  RunOn([&] {
    void* context = reg_settings().context.exchange(nullptr);
    EXPECT_EQ(reg_load_eeprom(), kEepromNoContext);
    EXPECT_EQ(reg_save_eeprom(), kEepromNoContext);
    reg_settings().context.store(context);
  });
}

TEST_F(RegEeprom, FailedSaveGivesSevenAndTheWriteStillReportsSuccess) {
  BootWith("");
  plat::reg::RegistryService& service = plat::reg::RegistryOf(kernel());
  RunOn([&] {
    service.faults.FailEvery("RtlWriteRegistryValue", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(reg_save_eeprom(), kEepromWriteFailed);
    const std::uint8_t byte = 9;
    EXPECT_FALSE(eeprom_write(5, 1, &byte));
    EXPECT_EQ(reg_settings().eeprom[5], 9);
  });
  EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"EEProm"), std::nullopt);
}

}  // namespace
}  // namespace vxctl::testing
