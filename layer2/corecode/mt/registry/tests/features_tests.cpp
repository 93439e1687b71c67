// The feature switches and the identification strings from the installed
// modem's entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/registry/features.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"

namespace vxctl::testing {
namespace {

struct Switch {
  const char* name;
  std::atomic<std::uint8_t> RegFeatureFlags::*flag;
  std::uint8_t fallback;  // the default; kKeeps: the value stays
};
constexpr std::uint8_t kKeeps = 0xFF;
constexpr std::uint8_t kBefore = 0xEE;

const Switch kSwitches[] = {
    {"gpio_lpohd", &RegFeatureFlags::gpio_lpohd, kKeeps},
    {"v92rptopt", &RegFeatureFlags::v92_report_option, kKeeps},
    {"v9xMCREnable", &RegFeatureFlags::v9x_mcr_enable, 0},
    {"V34AuxChEnable", &RegFeatureFlags::v34_aux_channel_enable, 0},
    {"MohSettingOverride", &RegFeatureFlags::moh_setting_override, 0},
    {"BlkLlstInfoPreserved", &RegFeatureFlags::black_list_preserved, 0},
    {"LineInUseDet", &RegFeatureFlags::line_in_use_detect, 0},
    {"LineUnAvailDet", &RegFeatureFlags::line_unavailable_detect, 0},
    {"DlpFaultNotify", &RegFeatureFlags::dlp_fault_notify, 0},
    {"QCDefaultOn", &RegFeatureFlags::qc_default_on, 0},
    {"MOHDefaultOn", &RegFeatureFlags::moh_default_on, 1},
    {"RingbackDetEnable", &RegFeatureFlags::ringback_detect_enable, 0},
};

enum class Form { kAbsent, kOneByte, kDword, kTwoBytes };

// Each switch stored in `form`, switch i with the byte 0x40 + i.
std::string SwitchValues(Form form) {
  std::string text;
  for (std::size_t i = 0; i < std::size(kSwitches); ++i) {
    char line[96];
    const unsigned byte = 0x40 + static_cast<unsigned>(i);
    if (form == Form::kOneByte) {
      std::snprintf(line, sizeof line, "\"%s\"=binary:%02x\n", kSwitches[i].name, byte);
    } else if (form == Form::kDword) {
      std::snprintf(line, sizeof line, "\"%s\"=dword:0x%08x\n", kSwitches[i].name, byte);
    } else if (form == Form::kTwoBytes) {
      std::snprintf(line, sizeof line, "\"%s\"=binary:%02x 00\n", kSwitches[i].name, byte);
    } else {
      continue;
    }
    text += line;
  }
  return text;
}

class RegFeatures : public RegMachineTest {};

TEST_F(RegFeatures, EachSwitchTakesItsOneByteValueElseItsDefault) {
  const Form forms[] = {Form::kAbsent, Form::kOneByte, Form::kDword, Form::kTwoBytes};
  for (Form form : forms) {
    SCOPED_TRACE(static_cast<int>(form));
    BootWith(Parameters(SwitchValues(form)));
    RunOn([&] {
      RegFeatureFlags& flags = reg_settings().features;
      // Loaded at the port configuration's start; then again over values
      // that differ from every default.
      for (const Switch& s : kSwitches) (flags.*s.flag).store(kBefore);
      EXPECT_EQ(reg_load_features(), 1);
      for (std::size_t i = 0; i < std::size(kSwitches); ++i) {
        const Switch& s = kSwitches[i];
        SCOPED_TRACE(s.name);
        const std::uint8_t expected =
            form == Form::kOneByte ? 0x40 + i : (s.fallback == kKeeps ? kBefore : s.fallback);
        EXPECT_EQ((flags.*s.flag).load(), expected);
      }
    });
    machine_->Shutdown();
  }
}

TEST_F(RegFeatures, WithoutRegistryContextNothingLoads) {
  BootWith(Parameters(SwitchValues(Form::kOneByte)));
  RunOn([] {
    void* context = reg_settings().context.exchange(nullptr);
    reg_settings().features.qc_default_on.store(kBefore);
    EXPECT_EQ(reg_load_features(), 0);
    EXPECT_EQ(reg_settings().features.qc_default_on.load(), kBefore);
    reg_settings().context.store(context);
  });
}

const std::string kModemEnum =
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Modem\\Enum]\n";
const std::string kClass0 =
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\Modem\\0000]\n";
const std::string kInstance1 =
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\Root\\MODEM\\0001]\n"
    "\"Driver\"=sz:\"Modem\\\\0001\"\n"
    "\"DeviceDesc\"=sz:\"Second\"\n"
    "\"Mfg\"=sz:\"Other Maker\"\n"
    "\"HardwareID\"=sz:\"SECOND\"\n"
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\Modem\\0001]\n"
    "\"AttachedTo\"=sz:\"COM1\"\n";

TEST_F(RegFeatures, IdentificationComesFromTheModemAttachedToThisPort) {
  struct Case {
    const char* what;
    std::string overrides;
    const char* manufacturer;
    const char* model;
    const char* hardware_id;
  };
  const std::vector<Case> cases = {
      {"default machine", "", "Vexor Corporation", "Vexor Tolvasa Modem", "VXCTL\\TOLVASA"},
      {"another case", kClass0 + "\"AttachedTo\"=sz:\"com1\"\n", "Vexor Corporation",
       "Vexor Tolvasa Modem", "VXCTL\\TOLVASA"},
      {"count 0", kModemEnum + "\"Count\"=dword:0x00000000\n", "Vexor Corporation", " ", " "},
      {"another port", kClass0 + "\"AttachedTo\"=sz:\"COM2\"\n", "Vexor Corporation", " ", " "},
      {"second of two",
       kClass0 + "\"AttachedTo\"=sz:\"COM2\"\n" + kModemEnum +
           "\"Count\"=dword:0x00000002\n\"1\"=sz:\"Root\\\\MODEM\\\\0001\"\n" + kInstance1,
       "Other Maker", "Second", "SECOND"},
      {"broken chain",
       kModemEnum + "\"Count\"=dword:0x00000002\n\"1\"=sz:\"Root\\\\MODEM\\\\0001\"\n" + kClass0 +
           "\"AttachedTo\"=sz:\"COM2\"\n",
       "Vexor Corporation", " ", " "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootWith(c.overrides);
    RunOn([&] {
      const ModemIdent& ident = reg_settings().ident;
      EXPECT_STREQ(ident.manufacturer, c.manufacturer);
      EXPECT_STREQ(ident.model, c.model);
      EXPECT_STREQ(ident.hardware_id, c.hardware_id);
    });
    machine_->Shutdown();
  }
}

TEST_F(RegFeatures, IdentStringIsCutToTheBufferAndFailuresLeaveIt) {
  BootWith("");
  RunOn([] {
    const auto* context = static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    ULONG size = 6;
    reg_read_modem_ident(context, buffer, &size, kIdentManufacturer);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(buffer, "Vexor");
    EXPECT_EQ(buffer[6], 'x');
    size = 6;
    reg_read_modem_ident(context, buffer, &size, 3);
    reg_read_modem_ident(nullptr, buffer, &size, kIdentModel);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buffer, "Vexor");
  });
}

}  // namespace
}  // namespace vxctl::testing
