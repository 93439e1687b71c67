// vxreg as a user runs it, on a machine's state file: what it sets a machine
// booted from the file reads; what it refuses leaves the file as it was;
// set and reset wait for vxmodem to leave the file.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/tests/child_process.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/saved_data.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "layer2/corecode/mt/registry/value_table.h"

namespace vxctl::testing {
namespace {

using std::chrono::milliseconds;
using vxmodem::testing::Child;
using vxmodem::testing::Finished;
using vxmodem::testing::TempDir;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (const std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02x ", b);
    text += byte;
  }
  return text;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class SettingsTool : public RegMachineTest {
 protected:
  // vxreg on this test's state file.
  Finished Vxreg(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"--state", StatePath().string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const TempDir dir;
    return Child(VXREG_PATH, all, dir.path()).Wait(milliseconds(10'000));
  }
  void ExpectSet(const std::string& name, const std::string& value) {
    const Finished set = Vxreg({"set", name, value});
    EXPECT_EQ(set.status, 0) << name << ": " << set.err;
  }
  std::string Get(const std::string& name) { return Vxreg({"get", name}).out; }
};

TEST_F(SettingsTool, WhatItSetsIsListedAndReadByAMachineBootedFromTheFile) {
  std::vector<std::uint8_t> eeprom(kEepromSize);
  for (std::size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<std::uint8_t>(i * 7);
  ExpectSet("QCDefaultOn", "1");
  ExpectSet("MOHDefaultOn", "0");
  ExpectSet("gpio_lpohd", "binary:00");
  ExpectSet("EEProm", Hex(eeprom));
  ExpectSet("CountryLst", Hex(CountryListBytes({kDefaultCountry, {49, 4, 0, {'D', 'E', 'U', 0}}})));
  ExpectSet("currentcountry", "0x31");
  ExpectSet("CallerIdData", "0301 2345678");
  ExpectSet("HookFlashMethod", "02 01");
  ExpectSet("gpio3_reset_1724", "7");
  ExpectSet("MohParms", "010203");

  EXPECT_EQ(Get("QCDefaultOn"), "1\n");
  EXPECT_EQ(Get("CurrentCountry"), "49\n");
  EXPECT_EQ(Get("CallerIdData"), "\"0301 2345678\"\n");
  EXPECT_EQ(Get("MohParms"), "01 02 03\n");
  EXPECT_EQ(Get("V34AuxChEnable"), "(default: 0)\n");
  const std::string list = "\n" + Vxreg({"list"}).out;
  for (const RegValueInfo& entry : kRegValues) {
    EXPECT_NE(list.find("\n" + std::string(entry.name) + " "), std::string::npos) << entry.name;
  }
  EXPECT_NE(list.find("\nQCDefaultOn           binary  1 byte                1\n"),
            std::string::npos)
      << list;

  BootWith("", /*on_state=*/true);
  RunOn([&] {
    PortBlock& port = port_block();
    ASSERT_EQ(port_call_open(&port), STATUS_SUCCESS);
    const RegSettings& settings = reg_settings();
    EXPECT_EQ(settings.features.qc_default_on.load(), 1);
    EXPECT_EQ(settings.features.moh_default_on.load(), 0);
    EXPECT_EQ(settings.features.gpio_lpohd.load(), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(settings.eeprom.begin(), settings.eeprom.end()), eeprom);
    EXPECT_EQ(settings.selected_country.calling_code, 49);
    EXPECT_EQ(settings.hook_flash_method, 0x0102);
    EXPECT_EQ(settings.gpio3_reset, 7);
    char caller_id[kCallerIdDataMax + 1] = {};
    EXPECT_EQ(reg_load_caller_id_data(caller_id), 1);
    EXPECT_STREQ(caller_id, "0301 2345678");
    std::uint8_t moh[kMohParmsSize] = {};
    ULONG size = sizeof moh;
    EXPECT_TRUE(reg_load_moh_parms(moh, &size));
    EXPECT_EQ(moh[2], 3);
    ASSERT_EQ(port_call_close(&port), STATUS_SUCCESS);
  });
  machine_->Shutdown();

  const Finished reset = Vxreg({"reset"});
  EXPECT_EQ(reset.status, 0) << reset.err;
  EXPECT_FALSE(std::filesystem::exists(StatePath()));
  EXPECT_EQ(Get("QCDefaultOn"), "(default: 0)\n");
  BootWith("", /*on_state=*/true);
  RunOn([] {
    EXPECT_EQ(reg_settings().features.qc_default_on.load(), 0);
    EXPECT_EQ(reg_settings().selected_country.calling_code, kDefaultCountry.calling_code);
  });
}

TEST_F(SettingsTool, RefusesHostileInputWithAMessageAndLeavesTheFileAsItWas) {
  ExpectSet("QCDefaultOn", "1");
  const std::string before = FileText(StatePath());
  struct Row {
    const char* what;
    std::vector<std::string> arguments;
    std::string message;  // how stderr begins
  };
  const std::vector<Row> rows = {
      {"unknown name", {"set", "NoSuchValue", "1"}, "vxreg: unknown value 'NoSuchValue'"},
      {"a country record", {"get", "WWH0"}, "vxreg: unknown value 'WWH0'"},
      {"a switch as a DWORD",
       {"set", "QCDefaultOn", "dword:1"},
       "vxreg: QCDefaultOn is binary of 1 byte, not dword"},
      {"a switch above 255",
       {"set", "QCDefaultOn", "256"},
       "vxreg: QCDefaultOn takes a number from 0 to 255"},
      {"a switch of two bytes",
       {"set", "QCDefaultOn", "binary:01 00"},
       "vxreg: QCDefaultOn takes 1 byte, not 2"},
      {"EEProm of 284 bytes",
       {"set", "EEProm", Hex(std::vector<std::uint8_t>(284, 1))},
       "vxreg: EEProm takes 285 bytes, not 284"},
      {"a country in letters",
       {"set", "CurrentCountry", "USA"},
       "vxreg: CurrentCountry takes a number from 0 to 4294967295"},
      {"a negative country",
       {"set", "CurrentCountry", "-1"},
       "vxreg: CurrentCountry takes a number"},
      {"a country past 32 bits",
       {"set", "CurrentCountry", "4294967296"},
       "vxreg: CurrentCountry takes a number"},
      {"a country as a string",
       {"set", "CurrentCountry", "sz:49"},
       "vxreg: CurrentCountry is dword of 4 bytes, not sz"},
      {"caller ID of 101 characters",
       {"set", "CallerIdData", std::string(101, 'a')},
       "vxreg: CallerIdData takes at most 100 characters, not 101"},
      {"caller ID with a control character",
       {"set", "CallerIdData", "a\tb"},
       "vxreg: CallerIdData takes printable ASCII characters, not 'a?b'"},
      {"half a hex byte", {"set", "MohParms", "01 02 0"}, "vxreg: MohParms takes hex bytes"},
      {"qcData past its largest",
       {"set", "qcData", Hex(std::vector<std::uint8_t>(4097, 0))},
       "vxreg: qcData takes up to 4096 bytes, not 4097"},
      {"set without a value", {"set", "QCDefaultOn"}, "vxreg: set takes 2 argument(s)"},
      {"an unknown command", {"delete", "QCDefaultOn"}, "vxreg: unknown command 'delete'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Finished run = Vxreg(row.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind(row.message, 0), 0u) << run.err;
    EXPECT_EQ(FileText(StatePath()), before);
  }

  // A state file that does not parse is reported, and a set leaves it.
  const std::string broken = "not a hive\n";
  std::ofstream(StatePath(), std::ios::binary | std::ios::trunc) << broken;
  for (const std::string command : {"get", "set"}) {
    SCOPED_TRACE(command);
    const Finished run =
        Vxreg(command == "get" ? std::vector<std::string>{"get", "QCDefaultOn"}
                               : std::vector<std::string>{"set", "QCDefaultOn", "0"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("vxreg: cannot load: " + StatePath().string() + ":1:", 0), 0u)
        << run.err;
    EXPECT_EQ(FileText(StatePath()), broken);
  }
}

TEST_F(SettingsTool, SetAndResetAreRefusedWhileVxmodemRunsOnTheFile) {
  ExpectSet("QCDefaultOn", "1");
  const TempDir modem_dir;
  Child modem(VXMODEM_PATH, {"--realtime", "--seconds", "100", "--state", StatePath().string()},
              modem_dir.path());
  ASSERT_TRUE(modem.WaitForOutput("vxmodem: running", milliseconds(10'000)));
  const std::string before = FileText(StatePath());
  const std::string in_use = "vxreg: " + StatePath().string() + " is in use by another program";
  for (const std::vector<std::string>& change :
       {std::vector<std::string>{"set", "MOHDefaultOn", "0"}, std::vector<std::string>{"reset"}}) {
    SCOPED_TRACE(change[0]);
    const Finished run = Vxreg(change);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind(in_use, 0), 0u) << run.err;
    EXPECT_EQ(FileText(StatePath()), before);
  }
  EXPECT_EQ(Get("QCDefaultOn"), "1\n") << "reading needs no lock";
  const TempDir second_dir;
  const Finished second =
      Child(VXMODEM_PATH, {"--seconds", "1", "--state", StatePath().string()}, second_dir.path())
          .Wait(milliseconds(10'000));
  EXPECT_EQ(second.status, 2);
  EXPECT_NE(second.err.find("is in use by another program"), std::string::npos) << second.err;

  modem.Signal(SIGTERM);
  const Finished stopped = modem.Wait(milliseconds(10'000));
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  ExpectSet("MOHDefaultOn", "0");
  EXPECT_EQ(Get("MOHDefaultOn"), "0\n");
}

}  // namespace
}  // namespace vxctl::testing
