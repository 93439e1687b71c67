// The serial device's number, its COM link, "ComPort" written back and the
// SERIALCOMM value, with names taken beforehand by a test driver.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/tests/ctl_machine.h"

namespace vxctl::testing {
namespace {

class CtlComPort : public CtlMachineTest {
 protected:
  // The machine with vxafe, vxdsp, the name taker holding `taken`, then
  // vxctl with "ComPort" = `com_port` (none: no value).
  plat::Machine& Prepare(std::optional<ULONG> com_port, NameTaker taken) {
    plat::MachineConfig config;
    config.drivers = {VxafeImage(), VxdspImage(), NameTakerImage(), VxctlImage()};
    if (com_port) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl"
                    "\\Parameters]\n\"ComPort\"=dword:0x%08x\n",
                    *com_port);
      config.hive_overrides = text;
    }
    plat::Machine& machine = Make(std::move(config));
    machine.kernel().slots().Get<NameTaker>() = std::move(taken);
    return machine;
  }
};

std::u16string Com(ULONG k) {
  const std::string digits = std::to_string(k);
  return u"\\??\\COM" + std::u16string(digits.begin(), digits.end());
}

TEST_F(CtlComPort, TheLinkTheNumberWrittenBackAndTheSerialCommValue) {
  struct Row {
    const char* what;
    std::optional<ULONG> com_port;
    std::vector<ULONG> taken;
    ULONG expected;
  };
  const Row rows[] = {
      {"3 with COM3 free", 3, {}, 3},
      {"3 with COM3 taken", 3, {3}, 1},
      {"3 with COM3 and COM1 taken", 3, {1, 3}, 2},
      {"0", 0, {}, 1},
      {"10", 10, {}, 1},
      {"none", std::nullopt, {}, 1},
      {"none with COM1 and COM2 taken", std::nullopt, {1, 2}, 3},
      {"9 with COM9 free", 9, {}, 9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    NameTaker taker;
    for (ULONG k : row.taken) taker.links.push_back(Com(k));
    plat::Machine& machine = Prepare(row.com_port, taker);
    ASSERT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
    const std::u16string link = Com(row.expected);
    EXPECT_EQ(LinkTarget(machine.kernel(), link), u"\\Device\\SerialTolvasa0");
    EXPECT_EQ(DwordValue(machine.kernel(), kParametersKey, u"ComPort"), row.expected);
    const std::string digits = std::to_string(row.expected);
    EXPECT_EQ(StringValue(machine.kernel(), kSerialCommPath, u"\\Device\\SerialTolvasa0"),
              u"COM" + std::u16string(digits.begin(), digits.end()));
    EXPECT_EQ(SerialCommValues(machine.kernel()), 1u);
    RunOn([] { EXPECT_EQ(IoGetConfigurationInformation()->SerialCount, 1u); });
    machine.Shutdown();
    EXPECT_FALSE(NameExists(machine.kernel(), link));
    EXPECT_EQ(SerialCommValues(machine.kernel()), 0u);
  }
}

TEST_F(CtlComPort, DeviceNumberZeroTakenGivesOne) {
  plat::Machine& machine = Prepare(0, {.devices = {u"\\Device\\SerialTolvasa0"}, .links = {}});
  ASSERT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
  EXPECT_EQ(LinkTarget(machine.kernel(), Com(1)), u"\\Device\\SerialTolvasa1");
  EXPECT_EQ(StringValue(machine.kernel(), kSerialCommPath, u"\\Device\\SerialTolvasa1"), u"COM1");
}

TEST_F(CtlComPort, EveryComNumberTakenFailsWithNothingLeft) {
  NameTaker taker;
  for (ULONG k = 1; k <= 9; ++k) taker.links.push_back(Com(k));
  plat::Machine& machine = Prepare(3, taker);
  EXPECT_EQ(machine.Boot(), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_FALSE(NameExists(machine.kernel(), u"\\Device\\SerialTolvasa0"));
  EXPECT_EQ(SerialCommValues(machine.kernel()), 0u);
  EXPECT_EQ(DwordValue(machine.kernel(), kParametersKey, u"ComPort"), 3u) << "not written back";
  RunOn([] { EXPECT_EQ(IoGetConfigurationInformation()->SerialCount, 0u); });
}

}  // namespace
}  // namespace vxctl::testing
