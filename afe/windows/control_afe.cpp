// ControlAfe: the AFE device's control codes. Each row maps a code onto a
// numbered request with the input and output lengths it must come with;
// the request runs under the interface's spin lock on a local copy of the
// buffer, which is copied back. IOCTL_SET_EVENT hands the front end an
// event of the caller's to set once per block.
#include <algorithm>
#include <cstring>

#include "afe/windows/afe_state.h"
#include "afe/windows/resource_report.h"
#include "afe/windows/sound_device.h"
#include "afe/windows/spin_lock.h"
#include "platform/ex/ob.h"

namespace afe {
namespace {

constexpr ULONG IOCTL_AFE_SPEAKER = 0x460E0;
constexpr ULONG kNoRequest = 0;  // the row's work is not a numbered request

// The module and a fixed build stamp for the debug line (a fixed stamp
// keeps builds reproducible).
constexpr char kSourceModule[] = "afe\\windows\\control";
constexpr char kBuildStamp[] = "Jan  1 2004 00:00:00";

struct ControlRow {
  ULONG code;
  ULONG request;
  ULONG in;   // input length the request must carry
  ULONG out;  // output length it must carry; also its Information
};

constexpr ControlRow kControlRows[] = {
    {0x460C4, kAfeLineOn, 0, 0},
    {0x460C8, kAfeLineOff, 0, 0},
    {0x460CC, kAfeGetRate, 0, 4},
    {0x460D0, kAfeSetRate, 4, 0},
    {IOCTL_AFE_SPEAKER, kAfeSpeaker, 4, 0},
    {0x460E4, kAfeSetAttenuation, 2, 0},
    {0x460E8, kAfeGetAttenuation, 0, 2},
    {0x460EC, kAfeSetGain, 2, 0},
    {0x460F0, kAfeGetGain, 0, 2},
    {0x460F4, kAfeTestMode, 4, 0},
    {0x460F8, kAfeCodecFlag, 4, 0},
    {0x460FC, kAfeStatusQuery, 0, 4},
    {0x46100, kAfeRegisterWrite, 8, 0},
    {0x46104, kAfeRegisterRead, 8, 8},
    {0x46108, kAfePowerState, 4, 0},
    {0x46110, kAfeGetInfo, 0, sizeof(AfeInfo)},
    {0x46114, kAfeNotServed, 0, 0},
    {IOCTL_AFE_SELF_TEST, kAfeSelfTest, 16, 16},
    {IOCTL_AFE_RESOURCES, kNoRequest, 0, kAfeResourceReportBytes},
};

const ControlRow* FindRow(ULONG code) {
  const auto row = std::find_if(std::begin(kControlRows), std::end(kControlRows),
                                [code](const ControlRow& r) { return r.code == code; });
  return row != std::end(kControlRows) ? row : nullptr;
}

// References the handle's event and keeps it in place of the one before.
NTSTATUS SetClientBlockEvent(AfeDeviceExtension& e, PIRP irp, ULONG input_length) {
  HANDLE handle;
  if (input_length < sizeof handle) return CompleteAfeRequest(irp, STATUS_INVALID_PARAMETER, 0);
  if (e.EventBlock == nullptr) {
    DbgPrint("$$$$$$$$$$$$$$$$$X%s, %s, ControlAfe, IOCTL_SET_EVENT\n", kSourceModule, kBuildStamp);
    return CompleteAfeRequest(irp, STATUS_UNSUCCESSFUL, 0);
  }
  std::memcpy(&handle, irp->AssociatedIrp.SystemBuffer, sizeof handle);
  PVOID event = nullptr;
  if (!NT_SUCCESS(ObReferenceObjectByHandle(handle, EVENT_MODIFY_STATE, *ExEventObjectType,
                                            irp->RequestorMode, &event, nullptr))) {
    return CompleteAfeRequest(irp, STATUS_UNSUCCESSFUL, 0);
  }
  PKEVENT previous = nullptr;
  {
    // The deferred call sets the event at DISPATCH_LEVEL: the lock keeps it out.
    SpinLockHeld locked(e.Interface.Lock);
    previous = e.ClientBlockEvent;
    e.ClientBlockEvent = static_cast<PKEVENT>(event);
  }
  if (previous != nullptr) ObDereferenceObject(previous);
  return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
}

}  // namespace

bool IsControlAfeCode(ULONG code) { return code == IOCTL_SET_EVENT || FindRow(code) != nullptr; }

NTSTATUS ControlAfe(AfeDeviceExtension& e, PIRP irp) {
  // Before a start the interface is not filled and the registers are not mapped.
  if (e.Started == 0) return CompleteAfeRequest(irp, STATUS_INVALID_DEVICE_STATE, 0);
  const auto& control = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl;
  if (control.IoControlCode == IOCTL_SET_EVENT) {
    return SetClientBlockEvent(e, irp, control.InputBufferLength);
  }
  const ControlRow& row = *FindRow(control.IoControlCode);
  if (control.InputBufferLength != row.in || control.OutputBufferLength != row.out) {
    return CompleteAfeRequest(irp, STATUS_INVALID_PARAMETER, 0);
  }
  if (row.request == kNoRequest) {  // the resource report
    ReportAfeResources(e, std::span<UCHAR, kAfeResourceReportBytes>(
                              static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer),
                              kAfeResourceReportBytes));
    return CompleteAfeRequest(irp, STATUS_SUCCESS, row.out);
  }

  UCHAR block[sizeof(AfeInfo)] = {};  // the longest row
  const ULONG bytes = std::max(row.in, row.out);
  ULONG size = bytes;
  if (row.in != 0) std::memcpy(block, irp->AssociatedIrp.SystemBuffer, row.in);
  AfeInterface& table = e.Interface;
  if (row.code == IOCTL_AFE_SPEAKER) {
    // The sound path refuses most of its commands at raised IRQL: the level
    // goes there before the lock is taken.
    SoundLevelRequest level{kLineStreamKind, 0, 0};
    std::memcpy(&level.Level, block, sizeof level.Level);
    ULONG count = sizeof level;
    table.SoundPathRequest(table.Context, kSoundSetLevel, &level, &count);
  }
  {
    SpinLockHeld locked(table.Lock);
    table.AfeRequest(table.Context, row.request, block, &size);
  }
  if (bytes != 0) std::memcpy(irp->AssociatedIrp.SystemBuffer, block, bytes);
  return CompleteAfeRequest(irp, STATUS_SUCCESS, row.out);
}

}  // namespace afe
