#include "layer2/corecode/mt/registry/tests/registry_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/reg/machine_registry.h"

namespace vxctl::testing {

std::string Parameters(std::string_view values) {
  return "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters]\n" +
         std::string(values);
}

std::string BinaryValue(std::string_view name, std::span<const std::uint8_t> bytes) {
  std::string text = "\"" + std::string(name) + "\"=binary:";
  char byte[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += byte;
  }
  return text + "\n";
}

std::string BinaryValue(std::string_view name, std::size_t size, std::uint8_t fill) {
  return BinaryValue(name, std::vector<std::uint8_t>(size, fill));
}

std::vector<std::uint8_t> CountryListBytes(std::initializer_list<CountryListEntry> entries) {
  CountryList list{};
  list.version = kCountryListVersion;
  list.count = static_cast<std::uint16_t>(entries.size());
  std::copy(entries.begin(), entries.end(), list.entries);
  std::vector<std::uint8_t> bytes(sizeof list);
  std::memcpy(bytes.data(), &list, sizeof list);
  return bytes;
}

void RegMachineTest::TearDown() {
  CtlMachineTest::TearDown();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

std::filesystem::path RegMachineTest::StatePath() {
  if (folder_.empty()) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "vxctl-reg-" + std::string(test->test_suite_name()) + "-" + test->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  return folder_ / "state.hive";
}

plat::Machine& RegMachineTest::BootWith(std::string overrides, bool on_state) {
  plat::MachineConfig config;
  config.hive_overrides = std::move(overrides);
  if (on_state) config.state_file = StatePath();
  return BootCtl(std::move(config));
}

std::uint64_t RegMachineTest::StateWrites() {
  plat::reg::StateFile* file = plat::reg::RegistryOf(kernel()).registry.state_file();
  return file == nullptr ? 0 : file->writes();
}

}  // namespace vxctl::testing
