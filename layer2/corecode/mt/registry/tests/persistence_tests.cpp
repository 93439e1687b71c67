// What one machine saves, the next machine on the same state file reads
// back; the volatile device map never reaches the state file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "layer2/corecode/mt/registry/country.h"
#include "layer2/corecode/mt/registry/eeprom.h"
#include "layer2/corecode/mt/registry/saved_data.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"

namespace vxctl::testing {
namespace {

std::string ListWithGermany() {
  return Parameters(BinaryValue(
      "CountryLst", CountryListBytes({kDefaultCountry, {49, 4, 0, {'D', 'E', 'U', 0}}})));
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class RegPersistence : public RegMachineTest {};

TEST_F(RegPersistence, ANewMachineReadsBackWhatTheLastOneSaved) {
  const std::uint8_t profile[4] = {0xA1, 0xB2, 0xC3, 0xD4};
  const std::vector<std::uint8_t> qc = {5, 6, 7};
  BootWith(ListWithGermany(), /*on_state=*/true);
  RunOn([&] {
    EXPECT_FALSE(eeprom_write(100, 4, profile));
    reg_settings().selected_country = reg_settings().countries.entries[1];
    EXPECT_EQ(reg_save_current_country(), 1);
    EXPECT_TRUE(reg_save_qc_data(qc));
    EXPECT_EQ(reg_save_caller_id_data("0301 2345678"), 1);
  });
  machine_->Shutdown();
  const std::string state = FileText(StatePath());
  EXPECT_EQ(state.find("SERIALCOMM"), std::string::npos) << state;
  EXPECT_NE(state.find("EEProm"), std::string::npos) << state;

  BootWith(ListWithGermany(), /*on_state=*/true);
  RunOn([&] {
    std::uint8_t back[4] = {};
    EXPECT_FALSE(eeprom_read(100, 4, back));
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4),
              std::vector<std::uint8_t>(profile, profile + 4));
    EXPECT_EQ(reg_settings().selected_country.calling_code, 49);
    std::vector<std::uint8_t> qc_back(8, 0);
    ULONG size = 8;
    EXPECT_TRUE(reg_load_qc_data(qc_back.data(), &size));
    qc_back.resize(size);
    EXPECT_EQ(qc_back, qc);
    char caller_id[kCallerIdDataMax + 1] = {};
    EXPECT_EQ(reg_load_caller_id_data(caller_id), 1);
    EXPECT_STREQ(caller_id, "0301 2345678");
  });
  EXPECT_GT(SerialCommValues(kernel()), 0u);
  machine_->Shutdown();
  EXPECT_EQ(FileText(StatePath()).find("SERIALCOMM"), std::string::npos);
}

}  // namespace
}  // namespace vxctl::testing
