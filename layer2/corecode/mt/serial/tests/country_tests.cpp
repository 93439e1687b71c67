// The private country requests on the serial and probe devices.
#include <gtest/gtest.h>

#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/nt/serial.h"
#include "platform/reg/machine_registry.h"

namespace vxctl::testing {
namespace {

class SerialCountry : public SerialTest {};

TEST_F(SerialCountry, RequestsWriteTheCountryValuesOnBothDevices) {
  BootCtl();
  struct Case {
    std::u16string_view device;
    ULONG code;
    std::u16string_view value;
    ULONG country;
  };
  for (const Case c : {Case{u"COM1", IOCTL_SET_CURRENT_COUNTRY, u"CurrentCountry", 0x31},
                       Case{u"COM1", IOCTL_SET_DEFAULT_COUNTRY, u"DefaultCountry", 0xB5},
                       Case{u"tolvasaprobe", IOCTL_SET_CURRENT_COUNTRY, u"CurrentCountry", 0x09},
                       Case{u"tolvasaprobe", IOCTL_SET_DEFAULT_COUNTRY, u"DefaultCountry", 0x2E}}) {
    WithDevice(c.device, [&](HANDLE device) {
      EXPECT_EQ(Control(device, c.code, &c.country, sizeof c.country, nullptr, 0).error, 0u);
      const UCHAR two[2] = {1, 2};
      EXPECT_EQ(Control(device, c.code, two, sizeof two, nullptr, 0).error,
                ErrorFor(STATUS_INVALID_BUFFER_SIZE));
    });
    EXPECT_EQ(DwordValue(kernel(), kParametersKey, c.value), c.country);
  }
}

TEST_F(SerialCountry, ARefusedRegistryWriteFailsTheRequest) {
  BootCtl();
  plat::reg::RegistryOf(kernel()).faults.FailNth("RtlWriteRegistryValue", 1, STATUS_ACCESS_DENIED);
  WithDevice(u"COM1", [&](HANDLE device) {
    const ULONG country = 0x31;
    EXPECT_EQ(Control(device, IOCTL_SET_CURRENT_COUNTRY, &country, sizeof country, nullptr, 0).error,
              ErrorFor(STATUS_REGISTRY_IO_FAILED));
  });
  EXPECT_NE(DwordValue(kernel(), kParametersKey, u"CurrentCountry"), std::optional<ULONG>{0x31});
}

TEST_F(SerialCountry, TheProbeDeviceServesNothingElse) {
  BootCtl();
  WithDevice(u"tolvasaprobe", [](HANDLE device) {
    for (ULONG code : {IOCTL_SERIAL_GET_BAUD_RATE, IOCTL_SERIAL_GET_COMMCONFIG, 0x2A0004u}) {
      ULONG out = 0;
      EXPECT_EQ(Control(device, code, nullptr, 0, &out, sizeof out).error,
                ErrorFor(STATUS_INVALID_DEVICE_REQUEST))
          << std::hex << code;
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
