// vxdsp's driver frame: the DSP device attached to the front end's AFE
// device, the start request that binds the front end, the data pump and the
// controller together, the block thread, the controller's entry and the
// stop. The frame holds no modem logic: everything the data pump computes
// runs inside the context's block entry (once per ready block) and its
// controller entry (once per controller call).
#pragma once

#include "afe/windows/afe_contract.h"
#include "platform/io/io.h"
#include "pump/context/dsp_context.h"
#include "pump/driver/exclusion.h"

namespace pump {

inline constexpr ULONG kDspTag = plat::ex::PoolTag("Ddk ");

inline constexpr DEVICE_TYPE kDspDeviceType = FILE_DEVICE_UNKNOWN;  // 0x22
inline constexpr PCWSTR kDspDeviceName = u"\\Device\\VexorTolvasaDsp";
inline constexpr PCWSTR kDspLinkName = u"\\DosDevices\\VexorTolvasaDsp";
using afe::kAfeDeviceName;

// From the controller, kernel-mode requestors only, with the front end's own
// codes. The start carries the controller's callback in and the DspContext
// address out; the data pump forwards it to the front end with the
// AfeEventBlock address in and the AfeInterface address out. Every buffer
// holds one address (8 bytes).
using afe::IOCTL_MODEM_START;
using afe::IOCTL_MODEM_STOP;
using afe::kStartBufferBytes;

inline constexpr ULONG kRegistryPathBytes = 256;  // the paged copies of the service key's path
inline constexpr KPRIORITY kBlockThreadPriority = 28;
inline constexpr LONGLONG kStopWait = -50'000'000;  // 5 s, relative, in 100 ns units

enum DspStartState : ULONG { kDspNotStarted = 0, kDspStarting = 1, kDspStartHandled = 2 };

struct DspDeviceExtension {
  PDRIVER_OBJECT driver;
  ULONG caller_value;  // always 0
  PDEVICE_OBJECT device;
  PDEVICE_OBJECT lower;  // the AFE device this one is attached to
  UNICODE_STRING device_name;
  UNICODE_STRING registry_path;  // over a 256-byte paged buffer; empty when none was made
  afe::AfeEventBlock events;     // lent to the front end at start
  HANDLE service_key;            // query-value and set-value access; closed at stop
  PKTHREAD block_thread;         // referenced; null while no thread runs
  DspContext context;            // its address is lent to the controller
  ULONG start_state;
  ULONG previous_start_state;
  UCHAR started;  // a start succeeded: create and close pass down, controller calls run
  DspExclusion exclusion;
};

// The extension that holds `context`: the controller and the block routine
// hand the frame only the DspContext.
DspDeviceExtension& ExtensionOf(DspContext& context);

// What vxdsp keeps per machine beside its device.
struct DspGlobals {
  UNICODE_STRING registry_path{};  // DriverEntry's copy, until the device takes its own
  volatile LONG run = 0;           // the block thread's run flag
  afe::AfeEventBlock* thread_events = nullptr;
};
DspGlobals& Globals();

// The machine host's image for "vxdsp", loaded after vxafe.
NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

// Dispatch (dispatch.cpp).
NTSTATUS DspCreateClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS DspDeviceControl(PDEVICE_OBJECT device, PIRP irp);
void DspUnload(PDRIVER_OBJECT driver);
// Stores status and Information and completes without a boost; the status.
NTSTATUS CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information);
// Passes the request down as it is; the lower driver's status.
NTSTATUS CallLowerDriver(PDEVICE_OBJECT lower, PIRP irp);
// Passes the request down and waits until the lower driver completed it;
// the request comes back to this driver, which must complete it. Its
// final status.
NTSTATUS CallLowerDriverSync(PDEVICE_OBJECT lower, PIRP irp);

// Start (start.cpp) and stop (remove.cpp).
NTSTATUS StartDsp(DspDeviceExtension& extension, PIRP irp);
// Stops the thread, gives back what the start took, sends the stop down and
// deletes the device. `irp`, when there is one, is completed exactly once.
NTSTATUS RemoveDsp(DspDeviceExtension& extension, PIRP irp);

// The block thread (block_thread.cpp).
NTSTATUS StartBlockThread(DspDeviceExtension& extension);
// STATUS_TIMEOUT when the thread did not end within 5 s: it stays
// referenced, so a later stop waits for it again.
NTSTATUS StopBlockThread(DspDeviceExtension& extension);
void RunBlockWork(DspContext* context);

// The host interface's wake callback (controller_call.cpp).
NTSTATUS ControllerCall(DspContext* context);
// Lets go of the exclusion after running every dispatch deferred to its holder.
void LeaveExclusion(DspDeviceExtension& extension);

}  // namespace pump
