// The controller start-up's loads at each port open: every saved setting
// changed since the boot is in place after the open, the stored country
// record over the built-in one, and reopening writes nothing to the state
// file.
#include <gtest/gtest.h>

#include <vector>

#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "platform/reg/regroutines.h"

namespace vxctl::testing {
namespace {

const CountryRecord& Live() { return MachineState<LineServicesState>().live_record; }

void Write(const char16_t* name, ULONG type, std::vector<std::uint8_t> data) {
  ASSERT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParametersKey.data(), name, type,
                                  data.data(), static_cast<ULONG>(data.size())),
            STATUS_SUCCESS);
}

std::vector<std::uint8_t> Record(std::uint8_t fill) {
  std::vector<std::uint8_t> bytes(kCountryRecordSize, fill);
  bytes[0] = kCountryRecordVersion;
  bytes[1] = 0;
  return bytes;
}

class RegStartupLoads : public RegMachineTest {};

TEST_F(RegStartupLoads, APortOpenLoadsWhatChangedSinceTheBoot) {
  BootWith("");
  RunOn([] {
    Write(u"EEProm", REG_BINARY, std::vector<std::uint8_t>(kEepromSize, 0x11));
    Write(u"QCDefaultOn", REG_BINARY, {1});
    Write(u"CountryLst", REG_BINARY,
          CountryListBytes({kDefaultCountry, {49, 4, 3, {'D', 'E', 'U', 0}}}));
    Write(u"CurrentCountry", REG_DWORD, {49, 0, 0, 0});
    Write(u"WWH3", REG_BINARY, Record(0x3C));
    Write(u"HookFlashMethod", REG_BINARY, {0x01, 0x02});
    Write(u"gpio3_reset_1724", REG_BINARY, {5});
    // Changed in the registry only: nothing reads it before the open.
    EXPECT_EQ(reg_settings().features.qc_default_on.load(), 0);

    PortBlock& port = port_block();
    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    const RegSettings& settings = reg_settings();
    EepromImage stored;
    stored.fill(0x11);
    EXPECT_EQ(settings.eeprom, stored);
    EXPECT_EQ(settings.features.qc_default_on.load(), 1);
    EXPECT_EQ(settings.selected_country.calling_code, 49);
    EXPECT_EQ(Live().bytes[100], 0x3C) << "the stored record, loaded after the built-in one";
    EXPECT_EQ(settings.hook_flash_method, 0x0201);
    EXPECT_EQ(settings.gpio3_reset, 5);
    ASSERT_EQ(port_call_close(&port), STATUS_SUCCESS);

    // Without the stored record the next open starts again from the
    // built-in record, whatever the live record held.
    ASSERT_EQ(RtlDeleteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParametersKey.data(), u"WWH3"),
              STATUS_SUCCESS);
    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    EXPECT_EQ(Live().bytes, CTY_builtin_record(3).bytes);
    ASSERT_EQ(port_call_close(&port), STATUS_SUCCESS);
  });
}

TEST_F(RegStartupLoads, ReopeningThePortWritesNothingToTheStateFile) {
  BootWith("", /*on_state=*/true);
  const std::uint64_t after_boot = StateWrites();
  RunOn([] {
    PortBlock& port = port_block();
    for (int open = 0; open < 3; ++open) {
      ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
      ASSERT_EQ(port_call_close(&port), STATUS_SUCCESS);
    }
  });
  EXPECT_EQ(StateWrites(), after_boot);
  EXPECT_EQ(DwordValue(kernel(), kParametersKey, u"CurrentCountry"), kDefaultCountry.calling_code);
}

}  // namespace
}  // namespace vxctl::testing
