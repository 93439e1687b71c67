// Machines for the driver frame's tests: vxafe, vxdsp and vxctl booted on
// the virtual clock (plat::testing::MachineTest), test drivers that take
// names before vxctl loads or stand where the DSP device would, and the
// registry and name lookups the tests check.
//
//   class CtlExample : public CtlMachineTest {};
//   TEST_F(CtlExample, Opens) {
//     BootCtl();
//     RunOn([] { EXPECT_EQ(port_call_open(&port_block()), STATUS_SUCCESS); });
//   }
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/io/io_host.h"
#include "platform/machine/testing/fixtures.h"

namespace vxctl::testing {

inline constexpr std::u16string_view kParametersKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters";
inline constexpr std::u16string_view kSerialCommPath =
    u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

plat::io::DriverImage VxafeImage();
plat::io::DriverImage VxdspImage();
plat::io::DriverImage VxctlImage();

// "nametaker": made before vxctl, it holds the devices and links it is
// given (a link leads to its own device); its unload gives them back.
struct NameTaker {
  std::vector<std::u16string> devices;
  std::vector<std::u16string> links;
};
plat::io::DriverImage NameTakerImage();

// "fakedsp": a DSP device that answers the start with `start_status` and
// counts the stops it receives.
struct FakeDsp {
  NTSTATUS start_status = STATUS_INVALID_DEVICE_STATE;
  int starts = 0;
  int stops = 0;
};
plat::io::DriverImage FakeDspImage();

class CtlMachineTest : public plat::testing::MachineTest {
 protected:
  // A machine not booted yet (the drivers default to vxafe, vxdsp, vxctl).
  plat::Machine& Make(plat::MachineConfig config = {});
  // Make and Boot, expecting success.
  plat::Machine& BootCtl(plat::MachineConfig config = {});
  // Runs `body` on a PASSIVE_LEVEL system thread (priority 16) of the
  // machine, within a virtual minute.
  void RunOn(const std::function<void()>& body);
  // Loads one more driver image on a thread of the machine (the test
  // unloads it: the machine's shutdown does not know it); its status.
  NTSTATUS Load(const plat::io::DriverImage& image, PDRIVER_OBJECT* loaded = nullptr);
  // Unloads what Load loaded.
  void Unload(PDRIVER_OBJECT driver);

  plat::ke::Kernel& kernel() { return machine_->kernel(); }

 private:
  int machines_ = 0;
};

// A registry value as the machine holds it; none when absent.
std::optional<std::vector<UCHAR>> RegistryValue(plat::ke::Kernel& machine,
                                                std::u16string_view key,
                                                std::u16string_view name);
std::optional<ULONG> DwordValue(plat::ke::Kernel& machine, std::u16string_view key,
                                std::u16string_view name);
// A REG_SZ value's text without its terminator.
std::optional<std::u16string> StringValue(plat::ke::Kernel& machine, std::u16string_view key,
                                          std::u16string_view name);
// Number of values of SERIALCOMM.
std::size_t SerialCommValues(plat::ke::Kernel& machine);
// Whether a device or link of that name exists; a link's target.
bool NameExists(plat::ke::Kernel& machine, std::u16string_view name);
std::u16string LinkTarget(plat::ke::Kernel& machine, std::u16string_view name);

}  // namespace vxctl::testing
