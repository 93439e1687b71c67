// Machines for the registry settings' tests: the three drivers booted with
// values added to the Parameters key (and any other key), optionally on a
// state file in a fresh temporary folder.
//
//   class RegExample : public RegMachineTest {};
//   TEST_F(RegExample, Reads) {
//     BootWith(Parameters("\"EEProm\"=binary:00 01\n"));
//     RunOn([] { ... reg_load_eeprom() ... });
//   }
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/registry/reg_settings.h"

namespace vxctl::testing {

// A hive text adding `values` to the Parameters key.
std::string Parameters(std::string_view values);
// A hive text of a REG_BINARY value: the bytes given, or `size` bytes each
// `fill`.
std::string BinaryValue(std::string_view name, std::span<const std::uint8_t> bytes);
std::string BinaryValue(std::string_view name, std::size_t size, std::uint8_t fill);
// The bytes of a stored country list (the current version) of `entries`.
std::vector<std::uint8_t> CountryListBytes(std::initializer_list<CountryListEntry> entries);

class RegMachineTest : public CtlMachineTest {
 protected:
  void TearDown() override;
  // Boots with `overrides` merged into the seed; with `on_state` changes go
  // to StatePath().
  plat::Machine& BootWith(std::string overrides, bool on_state = false);
  std::filesystem::path StatePath();
  // The machine's state-file writes so far.
  std::uint64_t StateWrites();

 private:
  std::filesystem::path folder_;
};

}  // namespace vxctl::testing
