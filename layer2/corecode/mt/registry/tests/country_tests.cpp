// The country list, selection and live record as the port configuration's
// start loads them, and their reloads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/registry/country.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "platform/reg/regroutines.h"

namespace vxctl::testing {
namespace {

const std::vector<CountryListEntry> kThree = {{1, 181, 0, {'U', 'S', 'A', 0}},
                                              {49, 4, 3, {'D', 'E', 'U', 0}},
                                              {33, 61, 5, {'F', 'R', 'A', 0}}};

std::vector<std::uint8_t> ListBytes(std::uint16_t version, std::uint16_t count,
                                    std::size_t size = sizeof(CountryList)) {
  CountryList list{};
  list.version = version;
  list.count = count;
  std::memcpy(list.entries, kThree.data(), kThree.size() * sizeof(CountryListEntry));
  std::vector<std::uint8_t> bytes(sizeof list);
  std::memcpy(bytes.data(), &list, sizeof list);
  bytes.resize(size);
  return bytes;
}

// A record: the version u16, then every byte `fill`.
std::vector<std::uint8_t> RecordBytes(std::uint16_t version, std::uint8_t fill,
                                      std::size_t size = kCountryRecordSize) {
  std::vector<std::uint8_t> bytes(size, fill);
  bytes[0] = static_cast<std::uint8_t>(version);
  bytes[1] = static_cast<std::uint8_t>(version >> 8);
  return bytes;
}

// A delta on `base` whose one item sets general flag 1 to 0x77 (what the
// stored base below holds already), and one whose length runs past it.
std::vector<std::uint8_t> DeltaBytes(std::uint8_t base) {
  return {0x84, base, 5, 0, 0, 0, 1, 1, 0x77};
}
std::vector<std::uint8_t> BadDeltaBytes(std::uint8_t base) { return {0x84, base, 1, 2, 3, 4}; }

std::string Dword(std::string_view name, ULONG value) {
  char text[64];
  std::snprintf(text, sizeof text, "\"%.*s\"=dword:0x%08x\n", static_cast<int>(name.size()),
                name.data(), value);
  return text;
}

const CountryRecord& Live() { return MachineState<LineServicesState>().live_record; }

class RegCountry : public RegMachineTest {};

TEST_F(RegCountry, StoredListIsTakenOnlyWhenValid) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> stored;
    int taken;
  };
  const std::vector<Case> cases = {
      {"version 2", ListBytes(2, 3), 0},   {"count 0", ListBytes(1, 0), 0},
      {"count 121", ListBytes(1, 121), 0}, {"short", ListBytes(1, 3, 963), 0},
      {"valid", ListBytes(1, 3), 1},
  };
  const std::span<const std::uint8_t> builtin = CTY_builtin_country_list();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootWith(Parameters(BinaryValue("CountryLst", c.stored)));
    RunOn([&] {
      EXPECT_EQ(reg_load_country_list(), c.taken);
      const auto* list = reinterpret_cast<const std::uint8_t*>(&reg_settings().countries);
      const std::vector<std::uint8_t> now(list, list + sizeof(CountryList));
      if (c.taken == 1) {
        EXPECT_EQ(now, c.stored);
      } else {
        EXPECT_EQ(now, std::vector<std::uint8_t>(builtin.begin(), builtin.end()));
      }
    });
    machine_->Shutdown();
  }
}

TEST_F(RegCountry, SelectionFromCurrentCountryElseTheOsCountry) {
  struct Case {
    const char* what;
    std::string values;
    std::string international;  // added to the default user's International key
    bool drop_os_country;
    std::uint16_t selected;
  };
  const std::string list = BinaryValue("CountryLst", ListBytes(1, 3));
  const std::string intl = "[\\Registry\\User\\.DEFAULT\\Control Panel\\International]\n";
  const std::vector<Case> cases = {
      {"stored 33", list + Dword("CurrentCountry", 33), "", false, 33},
      {"stored, not listed", list + Dword("CurrentCountry", 7), "", false, 1},
      {"OS 49", list, intl + "\"iCountry\"=sz:\"49\"\n", false, 49},
      {"OS 0", list, intl + "\"iCountry\"=sz:\"0\"\n", false, 1},
      {"OS text", list, intl + "\"iCountry\"=sz:\"DE\"\n", false, 1},
      {"no OS country", list, intl + "\"iCountry\"=sz:\"49\"\n", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootWith(Parameters(c.values) + c.international);
    if (c.drop_os_country) {
      RunOn([] {
        EXPECT_EQ(RtlDeleteRegistryValue(
                      RTL_REGISTRY_ABSOLUTE,
                      u"\\Registry\\User\\.DEFAULT\\Control Panel\\International", u"iCountry"),
                  STATUS_SUCCESS);
        EXPECT_EQ(
            RtlDeleteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParametersKey.data(), u"CurrentCountry"),
            STATUS_SUCCESS);
        EXPECT_EQ(reg_os_country(), -1);
        reg_settings().selected_country = kDefaultCountry;
        reg_load_country();
      });
    }
    RunOn([&] { EXPECT_EQ(reg_settings().selected_country.calling_code, c.selected); });
    // Written back whatever it came from.
    EXPECT_EQ(DwordValue(kernel(), kParametersKey, u"CurrentCountry"), c.selected);
    machine_->Shutdown();
  }
}

TEST_F(RegCountry, StoredRecordsAreTakenWholeAndOfTheirVersion) {
  struct Case {
    const char* what;
    std::string records;
    int result;
    std::uint8_t fill;  // of the live record after its version; 0: built-in
    bool record_zero = false;  // the live record is record 0
  };
  const std::vector<Case> cases = {
      {"whole v4", BinaryValue("WWH3", RecordBytes(4, 0x3C)), 1, 0x3C},
      {"version 3", BinaryValue("WWH3", RecordBytes(3, 0x3C)), 0, 0},
      {"1533 bytes", BinaryValue("WWH3", RecordBytes(4, 0x3C, 1533)), 0, 0},
      {"4097 bytes", BinaryValue("WWH3", RecordBytes(4, 0x3C, 4097)), 0, 0},
      {"delta, base stored",
       BinaryValue("WWH3", DeltaBytes(7)) + BinaryValue("WWH7", RecordBytes(4, 0x77)), 1, 0x77},
      {"delta, base missing", BinaryValue("WWH3", DeltaBytes(7)), 0, 0},
      {"delta not sound",
       BinaryValue("WWH3", BadDeltaBytes(7)) + BinaryValue("WWH7", RecordBytes(4, 0x77)), 0, 0,
       true},
      {"missing", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootWith(Parameters(BinaryValue("CountryLst", ListBytes(1, 3)) + Dword("CurrentCountry", 49) +
                        c.records));
    RunOn([&] {
      const CountryRecord expected = c.record_zero ? CTY_default_record()
                                     : c.fill == 0 ? CTY_builtin_record(3)
                                                   : CountryRecord{[&] {
        std::array<std::uint8_t, kCountryRecordSize> bytes;
        const std::vector<std::uint8_t> record = RecordBytes(4, c.fill);
        std::copy(record.begin(), record.end(), bytes.begin());
        return bytes;
      }()};
      EXPECT_EQ(Live().bytes, expected.bytes);
      MachineState<LineServicesState>().live_record.bytes.fill(0xEE);
      EXPECT_EQ(reg_load_country(), c.result);
      EXPECT_EQ(Live().bytes, expected.bytes);
    });
    machine_->Shutdown();
  }
}

TEST_F(RegCountry, CidConfigOverrideAboveAByteSetsTheCallerIdByte) {
  struct Case {
    ULONG override_value;
    std::uint8_t caller_id_byte;
  };
  const Case cases[] = {{0x1A5, 0xA5}, {0xA5, 0x3C}, {0x100, 0x00}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.override_value);
    BootWith(Parameters(BinaryValue("CountryLst", ListBytes(1, 3)) + Dword("CurrentCountry", 49) +
                        BinaryValue("WWH3", RecordBytes(4, 0x3C)) +
                        Dword("CidConfigOverride", c.override_value)));
    RunOn([&] {
      EXPECT_EQ(Live().bytes[kCountryCallerIdByte], c.caller_id_byte);
      EXPECT_EQ(reg_settings().cid_config_override, c.override_value);
    });
    machine_->Shutdown();
  }
}

TEST_F(RegCountry, RecordSaveTakesOnlyAWholeRecord) {
  BootWith("");
  RunOn([] {
    const std::vector<std::uint8_t> record = RecordBytes(4, 0x11);
    EXPECT_TRUE(reg_save_country_record("WWH Debug", record));
    EXPECT_FALSE(reg_save_country_record("WWH Short", std::span(record).first(100)));
  });
  EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"WWH Debug"), RecordBytes(4, 0x11));
  EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"WWH Short"), std::nullopt);
}

}  // namespace
}  // namespace vxctl::testing
