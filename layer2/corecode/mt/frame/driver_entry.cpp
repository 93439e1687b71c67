// DriverEntry: the version gate, the Parameters values, the three devices,
// the extensions, the attachment and start handshake, the port layer.
#include <cstring>
#include <new>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "platform/reg/regroutines.h"
#include "platform/reg/system_version.h"

namespace vxctl {
namespace {

struct Parameters {
  ULONG break_on_entry = 0;
  ULONG debug_flags = 0;
  ULONG com_port = 0;
};

// The three values, each 0 when absent; all 0 when the query fails.
Parameters ReadParameters(PCWSTR path) {
  Parameters p;
  ULONG zero = 0;
  RTL_QUERY_REGISTRY_TABLE table[4] = {};
  PCWSTR names[3] = {u"BreakOnEntry", u"DebugFlags", u"ComPort"};
  ULONG* values[3] = {&p.break_on_entry, &p.debug_flags, &p.com_port};
  for (int i = 0; i < 3; ++i) {
    table[i].Flags = RTL_QUERY_REGISTRY_DIRECT;
    table[i].Name = const_cast<PWSTR>(names[i]);
    table[i].EntryContext = values[i];
    table[i].DefaultType = REG_DWORD;
    table[i].DefaultData = &zero;
    table[i].DefaultLength = sizeof zero;
  }
  if (!NT_SUCCESS(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL, path,
                                         table, nullptr, nullptr))) {
    return {};
  }
  return p;
}

// The registry path + "\Parameters" in a zeroed 256-byte paged buffer; an
// empty string when the pool refuses or the path does not fit.
UNICODE_STRING ParametersPath(const UNICODE_STRING& registry_path) {
  UNICODE_STRING path{};
  auto* buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, kParametersPathBytes, kCtlTag));
  if (buffer == nullptr) return path;
  std::memset(buffer, 0, kParametersPathBytes);
  path.Buffer = buffer;
  path.MaximumLength = kParametersPathBytes - sizeof(WCHAR);
  if (!NT_SUCCESS(RtlAppendUnicodeStringToString(&path, &registry_path)) ||
      !NT_SUCCESS(RtlAppendUnicodeToString(&path, u"\\Parameters"))) {
    ExFreePool(buffer);
    return {};
  }
  return path;
}

// A non-paged copy of the service key's path with its terminator.
bool CopyRegistryPath(const UNICODE_STRING& source, UNICODE_STRING& copy) {
  const USHORT bytes = static_cast<USHORT>(source.Length + sizeof(WCHAR));
  auto* buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(NonPagedPool, bytes, kCtlTag));
  if (buffer == nullptr) return false;
  std::memcpy(buffer, source.Buffer, source.Length);
  buffer[source.Length / sizeof(WCHAR)] = 0;
  copy.Buffer = buffer;
  copy.Length = source.Length;
  copy.MaximumLength = bytes;
  return true;
}

// The serial and probe extensions once the devices exist.
NTSTATUS FillExtensions(const UNICODE_STRING& registry_path) {
  CtlGlobals& globals = ctl_globals();
  auto& serial = *static_cast<SerialDeviceExtension*>(globals.serial->DeviceExtension);
  serial.kind = kSerialPortDevice;
  serial.device = globals.serial;
  serial.request_counter = 1;
  serial.open_count = 0;
  serial.accepting = 1;
  serial.removing = 0;
  if (!CopyRegistryPath(registry_path, serial.registry_path)) return STATUS_INSUFFICIENT_RESOURCES;
  auto& probe = *new (globals.probe->DeviceExtension) SerialDeviceExtension{};
  probe.kind = kProbeDevice;
  probe.accepting = 1;
  probe.removing = 0;
  if (!CopyRegistryPath(registry_path, probe.registry_path)) return STATUS_INSUFFICIENT_RESOURCES;
  serial.statistics_device = globals.statistics;
  return STATUS_SUCCESS;
}

// Everything after the serial device exists; a failure leaves the unload
// to take it all down.
NTSTATUS StartAfterSerialDevice(PDRIVER_OBJECT driver, const UNICODE_STRING& registry_path) {
  CtlGlobals& globals = ctl_globals();
  if (!NT_SUCCESS(ntdrv_create_probe_device(driver))) return STATUS_UNSUCCESSFUL;
  if (!NT_SUCCESS(ntdrv_create_perf_device(driver))) return STATUS_UNSUCCESSFUL;
  if (const NTSTATUS status = FillExtensions(registry_path); !NT_SUCCESS(status)) return status;
  auto& serial = *static_cast<SerialDeviceExtension*>(globals.serial->DeviceExtension);
  if (!NT_SUCCESS(ntdrv_attach_and_start(serial))) return STATUS_UNSUCCESSFUL;
  serial.port_handle = port_layer_start(globals.serial);
  if (serial.port_handle == nullptr) return STATUS_UNSUCCESSFUL;
  return STATUS_SUCCESS;
}

}  // namespace

CtlGlobals& ctl_globals() { return MachineState<CtlGlobals>(); }

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  if (RegSystemVersionMajor() != u'4') return STATUS_UNSUCCESSFUL;
  UNICODE_STRING parameters = ParametersPath(*registry_path);
  if (parameters.Buffer == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  const Parameters values = ReadParameters(parameters.Buffer);
  if (values.break_on_entry != 0) DbgBreakPoint();

  CtlGlobals& globals = ctl_globals();
  NTSTATUS status =
      ntdrv_create_serial_device(driver, &globals.serial, values.com_port, &parameters);
  ExFreePool(parameters.Buffer);
  if (!NT_SUCCESS(status)) return status;
  globals.serial->Flags |= DO_BUFFERED_IO;

  status = StartAfterSerialDevice(driver, *registry_path);
  if (!NT_SUCCESS(status)) {
    ntdrv_unload(driver);
    return status;
  }
  ntdrv_install_dispatch(driver);
  driver->DriverUnload = ntdrv_unload;
  return STATUS_SUCCESS;
}

}  // namespace vxctl
