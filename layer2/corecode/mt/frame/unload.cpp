// ntdrv_unload: the port layer stopped, the COM link, the SERIALCOMM value
// and the serial count given back, the data pump stopped (IOCTL_MODEM_STOP)
// and the DSP device left, the register page unbound, then the probe and
// statistics devices' links, and every device deleted. It also takes down
// what a failed DriverEntry had made.
#include "afe/windows/afe_contract.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/stats/perfmon.h"
#include "platform/reg/regroutines.h"

namespace vxctl {
namespace {

void FreeString(UNICODE_STRING& string) {
  if (string.Buffer != nullptr) ExFreePool(string.Buffer);
  string = {};
}

// Sent to the data pump and waited for: the status block and event live in
// this frame.
void StopDataPump(PDEVICE_OBJECT lower) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status_block{};
  PIRP irp = IoBuildDeviceIoControlRequest(afe::IOCTL_MODEM_STOP, lower, nullptr, 0, nullptr, 0,
                                           FALSE, &done, &status_block);
  if (irp == nullptr) return;
  irp->IoStatus.Information = 0;
  if (IoCallDriver(lower, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
}

void UnloadSerial(SerialDeviceExtension& e) {
  CtlGlobals& globals = ctl_globals();
  if (e.port_handle != nullptr) {
    port_layer_stop(e.port_handle);
    e.port_handle = nullptr;
  }
  if (e.link_name.Buffer != nullptr) IoDeleteSymbolicLink(&e.link_name);
  FreeString(e.link_name);
  if (e.device_name.Buffer != nullptr) {
    RtlDeleteRegistryValue(RTL_REGISTRY_DEVICEMAP, kSerialCommKey, e.device_name.Buffer);
  }
  if (globals.serial_counted) {
    --IoGetConfigurationInformation()->SerialCount;
    globals.serial_counted = false;
  }
  if (e.lower != nullptr) {
    StopDataPump(e.lower);
    IoDetachDevice(e.lower);
    e.lower = nullptr;
  }
  if (e.register_page != nullptr) {
    e.register_page = nullptr;
    dsp_set_comram(nullptr);
    dsp_set_dsp_context(nullptr);
  }
  FreeString(e.registry_path);
  FreeString(e.device_name);
}

void DeleteLink(PCWSTR name) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, name);
  IoDeleteSymbolicLink(&link);
}

}  // namespace

void ntdrv_unload(PDRIVER_OBJECT) {
  CtlGlobals& globals = ctl_globals();
  if (PDEVICE_OBJECT serial = globals.serial) {
    UnloadSerial(*static_cast<SerialDeviceExtension*>(serial->DeviceExtension));
    IoDeleteDevice(serial);
    globals.serial = nullptr;
  }
  if (PDEVICE_OBJECT probe = globals.probe) {
    DeleteLink(kProbeLinkName);
    FreeString(static_cast<SerialDeviceExtension*>(probe->DeviceExtension)->registry_path);
    IoDeleteDevice(probe);
    globals.probe = nullptr;
  }
  if (PDEVICE_OBJECT statistics = globals.statistics) {
    DeleteLink(kPerfLinkName);
    perfmon_stop();
    IoDeleteDevice(statistics);
    globals.statistics = nullptr;
  }
}

}  // namespace vxctl
