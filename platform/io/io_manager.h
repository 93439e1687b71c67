// One machine's I/O manager: its object namespace, devices, drivers, files
// and the requests in flight, with the verifier's bookkeeping. It lives in
// the machine's slot table; the services of this folder reach it through
// ManagerOf(CurrentKernel()).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io/files.h"
#include "platform/io/io.h"
#include "platform/io/io_faults.h"
#include "platform/ke/context.h"
#include "platform/ke/kernel.h"
#include "platform/ke/object.h"

namespace plat::io {

// Where a device object's memory starts: the public object, then what the
// I/O manager keeps with it, then the driver's extension.
struct DeviceBlock {
  DEVICE_OBJECT object;
  ULONG number;
  PDEVICE_OBJECT lower;  // the device this one is attached to
  bool delete_pending;   // IoDeleteDevice ran; the object waits for its last reference
  PIO_DPC_ROUTINE dpc_routine;
};

struct FileBlock {
  FILE_OBJECT object;
  ULONG number;
  PDEVICE_OBJECT target;  // the top of the stack when the file was opened
  LONG handles;
  bool opened;  // the create succeeded, so the stack sees a close
};

extern const ke::ObjectType kDeviceObjectType;

DeviceBlock& BlockOf(PDEVICE_OBJECT device);
FileBlock& BlockOf(PFILE_OBJECT file);

enum class Origin : std::uint8_t {
  Allocated,  // IoAllocateIrp: its owner frees it
  Built,      // IoBuildDeviceIoControlRequest: finished and freed at completion
  File,       // a request on a file object: its issuer waits and finishes it
};

// One dispatch routine running on a request, on some host stack.
struct DispatchFrame {
  int location;
  PDEVICE_OBJECT device;
  const ke::Context* context;
  bool passed = false;  // completion went past its location
  bool marked = false;  // the location was marked pending when it did
};

struct IrpRecord {
  PIRP irp = nullptr;
  ULONG number = 0;
  Origin origin = Origin::Allocated;
  bool completing = false;  // inside IoCompleteRequest
  bool completed = false;   // completion reached the top
  std::vector<DispatchFrame*> frames;
  std::string made_by;  // the driver whose code allocated it, if any
  struct Returned {
    int location;
    ULONG device;
    NTSTATUS status;
  };
  std::vector<Returned> returned;  // dispatch results still to be checked against the marks
  // Built requests: where the output and the status go.
  PVOID output = nullptr;
  ULONG output_length = 0;
  // File requests: the issuer's wake-up and the result it collects.
  PFILE_OBJECT file = nullptr;
  PKEVENT done = nullptr;
  IO_STATUS_BLOCK result{};
};

// Why a name cannot be used, or where it leads.
struct NameEntry {
  std::u16string display;
  PDEVICE_OBJECT device = nullptr;  // null for a symbolic link
  std::u16string link_target;
};

class IoManager {
 public:
  explicit IoManager(ke::Kernel& kernel) : kernel_(kernel) {}
  IoManager(const IoManager&) = delete;
  IoManager& operator=(const IoManager&) = delete;

  ke::Kernel& kernel() { return kernel_; }
  IoFaults& faults() { return faults_; }
  CONFIGURATION_INFORMATION& configuration() { return configuration_; }
  KSPIN_LOCK& cancel_lock() { return cancel_lock_; }

  // ---- namespace ----
  // "\DosDevices\X" names "\??\X"; keys ignore case. Empty when malformed.
  static std::u16string Canonical(std::u16string_view name);
  NTSTATUS InsertName(std::u16string_view name, NameEntry entry);
  bool RemoveName(std::u16string_view name);
  const NameEntry* FindName(std::u16string_view name) const;
  // Every name, by canonical name.
  const std::map<std::u16string, NameEntry>& names() const { return names_; }
  // Follows links to a device.
  NTSTATUS Resolve(std::u16string_view name, PDEVICE_OBJECT* device) const;

  // Names of devices, kept for traces after the name left the namespace.
  void SetDeviceName(ULONG number, std::u16string name) { device_names_[number] = std::move(name); }
  std::u16string DeviceName(ULONG number) const;

  // ---- numbering ----
  ULONG NextDevice() { return ++devices_; }
  ULONG NextFile() { return ++files_; }
  ULONG NextRequest() { return ++requests_; }

  // ---- requests ----
  IrpRecord& AddRecord(PIRP irp, ULONG number, Origin origin);
  IrpRecord* FindRecord(ULONG number);
  void RemoveRecord(ULONG number);
  const std::map<ULONG, IrpRecord>& records() const { return records_; }
  // Requests of a file that are still with a driver, oldest first.
  std::vector<PIRP> PendingOn(PFILE_OBJECT file) const;

  // ---- drivers ----
  void AddDriver(PDRIVER_OBJECT driver) { drivers_.push_back(driver); }
  void RemoveDriver(PDRIVER_OBJECT driver);
  const std::vector<PDRIVER_OBJECT>& drivers() const { return drivers_; }

  // ---- trace and diagnostics ----
  void CheckShutdown();
  void Trace(std::string text);
  [[noreturn]] void Fatal(std::string_view rule, std::string_view detail) {
    kernel_.Fatal(rule, detail);
  }

 private:
  ke::Kernel& kernel_;
  IoFaults faults_;
  CONFIGURATION_INFORMATION configuration_{};
  KSPIN_LOCK cancel_lock_ = 0;
  std::map<std::u16string, NameEntry> names_;  // by canonical upper-case name
  std::map<ULONG, IrpRecord> records_;         // requests alive, by number
  std::vector<PDRIVER_OBJECT> drivers_;        // load order
  std::map<ULONG, std::u16string> device_names_;
  ULONG devices_ = 0;
  ULONG files_ = 0;
  ULONG requests_ = 0;
};

IoManager& ManagerOf(ke::Kernel& kernel);
inline IoManager& CurrentManager() { return ManagerOf(ke::CurrentKernel()); }

// Texts for traces and diagnostics.
std::string DeviceText(PDEVICE_OBJECT device);  // "device 3 \Device\Name"
std::string DriverText(PDRIVER_OBJECT driver);  // "\Driver\name", empty for none
std::string DeviceText(const IoManager& io, ULONG number);
std::string MajorText(UCHAR major);
std::string Narrow(std::u16string_view text);
std::u16string FromCounted(PCUNICODE_STRING string);

}  // namespace plat::io

namespace plat::io {

// ---- request blocks (irp.cpp) ----
// A request with `stack` locations from the non-paged pool, registered as
// `origin`; null when the pool refuses.
PIRP AllocateRequest(IoManager& io, CCHAR stack, Origin origin);
// The request's record; fatal under `rule` when `irp` is no live request.
IrpRecord& RecordOf(IoManager& io, PIRP irp, const char* rule, const char* service);
ULONG RequestNumber(PIRP irp);
// Frees the system buffer (when the I/O manager made it) and the request.
void ReleaseRequest(IoManager& io, PIRP irp);
// Stack location `location` (1 = the lowest driver's).
PIO_STACK_LOCATION StackLocation(PIRP irp, int location);
// A non-paged system buffer of `bytes` for a buffered request (null for 0 bytes).
bool AttachSystemBuffer(PIRP irp, ULONG bytes);
// What a driver's unset dispatch entries do: complete with
// STATUS_INVALID_DEVICE_REQUEST.
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT device, PIRP irp);
// Fatal above `level` (services that may run up to DISPATCH_LEVEL).
void RequireAtMost(IoManager& io, KIRQL level, const char* service);
// Fatal unless a buffered device control.
void RequireBufferedControl(IoManager& io, ULONG code, const char* service);

inline constexpr ULONG kRequestTag = ex::PoolTag("Irp ");
inline constexpr ULONG kSystemBufferTag = ex::PoolTag("IoBf");

}  // namespace plat::io
