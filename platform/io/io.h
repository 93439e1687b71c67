// The I/O manager's driver interface: devices and names, attachment,
// requests and their completion, built requests and small services. Every
// call acts on the machine of the calling context.
//
//   PDEVICE_OBJECT device;
//   UNICODE_STRING name;
//   RtlInitUnicodeString(&name, u"\\Device\\Example");
//   IoCreateDevice(driver, sizeof(MyExtension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
//
// A dispatch routine either completes the request (IoCompleteRequest) and
// returns its status, passes it down (IoSkipCurrentIrpStackLocation +
// IoCallDriver) and returns what the lower driver returned, or marks it
// pending (IoMarkIrpPending), keeps it, and returns STATUS_PENDING. The I/O
// manager's verifier stops the machine with a FATAL diagnostic when a
// driver breaks these rules (see verifier.h).
#pragma once

#include <cstring>

#include "platform/io/iodefs.h"
#include "platform/nt/resources.h"

// ---- devices, names and attachment ----
NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                        ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT* DeviceObject);
void IoDeleteDevice(PDEVICE_OBJECT DeviceObject);
NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName);
NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName);
// Opens the named device (its stack sees create, cleanup and close) and
// attaches SourceDevice to the top of its stack.
NTSTATUS IoAttachDevice(PDEVICE_OBJECT SourceDevice, PUNICODE_STRING TargetDevice,
                        PDEVICE_OBJECT* AttachedDevice);
// Attaches to the top of TargetDevice's stack and returns that top (null
// when the target is being deleted).
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                           PDEVICE_OBJECT TargetDevice);
// Detaches whatever device is attached directly above TargetDevice.
void IoDetachDevice(PDEVICE_OBJECT TargetDevice);
PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject);

// ---- requests ----
PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota);
void IoFreeIrp(PIRP Irp);
NTSTATUS IoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
// Runs the completion routines upward; the boost is ignored.
void IoCompleteRequest(PIRP Irp, CCHAR PriorityBoost);
void IoMarkIrpPending(PIRP Irp);
// Atomic exchange of the request's cancel routine; returns the previous one.
PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL CancelRoutine);

// ---- cancellation ----
// The machine's one cancel spin lock, which guards every request's cancel
// routine and the queues drivers keep cancellable requests in.
void IoAcquireCancelSpinLock(PKIRQL Irql);
void IoReleaseCancelSpinLock(KIRQL Irql);
// Sets Cancel and calls the request's cancel routine, if any, with the
// cancel spin lock held and CancelIrql recorded; TRUE when there was one.
BOOLEAN IoCancelIrp(PIRP Irp);

// ---- deferred procedure calls of a device ----
void IoInitializeDpcRequest(PDEVICE_OBJECT DeviceObject, PIO_DPC_ROUTINE DpcRoutine);
// Queues the device's DPC; it runs with (device, Irp, Context).
void IoRequestDpc(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

// A buffered device-control request for DeviceObject: the input is copied
// into a non-paged system buffer now; at completion Information bytes go back
// to OutputBuffer (unless the status is an error), IoStatusBlock receives the
// final status and Event is set. Null when no request can be made.
PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock);

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP Irp) {
  return Irp->Tail.Overlay.CurrentStackLocation;
}
inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP Irp) {
  return Irp->Tail.Overlay.CurrentStackLocation - 1;
}
// The lower driver gets this driver's stack location as it is.
inline void IoSkipCurrentIrpStackLocation(PIRP Irp) {
  ++Irp->CurrentLocation;
  ++Irp->Tail.Overlay.CurrentStackLocation;
}
// Everything but the completion routine, its context and the control bits.
inline void IoCopyCurrentIrpStackLocationToNext(PIRP Irp) {
  PIO_STACK_LOCATION current = IoGetCurrentIrpStackLocation(Irp);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
  std::memcpy(static_cast<void*>(next), current, offsetof(IO_STACK_LOCATION, CompletionRoutine));
  next->Control = 0;
}
inline void IoSetCompletionRoutine(PIRP Irp, PIO_COMPLETION_ROUTINE CompletionRoutine,
                                   PVOID Context, BOOLEAN InvokeOnSuccess, BOOLEAN InvokeOnError,
                                   BOOLEAN InvokeOnCancel) {
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
  next->CompletionRoutine = CompletionRoutine;
  next->Context = Context;
  next->Control = 0;
  if (InvokeOnSuccess) next->Control |= SL_INVOKE_ON_SUCCESS;
  if (InvokeOnError) next->Control |= SL_INVOKE_ON_ERROR;
  if (InvokeOnCancel) next->Control |= SL_INVOKE_ON_CANCEL;
}

// ---- small services ----
struct CONFIGURATION_INFORMATION {
  ULONG DiskCount;
  ULONG FloppyCount;
  ULONG CdRomCount;
  ULONG TapeCount;
  ULONG ScsiPortCount;
  ULONG SerialCount;  // serial drivers count their ports in and out here
  ULONG ParallelCount;
  BOOLEAN AtDiskPrimaryAddressClaimed;
  BOOLEAN AtDiskSecondaryAddressClaimed;
};
using PCONFIGURATION_INFORMATION = CONFIGURATION_INFORMATION*;

// The machine's one configuration record.
PCONFIGURATION_INFORMATION IoGetConfigurationInformation();

// Resource lists (platform/nt/resources.h) as drivers report them. The
// drivers of this system report only empty lists; nothing of them is read.
struct IO_RESOURCE_REQUIREMENTS_LIST;
using PIO_RESOURCE_REQUIREMENTS_LIST = IO_RESOURCE_REQUIREMENTS_LIST*;

// Both claim nothing and succeed: the machine's resources belong to the bus model.
NTSTATUS IoReportResourceUsage(PUNICODE_STRING DriverClassName, PDRIVER_OBJECT DriverObject,
                               PCM_RESOURCE_LIST DriverList, ULONG DriverListSize,
                               PDEVICE_OBJECT DeviceObject, PCM_RESOURCE_LIST DeviceList,
                               ULONG DeviceListSize, BOOLEAN OverrideConflict,
                               BOOLEAN* ConflictDetected);
NTSTATUS IoAssignResources(PUNICODE_STRING RegistryPath, PUNICODE_STRING DriverClassName,
                           PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT DeviceObject,
                           PIO_RESOURCE_REQUIREMENTS_LIST RequestedResources,
                           PCM_RESOURCE_LIST* AllocatedResources);
