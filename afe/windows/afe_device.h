// The front-end driver's devices: the AFE device the data pump binds to, and
// the Sound and Diagnostic devices its start creates. The AFE device's
// extension holds everything the start took from the machine, so that one
// unwind can give it all back.
#pragma once

#include "afe/windows/afe_contract.h"
#include "platform/ex/pool.h"
#include "platform/hal/hal_calls.h"
#include "platform/io/io.h"
#include "platform/ke/interrupt.h"

namespace afe {

inline constexpr ULONG kAfeTag = plat::ex::PoolTag("Ddk ");

inline constexpr DEVICE_TYPE kAfeDeviceType = FILE_DEVICE_UNKNOWN;  // 0x22
inline constexpr DEVICE_TYPE kSoundDeviceType = 0x8002;
inline constexpr DEVICE_TYPE kDiagnosticDeviceType = 0x8003;

inline constexpr PCWSTR kAfeLinkName = u"\\DosDevices\\VexorTolvasaAfe";
inline constexpr PCWSTR kSoundDeviceName = u"\\Device\\VexorTolvasaSound";
inline constexpr PCWSTR kSoundLinkName = u"\\DosDevices\\VexorTolvasaSound";
inline constexpr PCWSTR kDiagnosticDeviceName = u"\\Device\\VexorTolvasaDiagnostic";
inline constexpr PCWSTR kDiagnosticLinkName = u"\\DosDevices\\VexorTolvasaDiagnostic";

// The AFE control codes (ControlAfe): each maps onto a numbered request.
inline constexpr ULONG IOCTL_SET_EVENT = 0x460C0;      // in: an event handle (4 bytes)
inline constexpr ULONG IOCTL_AFE_SELF_TEST = 0x46160;  // in and out: the 16-byte self-test block
inline constexpr ULONG IOCTL_AFE_RESOURCES = 0x46168;  // out: the resource report
inline constexpr ULONG kAfeResourceReportBytes = 224;

inline constexpr NTSTATUS STATUS_RESOURCE_DATA_NOT_FOUND = NtStatus(0xC0000089);

enum AfeStartState : ULONG { kAfeStopped = 0, kAfeStarting = 1, kAfeStarted = 2 };

struct AfeDeviceExtension {
  PDRIVER_OBJECT DriverObject;
  ULONG CreationValue;  // always 0
  PDEVICE_OBJECT DeviceObject;
  PDEVICE_OBJECT LowerDevice;  // never set
  PDEVICE_OBJECT SoundDevice;
  PDEVICE_OBJECT DiagnosticDevice;
  volatile UCHAR DiagnosticOwner;  // while set, no block reaches the data pump
  UNICODE_STRING DeviceName;
  UNICODE_STRING RegistryPath;  // own copy
  HANDLE RegistryKey;
  volatile LONG OpenCount;  // every create and close on the AFE device, and the Diagnostic open

  // Interrupt resources.
  KIRQL InterruptLevel;
  ULONG InterruptVector;
  UCHAR InterruptLatched;
  KAFFINITY InterruptAffinity;
  UCHAR InterruptShared;

  // Port ranges, then memory ranges; the counts are those the context asks for.
  PHYSICAL_ADDRESS* PortBusAddresses;
  ULONG* PortLengths;
  PVOID* PortAddresses;
  UCHAR* PortInMemory;
  UCHAR PortCount;
  PHYSICAL_ADDRESS* MemoryBusAddresses;
  ULONG* MemoryLengths;
  PVOID* MemoryAddresses;
  UCHAR MemoryCount;

  // The two DMA common buffers: the first carries line output, the second line input.
  PHYSICAL_ADDRESS TransmitLogical;
  PHYSICAL_ADDRESS ReceiveLogical;
  PVOID TransmitVirtual;
  PVOID ReceiveVirtual;
  ULONG CommonBufferSize;
  PADAPTER_OBJECT Adapter;
  ULONG MapRegisters;

  PKINTERRUPT Interrupt;
  AfeInterface Interface;
  ULONG StartState;
  ULONG PreviousStartState;
  AfeEventBlock* EventBlock;
  UCHAR Started;
  ULONG PciBus;
  ULONG PciSlot;
  // IOCTL_SET_EVENT's event, referenced; the deferred call sets it beside
  // the data pump's per-block event.
  PKEVENT ClientBlockEvent;
};

struct DiagnosticDeviceExtension {
  PDEVICE_OBJECT DeviceObject;
  PDRIVER_OBJECT DriverObject;
  AfeDeviceExtension* Afe;
};

inline AfeDeviceExtension* AfeExtension(PDEVICE_OBJECT device) {
  return static_cast<AfeDeviceExtension*>(device->DeviceExtension);
}

// The driver's entry, loaded first: the machine host's image for "vxafe".
NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

// Dispatch (control.cpp).
NTSTATUS AfeCreate(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS AfeClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS AfeRead(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS AfeWrite(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS AfeDeviceControl(PDEVICE_OBJECT device, PIRP irp);
void AfeUnload(PDRIVER_OBJECT driver);
// Stores status and Information and completes without a boost; returns the status.
NTSTATUS CompleteAfeRequest(PIRP irp, NTSTATUS status, ULONG_PTR information);

// The AFE control codes on a started front end (control_afe.cpp).
bool IsControlAfeCode(ULONG code);
NTSTATUS ControlAfe(AfeDeviceExtension& extension, PIRP irp);

// Start and stop (start.cpp).
NTSTATUS StartAfe(AfeDeviceExtension& extension, PIRP irp);
NTSTATUS StopAfe(AfeDeviceExtension& extension, PIRP irp);
// Closes the key, deletes the link, stops (completing `irp` when there is
// one) and deletes every device of the driver.
NTSTATUS RemoveAfe(AfeDeviceExtension& extension, PIRP irp);

enum class AfeResource {
  kMemoryArrays = 0,
  kPortArrays = 1,
  kMemoryMappings = 2,
  kPortMappings = 3,
  kInterrupt = 4,
  kCommonBuffers = 5,
};
void ReleaseAfeResource(AfeDeviceExtension& extension, AfeResource kind);
void FreeResourceArrays(AfeDeviceExtension& extension);

// The controller (probe.cpp).
NTSTATUS ProbeAfeController(AfeDeviceExtension& extension);
NTSTATUS FindPciDevice(AfeDeviceExtension& extension);
ULONG PciConfigAccess(AfeDeviceExtension* owner, ULONG write, PVOID buffer, ULONG offset,
                      ULONG length);

// Sound and Diagnostic devices.
NTSTATUS CreateSoundDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT* device);
NTSTATUS DeleteSoundDevice(PDEVICE_OBJECT device);
NTSTATUS SoundControl(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS CreateDiagnosticDevice(PDRIVER_OBJECT driver, AfeDeviceExtension* afe,
                                PDEVICE_OBJECT* device);
NTSTATUS DeleteDiagnosticDevice(PDEVICE_OBJECT device);
NTSTATUS DiagnosticControl(PDEVICE_OBJECT device, PIRP irp);

// A named device with its DOS link, buffered I/O and the initialising flag
// cleared; a link failure deletes the device again.
NTSTATUS CreateLinkedDevice(PDRIVER_OBJECT driver, ULONG extension_size, PCWSTR name, PCWSTR link,
                            DEVICE_TYPE type, PDEVICE_OBJECT* device);
// Deletes the link and the device; the link's deletion status.
NTSTATUS DeleteLinkedDevice(PDEVICE_OBJECT device, PCWSTR link);

}  // namespace afe
