// Objects and constants of the I/O manager's interface: drivers, devices,
// requests (IRPs) with their stack locations, file objects, status blocks,
// major function codes, device flags and control codes.
#pragma once

#include "platform/ex/access.h"
#include "platform/ex/rtlstring.h"
#include "platform/ke/dpc.h"
#include "platform/ke/irql.h"
#include "platform/ke/ke.h"

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
struct FILE_OBJECT;
struct IRP;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PFILE_OBJECT = FILE_OBJECT*;
using PIRP = IRP*;
using DEVICE_TYPE = ULONG;
using CSHORT = SHORT;

// ---- major functions ----
inline constexpr UCHAR IRP_MJ_CREATE = 0x00;
inline constexpr UCHAR IRP_MJ_CLOSE = 0x02;
inline constexpr UCHAR IRP_MJ_READ = 0x03;
inline constexpr UCHAR IRP_MJ_WRITE = 0x04;
inline constexpr UCHAR IRP_MJ_FLUSH_BUFFERS = 0x09;
inline constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0E;
inline constexpr UCHAR IRP_MJ_INTERNAL_DEVICE_CONTROL = 0x0F;
inline constexpr UCHAR IRP_MJ_CLEANUP = 0x12;
inline constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1B;

// ---- device types, characteristics and flags ----
inline constexpr DEVICE_TYPE FILE_DEVICE_SERIAL_PORT = 0x0000001B;
inline constexpr DEVICE_TYPE FILE_DEVICE_UNKNOWN = 0x00000022;

inline constexpr ULONG FILE_DEVICE_SECURE_OPEN = 0x00000100;

inline constexpr ULONG DO_EXCLUSIVE = 0x00000008;
inline constexpr ULONG DO_BUFFERED_IO = 0x00000004;
inline constexpr ULONG DO_DIRECT_IO = 0x00000010;
inline constexpr ULONG DO_DEVICE_INITIALIZING = 0x00000080;

// ---- control codes ----
inline constexpr ULONG METHOD_BUFFERED = 0;
inline constexpr ULONG METHOD_IN_DIRECT = 1;
inline constexpr ULONG METHOD_OUT_DIRECT = 2;
inline constexpr ULONG METHOD_NEITHER = 3;
inline constexpr ULONG FILE_ANY_ACCESS = 0;
inline constexpr ULONG FILE_READ_ACCESS = 1;
inline constexpr ULONG FILE_WRITE_ACCESS = 2;

constexpr ULONG CTL_CODE(ULONG deviceType, ULONG function, ULONG method, ULONG access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr ULONG METHOD_FROM_CTL_CODE(ULONG code) { return code & 3; }
constexpr ULONG DEVICE_TYPE_FROM_CTL_CODE(ULONG code) { return code >> 16; }

// ---- stack-location control bits ----
inline constexpr UCHAR SL_PENDING_RETURNED = 0x01;
inline constexpr UCHAR SL_INVOKE_ON_CANCEL = 0x20;
inline constexpr UCHAR SL_INVOKE_ON_SUCCESS = 0x40;
inline constexpr UCHAR SL_INVOKE_ON_ERROR = 0x80;

inline constexpr CCHAR IO_NO_INCREMENT = 0;
inline constexpr CCHAR IO_SERIAL_INCREMENT = 2;

// NT_ERROR: the status is of error severity (top two bits set).
constexpr bool NT_ERROR(NTSTATUS status) { return static_cast<ULONG>(status) >> 30 == 3; }

struct IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

using PDRIVER_INITIALIZE = NTSTATUS (*)(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
using PDRIVER_UNLOAD = void (*)(PDRIVER_OBJECT DriverObject);
using PDRIVER_DISPATCH = NTSTATUS (*)(PDEVICE_OBJECT DeviceObject, PIRP Irp);
using PIO_COMPLETION_ROUTINE = NTSTATUS (*)(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
// Called with the cancel spin lock held; it must release the lock
// (IoReleaseCancelSpinLock(Irp->CancelIrql)).
using PDRIVER_CANCEL = void (*)(PDEVICE_OBJECT DeviceObject, PIRP Irp);
// A device's DPC routine (IoInitializeDpcRequest), at DISPATCH_LEVEL.
using PIO_DPC_ROUTINE = void (*)(PKDPC Dpc, PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

struct DRIVER_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject;  // the driver's devices, newest first, linked by NextDevice
  ULONG Flags;
  UNICODE_STRING DriverName;  // "\Driver\<service>"
  PDRIVER_INITIALIZE DriverInit;
  PDRIVER_UNLOAD DriverUnload;
  PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

struct DEVICE_OBJECT {
  CSHORT Type;
  USHORT Size;
  LONG ReferenceCount;  // files open on this device
  PDRIVER_OBJECT DriverObject;
  PDEVICE_OBJECT NextDevice;      // next device of the same driver
  PDEVICE_OBJECT AttachedDevice;  // the device attached directly above, if any
  PIRP CurrentIrp;
  ULONG Flags;
  ULONG Characteristics;
  PVOID DeviceExtension;  // zeroed at creation
  DEVICE_TYPE DeviceType;
  CCHAR StackSize;
  ULONG AlignmentRequirement;
  KDPC Dpc;  // the device's DPC request
};

struct FILE_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject;  // the device the name led to
  PVOID FsContext;              // free for the driver
  PVOID FsContext2;
  BOOLEAN DeleteAccess;
  BOOLEAN ReadAccess;
  BOOLEAN WriteAccess;
  ULONG Flags;
  UNICODE_STRING FileName;  // what followed the device's name (empty for the device itself)
};

struct IO_STACK_LOCATION {
  UCHAR MajorFunction;
  UCHAR MinorFunction;
  UCHAR Flags;
  UCHAR Control;  // SL_* bits
  union {
    struct {
      PVOID SecurityContext;
      ULONG Options;
      USHORT FileAttributes;
      USHORT ShareAccess;
      ULONG EaLength;
    } Create;
    struct {
      ULONG Length;
      ULONG Key;
      LARGE_INTEGER ByteOffset;
    } Read;
    struct {
      ULONG Length;
      ULONG Key;
      LARGE_INTEGER ByteOffset;
    } Write;
    struct {
      ULONG OutputBufferLength;
      ULONG InputBufferLength;
      ULONG IoControlCode;
      PVOID Type3InputBuffer;
    } DeviceIoControl;
    struct {
      PVOID Argument1;
      PVOID Argument2;
      PVOID Argument3;
      PVOID Argument4;
    } Others;
  } Parameters;
  PDEVICE_OBJECT DeviceObject;
  PFILE_OBJECT FileObject;
  PIO_COMPLETION_ROUTINE CompletionRoutine;
  PVOID Context;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

struct IRP {
  CSHORT Type;
  USHORT Size;
  ULONG Flags;
  union {
    PIRP MasterIrp;
    LONG IrpCount;
    PVOID SystemBuffer;  // buffered requests: max(input, output) bytes of non-paged pool
  } AssociatedIrp;
  IO_STATUS_BLOCK IoStatus;
  KPROCESSOR_MODE RequestorMode;  // UserMode for requests of user threads
  BOOLEAN PendingReturned;
  CHAR StackCount;
  CHAR CurrentLocation;  // StackCount + 1 before the first IoCallDriver
  BOOLEAN Cancel;
  KIRQL CancelIrql;              // the canceller's level, for the cancel routine's release
  PDRIVER_CANCEL CancelRoutine;  // change only through IoSetCancelRoutine
  PIO_STATUS_BLOCK UserIosb;
  PKEVENT UserEvent;
  PVOID UserBuffer;  // where buffered output goes back to
  struct {
    struct {
      PVOID DriverContext[4];  // free for the driver that owns the request
      PETHREAD Thread;         // the thread that issued the request
      LIST_ENTRY ListEntry;    // free for the driver that owns the request (its queues)
      PIO_STACK_LOCATION CurrentStackLocation;
      PFILE_OBJECT OriginalFileObject;
    } Overlay;
  } Tail;
};
