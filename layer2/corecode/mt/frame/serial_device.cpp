// ntdrv_create_serial_device: the first free "\Device\SerialTolvasa<n>",
// its COM link, "ComPort" written back, the SERIALCOMM value and the
// system's count of serial devices.
#include <array>
#include <cstring>
#include <new>

#include "layer2/corecode/mt/frame/frame.h"
#include "platform/reg/regroutines.h"

namespace vxctl {
namespace {

// The eight string buffers: the device and link names stay with the
// extension, the other six go back at the end.
enum Buffer : ULONG { kDeviceName = 0, kLinkName = 1, kSerialCommData = 2 };

class StringBuffers {
 public:
  ~StringBuffers() {
    for (PWSTR buffer : buffers_) {
      if (buffer != nullptr) ExFreePool(buffer);
    }
  }
  bool Allocate() {
    for (PWSTR& buffer : buffers_) {
      buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, kStringBufferBytes, kCtlTag));
      if (buffer == nullptr) return false;
    }
    return true;
  }
  // An empty string over buffer `which`.
  UNICODE_STRING String(Buffer which) {
    std::memset(buffers_[which], 0, kStringBufferBytes);
    return {0, static_cast<USHORT>(kStringBufferBytes - sizeof(WCHAR)), buffers_[which]};
  }
  // The buffer belongs to the caller from now on.
  void Keep(Buffer which) { buffers_[which] = nullptr; }

 private:
  std::array<PWSTR, kStringBuffers> buffers_{};
};

// prefix + number, in `string`.
void Numbered(UNICODE_STRING& string, PCWSTR prefix, ULONG number) {
  string.Length = 0;
  RtlAppendUnicodeToString(&string, prefix);
  WCHAR digits[12] = {};
  UNICODE_STRING text{0, sizeof digits - sizeof(WCHAR), digits};
  RtlIntegerToUnicodeString(number, 10, &text);
  RtlAppendUnicodeStringToString(&string, &text);
}

// The first n whose device name is free; a collision tries the next.
NTSTATUS CreateNumberedDevice(PDRIVER_OBJECT driver, UNICODE_STRING& name,
                              PDEVICE_OBJECT* device) {
  for (ULONG n = 0; n < kSerialDeviceNumbers; ++n) {
    Numbered(name, kSerialDevicePrefix, n);
    const NTSTATUS status = IoCreateDevice(driver, sizeof(SerialDeviceExtension), &name,
                                           FILE_DEVICE_SERIAL_PORT, 0, TRUE, device);
    if (status != STATUS_OBJECT_NAME_COLLISION) return status;
  }
  return STATUS_INSUFFICIENT_RESOURCES;
}

// The COM link: the preferred number first (any failure falls through),
// then COM1..COM9 in order. The number used, or 0 with the failure.
ULONG CreateComLink(ULONG preferred, UNICODE_STRING& link, const UNICODE_STRING& device,
                    NTSTATUS& status) {
  if (preferred >= 1 && preferred <= kComNumbers) {
    Numbered(link, kComLinkPrefix, preferred);
    UNICODE_STRING target = device;
    if (NT_SUCCESS(IoCreateSymbolicLink(&link, &target))) return preferred;
  }
  for (ULONG k = 1; k <= kComNumbers; ++k) {
    Numbered(link, kComLinkPrefix, k);
    UNICODE_STRING target = device;
    status = IoCreateSymbolicLink(&link, &target);
    if (NT_SUCCESS(status)) return k;
    if (status != STATUS_OBJECT_NAME_COLLISION) return 0;
  }
  status = STATUS_INSUFFICIENT_RESOURCES;
  return 0;
}

void InitialiseExtension(SerialDeviceExtension& e) {
  for (KSPIN_LOCK* lock : {&e.locks[0], &e.locks[1], &e.event_notification_lock,
                           &e.read_notification_lock, &e.write_notification_lock,
                           &e.open_count_lock, &e.wait_lock}) {
    KeInitializeSpinLock(lock);
  }
  e.request_counter = 1;
  InitializeListHead(&e.read_queue);
  InitializeListHead(&e.write_queue);
  KeInitializeEvent(&e.read_idle, NotificationEvent, FALSE);
  KeInitializeEvent(&e.write_idle, NotificationEvent, FALSE);
}

}  // namespace

NTSTATUS ntdrv_create_serial_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT* device,
                                    ULONG preferred_com, PCUNICODE_STRING parameters_path) {
  StringBuffers buffers;
  if (!buffers.Allocate()) return STATUS_INSUFFICIENT_RESOURCES;
  UNICODE_STRING device_name = buffers.String(kDeviceName);
  NTSTATUS status = CreateNumberedDevice(driver, device_name, device);
  if (!NT_SUCCESS(status)) {
    *device = nullptr;
    return status;
  }
  auto& e = *new ((*device)->DeviceExtension) SerialDeviceExtension{};

  UNICODE_STRING link = buffers.String(kLinkName);
  const ULONG com = CreateComLink(preferred_com, link, device_name, status);
  if (com == 0) {
    IoDeleteDevice(*device);
    *device = nullptr;
    return status;
  }
  ULONG written = com;
  status = RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, parameters_path->Buffer, u"ComPort",
                                 REG_DWORD, &written, sizeof written);
  UNICODE_STRING data = buffers.String(kSerialCommData);
  if (NT_SUCCESS(status)) {
    Numbered(data, u"COM", com);
    status = RtlWriteRegistryValue(RTL_REGISTRY_DEVICEMAP, kSerialCommKey, device_name.Buffer,
                                   REG_SZ, data.Buffer, data.Length + sizeof(WCHAR));
  }
  if (!NT_SUCCESS(status)) {
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(*device);
    *device = nullptr;
    return status;
  }
  ++IoGetConfigurationInformation()->SerialCount;
  ctl_globals().serial_counted = true;

  InitialiseExtension(e);
  e.device_name = device_name;
  buffers.Keep(kDeviceName);
  e.link_name = link;
  buffers.Keep(kLinkName);
  return STATUS_SUCCESS;
}

}  // namespace vxctl
